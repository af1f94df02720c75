#include "jobs/convert/ChangedArea.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kNoPicture = 0xFFFF;

PixelRect Union(const PixelRect& a, const PixelRect& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Whether the rectangles of covers (a handful) cover all of rect: each cell of the grid that
// their edges cut rect into must lie inside one of them.
bool Covered(const PixelRect& rect, const std::vector<PixelRect>& covers) {
    std::vector<int> xs = {rect.left, rect.right}, ys = {rect.top, rect.bottom};
    for (const PixelRect& c : covers) {
        for (int x : {c.left, c.right})
            if (x > rect.left && x < rect.right) xs.push_back(x);
        for (int y : {c.top, c.bottom})
            if (y > rect.top && y < rect.bottom) ys.push_back(y);
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
        for (std::size_t j = 0; j + 1 < xs.size(); ++j) {
            const PixelRect cell{xs[j], ys[i], xs[j + 1], ys[i + 1]};
            if (cell.Empty()) continue;
            const bool inside = std::any_of(covers.begin(), covers.end(), [&](const PixelRect& c) {
                return c.left <= cell.left && c.top <= cell.top && c.right >= cell.right &&
                       c.bottom >= cell.bottom;
            });
            if (!inside) return false;
        }
    }
    return true;
}

}  // namespace

ChangedAreaPlanner::ChangedAreaPlanner(int width, int height, int blockSize, bool transparent)
    : m_nWidth(std::max(width, 0)),
      m_nHeight(std::max(height, 0)),
      m_nBlock(std::max(blockSize, 1)),
      m_bTransparent(transparent) {}

PixelRect ChangedAreaPlanner::ChangedRect(const Frame& frame, PixelRect& uncovered) const {
    if (m_previous.empty()) return {0, 0, m_nWidth, m_nHeight};
    const auto rowBytes = static_cast<std::size_t>(m_nWidth) * 3;
    PixelRect rect{m_nWidth, m_nHeight, 0, 0};
    for (int y = 0; y < m_nHeight; ++y) {
        const Row now = FrameRow(frame, y);
        const Row before = PreviousRow(y);
        if (std::memcmp(now.bgr, before.bgr, rowBytes) == 0 &&
            (!now.uncovered || std::memcmp(now.uncovered, before.uncovered, std::size_t(m_nWidth)) == 0)) {
            continue;
        }
        int first = 0;
        while (first + kRun <= m_nWidth && SameRun(now, before, first)) first += kRun;
        while (first < m_nWidth && !Differs(now, before, first)) ++first;
        if (first == m_nWidth) continue;  // only the colours of clear pixels changed
        int last = m_nWidth - 1;
        while (last + 1 - kRun > first && SameRun(now, before, last + 1 - kRun)) last -= kRun;
        while (!Differs(now, before, last)) --last;
        rect = Union(rect, {first, y, last + 1, y + 1});
        for (int x = first; now.uncovered && x <= last; ++x) {
            if (now.uncovered[x] != 0 && before.uncovered[x] == 0)
                uncovered = Union(uncovered, {x, y, x + 1, y + 1});
        }
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

ChangedAreaPlanner::Row ChangedAreaPlanner::FrameRow(const Frame& frame, int y) const {
    return {frame.rows + static_cast<std::ptrdiff_t>(y) * frame.stride,
            frame.uncovered ? frame.uncovered + static_cast<std::size_t>(y) * m_nWidth : nullptr};
}

ChangedAreaPlanner::Row ChangedAreaPlanner::PreviousRow(int y) const {
    const auto at = static_cast<std::size_t>(y) * m_nWidth;
    return {m_previous.data() + 3 * at,
            m_previousUncovered.empty() ? nullptr : m_previousUncovered.data() + at};
}

bool ChangedAreaPlanner::Differs(const Row& now, const Row& before, int x) {
    if (now.uncovered) {
        const bool bare = now.uncovered[x] != 0;
        if (bare != (before.uncovered[x] != 0)) return true;
        if (bare) return false;
    }
    return std::memcmp(now.bgr + 3 * x, before.bgr + 3 * x, 3) != 0;
}

bool ChangedAreaPlanner::SameRun(const Row& now, const Row& before, int x) {
    return std::memcmp(now.bgr + 3 * x, before.bgr + 3 * x, 3 * kRun) == 0 &&
           (!now.uncovered || std::memcmp(now.uncovered + x, before.uncovered + x, kRun) == 0);
}

void ChangedAreaPlanner::Paint(const PixelRect& rect, const Frame& frame, int picture, bool opaque,
                               const std::vector<bool>& doomed) {
    if (m_owner.empty())
        m_owner.assign(static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight),
                       kNoPicture);
    const bool byPixel = !opaque && !m_previous.empty();
    // Where no picture is doomed and no pixel is clear, unchanged pixels keep their owners, and
    // runs of them are passed over a few pixels at a time.
    const bool skipSame = byPixel && !frame.uncovered &&
                          std::none_of(doomed.begin(), doomed.end(), [](bool d) { return d; });
    for (int y = rect.top; y < rect.bottom; ++y) {
        uint16_t* owner = m_owner.data() + static_cast<std::size_t>(y) * m_nWidth;
        const Row now = FrameRow(frame, y);
        const Row before = byPixel ? PreviousRow(y) : Row{};
        for (int x = rect.left; x < rect.right; ++x) {
            if (skipSame && x + kRun <= rect.right && SameRun(now, before, x)) {
                x += kRun - 1;
                continue;
            }
            const uint16_t was = owner[x];
            const bool bare = now.uncovered && now.uncovered[x] != 0;
            if (was == picture || (bare && was == kNoPicture)) continue;
            if (byPixel && !bare && !Differs(now, before, x) &&
                (was == kNoPicture || !doomed[was])) {
                continue;
            }
            if (was != kNoPicture) --m_visible[was];
            owner[x] = bare ? kNoPicture : static_cast<uint16_t>(picture);
            if (!bare) ++m_visible[static_cast<std::size_t>(picture)];
        }
    }
}

AreaPlan ChangedAreaPlanner::Plan(const uint8_t* rows, int stride, const uint8_t* uncovered) {
    AreaPlan plan;
    const Frame frame{rows, stride, uncovered};
    PixelRect bared{m_nWidth, m_nHeight, 0, 0};
    const PixelRect changed = ChangedRect(frame, bared);
    if (changed.Empty()) return plan;

    const int picture = m_nPictures++;
    m_visible.push_back(0);
    plan.picture = picture;
    plan.area = Grow(changed);
    // The pictures that may show where nothing is to show now go, and the new one covers them.
    std::vector<bool> doomed(static_cast<std::size_t>(m_nPictures));
    for (const Shown& shown : m_shown) {
        if (bared.Empty() || !Overlap(shown.area, bared)) continue;
        doomed[static_cast<std::size_t>(shown.picture)] = true;
        plan.area = Union(plan.area, shown.area);
    }
    bool opaque = !m_bTransparent;
    // Where every picture is opaque over its whole area, which pixels each one owns follows from
    // the areas alone: a picture shows as long as the newer ones leave part of its area.
    const bool byAreas = opaque && !uncovered;
    if (!byAreas) Paint(plan.area, frame, picture, opaque, doomed);
    m_shown.push_back({picture, plan.area});
    const auto showsSomewhere = [&](std::size_t i) {
        if (!byAreas) return m_visible[static_cast<std::size_t>(m_shown[i].picture)] != 0;
        std::vector<PixelRect> newer;
        for (std::size_t j = i + 1; j < m_shown.size(); ++j)
            newer.push_back(m_shown[j].picture == picture ? plan.area : m_shown[j].area);
        return !Covered(m_shown[i].area, newer);
    };
    // Takes the pictures that no longer show anywhere off the list.
    const auto collectHidden = [&] {
        for (auto it = m_shown.begin(); it != m_shown.end();) {
            if (showsSomewhere(static_cast<std::size_t>(it - m_shown.begin()))) {
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
        if (!byAreas) Paint(plan.area, frame, picture, true, doomed);
        collectHidden();
    }
    // A picture all of whose changed pixels became clear shows nowhere: it went with the rest.
    if (!m_shown.empty() && m_shown.back().picture == picture) m_shown.back().area = plan.area;
    std::sort(plan.hidden.begin(), plan.hidden.end());

    if (m_bTransparent || uncovered) plan.seeThrough = TransparentMask(plan.area, picture);
    Remember(frame, changed);
    return plan;
}

std::vector<uint8_t> ChangedAreaPlanner::TransparentMask(const PixelRect& area, int picture) const {
    std::vector<uint8_t> mask;
    mask.reserve(static_cast<std::size_t>(area.Width()) * static_cast<std::size_t>(area.Height()));
    bool any = false;
    for (int y = area.top; y < area.bottom; ++y) {
        const uint16_t* owner = m_owner.data() + static_cast<std::size_t>(y) * m_nWidth;
        for (int x = area.left; x < area.right; ++x) {
            const bool shows = owner[x] == picture;
            any = any || !shows;
            mask.push_back(shows ? 0 : 1);
        }
    }
    if (!any) mask.clear();
    return mask;
}

void ChangedAreaPlanner::Remember(const Frame& frame, const PixelRect& changed) {
    // Only the rows that changed differ from the frame before.
    const auto rowBytes = static_cast<std::size_t>(m_nWidth) * 3;
    m_previous.resize(rowBytes * static_cast<std::size_t>(m_nHeight));
    if (frame.uncovered) m_previousUncovered.resize(static_cast<std::size_t>(m_nWidth) * m_nHeight);
    for (int y = changed.top; y < changed.bottom; ++y) {
        std::memcpy(m_previous.data() + static_cast<std::size_t>(y) * rowBytes,
                    frame.rows + static_cast<std::ptrdiff_t>(y) * frame.stride, rowBytes);
        if (frame.uncovered) {
            const auto at = static_cast<std::size_t>(y) * m_nWidth;
            std::memcpy(m_previousUncovered.data() + at, frame.uncovered + at, std::size_t(m_nWidth));
        }
    }
}
