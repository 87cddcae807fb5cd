#include "render/parallel.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace glimra::parallel {

int defaultThreadCount()
{
    // The cores this process may run on (a CPU set or container can allow
    // fewer than the machine has), else the machine's.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return CPU_COUNT(&allowed);
    return std::max(1, int(std::thread::hardware_concurrency()));
}

long monotonicNanos()
{
    return long(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

static_assert(sizeof(std::atomic<int>) == sizeof(int), "a flag must be a plain futex word");

void waitFor(std::atomic<int>& flag, int value, long nanoseconds)
{
    timespec limit{nanoseconds / 1000000000L, nanoseconds % 1000000000L};
    syscall(SYS_futex, reinterpret_cast<int*>(&flag), FUTEX_WAIT_PRIVATE, value, &limit, nullptr, 0);
}

void wakeAll(std::atomic<int>& flag)
{
    syscall(SYS_futex, reinterpret_cast<int*>(&flag), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

struct Pool::State {
    std::mutex mutex;
    bool stop = false;
    std::vector<Work*> open;
    std::vector<std::thread> helpers;
    std::atomic<unsigned> generation{0};
    std::atomic<unsigned> epoch{0};
    std::atomic<int> idle{0};

    // Long tasks, each on a thread of its own that waits for the next one.
    std::mutex taskMutex;
    std::condition_variable taskReady;
    bool taskStop = false;
    std::deque<std::function<void()>> tasks;
    std::vector<std::thread> taskThreads;
    int idleTaskThreads = 0;
};

Pool& Pool::instance()
{
    static Pool pool;
    return pool;
}

Pool::Pool() : state_(std::make_unique<State>()) {}

Pool::State& Pool::state() { return *state_; }

Pool::~Pool()
{
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
    }
    {
        std::lock_guard lock(s.taskMutex);
        s.taskStop = true;
        s.taskReady.notify_all();
    }
    poke(true);
    for (std::thread& t : s.helpers)
        t.join();
    for (std::thread& t : s.taskThreads)
        t.join();
}

void Pool::open(Work& work)
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        while (int(s.helpers.size()) < std::min(work.maxHelpers(), kMaxThreads)) {
            try {
                s.helpers.emplace_back([this] { this->work(); });
            } catch (const std::system_error&) {
                break;  // fewer helpers: the same results, only slower
            }
        }
        s.open.push_back(&work);
        s.generation.fetch_add(1);
    }
    poke(true);
}

void Pool::close(Work& work)
{
    State& s = state();
    work.cancel();
    {
        std::lock_guard lock(s.mutex);
        s.open.erase(std::find(s.open.begin(), s.open.end(), &work));
        s.generation.fetch_add(1);
    }
    for (int h = work.helpers.load(); h != 0; h = work.helpers.load())
        work.helpers.wait(h);
}

void Pool::poke(bool all)
{
    State& s = state();
    s.epoch.fetch_add(1);
    if (s.idle.load() > 0) {
        if (all)
            s.epoch.notify_all();
        else
            s.epoch.notify_one();
    }
}

void Pool::work()
{
    State& s = state();
    for (;;) {
        const unsigned seen = s.epoch.load();
        Work* work = nullptr;
        long k = 0;
        unsigned generation = 0;
        {
            std::lock_guard lock(s.mutex);
            if (s.stop)
                return;
            for (auto it = s.open.rbegin(); it != s.open.rend() && !work; ++it) {
                if ((*it)->helpers.load() < (*it)->maxHelpers() && (*it)->claim(k)) {
                    work = *it;
                    work->helpers.fetch_add(1);
                }
            }
            generation = s.generation.load();
        }
        if (!work) {
            s.idle.fetch_add(1);
            s.epoch.wait(seen);
            s.idle.fetch_sub(1);
            continue;
        }
        // Stay with this work while it has items, unless newer work opens.
        work->serve(k, [&] { return s.generation.load() == generation; });
        if (work->helpers.fetch_sub(1) == 1)
            work->helpers.notify_all();
    }
}

void Pool::start(std::function<void()> task)
{
    State& s = state();
    std::lock_guard lock(s.taskMutex);
    s.tasks.push_back(std::move(task));
    if (s.idleTaskThreads > 0) {
        s.taskReady.notify_one();
        return;
    }
    s.taskThreads.emplace_back([&s] {
        std::unique_lock lock(s.taskMutex);
        for (;;) {
            ++s.idleTaskThreads;
            s.taskReady.wait(lock, [&] { return s.taskStop || !s.tasks.empty(); });
            --s.idleTaskThreads;
            if (s.tasks.empty())
                return;
            std::function<void()> next = std::move(s.tasks.front());
            s.tasks.pop_front();
            lock.unlock();
            next();
            lock.lock();
        }
    });
}

namespace {

// The items of forEach, claimed one at a time by whoever is free.
class Each : public Work {
public:
    Each(long count, int helpers, const std::function<void(long)>& item) : Work(helpers), count_(count), item_(item) {}

    bool claim(long& k) override
    {
        k = next_.fetch_add(1);
        return k < count_;
    }

    void serve(long k, const std::function<bool()>& stay) override
    {
        do
            run(k);
        while (stay() && claim(k));
    }

    void run(long k)
    {
        try {
            item_(k);
        } catch (...) {
            // Kept for the caller; every item is still counted, so nobody
            // waits for ever.
            std::lock_guard lock(failureMutex_);
            if (!failure_)
                failure_ = std::current_exception();
        }
        if (done_.fetch_add(1) + 1 == count_)
            done_.notify_all();
    }

    void waitUntilDone()
    {
        for (long d = done_.load(); d != count_; d = done_.load())
            done_.wait(d);
    }

    void rethrow()
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    const long count_;
    const std::function<void(long)>& item_;
    std::atomic<long> next_{0};
    std::atomic<long> done_{0};
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

}  // namespace

void forEach(long count, int threads, const std::function<void(long)>& item)
{
    if (count <= 0)
        return;
    const int helpers = int(std::min<long>(std::min(threads, kMaxThreads), count)) - 1;
    if (helpers <= 0) {
        for (long k = 0; k < count; ++k)
            item(k);
        return;
    }
    Each each(count, helpers, item);
    Pool& pool = Pool::instance();
    pool.open(each);
    long k;
    while (each.claim(k))
        each.run(k);
    each.waitUntilDone();
    pool.close(each);
    each.rethrow();
}

}  // namespace glimra::parallel
