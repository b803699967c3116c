#include "dialogs/helpdialog.h"

#include <QEvent>

#include "dialogs/helpdialog_form.h"

HelpDialog::HelpDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::HelpDialog)
{
    m_ui->setupUi(this);
}

HelpDialog::~HelpDialog()
{
    delete m_ui;
}

void HelpDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}

void HelpDialog::on_buttonOK_clicked()
{
    close();
}
