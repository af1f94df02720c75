#include "jobs/convert/EncoderPool.h"

#include <chrono>
#include <system_error>

EncoderPool::EncoderPool(unsigned threads) : m_maxInFlight(threads <= 1 ? 1 : threads + 1) {
    try {
        for (unsigned i = 1; i < threads; ++i) m_workers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // The system has no more threads to give: the ones started (or the caller) do the work.
    }
}

EncoderPool::~EncoderPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers) t.join();
}

void EncoderPool::Submit(Task task, Step ordered) {
    if (ordered) {
        // Workers take tasks oldest first, so every earlier turn is already in some thread's
        // hands when this one waits for it.
        task = [this, turn = m_turnsGiven++, ordered = std::move(ordered), task = std::move(task)] {
            RunInTurn(turn, ordered);
            return task();
        };
    }
    std::packaged_task<EncodedFrame()> job(std::move(task));
    m_pending.push_back(job.get_future());
    if (m_workers.empty()) {
        job();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
}

EncodedFrame EncoderPool::TakeNext() {
    std::future<EncodedFrame> next = std::move(m_pending.front());
    m_pending.pop_front();
    std::packaged_task<EncodedFrame()> job;
    while (next.wait_for(std::chrono::seconds(0)) != std::future_status::ready && PopQueued(job))
        job();
    return next.get();
}

bool EncoderPool::PopQueued(std::packaged_task<EncodedFrame()>& job) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty()) return false;
    job = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void EncoderPool::Work() {
    for (;;) {
        std::packaged_task<EncodedFrame()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;  // stopping, nothing left to run
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}

void EncoderPool::RunInTurn(uint64_t turn, const Step& step) {
    std::unique_lock<std::mutex> lock(m_turnMutex);
    m_turnDone.wait(lock, [&] { return m_turnsDone == turn; });
    lock.unlock();
    // The next turn comes however this one ends (a failed allocation fails the whole job).
    struct NextTurn {
        EncoderPool& pool;
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
