#include <QDir>
#include <QImageReader>
#include <QResource>
#include <QSet>
#include <QTest>

// The icons compiled into tolvane_widgets: the exact set, readable pictures, and their storage.
// Every toolbar picture has a copy twice the size, "name@2x.ext", for screens of two device
// pixels per logical one.
class TestResources : public QObject
{
    Q_OBJECT

    // In the directory's order: capitals first.
    const QStringList m_names = {"DeleteHS.png", "Edit_UndoHS.png", "Filter2HS.png",
        "FormRunHS.png", "LineColorHS.png", "ZoomInHS.bmp", "ZoomInHS.png", "ZoomInMs.png",
        "ZoomOutHS.bmp", "ZoomOutHS.png", "ZoomOutMs.png", "cleaner.ico", "folder_open_32.png",
        "openHS.png", "saveHS.png", "zoomminus.png", "zoomplus.png"};

private slots:
    void exactlyTheSeventeenIcons()
    {
        QStringList names = m_names;
        for (const QString &name : m_names) {
            if (name != u"cleaner.ico")
                names.append(QString(name).insert(name.lastIndexOf(u'.'), u"@2x"));
        }
        names.sort();
        QCOMPARE(QDir(QStringLiteral(":/icons")).entryList(QDir::Files, QDir::Name), names);
    }

    void icon_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : m_names)
            QTest::newRow(qPrintable(name)) << name;
    }

    // Every picture decodes. The application icon holds several sizes and is stored
    // compressed; the others are stored as they are.
    void icon()
    {
        QFETCH(QString, name);
        const QString path = QStringLiteral(":/icons/") + name;
        QImageReader reader(path);
        QSet<int> sides;
        do {
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            sides.insert(image.width());
        } while (reader.jumpToNextImage());
        const QResource resource(path);
        if (name == u"cleaner.ico") {
            QVERIFY2(sides.size() > 1, "one size only");
            QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
        } else {
            QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
            const QString large = QString(path).insert(path.lastIndexOf(u'.'), u"@2x");
            QCOMPARE(QImage(large).size(), QImage(path).size() * 2);
            QCOMPARE(QResource(large).compressionAlgorithm(), QResource::NoCompression);
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
