#include <csignal>
#include <set>
#include <tuple>
#include <utility>

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
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
#include <exiv2/exiv2.hpp>
#include <fcntl.h>
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
        return runArguments(fill(commandLine).split(u' ', Qt::SkipEmptyParts), limit);
    }

    // As run(), with the arguments as given, in `folder` (the test's own by default).
    int runArguments(
        const QStringList &arguments, std::pair<int, rlim_t> limit = {-1, 0}, QString folder = {})
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
        process.setWorkingDirectory(folder.isEmpty() ? m_dir.path() : folder);
        process.start(TOLVANE_CLI_PATH, arguments);
        const bool ended = process.waitForFinished(120000);
        m_stdout += process.readAllStandardOutput();
        m_errors = QString(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The names in `folder`, hidden ones too.
    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    }

    // A smooth photo in which detection finds no wire, so that clean writes its pixels as they
    // are; each `seed` makes another.
    static QImage plainPhoto(int w, int h, int seed)
    {
        QImage photo(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(photo.scanLine(y));
            for (int x = 0; x < w; ++x)
                row[x] = qRgb((x / 16 + seed * 40) % 256, (y / 16) % 256, 128);
        }
        return photo;
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
        // The options of detect and of remove (clean takes both); the library's T, L (for the
        // precise detector its wire length) and P.
        addColumns<QString, QString, int, int, int>();
        auto row
            = [](const char *name, const char *detect, const char *remove, int T, int L, int P) {
                  QTest::newRow(name) << QString(detect) << QString(remove) << T << L << P;
              };
        row("defaults mark both wires", "", "", 4, 30, 0);
        row("L 19 adds the stroke, P 2", "--length-threshold 19", "--padding 2", 4, 19, 2);
        row("T 2 drops the thick wire, P 3", "--width-threshold=2", "--padding 3", 2, 30, 3);
        row("precise detector", "--detector precise --width-threshold 5 --wire-length 40", "", 5,
            40, 0);
        row("seamless, whatever the padding", "", "--fill seamless --padding 5", 4, 30, 0);
        row("mirror named", "", "--fill=mirror --padding 2", 4, 30, 2);
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
            PreciseSettings settings;
            settings.maxWidth = T;
            settings.minLength = L;
            QVERIFY(detectWiresPrecise(argbPlane(photo), settings, marks.view()) > 0);
            for (int y = 0; y < photo.height(); ++y)
                for (int x = 0; x < photo.width(); ++x)
                    mask.setPixel(x, y, marks.view().at(x, y) ? detectionMark : 0);
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

    // A photo of 16 bits per channel (here the 8-bit test photo widened) is cleaned at 16
    // bits, as PNG and as TIFF, into exactly the widened 8-bit result; its masks are 8-bit and
    // those of the 8-bit photo.
    void keepsDepth()
    {
        const QImage photo = readPhoto(fill("{wires}"));
        const QImage deep = photo.convertToFormat(QImage::Format_RGBX64);
        const QImage mask = image("{wires-mask}");
        QImage cleaned(photo.size(), QImage::Format_ARGB32);
        clearWires(argbPlane(photo), argbPlane(mask), 0, mutableArgbPlane(cleaned));
        const QImage expected = cleaned.convertToFormat(QImage::Format_RGBX64);
        for (const QString suffix : {"png", "tif"}) {
            const QString in = m_dir.filePath("deep." + suffix);
            const QString out = m_dir.filePath("clean." + suffix);
            QVERIFY(deep.save(in));
            QVERIFY(run("detect " + in + " -o {dir}/mask.png") == 0 && m_errors.isEmpty());
            QImageReader maskFile(fill("{dir}/mask.png"));
            QCOMPARE(maskFile.read().depth(), 32);
            QCOMPARE(image("{dir}/mask.png"), image("{wires-mask}"));
            for (const QString &command : {"remove " + in + " --mask {wires-mask} -o " + out,
                     "clean " + in + " -o " + out + " --overwrite"}) {
                QVERIFY2(run(command) == 0, qPrintable(command));
                QImageReader written(out);
                QCOMPARE(written.imageFormat(), QImage::Format_RGBX64);
                QImage pixels = written.read();
                pixels.setColorSpace(QColorSpace());
                QCOMPARE(pixels, expected);
            }
        }
    }

    void traceCommitsSucceedingSegments_data()
    {
        addColumns<QString, int>(); // points, skipped
        QTest::newRow("along wire B") << "4,30 40,27 59,25 {wires}" << 0;
        QTest::newRow("failed trace keeps control point") << "0,4 599,4 300,4 {line}" << 1;
    }

    void traceCommitsSucceedingSegments()
    {
        const auto [points, skipped] = fetchRow<QString, int>();
        QVERIFY(run("{trace} " + points) == 0 && m_errors.size() == skipped);
        // The wire from the first point up to, not including, the last one.
        const bool line = points.endsWith("{line}");
        const int endX = points.section(' ', -2, -2).section(',', 0, 0).toInt();
        QImage expected(image(line ? "{line}" : "{wires}").size(), QImage::Format_ARGB32);
        expected.fill(0);
        for (int x = line ? 0 : 4; x < endX; ++x)
            expected.setPixel(x, line ? 4 : 30 - (x - 4) / 10, traceMark);
        QCOMPARE(image("{out}"), expected);
    }

    void cleanWritesWhatItMay()
    {
        QVERIFY(QFile::copy(fill("{wires-mask}"), fill("{dir}/line.png")));
        // The unreadable input and the existing output are reported; wires.png is still cleaned.
        // Inputs may stand among the options.
        const QString several = "clean {wires} --jobs 2 {not-an-image} --out-dir {dir} {line}";
        QVERIFY(run(several) == 2 && m_errors.size() == 3);
        QVERIFY(m_errors.contains(fill("tolvane-cli: {not-an-image}: Failed to read image")));
        QVERIFY(m_errors.contains(
            fill("[1/3] wires.png: 2 wire traces, 184 pixels marked -> {dir}/wires.png")));
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
        auto row = [](const char *name, const char *command, int status, const char *line = "") {
            QTest::newRow(name) << QString(command) << status << QString(line);
        };
        // Each numeric option refuses the values just outside its range and takes its limits.
        for (const auto &[command, option, low, high] :
            {std::tuple("{detect}", "--width-threshold", 1, 99),
                {"{detect}", "--length-threshold", 1, 999}, {"{remove}", "--padding", 0, 99},
                {"{detect}", "--wire-length", 10, 9999}}) {
            for (const int value : {low - 1, low, high, high + 1}) {
                const int status = value < low || value > high ? 1 : 0;
                QTest::addRow("%s %d %s", option, value, status ? "refused" : "accepted")
                    << QString::asprintf("%s %s %d", command, option, value) << status
                    << QString::asprintf("%s: %d is out of range %d..%d", option, value, low, high);
            }
        }
        row("classic detector", "{detect} --detector=classic", 0);
        row("unknown detector", "{detect} --detector fast", 1,
            "--detector: fast is not a detector (classic or precise)");
        row("detector of remove", "{remove} --detector precise", 1,
            "--detector: not an option of remove");
        row("empty detector", "{detect} --detector=", 1, "--detector: missing value");
        row("--jobs 0 refused", "clean {wires} -o {out} --jobs 0", 1, "--jobs: 0 is out of range");
        row("--jobs 1 accepted", "clean {wires} -o {out} --jobs 1", 0);
        row("unknown command", "wipe {wires}", 1, "wipe: unknown command");
        row("unknown option", "{detect} --fast", 1, "--fast: unknown option");
        row("other command's option", "{detect} --padding 2", 1, "--padding: not an option of");
        row("missing value", "{remove} --padding", 1, "--padding: missing value");
        row("unknown fill", "{remove} --fill blur", 1, "--fill: blur is not mirror or seamless");
        row("fill of detect", "{detect} --fill seamless", 1, "--fill: not an option of detect");
        row("option as value", "detect {wires} -o --timings", 1, "-o: missing value");
        row("missing output", "detect {wires}", 1, "-o: missing");
        row("given twice", "{detect} -o {out}", 1, "-o: given more than once");
        row("flag with value", "{detect} --timings=yes", 1, "--timings: takes no value");
        row("not an integer", "{remove} --padding 4.5", 1, "--padding: 4.5 is not an integer");
        row("plus sign", "{remove} --padding +3", 0);
        row("huge", "{remove} --padding=9999999999999999999", 1, "--padding: 9999999999999999999");
        row("not a point", "{trace} 1,1 2,1.5 {wires}", 1, "--points: 2,1.5 is not a point");
        row("point outside", "{trace} 1,1 64,10 {wires}", 1, "--points: 64,10 is outside");
        row("negative point", "{trace} -1,5 2,2 {wires}", 1, "--points: -1,5 is outside");
        row("mask size differs", "remove {wires} -o {out} --mask {line}", 1, "{line}: the mask is");
        row("unreadable mask", "remove {wires} -o {out} --mask {not-an-image}", 2,
            "{not-an-image}: Failed to read image");
        row("every trace fails", "{trace} 0,0 599,7 10,0 {line}", 3, "--points: no segment could");
        row("unwritable output", "detect {wires} -o {dir}/none/m.png", 2, "{dir}/none/m.png: ");
        row("detect timings", "{detect} --timings", 0, "timings: load #, detect #, save #");
        row("remove timings", "{remove} --timings", 0, "timings: load #, remove #, save #");
        row("trace timings", "{trace} 0,4 9,4 {line} --timings", 0,
            "timings: load #, trace #, save #");
        row("clean timings", "clean {wires} -o {out} --timings", 0,
            "timings: load #, detect #, remove #, save #");
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

    // remove and clean write the input's tags and colour profile as Save does.
    void keepsMetadata()
    {
        writeTaggedJpeg(readPhoto(fill("{wires}")), fill("{dir}/tagged.jpg"));
        QVERIFY(run("detect {dir}/tagged.jpg -o {dir}/mask.png") == 0);
        QVERIFY(run("remove {dir}/tagged.jpg --mask {dir}/mask.png -o {dir}/kept.jpg") == 0);
        QVERIFY(run("clean {dir}/tagged.jpg -o {dir}/kept.png") == 0);
        for (const char *name : {"{dir}/kept.jpg", "{dir}/kept.png"}) {
            QVERIFY2(taggedPhotoSummary(fill(name))
                    == QStringList({"Pellam", "K-1", "1", "2024:05:17 18:42:07", "48", "64", "N",
                        "52/1", "Pellam 2024", "street", "1", "no thumbnail", "Adobe RGB"}),
                name);
        }
    }

    void imageFiles_data() { addImageFileRows(); }

    // Every command reads each file as Open does: it works on the photo Open shows, or stops
    // with status 2 and one line naming the file; a JPEG cut short only with --accept-damaged.
    void imageFiles()
    {
        QFETCH(ImageFileCase, file);
        const QString path = writeImageFileCase(file, m_dir.path());
        if (path.isEmpty())
            QSKIP("permissions do not stop this user (root) from reading");
        QString damage;
        const QImage photo = readPhoto(path, &damage);
        QVERIFY(opensAsExpected(photo, file));
        const QString corner = QString("%1,%2").arg(photo.width() - 1).arg(photo.height() - 1);
        for (const QString &command :
            QStringList {"detect %1 -o {out}", "remove %1 --mask %1 -o {out}",
                "trace %1 -o {out} --points 0,0 " + corner, "clean %1 -o {out} --overwrite"}) {
            QFile::remove(fill("{out}"));
            int status = run(command.arg(path));
            if (!damage.isEmpty()) {
                // Refused with one line and no file, unless --accept-damaged reads what it holds.
                QVERIFY(status == 2 && !QFile::exists(fill("{out}")));
                QCOMPARE(m_errors.constLast(),
                    "tolvane-cli: " + path
                        + ": damaged: the file ends before the picture does; the rest shows grey "
                          "(--accept-damaged reads it anyway)");
                status = run(command.arg(path) + " --accept-damaged");
            }
            if (photo.isNull()) {
                QCOMPARE(status, 2);
                const QString line = "tolvane-cli: " + path + ": Failed to read image";
#ifdef TOLVANE_ADDRESS_CHECKED
                // These builds leave the image libraries' own complaints on standard error.
                QCOMPARE(m_errors.constLast(), line);
#else
                QCOMPARE(m_errors, QStringList {line});
#endif
                continue;
            }
            // A trace that finds no thin line writes nothing; clean reports each file.
            const bool traced = status == 0 || (status == 3 && command.startsWith("trace"));
            const int lines = command.startsWith("clean") || status == 3 ? 1 : 0;
            QVERIFY2(traced && m_errors.size() == lines, qPrintable(command));
            QCOMPARE(QFile::exists(fill("{out}")), status == 0);
            if (status == 0)
                QCOMPARE(image("{out}").size(), photo.size());
        }
    }

    void writeFailures_data()
    {
        // The command writing {dir}/keep/old.png; a full disk or a read-only folder.
        addColumns<QString, bool>(); // commandLine, fullDisk
        for (const char *command : {"detect {wires} -o", "remove {wires} --mask {wires} -o",
                 "trace {wires} --points 4,30 40,27 -o", "clean {wires} --overwrite -o"}) {
            QTest::addRow("%s, full disk", command) << QString(command) << true;
            QTest::addRow("%s, read-only folder", command) << QString(command) << false;
        }
    }

    // A write that fails is reported on the output, leaves the file that was there and no
    // other, and ends with status 2.
    void writeFailures()
    {
        const auto [commandLine, fullDisk] = fetchRow<QString, bool>();
        const QString folder = fill("{dir}/keep"), old = folder + "/old.png";
        QFile::setPermissions(folder, QFile::Permissions(0x7700));
        QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder));
        QVERIFY(QFile::copy(fill("{line}"), old));
        QFile::setPermissions(folder, fullDisk ? QFile::Permissions(0x7700) : QFile::ReadOwner);
        const bool writable = QFile(folder + "/probe").open(QIODevice::WriteOnly);
        QFile::remove(folder + "/probe");
        if (!fullDisk && writable)
            QSKIP("permissions do not stop this user (root) from writing");
        const int status = run(commandLine + " " + old, {fullDisk ? RLIMIT_FSIZE : -1, 64});
        QFile::setPermissions(folder, QFile::Permissions(0x7700));
        QVERIFY(status == 2 && m_errors.size() == 1);
        QVERIFY2(m_errors[0].startsWith("tolvane-cli: " + old + ": "), qPrintable(m_errors[0]));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"old.png"});
        QCOMPARE(image(old), image("{line}"));
    }

    // Without memory for a photo-sized image each command stops with status 2, one line and
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
        for (const char *command :
            {"detect {dir}/big.png -o {out}", "trace {dir}/big.png -o {out} --points 0,5 90,5",
                "clean {dir}/big.png -o {out}"}) {
            const int status
                = run(command, {RLIMIT_AS, rlim_t(7000 * 7000 * 4 * 3 / 2 + (100 << 20))});
            QVERIFY2(status == 2 && m_errors.size() == 1 && !QFile::exists(fill("{out}"))
                    && m_errors[0].startsWith(
                        fill("tolvane-cli: {dir}/big.png: not enough memory")),
                qPrintable(command + (": " + m_errors.join(' '))));
        }
    }

    void specialFiles_data()
    {
        addColumns<QString, QString>(); // what stands in for a file, the command naming it (%1)
        for (const char *kind : {"fifo", "folder", "/dev/zero"}) {
            for (const char *command :
                {"detect %1 -o {out}", "remove %1 --mask {wires-mask} -o {out}",
                    "remove {wires} --mask %1 -o {out}", "trace %1 -o {out} --points 0,0 1,1",
                    "clean %1 -o {out}", "detect {wires} -o %1",
                    "remove {wires} --mask {wires-mask} -o %1",
                    "trace {wires} --points 4,30 40,27 -o %1", "clean {wires} --overwrite -o %1"}) {
                // /dev/zero is never written to, even by a test.
                if (kind[0] != '/' || !QByteArray(command).endsWith("%1"))
                    QTest::addRow("%s: %s", kind, command) << QString(kind) << QString(command);
            }
        }
    }

    // Only regular files are read, as photos and as masks: opening a FIFO with no writer would
    // wait for ever, and /dev/zero never ends. An output that exists but is no regular file is
    // left as it is, not replaced by one. Each command stops at once with status 2 and one line.
    void specialFiles()
    {
        const auto [kind, command] = fetchRow<QString, QString>();
        const QString path = kind.startsWith('/') ? kind : m_dir.filePath("special.png");
        if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        const auto removal = qScopeGuard([&] {
            if (!kind.startsWith('/'))
                QFile::remove(path) || QDir().rmdir(path);
        });
        QCOMPARE(run(command.arg(path)), 2);
        const QString reason
            = command.endsWith("%1") ? "not a regular file; not replaced" : "Failed to read image";
        QCOMPARE(m_errors, QStringList {"tolvane-cli: " + path + ": " + reason});
        QVERIFY(!QFile::exists(fill("{out}")));
        struct stat status
        { };
        QCOMPARE(stat(QFile::encodeName(path).constData(), &status), 0);
        QVERIFY(kind == "fifo" ? S_ISFIFO(status.st_mode) : !S_ISREG(status.st_mode));
    }

    void outputIsAnInput_data()
    {
        addColumns<QString>(); // commandLine, on in.png, its mask m.png and link.png to in.png
        for (const char *command : {"detect {dir}/in.png -o {dir}/in.png",
                 "detect {dir}/in.png -o {dir}/./in.png", "detect {dir}/link.png -o {dir}/in.png",
                 "trace {dir}/in.png --points 4,30 40,27 -o {dir}/link.png",
                 "remove {dir}/in.png --mask {dir}/m.png -o {dir}/m.png",
                 "remove {dir}/in.png --mask {dir}/m.png -o {dir}/in.png"})
            QTest::newRow(command) << QString(command);
    }

    // detect, remove and trace never write over the photo or the mask they read, under any
    // name: status 2, one line, both files as they were.
    void outputIsAnInput()
    {
        const auto [commandLine] = fetchRow<QString>();
        const QString folder = fill("{dir}/inputs");
        QVERIFY(QDir().mkpath(folder));
        const auto removal = qScopeGuard([&] { QDir(folder).removeRecursively(); });
        QVERIFY(QFile::copy(fill("{wires}"), folder + "/in.png"));
        QVERIFY(QFile::copy(fill("{wires-mask}"), folder + "/m.png"));
        QVERIFY(QFile::link("in.png", folder + "/link.png"));
        QCOMPARE(run(QString(commandLine).replace("{dir}", folder)), 2);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(": is an input file ("), qPrintable(m_errors[0]));
        QCOMPARE(image(folder + "/in.png"), image("{wires}"));
        QCOMPARE(image(folder + "/m.png"), image("{wires-mask}"));
        QVERIFY(QFileInfo(folder + "/link.png").isSymLink());
        QCOMPARE(entries(folder), (QStringList {"in.png", "link.png", "m.png"}));
    }

    void awkwardNames_data()
    {
        addColumns<QString>(); // name
        QTest::newRow("unicode") << QString::fromUtf8("Stra\xc3\x9f"
                                                      "e \xe2\x82\xac \xe6\x9d\xb1.png");
        QTest::newRow("spaces") << "  two  words .png";
        QTest::newRow("leading dash") << "-wires.png";
        QTest::newRow("leading dashes") << "--wires.png";
        QTest::newRow("line break") << "two\nlines.png";
    }

    // Names are taken as they are, in arguments and in every line (a line break in one shown as
    // \x0a): after "--" even one that starts as an option does, and an option's value may
    // start with a single '-'.
    void awkwardNames()
    {
        const auto [name] = fetchRow<QString>();
        const QString folder = fill("{dir}/names");
        QVERIFY(QDir().mkpath(folder));
        const auto removal = qScopeGuard([&] { QDir(folder).removeRecursively(); });
        QVERIFY(QFile::copy(fill("{wires}"), folder + "/" + name));
        const QString mask = "-mask " + name;
        QCOMPARE(runArguments({"detect", "-o", mask, "--", name}, {-1, 0}, folder), 0);
        QCOMPARE(image(folder + "/" + mask), image("{wires-mask}"));
        QCOMPARE(runArguments(
                     {"remove", "--mask", mask, "-o", "c " + name, "--", name}, {-1, 0}, folder),
            0);
        QCOMPARE(image(folder + "/c " + name), image("{wires-clean}"));
        QCOMPARE(
            runArguments({"clean", "--out-dir", "out " + name, "--", name}, {-1, 0}, folder), 0);
        // Each line stays one line.
        const QString shown = QString(name).replace('\n', "\\x0a");
        QCOMPARE(m_errors,
            QStringList {"[1/1] " + shown + ": 2 wire traces, 184 pixels marked -> out " + shown
                + "/" + shown});
        QCOMPARE(image(folder + "/out " + name + "/" + name), image("{wires-clean}"));
        QCOMPARE(
            runArguments({"detect", "-o", "m.png", "--", "missing" + name}, {-1, 0}, folder), 2);
        QCOMPARE(m_errors, QStringList {"tolvane-cli: missing" + shown + ": Failed to read image"});
    }

    void interruptedBatch_data()
    {
        addColumns<int>(); // signal
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }

    // A signal during a batch, once the first file is written and the next are under way:
    // every output there is complete, and nothing else is, not even a temporary file. SIGINT
    // and SIGTERM end the run with status 130 and a line that says how far it got.
    void interruptedBatch()
    {
        const auto [signal] = fetchRow<int>();
        const QString folder = fill("{dir}/batch"), out = folder + "/out";
        QVERIFY(QDir().mkpath(out));
        const auto removal = qScopeGuard([&] { QDir(folder).removeRecursively(); });
        const int unnamed = ::open(QFile::encodeName(out).constData(), O_TMPFILE | O_WRONLY, 0600);
        if (unnamed < 0 && signal == SIGKILL)
            QSKIP("no unnamed files in this folder: a killed write leaves its temporary file");
        if (unnamed >= 0)
            ::close(unnamed);

        constexpr int count = 6;
        QStringList arguments {"clean", "--jobs", "2", "--out-dir", out};
        for (int i = 0; i < count; ++i) {
            arguments << QString("%1/p%2.png").arg(folder).arg(i);
            QVERIFY(plainPhoto(2400, 1600, i).save(arguments.constLast()));
        }
        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(TOLVANE_CLI_PATH, arguments);
        QByteArray first;
        while (!first.contains('\n') && process.waitForReadyRead(60000))
            first += process.readAll();
        QVERIFY2(first.startsWith("[1/6] "), first.constData());
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        const QStringList lines
            = QString(first + process.readAll()).split('\n', Qt::SkipEmptyParts);

        const QStringList written = entries(out);
        QVERIFY2(!written.isEmpty() && written.size() < count, qPrintable(written.join(' ')));
        for (const QString &name : written) {
            QVERIFY2(QRegularExpression("^p\\d\\.png$").match(name).hasMatch(), qPrintable(name));
            QCOMPARE(image(out + "/" + name), plainPhoto(2400, 1600, name.mid(1, 1).toInt()));
        }
        if (signal == SIGKILL) {
            QCOMPARE(process.exitStatus(), QProcess::CrashExit);
            return;
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(lines.size(), written.size() + 1);
        QCOMPARE(lines.constLast(),
            QString("tolvane-cli: interrupted after %1 of 6 files; the others are not written")
                .arg(written.size()));
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
