// The program's threads: one pool of helpers that every parallel piece of
// work joins (the render's columns, the PNG encoder's pieces, a large picture
// saved in the background), and the two shapes that work comes in.
//
// Nothing else in the program starts a thread. Work nests: a render may start
// inside another one's yield, and the encoder may run while a render is open,
// so several pieces of work can be open at once; helpers serve the newest one
// that has something to claim, since an outer piece cannot go on before an
// inner one has ended.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace glimra::parallel {

// One thread per core this process may run on: what work uses unless told
// otherwise.
int defaultThreadCount();

inline constexpr int kMaxThreads = 256;

// Something the pool's helpers may join: a run of items numbered from 0 that
// are claimed one at a time.
class Work {
public:
    explicit Work(int maxHelpers) : maxHelpers_(maxHelpers) {}
    virtual ~Work() = default;
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    // Claims the next item if one may be done now.
    virtual bool claim(long& k) = 0;
    // On a helper: does item k, then claims and does more while `stay` says so.
    virtual void serve(long k, const std::function<bool()>& stay) = 0;

    int maxHelpers() const { return maxHelpers_; }
    void cancel() { cancelled_.store(true); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    // Helpers inside this work; closing it waits for none to be left.
    std::atomic<int> helpers{0};

private:
    const int maxHelpers_;
    std::atomic<bool> cancelled_{false};
};

class Pool {
public:
    static Pool& instance();
    ~Pool();

    // Opens work to the helpers, starting more of them if it asks for more.
    void open(Work& work);
    // Closes work: no helper enters it any more, and when this returns none
    // is left inside.
    void close(Work& work);
    // Tells idle helpers that there may be something to claim: all, or one.
    void poke(bool all);

    // Runs a long task on a thread of the pool's own, beside the helpers, so
    // that it never takes a helper away from a render. The task's own
    // parallel work joins the pool like any other.
    void start(std::function<void()> task);

private:
    Pool();
    void work();
    struct State;
    State& state();
    std::unique_ptr<State> state_;
};

// Items 0 .. count - 1, each done once, on the calling thread and up to
// `threads` - 1 helpers; returns when every item is done. Items run in any
// order and side by side, so each must stand alone.
void forEach(long count, int threads, const std::function<void(long)>& item);

// A steady clock in nanoseconds.
long monotonicNanos();

// Waiting on a flag word, with a time limit, and waking its waiters. Plain
// futex calls, so that a timed wait and a wake always meet.
void waitFor(std::atomic<int>& flag, int value, long nanoseconds);
void wakeAll(std::atomic<int>& flag);

// Items computed ahead on the helpers and taken strictly in order by one
// consumer: at most `slotCount` items ahead of the one it takes. Each item's result
// is a T, computed into a helper's own T and swapped into its slot when done,
// so a helper that the system has paused never holds the consumer up: when the
// item it needs is late, the consumer computes it itself and the late result
// is dropped. `compute` returns false when no later item is worth computing
// (an arithmetic fault, say); the consumer then takes no item past it.
template <class T>
class Ordered : public Work {
public:
    using Compute = std::function<bool(long k, T& out)>;

    // `make` gives an empty T of the right size for a slot or a helper.
    Ordered(long total, std::size_t slotCount, int helpers, Compute compute, std::function<T()> make)
        : Work(helpers), total_(total), slots_(slotCount), compute_(std::move(compute)), make_(std::move(make)),
          state_(std::make_unique<std::atomic<int>[]>(slotCount))
    {
        results_.reserve(slotCount);
        for (std::size_t s = 0; s < slotCount; ++s) {
            results_.push_back(make_());
            state_[s].store(-1, std::memory_order_relaxed);
        }
    }

    bool claim(long& k) override
    {
        for (;;) {
            k = next_.load();
            for (;;) {
                if (cancelled() || k >= total_ || k > last_.load() || k >= consumed_.load() + long(slots_))
                    return false;
                if (next_.compare_exchange_weak(k, k + 1))
                    break;
            }
            // Marks the slot as in hand, unless the consumer has already
            // taken the item over (it was late), in which case another is
            // claimed.
            std::atomic<int>& flag = state_[slot(k)];
            int v = flag.load();
            while (v < code(k, kClaimed) && !flag.compare_exchange_weak(v, code(k, kClaimed))) {
            }
            if (v < code(k, kClaimed))
                return true;
        }
    }

    void serve(long k, const std::function<bool()>& stay) override
    {
        T own = make_();
        do
            computeAndPublish(k, own);
        while (stay() && claim(k));
    }

    // Item k's result, once it is done (k below the total and not past an
    // item whose compute said stop).
    T& take(long k)
    {
        std::atomic<int>& flag = state_[slot(k)];
        T& result = results_[slot(k)];
        for (;;) {
            const int v = flag.load(std::memory_order_acquire);
            if (v == code(k, kReady))
                return result;
            long c;
            if (claim(c)) {
                if (!own_)
                    own_ = std::make_unique<T>(make_());
                computeAndPublish(c, *own_);
                continue;
            }
            if (v == code(k, kWriting)) {
                waitFor(flag, v, 1000000);
                continue;
            }
            // The item is in a helper's hands (or about to be): wait for it a
            // little longer than an item usually takes, then do it here.
            const long patience = std::max(50000L, 2 * itemNanos_.load(std::memory_order_relaxed));
            waitFor(flag, v, patience);
            int now = flag.load(std::memory_order_acquire);
            if (now != v)
                continue;
            if (v > code(k, kClaimed) || !flag.compare_exchange_strong(now, code(k, kStolen)))
                continue;
            stopAfter(k, compute_(k, result));
            flag.store(code(k, kReady), std::memory_order_release);
            return result;
        }
    }

    // The consumer is done with item k: its slot may take item k + slotCount().
    void release(long k) { consumed_.store(k + 1); }

    long total() const { return total_; }
    std::size_t slotCount() const { return slots_; }

private:
    // A slot's flag says which item it holds and how far that item is; item
    // numbers only grow, so an old flag can never be mistaken for a new one.
    enum Phase { kClaimed = 0, kWriting = 1, kReady = 2, kStolen = 3 };
    static int code(long k, Phase p) { return int(k) * 4 + p; }
    std::size_t slot(long k) const { return std::size_t(k) % slots_; }

    void stopAfter(long k, bool goOn)
    {
        if (goOn)
            return;
        long last = last_.load();
        while (k < last && !last_.compare_exchange_weak(last, k)) {
        }
    }

    void computeAndPublish(long k, T& own)
    {
        const long started = monotonicNanos();
        const bool goOn = compute_(k, own);
        const long took = monotonicNanos() - started;
        // A rough guide to how long an item takes; updates may overlap.
        const long before = itemNanos_.load(std::memory_order_relaxed);
        itemNanos_.store(before == 0 ? took : (before * 7 + took) / 8, std::memory_order_relaxed);
        std::atomic<int>& flag = state_[slot(k)];
        int expected = code(k, kClaimed);
        if (!flag.compare_exchange_strong(expected, code(k, kWriting)))
            return;  // taken over by the consumer: this result is not needed
        stopAfter(k, goOn);
        std::swap(own, results_[slot(k)]);
        flag.store(code(k, kReady), std::memory_order_release);
        wakeAll(flag);
    }

    const long total_;
    const std::size_t slots_;
    Compute compute_;
    std::function<T()> make_;
    std::atomic<long> next_{0};
    std::atomic<long> consumed_{0};
    std::atomic<long> last_{std::numeric_limits<long>::max()};
    std::unique_ptr<std::atomic<int>[]> state_;
    std::vector<T> results_;
    std::unique_ptr<T> own_;  // the consumer's own result, for the items it claims
    std::atomic<long> itemNanos_{0};
};

}  // namespace glimra::parallel
