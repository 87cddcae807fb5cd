// A large picture saved in the background tells its end once, from the event
// loop, however it ends; and one taken down while it renders waits for its
// render and tells nothing afterwards.
#include "window/application.h"
#include "window/large_picture.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

const glimra::PictureRecipe kPlace{"dune", {"1", "1", "40", "1", "150"}, 1, 1};

QStringList filesIn(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

class TestLargePicture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { glimra::prepareApplication(*qApp); }

    void endToldOnce_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("density");  // 64 is far too large to end by itself during this test
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("written");
        QTest::addColumn<int>("complaints");
        QTest::newRow("written") << "dune.png" << 4 << false << true << 0;
        QTest::newRow("cancelled") << "dune.png" << 64 << true << false << 0;
        QTest::newRow("cannot write") << "missing/dune.png" << 4 << false << false << 1;
    }
    void endToldOnce()
    {
        QFETCH(QString, file);
        QFETCH(int, density);
        QFETCH(bool, cancel);
        QFETCH(bool, written);
        QFETCH(int, complaints);
        QTemporaryDir dir;
        QWidget window;
        int complained = 0;
        LargePicture large(
            window, [] { return std::optional(kPlace); }, [&](const QString&, const QString&) { ++complained; });
        QSignalSpy finished(&large, &LargePicture::finished);
        QVERIFY(large.start({density, 2, dir.filePath(file)}));
        QVERIFY(large.running());
        QVERIFY(!large.start({4, 2, dir.filePath("second.png")}));  // one save at a time
        if (cancel)
            large.cancel();
        QVERIFY(finished.wait(60000));
        // Whatever else the event loop brings meanwhile, no second end.
        QTest::qWait(300);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.front().at(0).toBool(), written);
        QCOMPARE(complained, complaints);
        QVERIFY(!large.running());
        QCOMPARE(filesIn(dir), written ? QStringList{"dune.png"} : QStringList());
    }

    void takenDownWhileRendering()
    {
        QTemporaryDir dir;
        QWidget window;
        int ends = 0;
        auto large = std::make_unique<LargePicture>(
            window, [] { return std::optional(kPlace); }, [](const QString&, const QString&) {});
        connect(large.get(), &LargePicture::finished, &window, [&] { ++ends; });
        // Far too large to end by itself during this test.
        QVERIFY(large->start({64, 8, dir.filePath("huge.png")}));
        QTest::qWait(50);
        large.reset();
        QTest::qWait(300);
        QCOMPARE(ends, 0);
        QCOMPARE(filesIn(dir), QStringList());
    }
};

QTEST_MAIN(TestLargePicture)
#include "test_large_picture.moc"
