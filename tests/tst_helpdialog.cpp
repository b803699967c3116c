#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTranslator>

#include "dialogs/helpdialog.h"
#include "dialogs/userguide.h"

namespace {

// Translates the help dialog's texts into recognisable stand-ins.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *text, const char *, int) const override
    {
        const QHash<QByteArray, QString> words
            = {{"Help", "Hilfe"}, {"OK", "Gut"}, {userGuideHtml, "<p>Anleitung</p>"}};
        return qstrcmp(context, "HelpDialog") == 0 ? words.value(text) : QString();
    }
};

// The dialog's title, guide and button text.
QStringList texts(HelpDialog &dialog)
{
    return {dialog.windowTitle(), dialog.findChild<QTextBrowser *>("textBrowser")->toPlainText(),
        dialog.findChild<QPushButton *>("buttonOK")->text()};
}

} // namespace

// The help dialog: its form, re-translation and the guide's pictures. Index and OK are driven
// from the main window, with the tools.
class TestHelpDialog : public QObject
{
    Q_OBJECT
private slots:
    // A language change delivered to an open dialog re-translates all three texts.
    void formTranslates()
    {
        HelpDialog dialog;
        QCOMPARE(dialog.objectName(), "HelpDialog");
        QCOMPARE(dialog.size(), QSize(400, 300));
        const QStringList original = texts(dialog);
        QCOMPARE(QStringList({original[0], original[2]}), (QStringList {"Help", "OK"}));
        QVERIFY(original[1].contains("Tools and the workflow"));

        dialog.show();
        MarkingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&dialog, &change);
        QCOMPARE(texts(dialog), (QStringList {"Hilfe", "Anleitung", "Gut"}));
    }

    // The toolbar pictures shown inline in the guide.
    void guideImagesResolve()
    {
        static const QRegularExpression image("<img src=\"([^\"]*)\"");
        QStringList sources;
        for (const QRegularExpressionMatch &match : image.globalMatch(userGuideHtml))
            sources << match.captured(1);
        QCOMPARE(sources.size(), 6);
        for (const QString &source : sources)
            QVERIFY2(QImage(source).width() > 0, qPrintable(source));
    }
};

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
