// The pool and its two shapes of work: a helper the system has paused never
// holds up the consumer of ordered work, and every item of forEach is done
// exactly once, also when one of them fails.
#include "render/parallel.h"

#include <QtTest>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace glimra::parallel;
using namespace std::chrono_literals;

class TestParallel : public QObject {
    Q_OBJECT
private slots:
    // A helper stuck inside an item, as one is that the system does not run:
    // the consumer must take every item, in order and right, without it.
    void pausedHelperIsOvertaken()
    {
        const std::thread::id consumer = std::this_thread::get_id();
        std::atomic<bool> released{false};
        std::atomic<int> stuck{0};
        std::atomic<bool> gaveUp{false};
        const long total = 200;
        Ordered<long> work(
            total, 8, 1,
            [&](long k, long& out) {
                if (std::this_thread::get_id() != consumer && stuck.fetch_add(1) == 0) {
                    // Only released once the consumer has finished; should
                    // it need this item, it would wait here for ever.
                    const auto limit = std::chrono::steady_clock::now() + 20s;
                    while (!released.load() && std::chrono::steady_clock::now() < limit)
                        std::this_thread::sleep_for(1ms);
                    gaveUp = !released.load();
                }
                out = k * k + 1;
                return true;
            },
            [] { return 0L; });
        Pool::instance().open(work);
        // The helper takes an item before the consumer starts, so one item is
        // surely in its hands.
        const auto limit = std::chrono::steady_clock::now() + 10s;
        while (stuck.load() == 0 && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(1ms);
        QVERIFY2(stuck.load() > 0, "the helper never took an item");
        for (long k = 0; k < total; ++k) {
            QCOMPARE(work.take(k), k * k + 1);
            work.release(k);
        }
        released = true;
        Pool::instance().close(work);
        QVERIFY2(!gaveUp.load(), "the consumer waited for the paused helper");
    }

    void forEachDoesEveryItemOnce_data()
    {
        QTest::addColumn<long>("count");
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 50L << 1;
        QTest::newRow("more threads than items") << 3L << 8;
        QTest::newRow("many items") << 5000L << 4;
    }

    void forEachDoesEveryItemOnce()
    {
        QFETCH(long, count);
        QFETCH(int, threads);
        std::vector<std::atomic<int>> done(static_cast<std::size_t>(count));
        forEach(count, threads, [&](long k) { done[std::size_t(k)].fetch_add(1); });
        for (long k = 0; k < count; ++k)
            QCOMPARE(done[std::size_t(k)].load(), 1);
    }

    // A failing item reaches the caller, after all other items are done
    // (nobody is left running on the caller's data).
    void forEachPassesOnAFailure()
    {
        std::atomic<long> done{0};
        bool thrown = false;
        try {
            forEach(400, 4, [&](long k) {
                if (k == 123)
                    throw std::runtime_error("item 123");
                done.fetch_add(1);
            });
        } catch (const std::runtime_error& e) {
            thrown = QByteArray(e.what()) == "item 123";
        }
        QVERIFY(thrown);
        QCOMPARE(done.load(), 399L);
    }
};

QTEST_APPLESS_MAIN(TestParallel)
#include "test_parallel.moc"
