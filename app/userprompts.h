#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The questions the main window asks the user: file names and whether to save changes.
// The platform's dialogs answer them unless a test installs answers of its own.
class UserPrompts
{
public:
    virtual ~UserPrompts() = default;

    // Empty when cancelled.
    virtual QString openFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
        = 0;
    // Empty when cancelled. The dialog starts with the filter `selectedFilter` names, when it
    // names one, and `selectedFilter` receives the filter chosen in it.
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter, QString *selectedFilter)
        = 0;
    // Save, Discard or Cancel.
    virtual QMessageBox::StandardButton askToSaveChanges(
        QWidget *parent, const QString &title, const QString &question)
        = 0;

    // The suffix a name filter asks for first: "PNG Files (*.png)" gives "png", "TIFF Files
    // (*.tif *.tiff)" "tif"; empty when the filter names no suffix.
    static QString filterSuffix(const QString &filter);

    static UserPrompts &current();
    // Routes every later question to `prompts` (not owned); nullptr restores the platform's
    // dialogs.
    static void install(UserPrompts *prompts);
};
