#include <csignal>
#include <functional>

#include <QAction>
#include <QColorSpace>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTest>
#include <QUndoCommand>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "datatable.h"
#include "document/tools.h"
#include "guitestsupport.h"
#include "image/imagefiles.h"
#include "image/snapshot.h"
#include "image/wiremask.h"
#include "imagefilecases.h"
#include "taggedphoto.h"
#include "windowsession.h"
#include <malloc.h>
#include <sys/resource.h>

namespace {

// Lowers this process's soft limit on `resource` to `bytes` until the result goes. Past a
// file-size limit, writes fail with EFBIG as on a full disk (the signal is ignored in
// initTestCase).
auto limitResource(int resource, rlim_t bytes)
{
    rlimit old {};
    getrlimit(resource, &old);
    const rlimit limit {bytes, old.rlim_max};
    if (setrlimit(resource, &limit) != 0)
        qFatal("cannot limit resource %d", resource);
    return qScopeGuard([resource, old] { setrlimit(resource, &old); });
}

// The address space this process uses now, in bytes.
// One heap for all threads, set before any thread starts: a worker thread's heap reserves
// address space in advance and grows inside it past any address-space limit.
const int oneHeap = mallopt(M_ARENA_MAX, 1);

rlim_t addressSpaceInUse()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/status");
    const QRegularExpression size("VmSize:\\s*(\\d+) kB");
    return rlim_t(size.match(QString(status.readAll())).captured(1).toLongLong()) * 1024;
}

// A 60 x 30 photo with a dark two-row wire on rows 10-11 from column 5 through 54, under
// it a gradient whose 16-bit values an 8-bit photo cannot hold. In 64-bit RGBA, or rounded
// to 32-bit ARGB; with alpha falling to the right, or opaque.
QImage wiredPhoto(bool deep, bool alpha)
{
    QImage image(60, 30, QImage::Format_RGBA64);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgba64 *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool wire = (y == 10 || y == 11) && x >= 5 && x < 55;
            const quint16 a = alpha ? quint16(65535 - x * 1000) : 65535;
            row[x] = wire ? QRgba64::fromRgba64(9000 + x, 9100, 9200 + y, a)
                          : QRgba64::fromRgba64(quint16(40000 + x * 531 + y * 7),
                              quint16(52000 - x * 97 - y * 13), quint16(61000 + x * y), a);
        }
    }
    return deep ? image : image.convertToFormat(QImage::Format_ARGB32);
}

// The pixels of `photo` as the window holds them, without the colour space that a file read
// back carries (the window keeps it apart).
QImage inDocumentFormat(const QImage &photo)
{
    QImage pixels = photo.convertToFormat(
        photo.depth() == 64 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

// Where an item lies, how it is drawn, and its picture.
auto layout(const QGraphicsPixmapItem *item)
{
    return std::tuple(item->pos(), item->zValue(), item->transformationMode(),
        item->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

// A window with its answers in place of the dialogs, and folders to open from and save to.
struct Session : WindowSession
{
    QTemporaryDir photos, saved;

    // A left press of the smart selection centred on photo pixel `at`.
    void smartSelect(QPoint at) { WindowSession::smartSelect(at.x(), at.y(), true); }
    // Width threshold, length threshold and wire padding, in the order the form creates
    // them; -1 for a disabled box.
    QList<int> parameters()
    {
        QList<int> values;
        for (const char *name : {"spinBox", "spinBox_2", "padspinbox"})
            values << (child(name)->isEnabled() ? child(name)->value() : -1);
        return values;
    }
    QGraphicsScene *scene() { return view()->scene(); }
};

} // namespace

// Open and Save: the scene Open builds, the brightness map, the status messages, the two
// remembered directories, the files Open meets and those Save writes, photos of 8 and 16 bits
// per channel, and a photo edited in place.
class TestOpenSave : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_snapshots;

private slots:
    void initTestCase()
    {
        useTemporarySettings(m_settingsDir);
        tolvane::allowLargePhotos();
        std::signal(SIGXFSZ, SIG_IGN);
        qputenv("TMPDIR", m_snapshots.path().toLocal8Bit());
    }
    void init() { QSettings().clear(); }
    // Every window takes its snapshot files with it.
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

    // A JPEG cut short opens with what it holds and a word in the status bar; the walk that
    // finds it cut calls every shorter piece of a JPEG cut, and no whole one, even with an
    // Exif thumbnail (a JPEG of its own) inside or bytes after its end.
    void damagedJpeg()
    {
        QTemporaryDir dir;
        const QString tagged = dir.filePath("tagged.jpg");
        writeTaggedJpeg(patternPhoto(64, 48), tagged);
        const QByteArray whole = fileBytes(tagged);
        QVERIFY(!tolvane::isCutShortJpeg(whole));
        QVERIFY(!tolvane::isCutShortJpeg(whole + QByteArray(100, 'x')));
        for (qsizetype size = 2; size < whole.size(); ++size)
            QVERIFY2(tolvane::isCutShortJpeg(whole.left(size)), qPrintable(QString::number(size)));
        QVERIFY(!tolvane::isCutShortJpeg(QByteArray("\x89PNG")));

        const QByteArray large = fileBytes(writePhoto(dir, "large.jpg", patternPhoto(640, 480)));
        Session s;
        s.open(writeBytes(dir, "cut.jpg", large.chopped(large.size() / 3)));
        QVERIFY(!s.window.photo().isNull());
        QCOMPARE(s.status(),
            "cut.jpg is damaged: the file ends before the picture does; the rest shows grey");
        s.open(tagged);
        QCOMPARE(s.status(), QString());
    }

    // Each Open starts where the last one found its file (canonical: the first photo is chosen
    // through a link), even when that file could not be read. A cancelled or failed Open
    // changes nothing else; one that succeeds replaces the scene, resets the parameters and
    // ends the previous photo's history.
    void open()
    {
        // A pixel's brightness is its largest colour component, alpha never counting; the map
        // is row-major with no padding.
        const QList<QRgb> pixels = {qRgb(100, 100, 100), qRgb(10, 200, 30), qRgb(255, 0, 254),
            qRgba(20, 40, 60, 250), qRgba(90, 10, 10, 40), qRgba(7, 70, 8, 1)};
        const QImage image(
            reinterpret_cast<const uchar *>(pixels.constData()), 3, 2, QImage::Format_ARGB32);
        Session s;
        QVERIFY(QFile::link(s.photos.path(), s.saved.filePath("link")));
        writePhoto(s.photos, "in.png", image);
        s.open(s.saved.filePath("link/in.png"));
        const auto &map = s.window.brightnessMap();
        QCOMPARE(QList<int>(map.data(), map.data() + map.pixelCount()),
            (QList<int> {100, 200, 255, 60, 90, 70}));
        QCOMPARE(s.window.lastControlPoint(), QPoint(-100, -100));
        QCOMPARE(s.scene()->items().size(), 2);
        QImage white(23, 22, QImage::Format_ARGB32_Premultiplied);
        white.fill(Qt::white);
        QCOMPARE(layout(s.window.backdropItem()),
            std::tuple(QPointF(0, 0), 1.0, Qt::SmoothTransformation, white));
        QCOMPARE(layout(s.window.photoItem()),
            std::tuple(QPointF(10, 10), 10.0, Qt::SmoothTransformation,
                image.convertToFormat(QImage::Format_ARGB32_Premultiplied)));

        for (QSpinBox *box : s.window.findChildren<QSpinBox *>())
            box->setValue(box->maximum());
        // Stands for a command a tool pushed.
        s.stack().push(new QUndoCommand("Mark"));
        QGraphicsPixmapItem *photoItem = s.window.photoItem();
        s.open(QString());
        QCOMPARE(s.status(), "No file selected");
        // Photos up to 200 megapixels decode; a header claiming far more is refused unread (in
        // another folder).
        QVERIFY(qint64(QImageReader::allocationLimit()) * 1024 * 1024 >= 200'000'000LL * 4);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("allocation limit"));
        s.open(writeImageFileCase({"huge.ppm", "P6\n32767 32767\n255\n", {}}, s.saved.path()));
        QCOMPARE(s.status(), "Failed to read image");
        QCOMPARE(s.window.photo(), image);
        QCOMPARE(s.window.photoItem(), photoItem);
        QCOMPARE(s.window.windowTitle(), "Tolvane - in.png[*]");
        QCOMPARE(s.parameters(), (QList<int> {99, 999, 99}));
        QCOMPARE(s.count(), 1);

        // Written landscape, the left half red, with an Exif tag saying "turn a quarter
        // clockwise": opens portrait, red on top, and as 32-bit ARGB like every photo.
        QImage landscape(40, 20, QImage::Format_RGB32);
        landscape.fill(Qt::blue);
        QPainter(&landscape).fillRect(0, 0, 20, 20, Qt::red);
        writeTaggedJpeg(landscape, s.photos.filePath("turned.jpg"));
        s.open(s.photos.filePath("turned.jpg"));
        const QString photos = canonical(s.photos.path());
        QCOMPARE(s.prompts.openAsked,
            (QStringList {QString(), photos, photos, canonical(s.saved.path())}));
        QCOMPARE(s.window.windowTitle(), "Tolvane - turned.jpg[*]");
        QCOMPARE(s.parameters(), (QList<int> {4, 30, 0}));
        QCOMPARE(s.count(), 0);
        QCOMPARE(s.scene()->sceneRect(), QRectF(0, 0, 40, 60));
        QCOMPARE(s.window.photo().format(), QImage::Format_ARGB32);
        QVERIFY(qRed(s.window.photo().pixel(10, 5)) > 200);
    }

    void save_data()
    {
        addColumns<QString, QString, QString>(); // name, filter, written
        const QString jpgFilter = "JPG Files (*.jpg)", pngFilter = "PNG Files (*.png)";
        QTest::newRow("png, JPG filter") << "out.png" << jpgFilter << "out.png";
        QTest::newRow("jpg, PNG filter") << "out.jpg" << pngFilter << "out.jpg";
        QTest::newRow("no suffix, JPG filter") << "out" << jpgFilter << "out.jpg";
        QTest::newRow("no suffix, PNG filter") << "out" << pngFilter << "out.png";
    }

    // Save asks nothing before a photo is open, writes the format the name's suffix (or else
    // the chosen filter) names, starts where the photo was opened from, and then remembers its
    // own directory apart from Open's. A cancelled or failed Save changes nothing.
    void save()
    {
        const auto [name, filter, written] = fetchRow<QString, QString, QString>();
        Session s;
        s.trigger("actionSave");
        QCOMPARE(s.status(), "Nothing to save.");
        s.open(writePhoto(s.photos, "in.png", patternPhoto(24, 16)));
        s.prompts.selectedSaveFilter = filter;
        s.save(s.saved.filePath(name));
        QCOMPARE(QDir(s.saved.path()).entryList(QDir::Files), QStringList {written});
        const QString path = s.saved.filePath(written);
        const bool png = written.endsWith(".png");
        QCOMPARE(QImageReader(path).format(), QByteArray(png ? "png" : "jpeg"));
        if (png)
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_ARGB32), s.window.photo());

        s.save(QString());
        QCOMPARE(s.status(), "No file selected");
        // Tests may run as root, where permission bits do not stop a write; a missing
        // directory and a suffix no writer knows fail for everyone.
        for (const char *bad : {"nowhere/out.png", "in.png/out.png", "out.xyz", "out.gif"}) {
            s.save(s.photos.filePath(bad));
            QVERIFY2(s.status() == "Failed to save image", bad);
        }
        QCOMPARE(QDir(s.photos.path()).entryList(QDir::Files), QStringList {"in.png"});
        const QString photos = canonical(s.photos.path()), saved = canonical(s.saved.path());
        QCOMPARE(s.prompts.saveAsked, (QStringList {photos, saved, saved, saved, saved, saved}));
        QCOMPARE(QSettings().value("CurrSaveDir").toString(), saved);
        QCOMPARE(QSettings().value("CurrDir").toString(), photos);
    }

    // The opened file's tags and colour profile go with every Save, before and after Process
    // (whose photo is new pixels), as JPEG and as PNG: the orientation says upright and the
    // pixel size is the upright one, the thumbnail (the photo with its wires) is gone, the
    // profile is there once. A file with none saves with none.
    void keepsMetadata()
    {
        Session s;
        const QString tagged = s.photos.filePath("tagged.jpg");
        writeTaggedJpeg(patternPhoto(40, 20), tagged);
        const QStringList tags = {"Pellam", "K-1", "6", "2024:05:17 18:42:07", "40", "20", "N",
            "52/1", "Pellam 2024", "street", "6", "thumbnail", "Adobe RGB"};
        QCOMPARE(taggedPhotoSummary(tagged), tags);
        QStringList kept = tags;
        kept[2] = kept[10] = "1";
        std::swap(kept[4], kept[5]);
        kept[11] = "no thumbnail";

        s.open(tagged);
        for (const char *name : {"opened.jpg", "processed.jpg", "processed.png"}) {
            if (name == QLatin1String("processed.jpg")) {
                s.trigger("actionSelect");
                s.trigger("actionProcess");
                QVERIFY(s.window.photo().colorSpace() != QColorSpace::AdobeRgb);
            }
            const QString path = s.saved.filePath(name);
            s.save(path);
            QCOMPARE(taggedPhotoSummary(path), kept);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().count(path.endsWith("png") ? "iCCP" : "ICC_PROFILE"), 1);
        }

        s.open(writePhoto(s.photos, "plain.png", patternPhoto(4, 4)));
        for (const char *name : {"plain.jpg", "plain.png"}) {
            s.save(s.saved.filePath(name));
            QVERIFY(tolvane::readMetadata(s.saved.filePath(name)).isEmpty());
        }
    }

    void imageFiles_data() { addImageFileRows(); }

    // Open shows each file as tolvane-cli reads it, or refuses it and keeps the photo, its
    // marks and its history; every tool then works on what it opened, down to one pixel.
    void imageFiles()
    {
        QFETCH(ImageFileCase, file);
        Session s;
        const QString path = writeImageFileCase(file, s.photos.path());
        if (path.isEmpty())
            QSKIP("permissions do not stop this user (root) from reading");
        const QString before = writePhoto(s.saved, "before.png", patternPhoto(24, 16));
        s.open(before);
        s.trigger("actionSelect");
        s.open(path);
        if (file.photo.isNull()) {
            QCOMPARE(s.status(), "Failed to read image");
            QCOMPARE(s.window.photo(), patternPhoto(24, 16));
            QVERIFY(s.window.maskItem() && s.count() == 1);
            QCOMPARE(s.window.filePath(), before);
            return;
        }
        const QImage opened = s.window.photo();
        QVERIFY(opensAsExpected(opened, file));
        QCOMPARE(s.count(), 0);
        s.trigger("actionSelect");
        s.smartSelect(QPoint(0, 0));
        s.smartSelect(QPoint(opened.width() - 1, opened.height() - 1));
        const bool marked = tolvane::hasMarks(s.window.maskItem()->pixmap().toImage());
        const int marking = s.count();
        s.trigger("actionProcess");
        QCOMPARE(s.count(), marking + int(marked)); // nothing to remove, nothing pushed
        while (s.window.undoStack().canUndo())
            s.undo();
        QCOMPARE(s.window.photo(), opened);
        QVERIFY(!s.window.maskItem());
    }

    void undoDataKeptInMemory_data()
    {
        addColumns<QString, QString>(); // TMPDIR (in a fresh folder), the reason shown
        for (const auto &[name, tmpdir, reason] :
            {std::tuple("missing folder", "no/such", "there is no temporary folder"),
                {"a file", "plain", "Not a directory"}, {"full disk", "", "File too large"}})
            QTest::newRow(name) << QString(tmpdir) << QString(reason);
    }

    // When the temporary folder cannot take the undo snapshots the status bar says so, and
    // they stay in memory: undo and redo still bring back the photo and its marks.
    void undoDataKeptInMemory()
    {
        const auto [tmpdir, reason] = fetchRow<QString, QString>();
        QTemporaryDir folder;
        QVERIFY(QFile(folder.filePath("plain")).open(QIODevice::WriteOnly));
        const QByteArray oldTmpdir = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTmpdir); });
        const QString named = tmpdir.isEmpty() ? folder.path() : folder.filePath(tmpdir);
        Session s;
        const QImage photo = wireImage(0xFFFFFFFF, 0xFF282828);
        s.open(writePhoto(s.photos, "wire.png", photo));
        s.trigger("actionSelect");
        const QImage marks = s.mask();
        qputenv("TMPDIR", QFile::encodeName(named));
        {
            const auto limit = limitResource(RLIMIT_FSIZE, tmpdir.isEmpty() ? 0 : RLIM_INFINITY);
            s.trigger("actionProcess");
            Snapshot::waitForWrites();
        }
        QCoreApplication::processEvents();
        QCOMPARE(s.status(),
            "Undo data is kept in memory: the temporary folder " + named + " cannot take it ("
                + reason + ")");
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).join(u' '), "plain");
        // Nor anywhere else (the toolkit falls back to the root folder).
        QCOMPARE(QDir::root().entryList({QStringLiteral("*.??????")}, QDir::Files), {});
        QVERIFY(s.window.photo() != photo);
        s.undo();
        s.stack().redo();
        s.undo();
        QCOMPARE(s.window.photo(), photo);
        QCOMPARE(s.mask(), marks);
    }

    // Without memory for a photo-sized image every tool stops with "Not enough memory", and
    // Open cannot read; the photo, its marks and its history stay as they were.
    void outOfMemory()
    {
#ifdef TOLVANE_ADDRESS_CHECKED
        QSKIP("the address sanitizer reserves more address space than any limit allows");
#endif
        Session s;
        const QImage photo = wireImage(0xFFFFFFFF, 0xFF282828, 4000, 3000); // 48 MB
        const QString path = writePhoto(s.photos, "big.bmp", photo);
        s.open(path);
        s.trigger("actionSelect");
        const QImage marks = s.mask();
        s.smartSelect(QPoint(10, 10));
        QStringList messages;
        {
            const auto limit = limitResource(RLIMIT_AS, addressSpaceInUse() + (16 << 20));
            for (const std::function<void()> &tool : QList<std::function<void()>> {
                     [&] { s.trigger("actionSelect"); }, [&] { s.trigger("actionProcess"); },
                     [&] { s.smartSelect(QPoint(40, 10)); }, [&] { s.open(path); }}) {
                s.window.statusBar()->clearMessage();
                tool();
                messages << s.status();
            }
        }
        QCOMPARE(messages,
            (QStringList {"Not enough memory", "Not enough memory", "Not enough memory",
                "Failed to read image"}));
        QCOMPARE(s.window.photo(), photo);
        QCOMPARE(s.count(), 1);
        QCOMPARE(s.mask(), marks);
        QCOMPARE(s.window.lastControlPoint(), QPoint(10, 10));
        s.trigger("actionProcess");
        QCOMPARE(s.count(), 2);
    }

    void roundTrip_data()
    {
        // suffix, deep, alpha, the format a reader gives the saved file
        addColumns<QString, bool, bool, QImage::Format>();
        using F = QImage::Format;
        QTest::newRow("8-bit PNG") << "png" << false << false << F::Format_RGB32;
        QTest::newRow("8-bit PNG with alpha") << "png" << false << true << F::Format_ARGB32;
        QTest::newRow("16-bit PNG") << "png" << true << false << F::Format_RGBX64;
        QTest::newRow("16-bit PNG with alpha") << "png" << true << true << F::Format_RGBA64;
        QTest::newRow("8-bit TIFF") << "tif" << false << false << F::Format_RGB32;
        QTest::newRow("16-bit TIFF") << "tif" << true << false << F::Format_RGBX64;
        QTest::newRow("16-bit TIFF with alpha") << "tiff" << true << true << F::Format_RGBA64;
    }

    // A photo keeps its depth from Open through Process, Undo, Redo and Save, pixel for
    // pixel, and an opaque one is saved without an alpha channel. The save dialog starts with
    // the photo's own format.
    void roundTrip()
    {
        const auto [suffix, deep, alpha, savedFormat]
            = fetchRow<QString, bool, bool, QImage::Format>();
        QTemporaryDir dir;
        const QImage source = wiredPhoto(deep, alpha);
        const QString path = writePhoto(dir, "in." + suffix, source);

        Session s;
        s.open(path);
        const QImage opened = s.window.photo();
        QCOMPARE(opened, inDocumentFormat(source));
        s.removeWires();
        QCOMPARE(s.stack().count(), 2);
        const QImage cleaned = s.window.photo();
        QCOMPARE(cleaned.format(), opened.format());
        QVERIFY(cleaned != opened);
        // Far from the wire nothing changed, to the last bit.
        QCOMPARE(cleaned.copy(0, 20, 60, 10), opened.copy(0, 20, 60, 10));
        s.stack().undo();
        QCOMPARE(s.window.photo(), opened);
        s.stack().redo();
        QCOMPARE(s.window.photo(), cleaned);

        s.prompts.selectedSaveFilter
            = suffix == u"png" ? "PNG Files (*.png)" : "TIFF Files (*.tif *.tiff)";
        s.save(dir.filePath("out." + suffix));
        QCOMPARE(s.prompts.saveFiltersOffered, QStringList {s.prompts.selectedSaveFilter});
        QImageReader saved(dir.filePath("out." + suffix));
        QCOMPARE(saved.imageFormat() == savedFormat, true);
        QCOMPARE(inDocumentFormat(saved.read()), cleaned);
    }

    // The seamless fill of a 16-bit photo: the marked pixels take the fill of the photo rounded
    // to 8 bits, every other pixel keeps all of its bits.
    void seamlessFillKeepsDepth()
    {
        const QImage deep = wiredPhoto(true, false);
        QImage marks(deep.size(), QImage::Format_ARGB32_Premultiplied);
        marks.fill(0);
        for (int x = 5; x < 55; ++x)
            for (int y : {10, 11})
                marks.setPixel(x, y, qPremultiply(tolvane::detectionMark));
        using tolvane::tools::removeWires;
        const QImage filled = removeWires(deep, marks, 0, tolvane::FillMode::Seamless);
        const QImage rounded = removeWires(
            deep.convertToFormat(QImage::Format_ARGB32), marks, 0, tolvane::FillMode::Seamless);
        QImage expected = deep;
        for (int x = 5; x < 55; ++x)
            for (int y : {10, 11})
                expected.setPixelColor(x, y, rounded.pixelColor(x, y));
        QCOMPARE(filled.format(), QImage::Format_RGBA64);
        QCOMPARE(filled, expected);
    }

    // PNG files are compressed: a 4-megapixel photo of smooth sky takes a small fraction of
    // its 12 MB of pixels.
    void pngIsCompressed()
    {
        QTemporaryDir dir;
        QImage sky(2400, 1600, QImage::Format_ARGB32);
        for (int y = 0; y < sky.height(); ++y)
            for (int x = 0; x < sky.width(); ++x)
                sky.setPixel(x, y, qRgb(90 + y / 40, 140 + y / 50, 230 - x / 100));
        Session s;
        s.open(writePhoto(dir, "sky.bmp", sky));
        s.save(dir.filePath("sky.png"));
        QCOMPARE(inDocumentFormat(QImage(dir.filePath("sky.png"))), sky);
        QVERIFY2(QFileInfo(dir.filePath("sky.png")).size() < 1'000'000,
            qPrintable(QString::number(QFileInfo(dir.filePath("sky.png")).size())));
    }

    // The save dialog starts with the photo's own format (PNG and TIFF in roundTrip), or JPEG
    // when Save does not offer it.
    void saveFilterFollowsThePhoto()
    {
        QTemporaryDir dir;
        for (const auto &[name, filter] : {std::pair("in.jpeg", "JPG Files (*.jpg)"),
                 {"in.webp", "WebP Files (*.webp)"}, {"in.bmp", "JPG Files (*.jpg)"}}) {
            Session s;
            s.open(writePhoto(dir, name, wiredPhoto(false, false)));
            s.trigger("actionSave");
            QCOMPARE(s.prompts.saveFiltersOffered, QStringList {filter});
        }
    }

    // Opened to be edited in place, a 16-bit TIFF or PNG is written back by Save without a
    // question, with its depth, tags, colour profile and permissions, and no file is left
    // beside it. Save As... still asks; a photo opened later through Open is saved as always.
    // One that cannot be written back stays unsaved.
    void editInPlace_data()
    {
        addColumns<QString>(); // name
        QTest::newRow("TIFF") << "photo.tif";
        QTest::newRow("PNG") << "photo.png";
    }

    void editInPlace()
    {
        const auto [name] = fetchRow<QString>();
        QTemporaryDir dir;
        QImage source = wiredPhoto(true, false).convertToFormat(QImage::Format_RGBX64);
        source.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
        const QString path = writePhoto(dir, name, source);
        tagPhoto(path, false);
        const QStringList tags = taggedPhotoSummary(path);
        QCOMPARE(tags,
            (QStringList {"Pellam", "K-1", "-", "2024:05:17 18:42:07", "60", "30", "N", "52/1",
                "Pellam 2024", "street", "-", "no thumbnail", "Adobe RGB"}));

        const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(path, permissions));

        Session s;
        QVERIFY(s.window.editPhoto(path));
        s.removeWires();
        const QImage cleaned = s.window.photo();
        s.trigger("actionSave");
        QCOMPARE(QFile::permissions(path) & 0xF0FF, permissions); // owner, group, others
        QVERIFY(s.prompts.saveAsked.isEmpty());
        QVERIFY(!s.window.hasUnsavedChanges());
        QCOMPARE(s.status(), "Saved to " + QDir::toNativeSeparators(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {name});
        QImageReader reader(path);
        QCOMPARE(reader.imageFormat() == QImage::Format_RGBX64, true);
        QCOMPARE(inDocumentFormat(reader.read()), cleaned);
        QCOMPARE(taggedPhotoSummary(path), tags);

        s.prompts.saveAnswers << dir.filePath("copy.png");
        s.trigger("actionSaveAs");
        QCOMPARE(s.prompts.saveAsked.size(), 1);
        QVERIFY(QFile::exists(dir.filePath("copy.png")));

        s.open(path);
        s.trigger("actionSave");
        QCOMPARE(s.prompts.saveAsked.size(), 2);

        // A file that cannot be written back keeps the photo unsaved and says so.
        QVERIFY(s.window.editPhoto(writePhoto(dir, name, source)));
        s.removeWires();
        QVERIFY(QDir(dir.path()).removeRecursively());
        s.trigger("actionSave");
        QCOMPARE(s.status(), "Failed to save image");
        QVERIFY(s.window.hasUnsavedChanges());
    }
};

QTEST_MAIN(TestOpenSave)
#include "tst_opensave.moc"
