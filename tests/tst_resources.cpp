#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QResource>
#include <QSet>
#include <QTest>

// The icons compiled into tolvane_widgets: the exact set, readable pictures, and their storage.
class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void exactlyTheSeventeenIcons();
    void iconsDecode_data();
    void iconsDecode();
    void appIconHoldsEverySize();
    void storage_data();
    void storage();
};

namespace {

const QStringList iconNames = {"DeleteHS.png", "Edit_UndoHS.png", "openHS.png", "zoomplus.png",
    "cleaner.ico", "zoomminus.png", "FormRunHS.png", "saveHS.png", "ZoomOutHS.bmp", "ZoomOutHS.png",
    "ZoomOutMs.png", "Filter2HS.png", "folder_open_32.png", "ZoomInHS.bmp", "ZoomInHS.png",
    "ZoomInMs.png", "LineColorHS.png"};

QString iconPath(const QString &name)
{
    return QStringLiteral(":/icons/") + name;
}

} // namespace

void TestResources::exactlyTheSeventeenIcons()
{
    QStringList expected = iconNames;
    expected.sort();
    QStringList present = QDir(QStringLiteral(":/icons")).entryList(QDir::Files, QDir::Name);
    QCOMPARE(present, expected);
}

void TestResources::iconsDecode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    for (const QString &name : iconNames) {
        if (name.endsWith(QLatin1String(".ico")))
            continue;
        const bool bmp = name.endsWith(QLatin1String(".bmp"));
        const int side = name == QLatin1String("folder_open_32.png") ? 32 : 24;
        QTest::newRow(qPrintable(name))
            << name << QByteArray(bmp ? "bmp" : "png") << QSize(side, side);
    }
}

// PNGs lie on a transparent background; the BMPs, which have no alpha, on a light one.
void TestResources::iconsDecode()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(iconPath(name));
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);

    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb corner = argb.pixel(0, 0);
    if (format == "png") {
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(corner), 0);
    } else {
        QVERIFY(!image.hasAlphaChannel());
        QVERIFY(qRed(corner) >= 200 && qGreen(corner) >= 200 && qBlue(corner) >= 200);
    }

    int distinct = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) == 255 && argb.pixel(x, y) != corner)
                ++distinct;
        }
    }
    QVERIFY2(distinct >= size.width() * size.height() / 8, "the picture is almost empty");
}

void TestResources::appIconHoldsEverySize()
{
    QImageReader reader(iconPath(QStringLiteral("cleaner.ico")));
    QCOMPARE(reader.format(), QByteArray("ico"));
    QCOMPARE(reader.imageCount(), 6);

    QSet<int> sides;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.hasAlphaChannel());
        sides.insert(image.width());
    }
    QCOMPARE(sides, (QSet<int> {16, 24, 32, 48, 64, 256}));
}

void TestResources::storage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QResource::Compression>("compression");

    for (const QString &name : iconNames) {
        QTest::newRow(qPrintable(name))
            << name
            << (name == QLatin1String("cleaner.ico") ? QResource::ZlibCompression
                                                     : QResource::NoCompression);
    }
}

void TestResources::storage()
{
    QFETCH(QString, name);
    QFETCH(QResource::Compression, compression);

    const QResource resource(iconPath(name));
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), compression);
    if (compression == QResource::NoCompression)
        QCOMPARE(resource.size(), resource.uncompressedSize());
    else
        QVERIFY(resource.size() < resource.uncompressedSize());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
