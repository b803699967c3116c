#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QScopeGuard>
#include <QTest>
#include <QUndoCommand>

#include "datatable.h"
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

using Session = WindowSession;

} // namespace

// Open and Save: the two remembered directories, the files Open meets and those Save writes,
// their tags, photos of 8 and 16 bits per channel, and a photo edited in place.
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

    // The walk that finds a JPEG cut short calls every shorter piece of a JPEG cut, and no
    // whole one, even with an Exif thumbnail (a JPEG of its own) inside.
    void damagedJpeg()
    {
        Session s;
        const QString tagged = s.photos.filePath("tagged.jpg");
        writeTaggedJpeg(patternPhoto(64, 48), tagged);
        const QByteArray whole = fileBytes(tagged);
        QVERIFY(!tolvane::isCutShortJpeg(whole));
        for (qsizetype size = 2; size < whole.size(); ++size)
            QVERIFY2(tolvane::isCutShortJpeg(whole.left(size)), qPrintable(QString::number(size)));
    }

    // Each Open starts where the last one found its file (canonical: the first photo is chosen
    // through a link), even when that file could not be read; a cancelled or failed Open keeps
    // the photo's history, one that succeeds ends it. Save asks nothing before a photo is
    // open; it writes the format the name's suffix, or else the chosen filter, names, starts
    // where the photo was opened from and then remembers its own directory apart from Open's.
    // A failed Save writes nothing and is not remembered (tests may run as root, where
    // permission bits do not stop a write; a missing directory and a suffix no writer knows
    // fail for everyone).
    void openAndSave()
    {
        Session s;
        s.trigger("actionSave");
        QVERIFY(s.prompts.saveAsked.isEmpty());
        QVERIFY(QFile::link(s.photos.path(), s.saved.filePath("link")));
        writePhoto(s.photos, "in.png", patternPhoto(24, 16));
        s.open(s.saved.filePath("link/in.png"));
        s.stack().push(new QUndoCommand("Mark")); // stands for a command a tool pushed
        s.open(QString());
        s.open(writeBytes(s.saved, "broken.png", "not a PNG"));
        QCOMPARE(s.count(), 1);
        s.open(s.photos.filePath("in.png"));
        QCOMPARE(s.count(), 0);

        s.prompts.selectedSaveFilter = "PNG Files (*.png)";
        for (const char *name : {"nowhere/out.png", "out.xyz", "out.jpg", "out"})
            s.save(s.saved.filePath(name));
        QCOMPARE(QDir(s.saved.path()).entryList(QDir::Files),
            (QStringList {"broken.png", "out.jpg", "out.png"}));
        QCOMPARE(QImageReader(s.saved.filePath("out.jpg")).format(), QByteArray("jpeg"));
        QCOMPARE(QImage(s.saved.filePath("out.png")).convertToFormat(QImage::Format_ARGB32),
            s.window.photo());
        s.open(QString());
        const QString photos = canonical(s.photos.path()), saved = canonical(s.saved.path());
        QCOMPARE(s.prompts.openAsked, (QStringList {QString(), photos, photos, saved, photos}));
        QCOMPARE(s.prompts.saveAsked, (QStringList {photos, photos, photos, saved}));
    }

    // Written landscape, the left half red and a dark wire down the right, with an Exif tag
    // saying "turn a quarter clockwise", a photo opens portrait, red on top. Its tags and
    // colour profile go with every Save, before and after Process, as JPEG and as PNG: the
    // orientation says upright and the pixel size is the upright one, the thumbnail (the photo
    // with its wires) is gone, the profile is there once. A file with none saves with none.
    void keepsMetadata()
    {
        Session s;
        QImage landscape(80, 70, QImage::Format_RGB32);
        landscape.fill(Qt::white);
        QPainter(&landscape).fillRect(0, 0, 40, 70, Qt::red);
        QPainter(&landscape).fillRect(50, 5, 2, 60, QColor(40, 40, 40));
        writeTaggedJpeg(landscape, s.photos.filePath("tagged.jpg"));
        s.open(s.photos.filePath("tagged.jpg"));
        QCOMPARE(s.view()->scene()->sceneRect(), QRectF(0, 0, 90, 100));
        QVERIFY(qRed(s.window.photo().pixel(35, 10)) > 200
            && qGreen(s.window.photo().pixel(35, 10)) < 50);
        const QImage opened = s.window.photo();
        s.save(s.saved.filePath("opened.jpg"));
        s.removeWires();
        QVERIFY(s.window.photo() != opened);
        s.save(s.saved.filePath("processed.png"));
        for (const QString &path :
            {s.saved.filePath("opened.jpg"), s.saved.filePath("processed.png")}) {
            QCOMPARE(taggedPhotoSummary(path),
                (QStringList {"Pellam", "K-1", "1", "2024:05:17 18:42:07", "70", "80", "N", "52/1",
                    "Pellam 2024", "street", "1", "no thumbnail", "Adobe RGB"}));
            QCOMPARE(fileBytes(path).count(path.endsWith("png") ? "iCCP" : "ICC_PROFILE"), 1);
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
            QVERIFY(
                s.window.photo() == patternPhoto(24, 16) && s.window.maskItem() && s.count() == 1);
            QCOMPARE(s.window.filePath(), before);
            return;
        }
        // The JPEG cut in its data (its size alone is known) opens with a word about it.
        QCOMPARE(s.status(),
            file.tolerance >= 0 ? QString()
                                : file.fileName
                    + " is damaged: the file ends before the picture does; the rest shows grey");
        const QImage opened = s.window.photo();
        QVERIFY(opensAsExpected(opened, file) && s.count() == 0);
        s.trigger("actionSelect");
        s.smartSelect(0, 0, true);
        s.smartSelect(opened.width() - 1, opened.height() - 1, true);
        s.trigger("actionProcess");
        while (s.window.undoStack().canUndo())
            s.undo();
        QCOMPARE(s.window.photo(), opened);
        QVERIFY(!s.window.maskItem());
    }

    // When the temporary folder cannot take the undo snapshots the status bar says so, and
    // they stay in memory: undo still brings back the photo and its marks.
    void undoDataKeptInMemory()
    {
        Session s;
        const QString plain = writeBytes(s.saved, "plain", {});
        const auto restore = qScopeGuard([old = qgetenv("TMPDIR")] { qputenv("TMPDIR", old); });
        const QImage photo = wireImage(0xFFFFFFFF, 0xFF282828);
        s.open(writePhoto(s.photos, "wire.png", photo));
        s.trigger("actionSelect");
        qputenv("TMPDIR", QFile::encodeName(plain));
        s.trigger("actionProcess");
        Snapshot::waitForWrites();
        QCoreApplication::processEvents();
        QCOMPARE(s.status(),
            "Undo data is kept in memory: the temporary folder " + plain
                + " cannot take it (Not a directory)");
        QCOMPARE(QDir(s.saved.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"plain"});
        s.undo();
        QCOMPARE(s.window.photo(), photo);
        QCOMPARE(s.mask(), wireImage(0, tolvane::detectionMark));
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
        Session s;
        const QImage source = wiredPhoto(deep, alpha);
        s.open(writePhoto(s.photos, "in." + suffix, source));
        const QImage opened = s.window.photo();
        QCOMPARE(opened, inDocumentFormat(source));
        s.removeWires();
        const QImage cleaned = s.window.photo();
        QVERIFY(cleaned != opened);
        // Far from the wire nothing changed, to the last bit.
        QCOMPARE(cleaned.copy(0, 20, 60, 10), opened.copy(0, 20, 60, 10));
        const QString out = s.saved.filePath("out." + suffix);
        s.save(out);
        QCOMPARE(QImageReader(out).imageFormat() == savedFormat, true);
        QCOMPARE(inDocumentFormat(QImage(out)), cleaned);
    }

    // Opened to be edited in place, a 16-bit TIFF is written back by Save without a question,
    // with its depth, tags, colour profile and permissions, and no file is left beside it; a
    // photo opened later through Open is saved as always. One that cannot be written back
    // stays unsaved.
    void editInPlace()
    {
        Session s;
        QImage source = wiredPhoto(true, false).convertToFormat(QImage::Format_RGBX64);
        source.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
        const QString path = writePhoto(s.photos, "photo.tif", source);
        tagPhoto(path, false);
        const QStringList tags = taggedPhotoSummary(path);
        const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(path, permissions));

        QVERIFY(s.window.editPhoto(path));
        s.removeWires();
        s.trigger("actionSave");
        QVERIFY(s.prompts.saveAsked.isEmpty() && !s.window.hasUnsavedChanges());
        QCOMPARE(QFile::permissions(path) & 0xF0FF, permissions); // owner, group, others
        QCOMPARE(QDir(s.photos.path()).entryList(QDir::Files), QStringList {"photo.tif"});
        QCOMPARE(inDocumentFormat(QImage(path)), s.window.photo());
        QCOMPARE(taggedPhotoSummary(path), tags);

        s.open(path);
        s.trigger("actionSave");
        QCOMPARE(s.prompts.saveAsked.size(), 1);

        QVERIFY(s.window.editPhoto(writePhoto(s.photos, "photo.tif", source)));
        s.removeWires();
        QVERIFY(QDir(s.photos.path()).removeRecursively());
        s.trigger("actionSave");
        QCOMPARE(s.status(), "Failed to save image");
        QVERIFY(s.window.hasUnsavedChanges());
    }
};

QTEST_MAIN(TestOpenSave)
#include "tst_opensave.moc"
