#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/imagefiles.h"
#include "removal/columnfill.h"
#include "selection/bandscan.h"
#include "selection/detection.h"
#include "selection/planes.h"
#include "selection/wiremask.h"
#include "selection/wiretracing.h"

using namespace tolvane;

// The stored photo wires.png (64x48) has a sky that brightens downwards, wire A two rows thick
// (rows 10 + x/12, every column), wire B one row thick (row 30 - (x-4)/10, columns 4..59) and
// a 20-column dark stroke at rows 40..41 that is too short for a wire.
namespace {

const QString dataDir = QStringLiteral(TOLVANE_TEST_DATA);

struct CliRun
{
    int status = -1;
    QByteArray out;
    QStringList errorLines;
};

CliRun runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLVANE_CLI_PATH), arguments);
    CliRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.errorLines
        = QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

QImage readArgb(const QString &path)
{
    return readMask(path);
}

bool isWireB(int x, int y)
{
    return x >= 4 && x <= 59 && y == 30 - (x - 4) / 10;
}

QImage lineOnWhite()
{
    QImage photo(600, 8, QImage::Format_ARGB32);
    photo.fill(0xFFFFFFFFu);
    for (int x = 0; x < photo.width(); ++x)
        photo.setPixel(x, 4, 0xFF000000u);
    return photo;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void detectEqualsLibrary_data();
    void detectEqualsLibrary();
    void removeWritesExpectedPhoto();
    void traceCommitsSucceedingSegments_data();
    void traceCommitsSucceedingSegments();
    void cleanWritesEveryReadablePhoto();
    void cleanNeverOverwritesUnasked();
    void errorsGiveOneLine_data();
    void errorsGiveOneLine();
    void timingsLine_data();
    void timingsLine();
    void helpAndVersionOnStdout();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_photo = dataDir + QStringLiteral("/wires.png");
    QString m_mask = dataDir + QStringLiteral("/wires-mask.png");
    QString m_cleaned = dataDir + QStringLiteral("/wires-clean.png");
};

void TestCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(QStringLiteral(TOLVANE_CLI_PATH)));
    QVERIFY(lineOnWhite().save(path("line.png")));
    QImage small(10, 10, QImage::Format_ARGB32);
    small.fill(0);
    QVERIFY(small.save(path("small.png")));
    QFile text(path("notes.png"));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not an image\n") > 0);
}

void TestCli::detectEqualsLibrary_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("widthThreshold");
    QTest::addColumn<int>("lengthThreshold");
    QTest::addColumn<int>("marked");

    QTest::newRow("defaults mark both wires") << QStringList() << 4 << 30 << 128 + 56;
    QTest::newRow("L 19 adds the stroke")
        << QStringList {"--length-threshold", "19"} << 4 << 19 << 128 + 56 + 40;
    QTest::newRow("T 2 drops the thick wire")
        << QStringList {"--width-threshold=2"} << 2 << 30 << 56;
}

void TestCli::detectEqualsLibrary()
{
    QFETCH(QStringList, options);
    QFETCH(int, widthThreshold);
    QFETCH(int, lengthThreshold);
    QFETCH(int, marked);

    const QString output = path("detected.png");
    const CliRun run = runCli(QStringList {"detect", m_photo, "-o", output} + options);
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.isEmpty() && run.errorLines.isEmpty());

    QImageReader reader(output);
    QCOMPARE(reader.format(), "png");
    const QImage mask = reader.read();
    QCOMPARE(mask.format(), QImage::Format_ARGB32);

    const QImage photo = readPhoto(m_photo);
    QImage expected(photo.size(), QImage::Format_ARGB32);
    paintTraces(
        detectWires(argbPlane(photo), widthThreshold, lengthThreshold), mutableArgbPlane(expected));
    QCOMPARE(mask, expected);
    // The desktop program's Select runs the stages one by one.
    const CandidateMask candidates
        = scanBands(computeDetectionPlanes(argbPlane(photo)), widthThreshold);
    paintTraces(buildTraces(findComponents(candidates), photo.width(), lengthThreshold),
        mutableArgbPlane(expected));
    QCOMPARE(mask, expected);

    int count = 0;
    for (int y = 0; y < mask.height(); ++y) {
        for (int x = 0; x < mask.width(); ++x) {
            const QRgb pixel = mask.pixel(x, y);
            QVERIFY(pixel == detectionMark || pixel == 0);
            count += pixel != 0;
            if (pixel && y < 40)
                QVERIFY(qRed(photo.pixel(x, y)) < 60);
        }
    }
    QCOMPARE(count, marked);
    if (options.isEmpty())
        QCOMPARE(mask, readArgb(m_mask));
}

void TestCli::removeWritesExpectedPhoto()
{
    const QImage photo = readPhoto(m_photo);
    const QImage cleaned = readArgb(m_cleaned);
    // Every wire pixel of the stored result is gone; only the short stroke stays dark.
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < cleaned.width(); ++x)
            QVERIFY(qRed(cleaned.pixel(x, y)) >= 100);
    }

    CliRun run = runCli({"remove", m_photo, "--mask", m_mask, "-o", path("clean.png")});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.isEmpty() && run.errorLines.isEmpty());
    QCOMPARE(readArgb(path("clean.png")), cleaned);

    run = runCli({"remove", m_photo, "--mask", m_mask, "--padding", "3", "-o", path("clean.jpg")});
    QCOMPARE(run.status, 0);
    QCOMPARE(QImageReader(path("clean.jpg")).format(), "jpeg");
    run = runCli({"remove", m_photo, "--mask", m_mask, "--padding", "3", "-o", path("clean3.png")});
    QCOMPARE(run.status, 0);
    QImage expected(photo.size(), QImage::Format_ARGB32);
    clearWires(argbPlane(photo), argbPlane(readArgb(m_mask)), 3, mutableArgbPlane(expected));
    QCOMPARE(readArgb(path("clean3.png")), expected);
}

void TestCli::traceCommitsSucceedingSegments_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("points");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("skipped");

    // Each segment paints the wire from its start up to, not including, its end point.
    QTest::newRow("along wire B") << "wires"
                                  << "4,30 40,27 59,25" << 0 << 0;
    QTest::newRow("failed trace keeps control point") << "line"
                                                      << "0,4 599,4 300,4" << 0 << 1;
    QTest::newRow("click on control point") << "wires"
                                            << "10,10 10,10" << 0 << 0;
    QTest::newRow("too far") << "line"
                             << "0,0 599,7" << 3 << 0;
    QTest::newRow("no route across white") << "line"
                                           << "0,0 10,0" << 3 << 0;
}

void TestCli::traceCommitsSucceedingSegments()
{
    QFETCH(QString, photo);
    QFETCH(QString, points);
    QFETCH(int, status);
    QFETCH(int, skipped);

    const QString output = path("traced.png");
    QFile::remove(output);
    const QString input = photo == u"wires" ? m_photo : path("line.png");
    const CliRun run
        = runCli(QStringList {"trace", input, "-o", output, "--points"} + points.split(u' '));
    QCOMPARE(run.status, status);
    QVERIFY(run.out.isEmpty());
    if (status == 3) {
        QCOMPARE(run.errorLines.size(), 1);
        QVERIFY(
            run.errorLines[0].startsWith("tolvane-cli: --points: no segment could be committed"));
        QVERIFY(!QFile::exists(output));
        return;
    }
    QCOMPARE(run.errorLines.size(), skipped);

    const QImage mask = readArgb(output);
    for (int y = 0; y < mask.height(); ++y) {
        for (int x = 0; x < mask.width(); ++x) {
            bool yellow = false;
            if (points.startsWith(u"4,30"))
                yellow = isWireB(x, y) && x < 59;
            else if (photo == u"line")
                yellow = y == 4 && x < 300;
            QCOMPARE(mask.pixel(x, y), yellow ? traceMark : 0u);
        }
    }
}

void TestCli::cleanWritesEveryReadablePhoto()
{
    QVERIFY(QFile::copy(m_photo, path("a.png")) && QFile::copy(m_photo, path("b.png")));
    const QString outDir = path("out");
    const CliRun run = runCli({"clean", path("a.png"), path("notes.png"), path("b.png"), "--jobs",
        "2", "--out-dir", outDir});
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.errorLines.size(), 3);
    QVERIFY(
        run.errorLines.contains("tolvane-cli: " + path("notes.png") + ": Failed to read image"));

    const QRegularExpression progress(
        "^\\[([12])/3\\] ([ab]).png: 2 wire traces, 184 pixels marked -> (.*)$");
    QSet<QString> finishing;
    for (const QString &line : run.errorLines) {
        const QRegularExpressionMatch match = progress.match(line);
        if (match.hasMatch()) {
            finishing.insert(match.captured(1));
            QCOMPARE(match.captured(3), outDir + "/" + match.captured(2) + ".png");
        }
    }
    QCOMPARE(finishing, (QSet<QString> {"1", "2"}));
    QCOMPARE(readArgb(outDir + "/a.png"), readArgb(m_cleaned));
    QCOMPARE(readArgb(outDir + "/b.png"), readArgb(m_cleaned));
    QVERIFY(!QFile::exists(outDir + "/notes.png"));
}

void TestCli::cleanNeverOverwritesUnasked()
{
    QDir().mkpath(path("in2"));
    QVERIFY(QFile::copy(m_photo, path("c.png")) && QFile::copy(m_photo, path("in2/c.png")));
    const QString output = path("c-out.png");
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    file.close();

    CliRun run = runCli({"clean", path("c.png"), "-o", output});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.errorLines.size(), 1);
    QVERIFY(run.errorLines[0].startsWith("tolvane-cli: " + output + ": already exists"));
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "old");
    file.close();

    run = runCli({"clean", path("c.png"), "-o", output, "--overwrite"});
    QCOMPARE(run.status, 0);
    QCOMPARE(readArgb(output), readArgb(m_cleaned));

    // Its own input, reached through another name, is never written, even with --overwrite.
    run = runCli({"clean", path("c.png"), "-o", path("in2/../c.png"), "--overwrite"});
    QCOMPARE(run.status, 2);
    QCOMPARE(readArgb(path("c.png")), readArgb(m_photo));

    // Two inputs of one name: the first keeps the output.
    run = runCli({"clean", path("c.png"), path("in2/c.png"), "--out-dir", path("same")});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.errorLines.size(), 2);
    QVERIFY(run.errorLines.contains("tolvane-cli: " + path("same/c.png")
        + ": already the output of " + path("c.png") + "; " + path("in2/c.png") + " skipped"));
    QCOMPARE(readArgb(path("same/c.png")), readArgb(m_cleaned));
}

void TestCli::errorsGiveOneLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    QTest::newRow("no arguments") << "" << 1 << "no command given";
    QTest::newRow("unknown command") << "wipe {photo}" << 1 << "wipe: unknown command";
    QTest::newRow("unknown option")
        << "detect {photo} -o {out} --fast" << 1 << "--fast: unknown option";
    QTest::newRow("missing argument")
        << "remove {photo} --mask {mask} -o {out} --padding" << 1 << "--padding: missing value";
    QTest::newRow("not an integer") << "detect {photo} -o {out} --length-threshold 4.5" << 1
                                    << "--length-threshold: 4.5 is not an integer";
    QTest::newRow("out of range") << "remove {photo} --mask {mask} -o {out} --padding 120" << 1
                                  << "--padding: 120 is out of range 0..99";
    QTest::newRow("point outside photo") << "trace {photo} --points 1,1 64,10 -o {out}" << 1
                                         << "--points: 64,10 is outside the photo (64x48)";
    QTest::newRow("mask size differs") << "remove {photo} --mask {small} -o {out}" << 1
                                       << "{small}: the mask is 10x10, the photo 64x48";
    QTest::newRow("unreadable input")
        << "detect {notes} -o {out}" << 2 << "{notes}: Failed to read image";
    QTest::newRow("unreadable mask")
        << "remove {photo} --mask {notes} -o {out}" << 2 << "{notes}: Failed to read image";
    QTest::newRow("unwritable output") << "detect {photo} -o {nodir}" << 2 << "{nodir}: ";
}

void TestCli::errorsGiveOneLine()
{
    QFETCH(QString, commandLine);
    QFETCH(int, status);
    QFETCH(QString, error);

    const QString output = path("error-out.png");
    auto fill = [&](QString text) {
        return text.replace("{photo}", m_photo)
            .replace("{mask}", m_mask)
            .replace("{small}", path("small.png"))
            .replace("{notes}", path("notes.png"))
            .replace("{nodir}", path("missing/m.png"))
            .replace("{out}", output);
    };
    const CliRun run = runCli(fill(commandLine).split(u' ', Qt::SkipEmptyParts));
    QCOMPARE(run.status, status);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.errorLines.size(), 1);
    QVERIFY2(
        run.errorLines[0].startsWith("tolvane-cli: " + fill(error)), qPrintable(run.errorLines[0]));
    QVERIFY(!QFile::exists(output));
}

void TestCli::timingsLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stages");

    QTest::newRow("detect") << QStringList {"detect", m_photo, "-o", path("t-mask.png")}
                            << "load detect save";
    QTest::newRow("remove") << QStringList {"remove", m_photo, "--mask", m_mask, "-o",
        path("t-clean.png")} << "load remove save";
    QTest::newRow("trace") << QStringList {"trace", m_photo, "--points", "4,30", "40,27", "-o",
        path("t-trace.png")}
                           << "load trace save";
    QTest::newRow("clean") << QStringList {"clean", m_photo, "--out-dir", path("t-out")}
                           << "load detect remove save";
}

void TestCli::timingsLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, stages);

    const CliRun run = runCli(arguments + QStringList {"--timings"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.isEmpty());
    QStringList parts;
    for (const QString &stage : stages.split(u' '))
        parts.append(stage + " [0-9]+\\.[0-9] ms");
    const QRegularExpression line("^timings: " + parts.join(", ") + "$");
    QVERIFY2(line.match(run.errorLines.value(run.errorLines.size() - 1)).hasMatch(),
        qPrintable(run.errorLines.join(u'\n')));
}

void TestCli::helpAndVersionOnStdout()
{
    CliRun run = runCli({"--help"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.startsWith("Usage: tolvane-cli COMMAND"));
    QVERIFY(run.errorLines.isEmpty());
    run = runCli({"remove", "--help"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains("--padding P"));
    run = runCli({"--version"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "tolvane-cli 1.0\n");
}

QTEST_GUILESS_MAIN(TestCli)

#include "tst_cli.moc"
