#include "jobs/MemoryBudget.h"

#include <algorithm>
#include <chrono>

bool MemoryBudget::Acquire(std::size_t bytes, const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_nHeld != 0 && bytes > m_nCapacity - std::min(m_nHeld, m_nCapacity)) {
        if (stop && stop()) return false;
        m_released.wait_for(lock, std::chrono::milliseconds(100));
    }
    m_nHeld += bytes;
    return true;
}

bool MemoryBudget::TryGrow(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nHeld > m_nCapacity || bytes > m_nCapacity - m_nHeld) return false;
    m_nHeld += bytes;
    return true;
}

void MemoryBudget::Release(std::size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nHeld -= std::min(bytes, m_nHeld);
    }
    m_released.notify_all();
}
