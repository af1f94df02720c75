#include "jobs/ChangedArea.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kNoPicture = 0xFFFF;

PixelRect Union(const PixelRect& a, const PixelRect& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

ChangedAreaPlanner::ChangedAreaPlanner(int width, int height, int blockSize, bool transparent)
    : m_nWidth(std::max(width, 0)),
      m_nHeight(std::max(height, 0)),
      m_nBlock(std::max(blockSize, 1)),
      m_bTransparent(transparent),
      m_owner(static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight),
              kNoPicture) {}

PixelRect ChangedAreaPlanner::ChangedRect(const uint8_t* rows, int stride) const {
    if (m_previous.empty()) return {0, 0, m_nWidth, m_nHeight};
    const auto rowBytes = static_cast<std::size_t>(m_nWidth) * 3;
    PixelRect rect{m_nWidth, m_nHeight, 0, 0};
    for (int y = 0; y < m_nHeight; ++y) {
        const uint8_t* now = rows + static_cast<std::ptrdiff_t>(y) * stride;
        const uint8_t* before = m_previous.data() + static_cast<std::size_t>(y) * rowBytes;
        if (std::memcmp(now, before, rowBytes) == 0) continue;
        rect.top = std::min(rect.top, y);
        rect.bottom = y + 1;
        std::size_t first = 0;
        while (now[first] == before[first]) ++first;
        std::size_t last = rowBytes - 1;
        while (now[last] == before[last]) --last;
        rect.left = std::min(rect.left, static_cast<int>(first / 3));
        rect.right = std::max(rect.right, static_cast<int>(last / 3) + 1);
    }
    return rect;
}

PixelRect ChangedAreaPlanner::Grow(PixelRect rect) const {
    const int b = m_nBlock;
    rect.left = rect.left / b * b;
    rect.top = rect.top / b * b;
    rect.right = std::min((rect.right + b - 1) / b * b, m_nWidth);
    rect.bottom = std::min((rect.bottom + b - 1) / b * b, m_nHeight);
    return rect;
}

void ChangedAreaPlanner::Paint(const PixelRect& rect, const uint8_t* rows, int stride, int picture,
                               bool opaque) {
    const bool byPixel = !opaque && !m_previous.empty();
    for (int y = rect.top; y < rect.bottom; ++y) {
        uint16_t* owner = m_owner.data() + static_cast<std::size_t>(y) * m_nWidth;
        const uint8_t* now = rows + static_cast<std::ptrdiff_t>(y) * stride;
        const uint8_t* before =
            byPixel ? m_previous.data() + static_cast<std::size_t>(y) * m_nWidth * 3 : nullptr;
        for (int x = rect.left; x < rect.right; ++x) {
            const uint16_t was = owner[x];
            if (was == picture) continue;
            if (byPixel && now[3 * x] == before[3 * x] && now[3 * x + 1] == before[3 * x + 1] &&
                now[3 * x + 2] == before[3 * x + 2]) {
                continue;
            }
            if (was != kNoPicture) --m_visible[was];
            owner[x] = static_cast<uint16_t>(picture);
            ++m_visible[static_cast<std::size_t>(picture)];
        }
    }
}

AreaPlan ChangedAreaPlanner::Plan(const uint8_t* rows, int stride) {
    AreaPlan plan;
    const PixelRect changed = ChangedRect(rows, stride);
    if (changed.Empty()) return plan;

    const int picture = m_nPictures++;
    m_visible.push_back(0);
    plan.picture = picture;
    plan.area = Grow(changed);
    bool opaque = !m_bTransparent;
    Paint(plan.area, rows, stride, picture, opaque);
    m_shown.push_back({picture, plan.area});
    // Takes the pictures that no longer show anywhere off the list.
    const auto collectHidden = [&] {
        for (auto it = m_shown.begin(); it != m_shown.end();) {
            if (m_visible[static_cast<std::size_t>(it->picture)] != 0) {
                ++it;
                continue;
            }
            plan.hidden.push_back(it->picture);
            it = m_shown.erase(it);
        }
    };
    collectHidden();
    // Too many pictures show: the new one becomes opaque over its whole area, and then grows
    // over the oldest ones.
    while (m_shown.size() > static_cast<std::size_t>(kMaxShown)) {
        if (opaque) plan.area = Grow(Union(plan.area, m_shown.front().area));
        opaque = true;
        Paint(plan.area, rows, stride, picture, true);
        collectHidden();
    }
    m_shown.back().area = plan.area;
    std::sort(plan.hidden.begin(), plan.hidden.end());

    if (m_bTransparent) {
        plan.transparent.reserve(static_cast<std::size_t>(plan.area.Width()) *
                                 static_cast<std::size_t>(plan.area.Height()));
        bool any = false;
        for (int y = plan.area.top; y < plan.area.bottom; ++y) {
            const uint16_t* owner = m_owner.data() + static_cast<std::size_t>(y) * m_nWidth;
            for (int x = plan.area.left; x < plan.area.right; ++x) {
                const bool clear = owner[x] != picture;
                any = any || clear;
                plan.transparent.push_back(clear ? 1 : 0);
            }
        }
        if (!any) plan.transparent.clear();
    }

    // Only the rows that changed differ from the frame before.
    const auto rowBytes = static_cast<std::size_t>(m_nWidth) * 3;
    m_previous.resize(rowBytes * static_cast<std::size_t>(m_nHeight));
    for (int y = changed.top; y < changed.bottom; ++y) {
        std::memcpy(m_previous.data() + static_cast<std::size_t>(y) * rowBytes,
                    rows + static_cast<std::ptrdiff_t>(y) * stride, rowBytes);
    }
    return plan;
}
