#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/BitmapEncoder.h"

// Runs frame encodings on a few worker threads and hands the results back in the order the
// frames were submitted, with a bound on the frames in flight so that memory stays flat however
// long the animation is. With one thread, work runs inline on the caller's thread.
class EncoderPool {
public:
    using Task = std::function<EncodedFrame()>;

    explicit EncoderPool(unsigned threads);
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // Queues a task. The caller drains results (TakeNext) whenever Full() is true.
    void Submit(Task task);
    bool Full() const { return m_pending.size() >= m_maxInFlight; }
    bool Empty() const { return m_pending.empty(); }
    // Waits for the oldest submitted task and returns its result.
    EncodedFrame TakeNext();

private:
    void Work();

    std::vector<std::thread> m_workers;
    std::deque<std::packaged_task<EncodedFrame()>> m_queue;
    std::deque<std::future<EncodedFrame>> m_pending;
    std::size_t m_maxInFlight;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};
