#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTranslator>
#include <QVBoxLayout>

#include "dialogs/helpdialog.h"
#include "dialogs/userguide.h"

namespace {

// Translates the help dialog's texts into recognisable stand-ins.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "HelpDialog") != 0)
            return {};
        if (qstrcmp(sourceText, "Help") == 0)
            return "Hilfe";
        if (qstrcmp(sourceText, "OK") == 0)
            return "Gut";
        if (qstrcmp(sourceText, userGuideHtml) == 0)
            return "<p>Anleitung</p>";
        return {};
    }
};

QPushButton *okButton(HelpDialog &dialog)
{
    return dialog.findChild<QPushButton *>("buttonOK");
}

QTextBrowser *browser(HelpDialog &dialog)
{
    return dialog.findChild<QTextBrowser *>("textBrowser");
}

} // namespace

class TestHelpDialog : public QObject
{
    Q_OBJECT
private slots:
    void okHidesOnlyItsOwnDialog();
    void formHasFixedNamesAndTexts();
    void languageChangeRetranslates();
    void guideImagesResolve();
    void guideFormatting_data();
    void guideFormatting();
};

void TestHelpDialog::okHidesOnlyItsOwnDialog()
{
    QWidget window;
    auto *first = new HelpDialog(&window);
    auto *second = new HelpDialog(&window);
    first->show();
    second->show();
    QVERIFY(first->isVisible() && second->isVisible());

    QTest::mouseClick(okButton(*first), Qt::LeftButton);
    QVERIFY(!first->isVisible());
    QVERIFY(second->isVisible());
    QCOMPARE(first->parent(), &window); // hidden, not deleted

    okButton(*second)->click();
    QVERIFY(!second->isVisible());
}

void TestHelpDialog::formHasFixedNamesAndTexts()
{
    HelpDialog dialog;
    QCOMPARE(dialog.objectName(), "HelpDialog");
    QCOMPARE(dialog.size(), QSize(400, 300));
    QCOMPARE(dialog.windowTitle(), "Help");
    QVERIFY(!dialog.isModal());

    auto *outer = qobject_cast<QHBoxLayout *>(dialog.layout());
    QVERIFY(outer);
    QCOMPARE(outer->objectName(), "horizontalLayout");
    QCOMPARE(outer->count(), 1);
    auto *column = qobject_cast<QVBoxLayout *>(outer->itemAt(0)->layout());
    QVERIFY(column);
    QCOMPARE(column->objectName(), "verticalLayout");
    QCOMPARE(column->count(), 2);

    QTextBrowser *text = browser(dialog);
    QVERIFY(text);
    QCOMPARE(column->itemAt(0)->widget(), text);
    QCOMPARE(text->parentWidget(), &dialog);
    QVERIFY(text->openExternalLinks());
    QVERIFY(text->toPlainText().contains("Tools and the workflow"));

    auto *buttons = qobject_cast<QHBoxLayout *>(column->itemAt(1)->layout());
    QVERIFY(buttons);
    QCOMPARE(buttons->objectName(), "horizontalLayout_2");
    QCOMPARE(buttons->contentsMargins().bottom(), 6);
    QCOMPARE(buttons->count(), 2);
    QSpacerItem *spacer = buttons->itemAt(0)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(40, 20));
    QCOMPARE(spacer->expandingDirections(), Qt::Horizontal);
    QCOMPARE(buttons->itemAt(1)->widget(), okButton(dialog));
    QCOMPARE(okButton(dialog)->parentWidget(), &dialog);
    QCOMPARE(okButton(dialog)->text(), "OK");
}

void TestHelpDialog::languageChangeRetranslates()
{
    HelpDialog dialog;
    dialog.show();
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&dialog, &change);
    QCOMPARE(dialog.windowTitle(), "Hilfe");
    QCOMPARE(okButton(dialog)->text(), "Gut");
    QCOMPARE(browser(dialog)->toPlainText(), "Anleitung");

    QCoreApplication::removeTranslator(&translator);
    QCoreApplication::sendEvent(&dialog, &change);
    QCOMPARE(dialog.windowTitle(), "Help");
    QCOMPARE(okButton(dialog)->text(), "OK");
    QVERIFY(browser(dialog)->toPlainText().contains("Tolvane"));
}

void TestHelpDialog::guideImagesResolve()
{
    static const QRegularExpression image(R"re(<img src="([^"]*)")re");
    QStringList sources;
    for (const QRegularExpressionMatch &match : image.globalMatch(userGuideHtml))
        sources << match.captured(1);
    const QStringList expected
        = {":/icons/openHS.png", ":/icons/Filter2HS.png", ":/icons/FormRunHS.png",
            ":/icons/LineColorHS.png", ":/icons/FormRunHS.png", ":/icons/saveHS.png"};
    QCOMPARE(sources, expected);
    for (const QString &source : sources)
        QVERIFY2(QFile::exists(source), qPrintable(source));
}

void TestHelpDialog::guideFormatting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<qreal>("pointSize");

    QTest::newRow("product name bold") << "Tolvane" << true << false << false << 8.0;
    QTest::newRow("heading 10 pt") << "Tools and the workflow" << true << false << false << 10.0;
    QTest::newRow("menu path italic") << "File/Open" << false << true << false << 8.0;
    QTest::newRow("shortcut italic") << "Ctrl+Z" << false << true << false << 8.0;
    QTest::newRow("Width threshold underlined")
        << "Width threshold" << false << false << true << 8.0;
    QTest::newRow("Length threshold underlined")
        << "Length threshold" << false << false << true << 8.0;
    QTest::newRow("Wire padding underlined") << "Wire padding" << false << false << true << 8.0;
}

// Checks what Qt makes of the guide's markup: the first fragment holding exactly the text.
void TestHelpDialog::guideFormatting()
{
    QFETCH(QString, text);
    QTextDocument document;
    document.setHtml(userGuideHtml);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.text() != text)
                continue;
            const QTextCharFormat format = fragment.charFormat();
            QTEST(format.fontWeight() == QFont::DemiBold, "bold");
            QTEST(format.fontItalic(), "italic");
            QTEST(format.fontUnderline(), "underline");
            QTEST(format.fontPointSize(), "pointSize");
            return;
        }
    }
    QFAIL("no fragment with that text");
}

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
