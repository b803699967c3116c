#include <QAction>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QUndoCommand>
#include <QUndoStack>

#include "app/imagefiles.h"
#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

// Open and Save: the scene Open builds, the brightness map, the status messages, and the two
// remembered directories.
class TestOpenSave : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void openBuildsScene();
    void openResetsParameters();
    void openSmallestPhoto();
    void openCancelled();
    void openUnreadableFile();
    void openRefusesAbsurdDimensions();
    void openAllowsLargePhotos();
    void openAppliesExifOrientation();
    void openClearsHistory();
    void brightnessMap_data();
    void brightnessMap();
    void brightnessMapIsRowMajor();

    void saveFormatFollowsName_data();
    void saveFormatFollowsName();
    void saveWithoutSuffixUsesFilter_data();
    void saveWithoutSuffixUsesFilter();
    void saveBeforeOpen();
    void saveCancelled();
    void saveFailureReported_data();
    void saveFailureReported();
    void directoriesRememberedSeparately();

private:
    QTemporaryDir m_settingsDir;
};

namespace {

const QString openFilter
    = QStringLiteral("Image Files (*.png *.jpg *.bmp *.jpeg *.tiff *.tif *.gif);;All files (*.*)");
const QString saveFilter = QStringLiteral("JPG Files (*.jpg);;PNG Files (*.png)");

void trigger(MainWindow &window, const char *action)
{
    QAction *found = window.findChild<QAction *>(QString::fromLatin1(action));
    QVERIFY(found);
    found->trigger();
}

QSpinBox *box(MainWindow &window, const char *name)
{
    return window.findChild<QSpinBox *>(QString::fromLatin1(name));
}

QList<int> parameters(MainWindow &window)
{
    return {box(window, "spinBox")->value(), box(window, "spinBox_2")->value(),
        box(window, "padspinbox")->value()};
}

QGraphicsScene *scene(MainWindow &window)
{
    return window.findChild<KestGraphicsView *>(QStringLiteral("graphicsView"))->scene();
}

QByteArray fileStart(const QString &path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendBigEndian(QByteArray &data, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        data.append(char((value >> shift) & 0xff));
}

void appendChunk(QByteArray &png, const char *type, const QByteArray &body)
{
    appendBigEndian(png, quint32(body.size()));
    const QByteArray typed = QByteArray(type) + body;
    png.append(typed);
    appendBigEndian(png, crc32(typed));
}

// A well-formed PNG header claiming w x h RGB pixels, followed by one row of data.
QByteArray pngClaiming(int w, int h)
{
    QByteArray header;
    appendBigEndian(header, quint32(w));
    appendBigEndian(header, quint32(h));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    const QByteArray row(1 + 3 * w, '\0');
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", qCompress(row).mid(4)); // qCompress prefixes the length
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace

void TestOpenSave::initTestCase()
{
    useTemporarySettings(m_settingsDir);
    tolvane::allowLargePhotos();
}

void TestOpenSave::init()
{
    QSettings().clear();
}

void TestOpenSave::openBuildsScene()
{
    QTemporaryDir photos;
    QVERIFY(QDir(photos.path()).mkdir("real"));
    QVERIFY(QFile::link(photos.filePath("real"), photos.filePath("link")));
    const QImage source = patternPhoto(40, 30).convertToFormat(QImage::Format_RGB32);
    QVERIFY(source.save(photos.filePath("real/street.png")));
    const QString chosen = photos.filePath("link/street.png");

    FakePrompts prompts;
    prompts.openAnswers << chosen;
    MainWindow window;
    trigger(window, "actionOpen");

    QCOMPARE(prompts.openAsked.size(), 1);
    QCOMPARE(prompts.openAsked[0].caption, QStringLiteral("Open Image"));
    QCOMPARE(prompts.openAsked[0].dir, QString());
    QCOMPARE(prompts.openAsked[0].filter, openFilter);

    QCOMPARE(window.filePath(), chosen);
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane - street.png"));
    QCOMPARE(storedSetting("CurrDir").toString(), canonical(photos.filePath("real")));
    QCOMPARE(window.photo().format(), QImage::Format_ARGB32);
    QCOMPARE(window.photo(), source.convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(window.lastControlPoint(), QPoint(-100, -100));

    QGraphicsScene *shown = scene(window);
    QVERIFY(shown);
    QCOMPARE(shown->sceneRect(), QRectF(0, 0, 60, 50));
    QCOMPARE(shown->items().size(), 2);
    QVERIFY(!window.maskItem());

    QGraphicsPixmapItem *backdrop = window.backdropItem();
    QVERIFY(backdrop);
    QCOMPARE(backdrop->scene(), shown);
    QCOMPARE(backdrop->pos(), QPointF(0, 0));
    QCOMPARE(backdrop->zValue(), 1.0);
    QCOMPARE(backdrop->transformationMode(), Qt::SmoothTransformation);
    QImage white(60, 50, QImage::Format_ARGB32);
    white.fill(Qt::white);
    QCOMPARE(backdrop->pixmap().toImage().convertToFormat(QImage::Format_ARGB32), white);

    QGraphicsPixmapItem *photo = window.photoItem();
    QVERIFY(photo);
    QCOMPARE(photo->scene(), shown);
    QCOMPARE(photo->pos(), QPointF(10, 10));
    QCOMPARE(photo->zValue(), 10.0);
    QCOMPARE(photo->transformationMode(), Qt::SmoothTransformation);
    QCOMPARE(photo->pixmap().toImage().convertToFormat(QImage::Format_ARGB32), window.photo());

    for (const char *name : {"spinBox", "spinBox_2", "padspinbox"})
        QVERIFY2(box(window, name)->isEnabled(), name);
    QCOMPARE(parameters(window), (QList<int> {4, 30, 0}));
}

void TestOpenSave::openResetsParameters()
{
    QTemporaryDir photos;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "first.png", patternPhoto(20, 10))
                        << writePhoto(photos, "second.bmp", patternPhoto(12, 14));
    MainWindow window;
    trigger(window, "actionOpen");
    box(window, "spinBox")->setValue(9);
    box(window, "spinBox_2")->setValue(300);
    box(window, "padspinbox")->setValue(5);

    trigger(window, "actionOpen");
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane - second.bmp"));
    QCOMPARE(parameters(window), (QList<int> {4, 30, 0}));
    QCOMPARE(scene(window)->sceneRect(), QRectF(0, 0, 32, 34));
    QCOMPARE(scene(window)->items().size(), 2);
    QCOMPARE(window.photo().size(), QSize(12, 14));
    QCOMPARE(prompts.openAsked[1].dir, canonical(photos.path()));
}

void TestOpenSave::openSmallestPhoto()
{
    QTemporaryDir photos;
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.setPixel(0, 0, qRgb(12, 34, 56));
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "dot.png", dot);
    MainWindow window;
    trigger(window, "actionOpen");

    QCOMPARE(scene(window)->sceneRect(), QRectF(0, 0, 21, 21));
    QCOMPARE(window.photoItem()->pos(), QPointF(10, 10));
    QCOMPARE(window.brightnessMap().width(), 1);
    QCOMPARE(window.brightnessMap().height(), 1);
    QCOMPARE(window.brightnessMap().data()[0], std::uint8_t(56));
}

void TestOpenSave::openCancelled()
{
    QTemporaryDir photos;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "kept.png", patternPhoto(16, 8)) << QString();
    MainWindow window;
    trigger(window, "actionOpen");
    const QImage photo = window.photo();
    QGraphicsPixmapItem *photoItem = window.photoItem();
    const QVariant dir = storedSetting("CurrDir");

    trigger(window, "actionOpen");
    QCOMPARE(statusMessage(window), QStringLiteral("No file selected"));
    QVERIFY(window.filePath().isEmpty());
    QCOMPARE(window.photo(), photo);
    QCOMPARE(window.photoItem(), photoItem);
    QCOMPARE(scene(window)->items().size(), 2);
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane - kept.png"));
    QCOMPARE(storedSetting("CurrDir"), dir);
}

void TestOpenSave::openUnreadableFile()
{
    QTemporaryDir photos;
    QTemporaryDir notes;
    QFile text(notes.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();

    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "kept.png", patternPhoto(16, 8)) << text.fileName();
    MainWindow window;
    trigger(window, "actionOpen");
    box(window, "spinBox")->setValue(7);
    const QImage photo = window.photo();
    QGraphicsPixmapItem *photoItem = window.photoItem();

    trigger(window, "actionOpen");
    QCOMPARE(statusMessage(window), QStringLiteral("Failed to read image"));
    QCOMPARE(window.photo(), photo);
    QCOMPARE(window.photoItem(), photoItem);
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane - kept.png"));
    QCOMPARE(box(window, "spinBox")->value(), 7);

    trigger(window, "actionOpen");
    QCOMPARE(prompts.openAsked.last().dir, canonical(notes.path()));
}

// A header may claim any size; the reader must refuse it rather than try to allocate it.
void TestOpenSave::openRefusesAbsurdDimensions()
{
    QTemporaryDir photos;
    const QString path = photos.filePath("huge.png");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(pngClaiming(100000, 100000));
    file.close();
    QCOMPARE(QImageReader(path).size(), QSize(100000, 100000));

    FakePrompts prompts;
    prompts.openAnswers << path;
    MainWindow window;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("allocation limit"));
    trigger(window, "actionOpen");
    QCOMPARE(statusMessage(window), QStringLiteral("Failed to read image"));
    QVERIFY(window.photo().isNull());
    QCOMPARE(window.windowTitle(), QStringLiteral("Tolvane"));
}

// A 200-megapixel JPEG decodes to 4 bytes a pixel: 800 MB must be allowed.
void TestOpenSave::openAllowsLargePhotos()
{
    QVERIFY(qint64(QImageReader::allocationLimit()) * 1024 * 1024 >= 200'000'000LL * 4);
}

// Written landscape with an Exif tag saying "turn a quarter clockwise": opens portrait, the
// written left (red) half on top.
void TestOpenSave::openAppliesExifOrientation()
{
    QTemporaryDir photos;
    QImage landscape(40, 20, QImage::Format_RGB32);
    landscape.fill(Qt::blue);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x)
            landscape.setPixel(x, y, qRgb(255, 0, 0));
    }
    const QString path = photos.filePath("turned.jpg");
    QImageWriter writer(path);
    writer.setQuality(100);
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY2(writer.write(landscape), qPrintable(writer.errorString()));

    FakePrompts prompts;
    prompts.openAnswers << path;
    MainWindow window;
    trigger(window, "actionOpen");
    const QImage &photo = window.photo();
    QCOMPARE(photo.size(), QSize(20, 40));
    QVERIFY(qRed(photo.pixel(10, 5)) > 200 && qBlue(photo.pixel(10, 5)) < 60);
    QVERIFY(qBlue(photo.pixel(10, 34)) > 200 && qRed(photo.pixel(10, 34)) < 60);
    QCOMPARE(window.brightnessMap().width(), 20);
    QCOMPARE(window.brightnessMap().height(), 40);
    QCOMPARE(scene(window)->sceneRect(), QRectF(0, 0, 40, 60));
}

// The history belongs to one photo; Open that fails or is cancelled keeps it.
void TestOpenSave::openClearsHistory()
{
    QTemporaryDir photos;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "a.png", patternPhoto(10, 10)) << QString()
                        << photos.filePath("missing.png")
                        << writePhoto(photos, "b.png", patternPhoto(12, 12));
    MainWindow window;
    trigger(window, "actionOpen");
    // Stands for a command a tool pushed.
    const_cast<QUndoStack &>(window.undoStack()).push(new QUndoCommand(QStringLiteral("Mark")));

    trigger(window, "actionOpen");
    QCOMPARE(window.undoStack().count(), 1);
    trigger(window, "actionOpen");
    QCOMPARE(window.undoStack().count(), 1);
    trigger(window, "actionOpen");
    QCOMPARE(window.photo().size(), QSize(12, 12));
    QCOMPARE(window.undoStack().count(), 0);
}

void TestOpenSave::brightnessMap_data()
{
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<int>("brightness");

    QTest::newRow("grey 100") << qRgb(100, 100, 100) << 100;
    QTest::newRow("green largest") << qRgb(10, 200, 30) << 200;
    QTest::newRow("red largest") << qRgb(255, 0, 254) << 255;
    QTest::newRow("blue largest") << qRgb(1, 2, 3) << 3;
    QTest::newRow("black") << qRgb(0, 0, 0) << 0;
    QTest::newRow("alpha above colours ignored") << qRgba(20, 40, 60, 250) << 60;
    QTest::newRow("translucent") << qRgba(90, 10, 10, 40) << 90;
}

void TestOpenSave::brightnessMap()
{
    QFETCH(QRgb, pixel);
    QFETCH(int, brightness);

    QTemporaryDir photos;
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(pixel);
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "pixel.png", image);
    MainWindow window;
    trigger(window, "actionOpen");
    QCOMPARE(window.photo().pixel(1, 1), pixel);
    const auto &map = window.brightnessMap();
    QCOMPARE(map.width(), 3);
    QCOMPARE(map.height(), 2);
    for (std::size_t i = 0; i < map.pixelCount(); ++i)
        QCOMPARE(int(map.data()[i]), brightness);
}

void TestOpenSave::brightnessMapIsRowMajor()
{
    QTemporaryDir photos;
    const QImage image = patternPhoto(7, 5);
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "pattern.png", image);
    MainWindow window;
    trigger(window, "actionOpen");
    const auto &map = window.brightnessMap();
    QCOMPARE(map.width(), 7);
    QCOMPARE(map.height(), 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            const QRgb p = image.pixel(x, y);
            QCOMPARE(int(map.data()[y * 7 + x]), qMax(qRed(p), qMax(qGreen(p), qBlue(p))));
        }
    }
}

void TestOpenSave::saveFormatFollowsName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QByteArray>("format");

    QTest::newRow("png, JPG filter") << "out.png"
                                     << "JPG Files (*.jpg)" << QByteArray("png");
    QTest::newRow("png, PNG filter") << "out.png"
                                     << "PNG Files (*.png)" << QByteArray("png");
    QTest::newRow("jpg, PNG filter") << "out.jpg"
                                     << "PNG Files (*.png)" << QByteArray("jpeg");
    QTest::newRow("jpg, JPG filter") << "out.jpg"
                                     << "JPG Files (*.jpg)" << QByteArray("jpeg");
}

void TestOpenSave::saveFormatFollowsName()
{
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(QByteArray, format);

    QTemporaryDir photos;
    QTemporaryDir saved;
    QImage source = patternPhoto(24, 16);
    source.setPixel(3, 3, qRgba(200, 100, 50, 128));
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "in.png", source);
    prompts.saveAnswers << saved.filePath(name);
    prompts.selectedSaveFilter = filter;
    MainWindow window;
    trigger(window, "actionOpen");
    trigger(window, "actionSave");

    QCOMPARE(prompts.saveAsked.size(), 1);
    QCOMPARE(prompts.saveAsked[0].caption, QStringLiteral("Save Image"));
    QCOMPARE(prompts.saveAsked[0].filter, saveFilter);
    QCOMPARE(prompts.saveAsked[0].dir, canonical(photos.path()));
    QVERIFY(statusMessage(window).isEmpty());
    QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(saved.path()));
    QCOMPARE(QDir(saved.path()).entryList(QDir::Files), QStringList {name});

    const QString path = saved.filePath(name);
    QCOMPARE(QImageReader(path, nullptr).format(), format);
    const QImage back(path);
    QCOMPARE(back.size(), source.size());
    if (format == "png") {
        QCOMPARE(fileStart(path, 8), QByteArray("\x89PNG\r\n\x1a\n"));
        QCOMPARE(back.convertToFormat(QImage::Format_ARGB32), window.photo());
    } else {
        QCOMPARE(fileStart(path, 3), QByteArray("\xff\xd8\xff"));
        QVERIFY(!back.hasAlphaChannel());
        // Quality 100: every channel within a few levels.
        const QRgb want = window.photo().pixel(20, 10);
        const QRgb got = back.pixel(20, 10);
        QVERIFY(qAbs(qRed(want) - qRed(got)) <= 8 && qAbs(qGreen(want) - qGreen(got)) <= 8
            && qAbs(qBlue(want) - qBlue(got)) <= 8);
    }
}

void TestOpenSave::saveWithoutSuffixUsesFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("format");

    QTest::newRow("JPG filter") << "JPG Files (*.jpg)"
                                << "out.jpg" << QByteArray("jpeg");
    QTest::newRow("PNG filter") << "PNG Files (*.png)"
                                << "out.png" << QByteArray("png");
}

void TestOpenSave::saveWithoutSuffixUsesFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QFETCH(QByteArray, format);

    QTemporaryDir photos;
    QTemporaryDir saved;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "in.png", patternPhoto(10, 6));
    prompts.saveAnswers << saved.filePath("out");
    prompts.selectedSaveFilter = filter;
    MainWindow window;
    trigger(window, "actionOpen");
    trigger(window, "actionSave");

    QCOMPARE(QDir(saved.path()).entryList(QDir::Files), QStringList {written});
    QCOMPARE(QImageReader(saved.filePath(written), nullptr).format(), format);
    QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(saved.path()));
}

void TestOpenSave::saveBeforeOpen()
{
    FakePrompts prompts;
    MainWindow window;
    trigger(window, "actionSave");
    QCOMPARE(statusMessage(window), QStringLiteral("Nothing to save."));
    QCOMPARE(prompts.saveAsked.size(), 0);
    QVERIFY(!storedSetting("CurrSaveDir").isValid());
}

void TestOpenSave::saveCancelled()
{
    QTemporaryDir photos;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "in.png", patternPhoto(10, 6));
    MainWindow window;
    trigger(window, "actionOpen");
    trigger(window, "actionSave");
    QCOMPARE(prompts.saveAsked.size(), 1);
    QCOMPARE(statusMessage(window), QStringLiteral("No file selected"));
    QVERIFY(!storedSetting("CurrSaveDir").isValid());
    QCOMPARE(QDir(photos.path()).entryList(QDir::Files), QStringList {"in.png"});
}

void TestOpenSave::saveFailureReported_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("missing directory") << "nowhere/out.png";
    QTest::newRow("unknown suffix") << "out.xyz";
    QTest::newRow("suffix of a read-only format") << "out.gif";
}

// Tests may run as root, where permission bits do not stop a write; a missing directory and a
// suffix no writer knows fail for everyone.
void TestOpenSave::saveFailureReported()
{
    QFETCH(QString, name);

    QTemporaryDir photos;
    QTemporaryDir earlier;
    QTemporaryDir target;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(photos, "in.png", patternPhoto(10, 6));
    prompts.saveAnswers << earlier.filePath("first.png") << target.filePath(name);
    MainWindow window;
    trigger(window, "actionOpen");
    trigger(window, "actionSave");
    QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(earlier.path()));

    trigger(window, "actionSave");
    QCOMPARE(statusMessage(window), QStringLiteral("Failed to save image"));
    QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(earlier.path()));
    QVERIFY(QDir(target.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestOpenSave::directoriesRememberedSeparately()
{
    QTemporaryDir dirA;
    QTemporaryDir dirB;
    FakePrompts prompts;
    prompts.openAnswers << writePhoto(dirA, "a.png", patternPhoto(10, 6)) << QString();
    prompts.saveAnswers << dirB.filePath("b.png") << QString();
    MainWindow window;
    trigger(window, "actionOpen");
    trigger(window, "actionSave");
    trigger(window, "actionSave");
    trigger(window, "actionOpen");

    QCOMPARE(prompts.saveAsked[0].dir, canonical(dirA.path()));
    QCOMPARE(prompts.saveAsked[1].dir, canonical(dirB.path()));
    QCOMPARE(prompts.openAsked[1].dir, canonical(dirA.path()));
    QCOMPARE(storedSetting("CurrDir").toString(), canonical(dirA.path()));
    QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(dirB.path()));
}

QTEST_MAIN(TestOpenSave)
#include "tst_opensave.moc"
