#include <QAction>
#include <QColorSpace>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
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

namespace {

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
// back carries (the window keeps it separately).
QImage inDocumentFormat(const QImage &photo)
{
    QImage pixels = photo.convertToFormat(
        photo.depth() == 64 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

// A window with its answers in place of the dialogs, and folders to open from and save to.
struct Session : WindowSession
{
    QTemporaryDir photos, saved;

    // A left press of the smart selection centred on photo pixel `at`.
    void smartSelect(QPoint at) { WindowSession::smartSelect(at.x(), at.y(), true); }
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
        qputenv("TMPDIR", m_snapshots.path().toLocal8Bit());
    }
    void init() { QSettings().clear(); }
    // Every window takes its snapshot files with it.
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

    // A JPEG cut short opens with what it holds and a word in the status bar; the walk that
    // finds it cut calls every shorter piece of a JPEG cut, and no whole one, even with an
    // Exif thumbnail (a JPEG of its own) inside.
    void damagedJpeg()
    {
        QTemporaryDir dir;
        const QString tagged = dir.filePath("tagged.jpg");
        writeTaggedJpeg(patternPhoto(64, 48), tagged);
        const QByteArray whole = fileBytes(tagged);
        QVERIFY(!tolvane::isCutShortJpeg(whole));
        for (qsizetype size = 2; size < whole.size(); ++size)
            QVERIFY2(tolvane::isCutShortJpeg(whole.left(size)), qPrintable(QString::number(size)));

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
    // changes nothing else; one that succeeds replaces the scene and ends the previous photo's
    // history.
    void open()
    {
        const QImage image = patternPhoto(24, 16);
        Session s;
        QVERIFY(QFile::link(s.photos.path(), s.saved.filePath("link")));
        writePhoto(s.photos, "in.png", image);
        s.open(s.saved.filePath("link/in.png"));
        // Stands for a command a tool pushed.
        s.stack().push(new QUndoCommand("Mark"));
        s.open(QString());
        QCOMPARE(s.status(), "No file selected");
        // A header claiming far more than 200 megapixels is refused unread (in another folder).
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("allocation limit"));
        s.open(writeImageFileCase({"huge.ppm", "P6\n32767 32767\n255\n", {}}, s.saved.path()));
        QCOMPARE(s.status(), "Failed to read image");
        QCOMPARE(s.window.photo(), image);
        QCOMPARE(s.count(), 1);

        // Written landscape, the left half red, with an Exif tag saying "turn a quarter
        // clockwise": opens portrait, red on top.
        QImage landscape(40, 20, QImage::Format_RGB32);
        landscape.fill(Qt::blue);
        QPainter(&landscape).fillRect(0, 0, 20, 20, Qt::red);
        writeTaggedJpeg(landscape, s.photos.filePath("turned.jpg"));
        s.open(s.photos.filePath("turned.jpg"));
        const QString photos = canonical(s.photos.path());
        QCOMPARE(s.prompts.openAsked,
            (QStringList {QString(), photos, photos, canonical(s.saved.path())}));
        QCOMPARE(s.count(), 0);
        QCOMPARE(s.view()->scene()->sceneRect(), QRectF(0, 0, 40, 60));
        QVERIFY(qRed(s.window.photo().pixel(10, 5)) > 200);
    }

    // Save asks nothing before a photo is open, writes the format the name's suffix (or else
    // the chosen filter) names, starts where the photo was opened from, and then remembers its
    // own directory separately from Open's. A cancelled or failed Save changes nothing.
    void save()
    {
        Session s;
        s.trigger("actionSave");
        QCOMPARE(s.status(), "Nothing to save.");
        s.open(writePhoto(s.photos, "in.png", patternPhoto(24, 16)));
        s.prompts.selectedSaveFilter = "PNG Files (*.png)";
        s.save(s.saved.filePath("out.jpg"));
        s.save(s.saved.filePath("out"));
        QCOMPARE(QDir(s.saved.path()).entryList(QDir::Files), (QStringList {"out.jpg", "out.png"}));
        QCOMPARE(QImageReader(s.saved.filePath("out.jpg")).format(), QByteArray("jpeg"));
        QCOMPARE(QImage(s.saved.filePath("out.png")).convertToFormat(QImage::Format_ARGB32),
            s.window.photo());
        s.save(QString());
        QCOMPARE(s.status(), "No file selected");
        // Tests may run as root, where permission bits do not stop a write; a missing
        // directory and a suffix no writer knows fail for everyone.
        for (const char *bad : {"nowhere/out.png", "out.xyz"}) {
            s.save(s.photos.filePath(bad));
            QVERIFY2(s.status() == "Failed to save image", bad);
        }
        QCOMPARE(QDir(s.photos.path()).entryList(QDir::Files), QStringList {"in.png"});
        const QString photos = canonical(s.photos.path()), saved = canonical(s.saved.path());
        QCOMPARE(s.prompts.saveAsked, (QStringList {photos, saved, saved, saved, saved}));
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
        const QStringList kept = {"Pellam", "K-1", "1", "2024:05:17 18:42:07", "20", "40", "N",
            "52/1", "Pellam 2024", "street", "1", "no thumbnail", "Adobe RGB"};

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
        s.save(s.saved.filePath("plain.jpg"));
        QVERIFY(tolvane::readMetadata(s.saved.filePath("plain.jpg")).isEmpty());
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

    // When the temporary folder cannot take the undo snapshots the status bar says so, and
    // they stay in memory: undo still brings back the photo and its marks.
    void undoDataKeptInMemory()
    {
        QTemporaryDir folder;
        QVERIFY(QFile(folder.filePath("plain")).open(QIODevice::WriteOnly));
        const QByteArray oldTmpdir = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTmpdir); });
        const QString named = folder.filePath("plain");
        Session s;
        const QImage photo = wireImage(0xFFFFFFFF, 0xFF282828);
        s.open(writePhoto(s.photos, "wire.png", photo));
        s.trigger("actionSelect");
        const QImage marks = s.mask();
        qputenv("TMPDIR", QFile::encodeName(named));
        s.trigger("actionProcess");
        Snapshot::waitForWrites();
        QCoreApplication::processEvents();
        QCOMPARE(s.status(),
            "Undo data is kept in memory: the temporary folder " + named
                + " cannot take it (Not a directory)");
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).join(u' '), "plain");
        QVERIFY(s.window.photo() != photo);
        s.undo();
        QCOMPARE(s.window.photo(), photo);
        QCOMPARE(s.mask(), marks);
    }

    void roundTrip_data()
    {
        // suffix, deep, alpha, the format a reader gives the saved file
        addColumns<QString, bool, bool, QImage::Format>();
        using F = QImage::Format;
        QTest::newRow("8-bit PNG with alpha") << "png" << false << true << F::Format_ARGB32;
        QTest::newRow("16-bit PNG") << "png" << true << false << F::Format_RGBX64;
        QTest::newRow("16-bit TIFF with alpha") << "tiff" << true << true << F::Format_RGBA64;
    }

    // A photo keeps its depth from Open through Process and Save, pixel for pixel, and an
    // opaque one is saved without an alpha channel.
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
        const QImage cleaned = s.window.photo();
        QVERIFY(cleaned != opened && cleaned.format() == opened.format());
        // Far from the wire nothing changed, to the last bit.
        QCOMPARE(cleaned.copy(0, 20, 60, 10), opened.copy(0, 20, 60, 10));

        s.prompts.selectedSaveFilter
            = suffix == u"png" ? "PNG Files (*.png)" : "TIFF Files (*.tif *.tiff)";
        s.save(dir.filePath("out." + suffix));
        QImageReader saved(dir.filePath("out." + suffix));
        QCOMPARE(saved.imageFormat() == savedFormat, true);
        QCOMPARE(inDocumentFormat(saved.read()), cleaned);
    }

    // Opened to be edited in place, a 16-bit TIFF is written back by Save without a question,
    // with its depth, tags, colour profile and permissions, and no file is left beside it; a
    // photo opened later through Open is saved as always. One that cannot be written back
    // stays unsaved.
    void editInPlace()
    {
        const QString name = "photo.tif";
        QTemporaryDir dir;
        QImage source = wiredPhoto(true, false).convertToFormat(QImage::Format_RGBX64);
        source.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
        const QString path = writePhoto(dir, name, source);
        tagPhoto(path, false);
        const QStringList tags = taggedPhotoSummary(path);
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

        s.open(path);
        s.trigger("actionSave");
        QCOMPARE(s.prompts.saveAsked.size(), 1);

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
