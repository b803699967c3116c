#pragma once

#include <QDialog>

class QEvent;

namespace Ui {
struct HelpDialog;
}

// Shows the user guide. Modeless: the main window creates one per Index command and keeps
// it as a child, so OK or the close button only hides it.
class HelpDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HelpDialog(QWidget *parent = nullptr);
    ~HelpDialog() override;

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_buttonOK_clicked();

private:
    Ui::HelpDialog *m_ui;
};
