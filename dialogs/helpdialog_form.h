#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;
class QSpacerItem;
class QTextBrowser;
class QVBoxLayout;

namespace Ui {

// The help dialog's widgets, built in code the way a form editor would generate them.
struct HelpDialog
{
    QHBoxLayout *horizontalLayout = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QTextBrowser *textBrowser = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QPushButton *buttonOK = nullptr;

    // Creates the widgets and layouts on dialog, assigns the texts and binds the dialog's
    // on_<object>_<signal> slots by name.
    void setupUi(QDialog *dialog);
    // Assigns every user-visible text again; safe to call whenever the language changes.
    void retranslateUi(QDialog *dialog);
};

} // namespace Ui
