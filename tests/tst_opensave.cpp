#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QUndoCommand>

#include "app/imagefiles.h"
#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

namespace {

const QString jpgFilter = QStringLiteral("JPG Files (*.jpg)");
const QString pngFilter = QStringLiteral("PNG Files (*.png)");
const QString png = QStringLiteral("png"), jpeg = QStringLiteral("jpeg");

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

// Where an item lies, how it is drawn, and its picture.
auto layout(const QGraphicsPixmapItem *item)
{
    const QImage picture = item->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    return std::tuple(item->pos(), item->zValue(), item->transformationMode(), picture);
}

// A window with its answers in place of the dialogs, and folders to open from and save to.
struct Session
{
    QTemporaryDir photos;
    QTemporaryDir saved;
    FakePrompts prompts;
    MainWindow window;

    void trigger(const char *name) { window.findChild<QAction *>(QLatin1String(name))->trigger(); }
    void open(const QString &path)
    {
        prompts.openAnswers << path;
        trigger("actionOpen");
    }
    void open(const QImage &image) { open(writePhoto(photos, "in.png", image)); }
    void save(const QString &path)
    {
        prompts.saveAnswers << path;
        trigger("actionSave");
    }
    // Width threshold, length threshold and wire padding, in the order the form creates
    // them; -1 for a disabled box.
    QList<int> parameters() const
    {
        QList<int> values;
        for (const QSpinBox *box : window.findChildren<QSpinBox *>())
            values << (box->isEnabled() ? box->value() : -1);
        return values;
    }
    QGraphicsScene *scene() { return window.findChild<KestGraphicsView *>()->scene(); }
};

} // namespace

// Open and Save: the scene Open builds, the brightness map, the status messages, and the two
// remembered directories.
class TestOpenSave : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase()
    {
        useTemporarySettings(m_settingsDir);
        tolvane::allowLargePhotos();
    }
    void init() { QSettings().clear(); }

    // The remembered directory is canonical: here the photo is chosen through a link.
    void openBuildsScene()
    {
        Session s;
        QVERIFY(QDir(s.photos.path()).mkdir("real"));
        QVERIFY(QFile::link(s.photos.filePath("real"), s.photos.filePath("link")));
        const QImage dot = patternPhoto(1, 1).convertToFormat(QImage::Format_RGB32);
        QVERIFY(dot.save(s.photos.filePath("real/dot.png")));
        s.open(s.photos.filePath("link/dot.png"));

        QCOMPARE(s.prompts.openAsked.value(0).dir, QString());
        QCOMPARE(s.window.windowTitle(), QStringLiteral("Tolvane - dot.png"));
        QCOMPARE(storedSetting("CurrDir").toString(), canonical(s.photos.filePath("real")));
        QCOMPARE(s.window.photo(), dot.convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(s.window.lastControlPoint(), QPoint(-100, -100));
        QCOMPARE(s.parameters(), (QList<int> {4, 30, 0}));
        QCOMPARE(s.scene()->sceneRect(), QRectF(0, 0, 21, 21));
        QCOMPARE(s.scene()->items().size(), 2);
        QImage white(21, 21, QImage::Format_ARGB32);
        white.fill(Qt::white);
        QCOMPARE(layout(s.window.backdropItem()),
            std::tuple(QPointF(0, 0), 1.0, Qt::SmoothTransformation, white));
        QCOMPARE(layout(s.window.photoItem()),
            std::tuple(QPointF(10, 10), 10.0, Qt::SmoothTransformation, s.window.photo()));
        QCOMPARE(s.window.brightnessMap().pixelCount(), std::size_t(1));

        // A second photo replaces everything and resets the parameters.
        for (QSpinBox *box : s.window.findChildren<QSpinBox *>())
            box->setValue(box->maximum());
        s.open(patternPhoto(40, 30));
        QCOMPARE(s.prompts.openAsked.value(1).dir, canonical(s.photos.filePath("real")));
        QCOMPARE(s.window.windowTitle(), QStringLiteral("Tolvane - in.png"));
        QCOMPARE(s.parameters(), (QList<int> {4, 30, 0}));
        QCOMPARE(s.scene()->sceneRect(), QRectF(0, 0, 60, 50));
    }

    // A cancelled Open, or a file that cannot be read, changes nothing but the remembered
    // directory; a successful Open ends the previous photo's history.
    void failedOpenKeepsPhoto()
    {
        Session s;
        s.open(patternPhoto(16, 8));
        for (QSpinBox *box : s.window.findChildren<QSpinBox *>())
            box->setValue(box->maximum());
        // Stands for a command a tool pushed.
        const_cast<QUndoStack &>(s.window.undoStack()).push(new QUndoCommand("Mark"));
        const QImage photo = s.window.photo();
        QGraphicsPixmapItem *photoItem = s.window.photoItem();

        s.open(QString());
        QCOMPARE(statusMessage(s.window), QStringLiteral("No file selected"));
        // Photos up to 200 megapixels decode; a header claiming far more is refused unread.
        QVERIFY(qint64(QImageReader::allocationLimit()) * 1024 * 1024 >= 200'000'000LL * 4);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("allocation limit"));
        s.open(writeFile(s.saved, "huge.ppm", "P6\n32767 32767\n255\n")); // another folder
        QCOMPARE(statusMessage(s.window), QStringLiteral("Failed to read image"));
        QCOMPARE(storedSetting("CurrDir").toString(), canonical(s.saved.path()));

        QCOMPARE(s.window.photo(), photo);
        QCOMPARE(s.window.photoItem(), photoItem);
        QCOMPARE(s.window.windowTitle(), QStringLiteral("Tolvane - in.png"));
        QCOMPARE(s.parameters(), (QList<int> {99, 999, 99}));
        QCOMPARE(s.window.undoStack().count(), 1);
        s.open(patternPhoto(12, 12));
        QCOMPARE(s.window.undoStack().count(), 0);
    }

    // Written landscape with an Exif tag saying "turn a quarter clockwise": opens portrait,
    // the written left (red) half on top.
    void openAppliesExifOrientation()
    {
        QImage landscape(40, 20, QImage::Format_RGB32);
        landscape.fill(Qt::blue);
        QPainter(&landscape).fillRect(0, 0, 20, 20, Qt::red);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && landscape.save(&buffer, "JPG"));
        // After the start marker: Exif, big-endian TIFF, one entry, orientation (0x112) 6.
        jpeg.insert(2,
            QByteArray::fromHex("ffe100224578696600004d4d002a000000080001"
                                "01120003000000010006000000000000"));
        Session s;
        s.open(writeFile(s.photos, "turned.jpg", jpeg));
        QCOMPARE(s.window.photo().size(), QSize(20, 40));
        const QRgb top = s.window.photo().pixel(10, 5);
        QVERIFY(qRed(top) > 200 && qBlue(top) < 60);
    }

    // A pixel's brightness is its largest colour component; alpha never counts. The map is
    // row-major with no padding.
    void brightnessMap()
    {
        const QList<QRgb> pixels = {qRgb(100, 100, 100), qRgb(10, 200, 30), qRgb(255, 0, 254),
            qRgba(20, 40, 60, 250), qRgba(90, 10, 10, 40), qRgba(7, 70, 8, 1)};
        const QImage image(
            reinterpret_cast<const uchar *>(pixels.constData()), 3, 2, QImage::Format_ARGB32);
        Session s;
        s.open(image);
        const auto &map = s.window.brightnessMap();
        QCOMPARE(QList<int>(map.data(), map.data() + map.pixelCount()),
            (QList<int> {100, 200, 255, 60, 90, 70}));
    }

    void save_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("format");

        QTest::newRow("png, JPG filter") << "out.png" << jpgFilter << "out.png" << png;
        QTest::newRow("jpg, PNG filter") << "out.jpg" << pngFilter << "out.jpg" << jpeg;
        QTest::newRow("no suffix, JPG filter") << "out" << jpgFilter << "out.jpg" << jpeg;
        QTest::newRow("no suffix, PNG filter") << "out" << pngFilter << "out.png" << png;
    }

    // Save asks nothing before a photo is open, writes the format the name's suffix (or else
    // the chosen filter) names, starts where the photo was opened from, and then remembers its
    // own directory apart from Open's. A cancelled or failed Save changes nothing.
    void save()
    {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(QString, written);
        QFETCH(QString, format);

        Session s;
        s.trigger("actionSave");
        QCOMPARE(statusMessage(s.window), QStringLiteral("Nothing to save."));
        s.open(patternPhoto(24, 16));
        s.prompts.selectedSaveFilter = filter;
        s.save(s.saved.filePath(name));
        // The first dialog is this one, not one before Open.
        QCOMPARE(s.prompts.saveAsked.value(0).dir, canonical(s.photos.path()));
        QCOMPARE(QDir(s.saved.path()).entryList(QDir::Files), QStringList {written});
        const QString path = s.saved.filePath(written);
        QCOMPARE(QString(QImageReader(path).format()), format);
        if (format == png)
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_ARGB32), s.window.photo());

        s.save(QString());
        QCOMPARE(statusMessage(s.window), QStringLiteral("No file selected"));
        QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(s.saved.path()));
        s.open(QString());
        QCOMPARE(s.prompts.saveAsked.value(1).dir, canonical(s.saved.path()));
        QCOMPARE(s.prompts.openAsked.value(1).dir, canonical(s.photos.path()));

        // Tests may run as root, where permission bits do not stop a write; a missing
        // directory and a suffix no writer knows fail for everyone.
        for (const char *bad : {"nowhere/out.png", "out.xyz", "out.gif"}) {
            s.save(s.photos.filePath(bad));
            QVERIFY2(statusMessage(s.window) == QStringLiteral("Failed to save image"), bad);
            QCOMPARE(storedSetting("CurrSaveDir").toString(), canonical(s.saved.path()));
        }
        QCOMPARE(QDir(s.photos.path()).entryList(QDir::Files), QStringList {"in.png"});
    }
};

QTEST_MAIN(TestOpenSave)
#include "tst_opensave.moc"
