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

#include "jobs/convert/BitmapEncoder.h"

// Runs frame encodings on a few worker threads and hands the results back in the order the
// frames were submitted, with a bound on the frames in flight so that memory stays flat however
// long the animation is.
//
// The caller's thread is one of the threads: the pool starts one worker fewer, and the caller
// encodes queued frames itself whenever it would otherwise wait for a result. A thread that only
// composes frames would share a core with the workers and slow them all down; this way the
// caller composes while it is ahead and encodes while it is behind. With one thread, work runs
// inline on the caller's thread.
class EncoderPool {
public:
    using Task = std::function<EncodedFrame()>;
    using Step = std::function<void()>;

    explicit EncoderPool(unsigned threads);
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // Queues a task. The caller drains results (TakeNext) whenever Full() is true. A task with an
    // ordered step runs it first, one at a time and in the order the tasks were submitted: work
    // that must see the frames in their order (the rest of the task runs alongside others).
    void Submit(Task task, Step ordered = {});
    bool Full() const { return m_pending.size() >= m_maxInFlight; }
    bool Empty() const { return m_pending.empty(); }
    // Returns the oldest submitted task's result, running queued tasks until it is ready.
    EncodedFrame TakeNext();

private:
    void Work();
    // Takes the oldest queued task that no worker has started; false when there is none.
    bool PopQueued(std::packaged_task<EncodedFrame()>& job);
    // Runs step once the ordered steps of every earlier turn have run.
    void RunInTurn(uint64_t turn, const Step& step);

    std::vector<std::thread> m_workers;
    std::deque<std::packaged_task<EncodedFrame()>> m_queue;
    std::deque<std::future<EncodedFrame>> m_pending;
    std::size_t m_maxInFlight;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    uint64_t m_turnsGiven = 0;  // ordered steps submitted
    uint64_t m_turnsDone = 0;   // ordered steps run; guarded by m_turnMutex
    std::mutex m_turnMutex;
    std::condition_variable m_turnDone;
};
