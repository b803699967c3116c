#include "app/userprompts.h"

#include <QFileDialog>

namespace {

class PlatformPrompts final : public UserPrompts
{
public:
    QString openFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }

    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter, QString *selectedFilter) override
    {
        QFileDialog dialog(parent, caption, dir, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A name typed without a suffix gets the selected filter's, before the dialog checks
        // whether that file exists.
        auto followFilter = [&dialog](const QString &nameFilter) {
            dialog.setDefaultSuffix(filterSuffix(nameFilter));
        };
        if (selectedFilter && !selectedFilter->isEmpty())
            dialog.selectNameFilter(*selectedFilter);
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
        followFilter(dialog.selectedNameFilter());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        if (selectedFilter)
            *selectedFilter = dialog.selectedNameFilter();
        return dialog.selectedFiles().constFirst();
    }

    QMessageBox::StandardButton askToSaveChanges(
        QWidget *parent, const QString &title, const QString &question) override
    {
        return QMessageBox::question(parent, title, question,
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    }
};

PlatformPrompts platformPrompts;
UserPrompts *installed = nullptr;

} // namespace

QString UserPrompts::filterSuffix(const QString &filter)
{
    const qsizetype star = filter.indexOf(QLatin1String("(*."));
    if (star < 0)
        return {};
    const QString suffix
        = filter.mid(star + 3).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0);
    return suffix.contains(QLatin1Char('*')) ? QString() : suffix;
}

UserPrompts &UserPrompts::current()
{
    return installed ? *installed : platformPrompts;
}

void UserPrompts::install(UserPrompts *prompts)
{
    installed = prompts;
}
