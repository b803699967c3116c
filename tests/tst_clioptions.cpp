#include <QTest>

#include "cli/options.h"

using namespace tolvane;

namespace {

QStringList split(const QString &commandLine)
{
    return commandLine.split(u' ', Qt::SkipEmptyParts);
}

} // namespace

class TestCliOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAndBothValueForms();
    void integerRanges_data();
    void integerRanges();
    void pointsFollowTheOption();
    void usageErrorsNameTheCulprit_data();
    void usageErrorsNameTheCulprit();
    void helpAndVersion();
};

void TestCliOptions::defaultsAndBothValueForms()
{
    ParsedCommandLine parsed = parseCommandLine(split("detect in.jpg -o m.png"));
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.options.command, CliCommand::Detect);
    QCOMPARE(parsed.options.inputs, QStringList {"in.jpg"});
    QCOMPARE(parsed.options.output, "m.png");
    QCOMPARE(parsed.options.widthThreshold, 4);
    QCOMPARE(parsed.options.lengthThreshold, 30);
    QVERIFY(!parsed.options.timings);

    parsed = parseCommandLine(split("clean a.jpg --out-dir=out b.jpg --width-threshold 7 "
                                    "--length-threshold=40 --padding 3 --jobs=2 --overwrite "
                                    "--timings -- -c.jpg"));
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    const CliOptions &options = parsed.options;
    QCOMPARE(options.inputs, (QStringList {"a.jpg", "b.jpg", "-c.jpg"}));
    QCOMPARE(options.outDir, "out");
    QCOMPARE(options.widthThreshold, 7);
    QCOMPARE(options.lengthThreshold, 40);
    QCOMPARE(options.wirePadding, 3);
    QCOMPARE(options.jobs, 2);
    QVERIFY(options.overwrite && options.timings);
}

void TestCliOptions::integerRanges_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("error");

    const QString any = QStringLiteral("--width-threshold");
    QTest::newRow("T 0 refused") << any << "0"
                                 << "--width-threshold: 0 is out of range 1..99";
    QTest::newRow("T 1 accepted") << any << "1"
                                  << "";
    QTest::newRow("T 99 accepted") << any << "99"
                                   << "";
    QTest::newRow("T 100 refused") << any << "100"
                                   << "--width-threshold: 100 is out of range 1..99";
    QTest::newRow("L 999 accepted") << "--length-threshold"
                                    << "999"
                                    << "";
    QTest::newRow("L 1000 refused") << "--length-threshold"
                                    << "1000"
                                    << "--length-threshold: 1000 is out of range 1..999";
    QTest::newRow("P 0 accepted") << "--padding"
                                  << "0"
                                  << "";
    QTest::newRow("P -1 refused") << "--padding"
                                  << "-1"
                                  << "--padding: -1 is out of range 0..99";
    QTest::newRow("P +7 accepted") << "--padding"
                                   << "+7"
                                   << "";
    QTest::newRow("P huge refused") << "--padding"
                                    << "99999999999999999999"
                                    << "--padding: 99999999999999999999 is out of range 0..99";
    QTest::newRow("jobs 0 refused") << "--jobs"
                                    << "0"
                                    << "--jobs: 0 is out of range (at least 1)";
    QTest::newRow("jobs 64 accepted") << "--jobs"
                                      << "64"
                                      << "";
    QTest::newRow("4.5") << "--padding"
                         << "4.5"
                         << "--padding: 4.5 is not an integer";
    QTest::newRow("abc") << "--padding"
                         << "abc"
                         << "--padding: abc is not an integer";
    QTest::newRow("empty") << "--padding"
                           << ""
                           << "--padding: \"\" is not an integer";
}

void TestCliOptions::integerRanges()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(QString, error);
    const ParsedCommandLine parsed
        = parseCommandLine({"clean", "in.jpg", "-o", "out.jpg", option + u'=' + value});
    QCOMPARE(parsed.error, error);
}

void TestCliOptions::pointsFollowTheOption()
{
    ParsedCommandLine parsed
        = parseCommandLine(split("trace --points 1,2 -3,40 5,6 in.jpg -o m.png"));
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.options.points, (QList<QPoint> {{1, 2}, {-3, 40}, {5, 6}}));
    QCOMPARE(parsed.options.inputs, QStringList {"in.jpg"});

    parsed = parseCommandLine(split("trace in.jpg --points=7,8 9,10 -o m.png"));
    QCOMPARE(parsed.options.points, (QList<QPoint> {{7, 8}, {9, 10}}));

    parsed = parseCommandLine(split("trace in.jpg --points 7,8 9,1.5 -o m.png"));
    QCOMPARE(parsed.error, "--points: 9,1.5 is not a point X,Y of two integers");
    parsed = parseCommandLine(split("trace in.jpg --points 7,8 -o m.png"));
    QCOMPARE(parsed.error, "--points: at least two points are needed");
}

void TestCliOptions::usageErrorsNameTheCulprit_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("error");

    QTest::newRow("nothing") << ""
                             << "no command given (try 'tolvane-cli --help')";
    QTest::newRow("unknown command") << "wipe a.jpg"
                                     << "wipe: unknown command (try 'tolvane-cli --help')";
    QTest::newRow("option first")
        << "--timings detect a.jpg -o m.png"
        << "--timings: a command must come first (try 'tolvane-cli --help')";
    QTest::newRow("unknown option") << "detect a.jpg -o m.png --fast"
                                    << "--fast: unknown option";
    QTest::newRow("other command's option") << "detect a.jpg -o m.png --padding 2"
                                            << "--padding: not an option of detect";
    QTest::newRow("missing value") << "remove a.jpg --mask m.png -o c.jpg --padding"
                                   << "--padding: missing value";
    QTest::newRow("option as value") << "detect a.jpg -o --timings"
                                     << "-o: missing value";
    QTest::newRow("given twice") << "detect a.jpg -o m.png -o n.png"
                                 << "-o: given more than once";
    QTest::newRow("flag with value") << "detect a.jpg -o m.png --timings=yes"
                                     << "--timings: takes no value";
    QTest::newRow("no input") << "remove --mask m.png -o c.jpg"
                              << "remove: INPUT is missing";
    QTest::newRow("two inputs") << "detect a.jpg b.jpg -o m.png"
                                << "b.jpg: unexpected argument (detect takes one INPUT)";
    QTest::newRow("no output") << "detect a.jpg"
                               << "-o: missing (detect needs -o)";
    QTest::newRow("no mask") << "remove a.jpg -o c.jpg"
                             << "--mask: missing (remove needs --mask MASK)";
    QTest::newRow("mask not png")
        << "trace a.jpg --points 1,1 2,2 -o m.jpg"
        << "-o: m.jpg: a mask is written as PNG; give a name ending in .png";
    QTest::newRow("clean -o with two inputs")
        << "clean a.jpg b.jpg -o c.jpg"
        << "-o: clean with several inputs writes into --out-dir DIR, not to one OUTPUT";
    QTest::newRow("clean -o and --out-dir") << "clean a.jpg -o c.jpg --out-dir d"
                                            << "-o: cannot be combined with --out-dir";
    QTest::newRow("clean without output") << "clean a.jpg"
                                          << "-o: missing (clean needs -o OUTPUT or --out-dir DIR)";
}

void TestCliOptions::usageErrorsNameTheCulprit()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, error);
    QCOMPARE(parseCommandLine(split(commandLine)).error, error);
}

void TestCliOptions::helpAndVersion()
{
    ParsedCommandLine parsed = parseCommandLine({"--help"});
    QCOMPARE(parsed.options.command, CliCommand::Help);
    QCOMPARE(parsed.options.helpTopic, CliCommand::Help);
    parsed = parseCommandLine({"--help", "clean"});
    QCOMPARE(parsed.options.helpTopic, CliCommand::Clean);
    parsed = parseCommandLine(split("trace --bogus --help"));
    QVERIFY(parsed.error.isEmpty());
    QCOMPARE(parsed.options.command, CliCommand::Help);
    QCOMPARE(parsed.options.helpTopic, CliCommand::Trace);
    QCOMPARE(parseCommandLine({"--version", "x"}).error, "x: unexpected argument after --version");
    QCOMPARE(versionText(), "tolvane-cli 1.0");
    QVERIFY(helpText(CliCommand::Clean).contains("--jobs N"));
}

QTEST_APPLESS_MAIN(TestCliOptions)

#include "tst_clioptions.moc"
