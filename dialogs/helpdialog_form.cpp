#include "dialogs/helpdialog_form.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "dialogs/userguide.h"

namespace Ui {

void HelpDialog::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName("HelpDialog");
    dialog->resize(400, 300);

    horizontalLayout = new QHBoxLayout(dialog);
    horizontalLayout->setObjectName("horizontalLayout");
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName("verticalLayout");

    textBrowser = new QTextBrowser(dialog);
    textBrowser->setObjectName("textBrowser");
    textBrowser->setOpenExternalLinks(true);
    verticalLayout->addWidget(textBrowser);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName("horizontalLayout_2");
    // -1 keeps the style's default on those sides.
    horizontalLayout_2->setContentsMargins(-1, -1, -1, 6);
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer);
    buttonOK = new QPushButton(dialog);
    buttonOK->setObjectName("buttonOK");
    horizontalLayout_2->addWidget(buttonOK);

    verticalLayout->addLayout(horizontalLayout_2);
    horizontalLayout->addLayout(verticalLayout);

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void HelpDialog::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("HelpDialog", "Help"));
    textBrowser->setHtml(QCoreApplication::translate("HelpDialog", userGuideHtml));
    buttonOK->setText(QCoreApplication::translate("HelpDialog", "OK"));
}

} // namespace Ui
