#pragma once

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// Runs tasks on a few worker threads and hands their results back in the order the tasks were
// submitted, with a bound on the tasks in flight so that memory stays flat however many there
// are.
//
// The caller's thread is one of the threads: the pool starts one worker fewer, and the caller
// runs queued tasks itself whenever it would otherwise wait for a result. A thread that only
// produces tasks would share a core with the workers and slow them all down; this way the caller
// produces while it is ahead and works while it is behind. With one thread, tasks run inline on
// the caller's thread.
//
// A thread with nothing to do spins a short while before it sleeps, and each worker starts on
// another core than the caller's. Frames come every fraction of a millisecond, and waking a
// sleeping thread costs more than that: some schedulers (those of virtual machines among them,
// which cannot tell an idle core from one taken away) even wake it on the waker's own core,
// where the two then take turns while the other core idles.
template <typename Result>
class OrderedPool {
public:
    using Task = std::function<Result()>;
    using Step = std::function<void()>;

    explicit OrderedPool(unsigned threads) : m_maxInFlight(threads <= 1 ? 1 : threads + 1) {
        try {
            const int callerCpu = sched_getcpu();
            for (unsigned i = 1; i < threads; ++i)
                m_workers.emplace_back([this, callerCpu] {
                    LeaveCpu(callerCpu);
                    Work();
                });
        } catch (const std::system_error&) {
            // The system has no more threads to give: the ones started (or the caller) work.
        }
    }
    ~OrderedPool() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_workers) t.join();
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Queues a task. The caller takes results (TakeNext) whenever Full() is true. A task with
    // an ordered step runs it first, one at a time and in the order the tasks were submitted:
    // work that must see the tasks in their order (the rest runs alongside other tasks).
    void Submit(Task task, Step ordered = {}) {
        if (ordered) {
            // Workers take tasks oldest first, so every earlier turn is already in some thread's
            // hands when this one waits for it.
            task = [this, turn = m_turnsGiven++, ordered = std::move(ordered),
                    task = std::move(task)] {
                RunInTurn(turn, ordered);
                return task();
            };
        }
        std::packaged_task<Result()> job(std::move(task));
        m_pending.push_back(job.get_future());
        if (m_workers.empty()) {
            job();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(job));
            ++m_queued;
        }
        m_wake.notify_one();
    }
    bool Full() const { return m_pending.size() >= m_maxInFlight; }
    bool Empty() const { return m_pending.empty(); }
    // Tasks submitted and not yet taken back, at most threads + 1 (1 with one thread).
    std::size_t MaxInFlight() const { return m_maxInFlight; }
    // Returns the oldest submitted task's result, running queued tasks until it is ready.
    Result TakeNext() {
        std::future<Result> next = std::move(m_pending.front());
        m_pending.pop_front();
        const auto ready = [&next] {
            return next.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        };
        std::packaged_task<Result()> job;
        while (!ready()) {
            if (PopQueued(job)) {
                job();
            } else if (!SpinUntil(ready)) {
                break;  // sleeps in get
            }
        }
        return next.get();
    }

private:
    // Moves the calling thread off cpu when it may run elsewhere, then lets it run anywhere it
    // could before: the scheduler leaves it where it is while that core stays free.
    static void LeaveCpu(int cpu) {
        cpu_set_t allowed;
        if (cpu < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
            CPU_COUNT(&allowed) < 2 || !CPU_ISSET(cpu, &allowed))
            return;
        cpu_set_t others = allowed;
        CPU_CLR(cpu, &others);
        if (sched_setaffinity(0, sizeof others, &others) == 0)
            (void)sched_setaffinity(0, sizeof allowed, &allowed);
    }

    // Takes the oldest queued task that no thread has started; false when there is none. With
    // wait (a worker), first sleeps until there is one or the pool stops.
    bool PopQueued(std::packaged_task<Result()>& job, bool wait = false) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (wait) m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) return false;
        job = std::move(m_queue.front());
        m_queue.pop_front();
        --m_queued;
        return true;
    }

    // Spins until done() or for kSpin at most; done()'s last answer.
    template <typename Done>
    static bool SpinUntil(const Done& done) {
        const auto end = std::chrono::steady_clock::now() + kSpin;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return done();
            std::this_thread::yield();  // the core goes to any other thread that wants it
        }
        return true;
    }

    void Work() {
        for (;;) {
            SpinUntil([this] { return m_queued.load() > 0; });
            std::packaged_task<Result()> job;
            if (!PopQueued(job, true)) return;  // stopping, nothing left to run
            job();
        }
    }

    // Runs step once the ordered steps of every earlier turn have run.
    void RunInTurn(uint64_t turn, const Step& step) {
        std::unique_lock<std::mutex> lock(m_turnMutex);
        m_turnDone.wait(lock, [&] { return m_turnsDone == turn; });
        lock.unlock();
        // The next turn comes however this one ends (a failed allocation fails the whole job).
        struct NextTurn {
            OrderedPool& pool;
            ~NextTurn() {
                {
                    std::lock_guard<std::mutex> guard(pool.m_turnMutex);
                    ++pool.m_turnsDone;
                }
                pool.m_turnDone.notify_all();
            }
        } next{*this};
        step();
    }

    static constexpr std::chrono::microseconds kSpin{500};

    std::vector<std::thread> m_workers;
    std::deque<std::packaged_task<Result()>> m_queue;
    std::atomic<std::size_t> m_queued{0};  // m_queue's size, for spinning without the lock
    std::deque<std::future<Result>> m_pending;
    std::size_t m_maxInFlight;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    uint64_t m_turnsGiven = 0;  // ordered steps submitted
    uint64_t m_turnsDone = 0;   // ordered steps run; guarded by m_turnMutex
    std::mutex m_turnMutex;
    std::condition_variable m_turnDone;
};
