// Picture files on their own: the settings a PNG carries come back exactly
// or are refused with a reason, samples average in linear light, and the
// picture library's pixels and files are the toolkit's.
#include "picture/picture_file.h"
#include "picture/qt_toolkit.h"
#include "picture/samples.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace glimra;

class TestPictureFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    // Texts come back as typed: blanks, junk, other scripts, an empty one.
    void recipeRoundTrip()
    {
        PictureRecipe recipe;
        recipe.pattern = "sizZle";
        recipe.texts = {" 7 6 8abc", "-&H1F", "", "0,5 ünïcødé ✓", "1e999"};
        recipe.density = 3;
        recipe.samples = 2;
        const Pixels image(5, 4, pixelOf(255, 0, 0));
        QString error;
        QVERIFY2(writePicture(image, path("r.png"), &recipe, &error), qPrintable(error));
        const auto back = readRecipe(path("r.png"), &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(back->pattern, recipe.pattern);
        QCOMPARE(back->texts.x, recipe.texts.x);
        QCOMPARE(back->texts.y, recipe.texts.y);
        QCOMPARE(back->texts.size, recipe.texts.size);
        QCOMPARE(back->texts.zoom, recipe.texts.zoom);
        QCOMPARE(back->texts.bright, recipe.texts.bright);
        QCOMPARE(back->density, 3);
        QCOMPARE(back->samples, 2);
        QCOMPARE(QImage(path("r.png")).pixelColor(4, 3), QColor(Qt::red));
    }

    // Whatever the file, a reason and no recipe; never a crash.
    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");  // empty: write with Qt from `keys`
        QTest::addColumn<QStringList>("keys");    // key=value text chunks
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << QByteArray("-") << QStringList{} << "cannot open";
        QTest::newRow("empty") << QByteArray("") << QStringList{"none"} << "not a PNG";
        QTest::newRow("not a picture") << QByteArray("hello") << QStringList{} << "not a PNG";
        QTest::newRow("foreign PNG") << QByteArray() << QStringList{"Title=a cat", "Author=me"} << "no Color Glimra";
        QTest::newRow("broken density") << QByteArray()
                                        << QStringList{"glimra-pattern=dune", "glimra-x=1",    "glimra-y=1",
                                                       "glimra-size=9",       "glimra-zoom=1", "glimra-bright=9",
                                                       "glimra-density=abc"}
                                        << "density";
        QTest::newRow("a text missing") << QByteArray() << QStringList{"glimra-pattern=dune", "glimra-x=1"} << "lacks";
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, keys);
        QFETCH(QString, says);
        const QString file = path("refused.png");
        QFile::remove(file);
        if (content.isNull()) {
            QImage image(3, 3, QImage::Format_RGB32);
            image.fill(Qt::blue);
            for (const QString& k : keys)
                image.setText(k.section('=', 0, 0), k.section('=', 1));
            QVERIFY(image.save(file, "PNG"));
        } else if (content != "-") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QString error;
        QVERIFY(!readRecipe(file, &error));
        QVERIFY2(error.contains(says), qPrintable(error));
    }

    // A PNG cut short after its settings still gives them; cut inside its
    // header it is refused.
    void truncatedPng()
    {
        PictureRecipe recipe;
        recipe.pattern = "dune";
        const Pixels image(64, 64, pixelOf(0, 255, 0));
        QVERIFY(writePicture(image, path("t.png"), &recipe, nullptr));
        QFile f(path("t.png"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        f.close();
        for (int keep : {20, 40, int(whole.size()) - 10}) {
            QFile cut(path("cut.png"));
            QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
            cut.write(whole.left(keep));
            cut.close();
            QString error;
            const auto back = readRecipe(path("cut.png"), &error);
            QCOMPARE(bool(back), keep > 200);
        }
    }

    // The program writes PPM itself, byte for byte as the toolkit does, and
    // PNG pixels read back as written; the toolkit sees the same pixels in
    // place, and its formats are written through it.
    void pixelsAsTheToolkitSeesThem_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("one pixel") << 1 << 1;
        QTest::newRow("wide") << 37 << 2;
        QTest::newRow("tall") << 3 << 1030;  // more rows than a band of the writer
    }
    void pixelsAsTheToolkitSeesThem()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        Pixels pixels(width, height);
        QRandomGenerator random(std::uint32_t(width * 7919 + height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.row(y)[x] = pixelOf(random.bounded(256), random.bounded(256), random.bounded(256));
        QImage over = imageOver(pixels);
        QCOMPARE(over.size(), QSize(width, height));
        QCOMPARE(over.pixel(width - 1, height - 1), pixels.at(width - 1, height - 1));
        QCOMPARE(pixelsOf(over), pixels);
        over.setPixel(0, 0, qRgb(1, 2, 3));  // the same pixels, not a copy
        QCOMPARE(pixels.at(0, 0), pixelOf(1, 2, 3));

        QByteArray toolkitPpm;
        QBuffer buffer(&toolkitPpm);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(QImageWriter(&buffer, "ppm").write(over));
        useToolkit(nullptr);
        for (const char* suffix : {"ppm", "png"}) {
            const QString file = path("own.") + QLatin1String(suffix);
            QString error;
            QVERIFY2(writePicture(pixels, file, nullptr, &error), qPrintable(error));
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            if (QByteArray(suffix) == "ppm")
                QCOMPARE(written.readAll(), toolkitPpm);
            else
                QCOMPARE(pixelsOf(QImage(file)), pixels);
        }
        // A format only the toolkit writes: refused with a reason without
        // it (no module lies beside a test program), written with it.
        QString error;
        QFile::remove(path("toolkit.bmp"));
        QVERIFY(!writePicture(pixels, path("toolkit.bmp"), nullptr, &error));
        QVERIFY2(error.contains("toolkit"), qPrintable(error));
        QVERIFY(!QFile::exists(path("toolkit.bmp")));
        useToolkit(&qtToolkit());
        QVERIFY2(writePicture(pixels, path("toolkit.bmp"), nullptr, &error), qPrintable(error));
        QCOMPARE(pixelsOf(QImage(path("toolkit.bmp"))), pixels);
    }

    // Pixels placed into others are clipped at every edge.
    void placedPixels()
    {
        const Pixel o = pixelOf(0, 0, 0), x = pixelOf(9, 9, 9);
        const Pixels block(2, 2, x);
        struct Case {
            int left, top;
            std::vector<Pixel> expected;  // 3 x 3, row by row
        };
        const Case cases[] = {{0, 0, {x, x, o, x, x, o, o, o, o}},
                              {2, 2, {o, o, o, o, o, o, o, o, x}},
                              {-1, -1, {x, o, o, o, o, o, o, o, o}},
                              {3, 0, {o, o, o, o, o, o, o, o, o}}};
        for (const Case& c : cases) {
            Pixels into(3, 3, o);
            into.place(block, c.left, c.top);
            QCOMPARE(std::vector<Pixel>(into.data(), into.data() + 9), c.expected);
        }
    }

    // Light is averaged, not sRGB numbers: black and white make 188, not 128;
    // a colour alone stays itself.
    void averagesInLinearLight()
    {
        const Colour black = rgb(0, 0, 0), white = rgb(255, 255, 255);
        const Colour halves[] = {black, white, black, white};
        QCOMPARE(averageInLinearLight(halves), rgb(188, 188, 188));
        const Colour quarter[] = {white, black, black, black};
        QCOMPARE(averageInLinearLight(quarter), rgb(137, 137, 137));
        for (int v = 0; v < 256; ++v) {
            const Colour same[] = {rgb(v, 255 - v, v / 2), rgb(v, 255 - v, v / 2)};
            QCOMPARE(averageInLinearLight(same), same[0]);
        }
    }
};

QTEST_GUILESS_MAIN(TestPictureFile)
#include "test_picture_file.moc"
