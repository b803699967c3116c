#include <QAction>
#include <QColorSpace>
#include <QImageReader>
#include <QtTest>

#include "app/mainwindow.h"
#include "datatable.h"
#include "document/tools.h"
#include "guitestsupport.h"
#include "image/imagefiles.h"
#include "windowsession.h"
#include <exiv2/exiv2.hpp>

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
// back carries (the window keeps it apart).
QImage inDocumentFormat(const QImage &photo)
{
    QImage pixels = photo.convertToFormat(
        photo.depth() == 64 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

struct Session : WindowSession
{
    // Autodetect, then Process.
    void removeWires()
    {
        trigger("actionSelect");
        trigger("actionProcess");
    }
};

// Adds Exif, IPTC and XMP tags to the photo file at `path`.
void tagFile(const QString &path)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    image->exifData()["Exif.Image.Make"] = "Pellam";
    image->exifData()["Exif.Photo.DateTimeOriginal"] = "2024:05:17 18:42:07";
    image->iptcData()["Iptc.Application2.Copyright"] = "Pellam 2024";
    image->xmpData()["Xmp.dc.subject"] = "street";
    image->writeMetadata();
}

// The tags above as the file at `path` holds them, then its colour space.
QStringList tagsOf(const QString &path)
{
    const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false);
    image->readMetadata();
    auto text = [](const auto &data, const auto &key) {
        const auto found = data.findKey(key);
        return found == data.end() ? QString("-") : QString::fromStdString(found->toString());
    };
    return {text(image->exifData(), Exiv2::ExifKey("Exif.Image.Make")),
        text(image->exifData(), Exiv2::ExifKey("Exif.Photo.DateTimeOriginal")),
        text(image->iptcData(), Exiv2::IptcKey("Iptc.Application2.Copyright")),
        text(image->xmpData(), Exiv2::XmpKey("Xmp.dc.subject")),
        QImage(path).colorSpace() == QColorSpace::AdobeRgb ? "Adobe RGB" : "other"};
}

} // namespace

// Photos of 8 and 16 bits per channel through the window, and a photo edited in place.
class TestDepth : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_snapshots;

private slots:
    void initTestCase()
    {
        useTemporarySettings(m_settingsDir);
        qputenv("TMPDIR", m_snapshots.path().toLocal8Bit());
    }
    void cleanup() { QCOMPARE(snapshotFilesIn(m_snapshots.path()), 0); }

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
        s.prompts.saveAnswers << dir.filePath("out." + suffix);
        s.trigger("actionSave");
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
        for (int x = 5; x < 55; ++x) {
            marks.setPixel(x, 10, qPremultiply(tolvane::detectionMark));
            marks.setPixel(x, 11, qPremultiply(tolvane::detectionMark));
        }
        using tolvane::tools::removeWires;
        const QImage filled = removeWires(deep, marks, 0, tolvane::FillMode::Seamless);
        const QImage rounded = removeWires(
            deep.convertToFormat(QImage::Format_ARGB32), marks, 0, tolvane::FillMode::Seamless);
        QCOMPARE(filled.format(), QImage::Format_RGBA64);
        for (int y = 0; y < deep.height(); ++y) {
            for (int x = 0; x < deep.width(); ++x) {
                const bool marked = qAlpha(marks.pixel(x, y)) != 0;
                const QRgba64 expected = marked
                    ? QRgba64::fromArgb32(rounded.pixel(x, y))
                    : reinterpret_cast<const QRgba64 *>(deep.constScanLine(y))[x];
                QCOMPARE(reinterpret_cast<const QRgba64 *>(filled.constScanLine(y))[x], expected);
            }
        }
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
        s.prompts.saveAnswers << dir.filePath("sky.png");
        s.trigger("actionSave");
        QCOMPARE(inDocumentFormat(QImage(dir.filePath("sky.png"))), sky);
        QVERIFY2(QFileInfo(dir.filePath("sky.png")).size() < 1'000'000,
            qPrintable(QString::number(QFileInfo(dir.filePath("sky.png")).size())));
    }

    void saveFilterFollowsThePhoto_data()
    {
        addColumns<QString, QString>();
        QTest::newRow("jpeg") << "in.jpeg"
                              << "JPG Files (*.jpg)";
        QTest::newRow("png") << "in.png"
                             << "PNG Files (*.png)";
        QTest::newRow("tiff") << "in.tiff"
                              << "TIFF Files (*.tif *.tiff)";
        QTest::newRow("webp") << "in.webp"
                              << "WebP Files (*.webp)";
        QTest::newRow("bmp, which Save does not offer") << "in.bmp"
                                                        << "JPG Files (*.jpg)";
    }

    void saveFilterFollowsThePhoto()
    {
        const auto [name, filter] = fetchRow<QString, QString>();
        QTemporaryDir dir;
        Session s;
        s.open(writePhoto(dir, name, wiredPhoto(false, false)));
        s.trigger("actionSave");
        QCOMPARE(s.prompts.saveFiltersOffered, QStringList {filter});
    }

    // Opened to be edited in place, a 16-bit TIFF or PNG is written back by Save without a
    // question, with its depth, tags, colour profile and permissions, and no file is left
    // beside it. Save
    // As... still asks; a photo opened later through Open is saved as always.
    void editInPlace_data()
    {
        addColumns<QString>();
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
        tagFile(path);
        const QStringList tags = tagsOf(path);
        QCOMPARE(tags,
            (QStringList {"Pellam", "2024:05:17 18:42:07", "Pellam 2024", "street", "Adobe RGB"}));

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
        QCOMPARE(statusMessage(s.window), "Saved to " + QDir::toNativeSeparators(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {name});
        QImageReader reader(path);
        QCOMPARE(reader.imageFormat() == QImage::Format_RGBX64, true);
        QCOMPARE(inDocumentFormat(reader.read()), cleaned);
        QCOMPARE(tagsOf(path), tags);

        s.prompts.saveAnswers << dir.filePath("copy.png");
        s.trigger("actionSaveAs");
        QCOMPARE(s.prompts.saveAsked.size(), 1);
        QVERIFY(QFile::exists(dir.filePath("copy.png")));

        s.open(path);
        s.trigger("actionSave");
        QCOMPARE(s.prompts.saveAsked.size(), 2);
    }

    // A file that cannot be written back keeps the photo unsaved and says so.
    void editInPlaceFails()
    {
        QTemporaryDir dir;
        const QString path = writePhoto(dir, "photo.png", wiredPhoto(true, false));
        Session s;
        QVERIFY(s.window.editPhoto(path));
        s.removeWires();
        QVERIFY(QDir(dir.path()).removeRecursively());
        s.trigger("actionSave");
        QCOMPARE(statusMessage(s.window), QStringLiteral("Failed to save image"));
        QVERIFY(s.window.hasUnsavedChanges());
    }
};

QTEST_MAIN(TestDepth)
#include "tst_depth.moc"
