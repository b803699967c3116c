#include <tuple>
#include <utility>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/imagefiles.h"
#include "removal/columnfill.h"
#include "selection/detection.h"
#include "selection/planes.h"
#include "selection/wiremask.h"

using namespace tolvane;

// Runs the built tolvane-cli on the pictures in data/. wires.png (64x48) has a sky that
// brightens downwards, wire A two rows thick (rows 10 + x/12, every column), wire B one row
// thick (row 30 - (x-4)/10, columns 4..59) and a 20-column dark stroke at rows 40..41, too short
// for a wire. wires-mask.png is its mask at the default thresholds, wires-clean.png the photo
// cleaned with that mask. line.png is a black row 4 across 600 white columns, longer than one
// trace may reach. not-an-image.png holds text.
class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_stdout; // of every run in the current test
    QStringList m_errors; // the standard error lines of the last run
    const QString m_data = QStringLiteral(TOLVANE_TEST_DATA);

    QString fill(QString text) const
    {
        return text.replace("{detect}", "detect {photo} -o {out}")
            .replace("{remove}", "remove {photo} --mask {mask} -o {out}")
            .replace("{trace}", "trace -o {out} --points")
            .replace("{photo}", "{data}/wires.png")
            .replace("{mask}", "{data}/wires-mask.png")
            .replace("{notes}", "{data}/not-an-image.png")
            .replace("{line}", "{data}/line.png")
            .replace("{data}", m_data)
            .replace("{out}", "{dir}/out.png")
            .replace("{dir}", m_dir.path());
    }

    QImage image(const QString &name) const { return readMask(fill(name)); }

    // Runs tolvane-cli on `commandLine`, split at spaces after filling in the placeholders;
    // returns its exit status.
    int run(const QString &commandLine)
    {
        QProcess process;
        process.start(TOLVANE_CLI_PATH, fill(commandLine).split(u' ', Qt::SkipEmptyParts));
        const bool ended = process.waitForFinished(120000);
        m_stdout += process.readAllStandardOutput();
        m_errors = QString::fromLocal8Bit(process.readAllStandardError())
                       .split(u'\n', Qt::SkipEmptyParts);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    static void row(const char *name, const char *commandLine, int status, const char *error = "")
    {
        QTest::newRow(name) << QString(commandLine) << status << QString(error);
    }

private slots:
    void cleanup()
    {
        QFile::remove(fill("{out}"));
        const QByteArray out = std::exchange(m_stdout, {});
        QVERIFY2(out.isEmpty(), out.constData());
    }

    void detectAndCleanEqualLibrary_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("widthThreshold");
        QTest::addColumn<int>("lengthThreshold");
        QTest::newRow("defaults mark both wires") << "" << 4 << 30;
        QTest::newRow("L 19 adds the stroke") << "--length-threshold 19" << 4 << 19;
        QTest::newRow("T 2 drops the thick wire") << "--width-threshold=2" << 2 << 30;
    }

    void detectAndCleanEqualLibrary()
    {
        QFETCH(QString, options);
        QFETCH(int, widthThreshold);
        QFETCH(int, lengthThreshold);
        QVERIFY(run("{detect} " + options) == 0 && m_errors.isEmpty());
        const QImage photo = readPhoto(fill("{photo}"));
        QImage expected(photo.size(), QImage::Format_ARGB32);
        paintTraces(detectWires(argbPlane(photo), widthThreshold, lengthThreshold),
            mutableArgbPlane(expected));
        QCOMPARE(image("{out}"), expected);
        if (options.isEmpty())
            QCOMPARE(expected, image("{mask}"));

        // clean detects alike and then removes, here with padding 2.
        QImage cleaned(photo.size(), QImage::Format_ARGB32);
        clearWires(argbPlane(photo), argbPlane(expected), 2, mutableArgbPlane(cleaned));
        QCOMPARE(run("clean {photo} -o {out} --overwrite --padding 2 " + options), 0);
        QCOMPARE(image("{out}"), cleaned);
    }

    void removeEqualsLibrary()
    {
        QVERIFY(run("{remove}") == 0 && m_errors.isEmpty());
        QCOMPARE(image("{out}"), image("{data}/wires-clean.png"));

        const QImage photo = readPhoto(fill("{photo}"));
        QImage expected(photo.size(), QImage::Format_ARGB32);
        clearWires(argbPlane(photo), argbPlane(image("{mask}")), 3, mutableArgbPlane(expected));
        QCOMPARE(run("{remove} --padding 3"), 0);
        QCOMPARE(image("{out}"), expected);
    }

    void traceCommitsSucceedingSegments_data()
    {
        QTest::addColumn<QString>("points");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("endX");
        // Each segment marks the wire from its start up to, not including, its end point.
        QTest::newRow("along wire B") << "4,30 40,27 59,25 {photo}" << 0 << 59;
        QTest::newRow("failed trace keeps control point") << "0,4 599,4 300,4 {line}" << 1 << 300;
    }

    void traceCommitsSucceedingSegments()
    {
        QFETCH(QString, points);
        QFETCH(int, skipped);
        QFETCH(int, endX);
        QCOMPARE(run("{trace} " + points), 0);
        QCOMPARE(m_errors.size(), skipped);
        const QImage mask = image("{out}");
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                const bool onWire
                    = points.endsWith("{line}") ? y == 4 : x >= 4 && y == 30 - (x - 4) / 10;
                QCOMPARE(mask.pixel(x, y), onWire && x < endX ? traceMark : 0u);
            }
        }
    }

    void cleanWritesWhatItMay()
    {
        QVERIFY(QFile::copy(fill("{mask}"), fill("{dir}/line.png")));
        // The unreadable input and the existing output are reported; wires.png is still cleaned.
        const QString several = "clean {photo} {notes} {line} --jobs 2 --out-dir {dir}";
        QCOMPARE(run(several), 2);
        QCOMPARE(m_errors.size(), 3);
        QVERIFY(m_errors.contains(fill("tolvane-cli: {notes}: Failed to read image")));
        QVERIFY(m_errors.contains(
            fill("[1/3] wires.png: 2 wire traces, 184 pixels marked -> {dir}/wires.png")));
        QCOMPARE(image("{dir}/wires.png"), image("{data}/wires-clean.png"));
        QCOMPARE(image("{dir}/line.png"), image("{mask}"));

        QCOMPARE(run(several + " --overwrite"), 2);
        QCOMPARE(m_errors.size(), 3);
        QCOMPARE(image("{dir}/line.png").size(), QSize(600, 8));

        // Its own input, even under another name, is never written.
        QVERIFY(QFile::copy(fill("{photo}"), fill("{dir}/a.png")));
        QCOMPARE(run("clean {dir}/a.png --out-dir {dir}/. --overwrite"), 2);
        QCOMPARE(image("{dir}/a.png"), image("{photo}"));
    }

    void errorsGiveOneLine_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        // Each numeric option refuses the values just outside its range and takes its limits.
        const std::tuple<const char *, const char *, int, int> ranges[]
            = {{"{detect}", "--width-threshold", 1, 99}, {"{detect}", "--length-threshold", 1, 999},
                {"{remove}", "--padding", 0, 99}};
        for (const auto &[command, option, low, high] : ranges) {
            for (const int value : {low - 1, low, high, high + 1}) {
                const int status = value < low || value > high ? 1 : 0;
                QTest::addRow("%s %d %s", option, value, status ? "refused" : "accepted")
                    << QString::asprintf("%s %s %d", command, option, value) << status
                    << QString::asprintf("%s: %d is out of range %d..%d", option, value, low, high);
            }
        }
        row("--jobs 0 refused", "clean {photo} -o {out} --jobs 0", 1, "--jobs: 0 is out of range");
        row("--jobs 1 accepted", "clean {photo} -o {out} --jobs 1", 0);
        row("unknown command", "wipe {photo}", 1, "wipe: unknown command");
        row("unknown option", "{detect} --fast", 1, "--fast: unknown option");
        row("other command's option", "{detect} --padding 2", 1, "--padding: not an option of");
        row("missing value", "{remove} --padding", 1, "--padding: missing value");
        row("option as value", "detect {photo} -o --timings", 1, "-o: missing value");
        row("missing output", "detect {photo}", 1, "-o: missing");
        row("given twice", "{detect} -o {out}", 1, "-o: given more than once");
        row("flag with value", "{detect} --timings=yes", 1, "--timings: takes no value");
        row("not an integer", "{remove} --padding 4.5", 1, "--padding: 4.5 is not an integer");
        row("huge", "{remove} --padding=9999999999999999999", 1, "--padding: 9999999999999999999");
        row("not a point", "{trace} 1,1 2,1.5 {photo}", 1, "--points: 2,1.5 is not a point");
        row("point outside", "{trace} 1,1 64,10 {photo}", 1, "--points: 64,10 is outside");
        row("negative point", "{trace} -1,5 2,2 {photo}", 1, "--points: -1,5 is outside");
        row("mask size differs", "remove {photo} -o {out} --mask {line}", 1, "{line}: the mask is");
        row("unreadable input", "detect {notes} -o {out}", 2, "{notes}: Failed to read image");
        row("unreadable mask", "remove {photo} -o {out} --mask {notes}", 2,
            "{notes}: Failed to read image");
        row("every trace fails", "{trace} 0,0 599,7 10,0 {line}", 3, "--points: no segment could");
        row("unwritable output", "detect {photo} -o {dir}/none/m.png", 2, "{dir}/none/m.png: ");
    }

    void errorsGiveOneLine()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, status);
        QFETCH(QString, error);
        QCOMPARE(run(commandLine), status);
        QCOMPARE(QFile::exists(fill("{out}")), status == 0);
        const bool named
            = m_errors.size() == 1 && m_errors[0].startsWith("tolvane-cli: " + fill(error));
        QVERIFY2(status == 0 || named, qPrintable(m_errors.join(u'\n')));
    }

    void timingsLine_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("stages");
        QTest::newRow("detect") << "{detect}" << QString("load detect save");
        QTest::newRow("remove") << "{remove}" << QString("load remove save");
        QTest::newRow("trace") << "{trace} 4,30 40,27 {photo}" << QString("load trace save");
        QTest::newRow("clean") << "clean {photo} -o {out}" << QString("load detect remove save");
    }

    void timingsLine()
    {
        QFETCH(QString, commandLine);
        QFETCH(QString, stages);
        const QString ms = " [0-9]+\\.[0-9] ms";
        const QRegularExpression line("^timings: " + stages.replace(" ", ms + ", ") + ms + "$");
        QCOMPARE(run(commandLine + " --timings"), 0);
        QVERIFY(line.match(m_errors.value(m_errors.size() - 1)).hasMatch());
    }

    void helpAndVersionOnStdout()
    {
        QVERIFY(run("--help") == 0 && m_errors.isEmpty());
        QVERIFY(run("remove --help") == 0 && m_stdout.startsWith("Usage: tolvane-cli COMMAND"));
        QVERIFY(m_stdout.contains("Usage: tolvane-cli remove") && m_stdout.contains("--padding P"));
        m_stdout.clear();
        QVERIFY(run("--version") == 0 && std::exchange(m_stdout, {}) == "tolvane-cli 1.0\n");
    }
};

QTEST_GUILESS_MAIN(TestCli)

#include "tst_cli.moc"
