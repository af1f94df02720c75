#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

// The memory that a run's jobs may hold at once, for their frames in flight and their
// canvases together, shared by every file of a batch, so that peak memory stays bounded
// however many threads run and however large the frames are. Figures are estimates in bytes.
//
// Taking a share never deadlocks: a job waits (Acquire) only before it holds anything, and a
// share larger than the whole budget is granted when nothing else is held, so any job can run
// alone. Shares held grow only when they fit (TryGrow).
class MemoryBudget {
public:
    static constexpr std::size_t kDefaultBytes = std::size_t{320} << 20;

    explicit MemoryBudget(std::size_t bytes = kDefaultBytes) : m_nCapacity(bytes) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Waits until bytes fit beside what is held, or nothing is held, and takes them. Gives up
    // (false, nothing taken) as soon as stop returns true; it is asked a few times a second.
    bool Acquire(std::size_t bytes, const std::function<bool()>& stop);
    // Takes bytes only when they fit now.
    bool TryGrow(std::size_t bytes);
    void Release(std::size_t bytes);
    std::size_t Capacity() const { return m_nCapacity; }

private:
    const std::size_t m_nCapacity;
    std::size_t m_nHeld = 0;
    std::mutex m_mutex;
    std::condition_variable m_released;
};

// A job's share of a memory budget, given back when the job ends.
class BudgetShare {
public:
    explicit BudgetShare(MemoryBudget& budget) : m_budget(budget) {}
    ~BudgetShare() { m_budget.Release(m_nHeld); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

    // As MemoryBudget::Acquire.
    bool Take(std::size_t bytes, const std::function<bool()>& stop) {
        if (!m_budget.Acquire(bytes, stop)) return false;
        m_nHeld += bytes;
        return true;
    }
    bool TryGrow(std::size_t bytes) {
        if (!m_budget.TryGrow(bytes)) return false;
        m_nHeld += bytes;
        return true;
    }
    void Give(std::size_t bytes) {
        m_budget.Release(bytes);
        m_nHeld -= bytes;
    }

private:
    MemoryBudget& m_budget;
    std::size_t m_nHeld = 0;
};
