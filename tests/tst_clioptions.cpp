#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include "cli/options.h"

using namespace tolvane;

// The values the parser hands on, which the built program (tst_cli, where the usage errors
// are tested too) only shows indirectly.
class TestCliOptions : public QObject
{
    Q_OBJECT

private slots:
    void optionsAmongInputsInEitherForm()
    {
        // "--" makes everything after it an input, even what looks like an option.
        const ParsedCommandLine parsed = parseCommandLine(
            QString("clean a.jpg --out-dir=out b.jpg --width-threshold 7 --length-threshold=40 "
                    "--padding +3 --jobs=2 --overwrite --timings -- -c.jpg --jobs")
                .split(u' '));
        QCOMPARE(parsed.error, QString());
        const CliOptions &options = parsed.options;
        QCOMPARE(options.inputs, (QStringList {"a.jpg", "b.jpg", "-c.jpg", "--jobs"}));
        QCOMPARE(options.outDir, "out");
        const QList<int> numbers {
            options.widthThreshold, options.lengthThreshold, options.wirePadding, options.jobs};
        QCOMPARE(numbers, (QList<int> {7, 40, 3, 2}));
        QVERIFY(options.overwrite && options.timings);
    }

    // The manual page names every option that a --help text shows.
    void manualPageCoversHelp()
    {
        QFile page(qEnvironmentVariable("TOLVANE_SOURCE_DIR") + "/resources/tolvane-cli.1");
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString manual = QString::fromUtf8(page.readAll()).remove(u'\\');
        const QRegularExpression option("(?<![\\w-])--?[a-z][a-z-]*");
        for (CliCommand topic : {CliCommand::Help, CliCommand::Detect, CliCommand::Remove,
                 CliCommand::Trace, CliCommand::Clean}) {
            for (const QRegularExpressionMatch &match : option.globalMatch(helpText(topic)))
                QVERIFY2(manual.contains(match.captured()), qPrintable(match.captured()));
        }
    }
};

QTEST_APPLESS_MAIN(TestCliOptions)

#include "tst_clioptions.moc"
