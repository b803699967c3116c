#include <csignal>
#include <utility>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "datatable.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "imagefilecases.h"
#include "removal/columnfill.h"
#include "removal/seamlessfill.h"
#include "selection/detection.h"
#include "selection/precisedetection.h"
#include "taggedphoto.h"
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // {name} stands for data/name.png.
    QString fill(QString text) const
    {
        return text.replace("{detect}", "detect {wires} -o {out}")
            .replace("{remove}", "remove {wires} --mask {wires-mask} -o {out}")
            .replace("{trace}", "trace -o {out} --points")
            .replace("{out}", "{dir}/out.png")
            .replace("{dir}", m_dir.path())
            .replace(QRegularExpression("\\{([a-z-]+)\\}"), TOLVANE_TEST_DATA "/\\1.png");
    }

    QImage image(const QString &name) const { return readMask(fill(name)); }

    // Runs tolvane-cli on `commandLine`, split at spaces after filling in the placeholders;
    // returns its exit status. A `limit` (setrlimit's resource and bytes) holds for the run.
    int run(const QString &commandLine, std::pair<int, rlim_t> limit = {-1, 0})
    {
        QProcess process;
        process.setChildProcessModifier([limit] {
            if (limit.first < 0)
                return;
            // Past the file-size limit a write then fails with EFBIG, as on a full disk.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit bytes {limit.second, limit.second};
            setrlimit(limit.first, &bytes);
        });
        process.setWorkingDirectory(m_dir.path());
        process.start(TOLVANE_CLI_PATH, fill(commandLine).split(u' ', Qt::SkipEmptyParts));
        const bool ended = process.waitForFinished(120000);
        m_stdout += process.readAllStandardOutput();
        m_errors = QString(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The names in `folder`, hidden ones and FIFOs too.
    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void cleanup()
    {
        QFile::remove(fill("{out}"));
        const QByteArray out = std::exchange(m_stdout, {});
        QVERIFY2(out.isEmpty(), out.constData());
    }

    void outputsEqualLibrary_data()
    {
        // The options of detect and of remove (clean takes both), a bound among them; the
        // library's T, L (for the precise detector its wire length) and P.
        addColumns<QString, QString, int, int, int>();
        for (const auto &[detect, remove, T, L, P] :
            {std::tuple("", "", 4, 30, 0), {"--length-threshold 19", "--padding 2", 4, 19, 2},
                {"--detector precise --width-threshold 5 --wire-length 40", "--padding 0", 5, 40,
                    0},
                {"", "--fill seamless --padding 5", 4, 30, 0}})
            QTest::addRow("%s %s", detect, remove)
                << QString(detect) << QString(remove) << T << L << P;
    }

    // detect, then remove with its mask, and clean, as the library does it.
    void outputsEqualLibrary()
    {
        const auto [detect, remove, T, L, P] = fetchRow<QString, QString, int, int, int>();
        const bool precise = detect.contains("precise"), seamless = remove.contains("seamless");
        const QImage photo = readPhoto(fill("{wires}"));
        QImage mask(photo.size(), QImage::Format_ARGB32);
        if (precise) {
            PlaneBuffer<std::uint8_t> marks(photo.width(), photo.height());
            QVERIFY(detectWiresPrecise(
                argbPlane(photo), {.maxWidth = T, .minLength = L}, marks.view()));
            for (int i = 0; i < photo.width() * photo.height(); ++i)
                mask.setPixel(
                    i % photo.width(), i / photo.width(), marks.data()[i] ? detectionMark : 0);
        } else {
            paintTraces(detectWires(argbPlane(photo), T, L), mutableArgbPlane(mask));
        }
        QImage cleaned(photo.size(), QImage::Format_ARGB32);
        if (seamless)
            seamlessFill(argbPlane(photo), argbPlane(mask), mutableArgbPlane(cleaned));
        else
            clearWires(argbPlane(photo), argbPlane(mask), P, mutableArgbPlane(cleaned));
        QVERIFY(run("{detect} " + detect) == 0 && m_errors.isEmpty());
        QCOMPARE(image("{out}"), mask);
        QVERIFY(
            run("remove {wires} --mask {out} -o {dir}/c.png " + remove) == 0 && m_errors.isEmpty());
        QCOMPARE(image("{dir}/c.png"), cleaned);
        QCOMPARE(run("clean {wires} -o {out} --overwrite " + detect + " " + remove), 0);
        QCOMPARE(image("{out}"), cleaned);
    }

    // trace commits the segments that succeed: the wire from the first point up to, not
    // including, the last one. On line.png the trace to its far end fails and is reported; the
    // next one starts from the control point that stayed.
    void traceCommitsSucceedingSegments()
    {
        for (const auto &[points, skipped, endX] :
            {std::tuple("4,30 40,27 59,25 {wires}", 0, 59), {"0,4 599,4 300,4 {line}", 1, 300}}) {
            QVERIFY(run("{trace} " + QString(points)) == 0 && m_errors.size() == skipped);
            const bool line = skipped;
            QImage expected(image(line ? "{line}" : "{wires}").size(), QImage::Format_ARGB32);
            expected.fill(0);
            for (int x = line ? 0 : 4; x < endX; ++x)
                expected.setPixel(x, line ? 4 : 30 - (x - 4) / 10, traceMark);
            QCOMPARE(image("{out}"), expected);
        }
    }

    void cleanWritesWhatItMay()
    {
        QVERIFY(QFile::copy(fill("{wires-mask}"), fill("{dir}/line.png")));
        // The unreadable input and the existing output are reported; wires.png is still cleaned.
        // Inputs may stand among the options.
        const QString several = "clean {wires} --jobs 2 {not-an-image} --out-dir {dir} {line}";
        QVERIFY(run(several) == 2 && m_errors.size() == 3);
        QVERIFY(m_errors.contains(fill("tolvane-cli: {not-an-image}: Failed to read image")));
        QCOMPARE(image("{dir}/wires.png"), image("{wires-clean}"));
        QCOMPARE(image("{dir}/line.png"), image("{wires-mask}"));

        QVERIFY(run(several + " --overwrite") == 2 && m_errors.size() == 3);
        QCOMPARE(image("{dir}/line.png").size(), QSize(600, 8));

        // Its own input, even under another name, is never written.
        QVERIFY(QFile::copy(fill("{wires}"), fill("{dir}/a.png")));
        QCOMPARE(run("clean {dir}/a.png --out-dir {dir}/. --overwrite"), 2);
        QCOMPARE(image("{dir}/a.png"), image("{wires}"));
    }

    // What a run prints on standard error: after a failure one line, "tolvane-cli: " and the
    // start given; with --timings, at the end, the timings line given, each time shown as #.
    void standardError_data()
    {
        addColumns<QString, int, QString>(); // commandLine, status, line
        for (const auto &[command, status, line] :
            {std::tuple("{detect} --width-threshold 0", 1, "--width-threshold: 0 is out of"),
                {"{detect} --width-threshold 100", 1, "--width-threshold: 100 is out of"},
                {"wipe {wires}", 1, "wipe: unknown command"},
                {"{detect} --padding 2", 1, "--padding: not an option of"},
                {"{remove} --padding 4.5", 1, "--padding: 4.5 is not an integer"},
                {"{trace} 1,1 64,10 {wires}", 1, "--points: 64,10 is outside"},
                {"remove {wires} -o {out} --mask {line}", 1, "{line}: the mask is"},
                {"{trace} 0,0 599,7 10,0 {line}", 3, "--points: no segment could"},
                {"clean {wires} -o {out} --timings", 0,
                    "timings: load #, detect #, remove #, save #"}})
            QTest::newRow(command) << QString(command) << status << QString(line);
    }

    void standardError()
    {
        const auto [commandLine, status, line] = fetchRow<QString, int, QString>();
        QCOMPARE(run(commandLine), status);
        QCOMPARE(QFile::exists(fill("{out}")), status == 0);
        const QString text = m_errors.join('\n').replace(QRegularExpression("\\d+\\.\\d ms"), "#");
        const bool shown = status
            ? m_errors.size() == 1 && text.startsWith("tolvane-cli: " + fill(line))
            : !commandLine.endsWith("--timings") || text.endsWith(line);
        QVERIFY2(shown, qPrintable(text));
    }

    // remove writes the input's tags and colour profile as Save does.
    void keepsMetadata()
    {
        writeTaggedJpeg(readPhoto(fill("{wires}")), fill("{dir}/tagged.jpg"));
        QVERIFY(run("detect {dir}/tagged.jpg -o {dir}/mask.png") == 0);
        QVERIFY(run("remove {dir}/tagged.jpg --mask {dir}/mask.png -o {dir}/kept.jpg") == 0);
        QCOMPARE(taggedPhotoSummary(fill("{dir}/kept.jpg")),
            QStringList({"Pellam", "K-1", "1", "2024:05:17 18:42:07", "48", "64", "N", "52/1",
                "Pellam 2024", "street", "1", "no thumbnail", "Adobe RGB"}));
    }

    void imageFiles_data() { addImageFileRows(); }

    // Every command reads photos as Open does, through one function; remove also reads the file
    // as its mask. It works on the photo Open shows, and writes it at its depth (16 bits per
    // channel stay 16), or stops with status 2 and one line naming the file; a JPEG cut short
    // only with --accept-damaged.
    void imageFiles()
    {
        QFETCH(ImageFileCase, file);
        const QString path = writeImageFileCase(file, m_dir.path());
        if (path.isEmpty())
            QSKIP("permissions do not stop this user (root) from reading");
        const QImage photo = readPhoto(path);
        const QString command = QString("remove %1 --mask %1 -o {out}").arg(path);
        if (file.tolerance < 0) { // a JPEG cut short, which opens at its size only
            QVERIFY(run(command) == 2 && !QFile::exists(fill("{out}")));
            QVERIFY(m_errors.constLast().startsWith("tolvane-cli: " + path + ": damaged: "));
        }
        QCOMPARE(
            run(command + (file.tolerance < 0 ? " --accept-damaged" : "")), photo.isNull() ? 2 : 0);
        // libpng itself may print its own diagnosis of a cut file first (it does in the
        // sanitized debug build); the program's lines are what is checked.
        QStringList own = m_errors;
        own.removeIf([](const QString &line) { return line.startsWith("libpng error: "); });
        QCOMPARE(
            own.join(""), photo.isNull() ? "tolvane-cli: " + path + ": Failed to read image" : "");
        // No file when it fails.
        const QImage written(fill("{out}"));
        QVERIFY(written.size() == photo.size() && written.depth() == photo.depth());
    }

    // A write that fails on a full disk is reported on the output, leaves the file that was
    // there and no other, and ends with status 2.
    void writeFailures()
    {
        const QString folder = fill("{dir}/keep"), old = folder + "/old.png";
        QVERIFY(QDir().mkpath(folder) && QFile::copy(fill("{line}"), old));
        for (const char *command : {"detect {wires} -o", "clean {wires} --overwrite -o"}) {
            QVERIFY(run(command + (" " + old), {RLIMIT_FSIZE, 64}) == 2 && m_errors.size() == 1);
            QVERIFY2(m_errors[0].startsWith("tolvane-cli: " + old + ": "), qPrintable(m_errors[0]));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"old.png"});
            QCOMPARE(image(old), image("{line}"));
        }
    }

    // Without memory for a photo-sized image clean stops with status 2, one line and
    // no file. The limit holds the photo (196 MB) once, with about 200 MB for the program
    // itself, but not twice.
    void outOfMemory()
    {
#ifdef TOLVANE_ADDRESS_CHECKED
        QSKIP("the address sanitizer reserves more address space than any limit allows");
#endif
        // Not opaque, so that it reads as 32-bit ARGB with no converted copy.
        QImage photo(7000, 7000, QImage::Format_ARGB32);
        photo.fill(qRgba(200, 210, 220, 254));
        QPainter(&photo).fillRect(0, 5, 100, 1, QColor(0, 0, 0, 254));
        QVERIFY(photo.save(fill("{dir}/big.png")));
        const int status = run("clean {dir}/big.png -o {out}",
            {RLIMIT_AS, rlim_t(7000 * 7000 * 4 * 3 / 2 + (100 << 20))});
        QVERIFY2(status == 2 && m_errors.size() == 1 && !QFile::exists(fill("{out}"))
                && m_errors[0].startsWith(fill("tolvane-cli: {dir}/big.png: not enough memory")),
            qPrintable(m_errors.join(' ')));
    }

    // No command reads a FIFO (with no writer that would wait for ever), replaces what is no
    // regular file or writes over the photo or the mask it reads, under any name: status 2, one
    // line, every file as it was.
    void keepsWhatItMustNotReplace()
    {
        const QString folder = fill("{dir}/inputs");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(fill("{wires}"), folder + "/in.png"));
        QVERIFY(QFile::copy(fill("{wires-mask}"), folder + "/m.png"));
        QVERIFY(QFile::link("in.png", folder + "/link.png"));
        QCOMPARE(mkfifo(QFile::encodeName(folder + "/fifo.png").constData(), 0600), 0);
        for (const auto &[command, error] :
            {std::pair("detect {in}/fifo.png -o {out}", "{in}/fifo.png: Failed to read image"),
                {"clean {wires} --overwrite -o {in}/fifo.png",
                    "{in}/fifo.png: not a regular file; not replaced"},
                {"detect {in}/link.png -o {in}/./in.png", ": is an input file ("},
                {"remove {in}/in.png --mask {in}/m.png -o {in}/m.png", ": is an input file ("}}) {
            QCOMPARE(run(QString(command).replace("{in}", folder)), 2);
            QVERIFY2(m_errors.size() == 1
                    && m_errors[0].contains(QString(error).replace("{in}", folder)),
                command);
            QVERIFY(!QFile::exists(fill("{out}")));
        }
        QCOMPARE(image(folder + "/in.png"), image("{wires}"));
        QCOMPARE(image(folder + "/m.png"), image("{wires-mask}"));
        QVERIFY(QFileInfo(folder + "/link.png").isSymLink());
        QVERIFY(!QFileInfo(folder + "/fifo.png").isFile());
        QCOMPARE(entries(folder), (QStringList {"fifo.png", "in.png", "link.png", "m.png"}));
    }

    // SIGINT during a batch, once the first file is written and the next are under way: every
    // output there is complete, and nothing else is; the run ends with status 130 and a line
    // that says how far it got.
    void interruptedBatch()
    {
        const QString folder = fill("{dir}/batch"), out = folder + "/out";
        QVERIFY(QDir().mkpath(out));
        constexpr int count = 6;
        QStringList arguments {"clean", "--jobs", "2", "--out-dir", out};
        // Smooth photos, in which detection finds no wire, so that clean writes their pixels.
        for (int i = 0; i < count; ++i) {
            QImage photo(2400, 1600, QImage::Format_ARGB32);
            QLinearGradient gradient(0, 0, 2400, 1600);
            gradient.setStops({{0, QColor(i * 40, 0, 128)}, {1, QColor(i * 40, 100, 128)}});
            QPainter(&photo).fillRect(photo.rect(), gradient);
            QVERIFY(photo.save(arguments.emplace_back(QString("%1/p%2.png").arg(folder).arg(i))));
        }
        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(TOLVANE_CLI_PATH, arguments);
        QByteArray first;
        while (!first.contains('\n') && process.waitForReadyRead(60000))
            first += process.readAll();
        QVERIFY2(first.startsWith("[1/6] "), first.constData());
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(60000));
        const QStringList lines
            = QString(first + process.readAll()).split('\n', Qt::SkipEmptyParts);

        const QStringList written = entries(out);
        QVERIFY2(!written.isEmpty() && written.size() < count, qPrintable(written.join(' ')));
        for (const QString &name : written)
            QCOMPARE(image(out + "/" + name), image(folder + "/" + name));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(lines.constLast(),
            QString("tolvane-cli: interrupted after %1 of 6 files; the others are not written")
                .arg(written.size()));
    }
};

QTEST_GUILESS_MAIN(TestCli)

#include "tst_cli.moc"
