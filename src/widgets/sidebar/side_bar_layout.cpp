#include "widgets/sidebar/side_bar_layout.h"

#include <algorithm>

namespace sidebar {

SideBarLayout computeSideBarLayout(const std::vector<SideBarGroup>& groups, const SideBarMetrics& m)
{
    SideBarLayout out;
    out.headerRects.assign(groups.size(), QRect());

    const QRect client = m.clientRect;
    const int clientTop = client.y();
    const int clientBottom = client.y() + client.height();  // one past the last row
    const int groupCount = int(groups.size());
    const bool haveActive = m.activeGroup >= 0 && m.activeGroup < groupCount && groups[size_t(m.activeGroup)].visible;

    int areaTop = clientTop;
    int areaBottom = clientBottom;
    if (m.showGroupHeaders && haveActive) {
        const int step = std::max(0, m.headerHeight + m.spacing);
        int top = clientTop;
        for (int g = 0; g <= m.activeGroup; ++g) {
            if (!groups[size_t(g)].visible)
                continue;
            out.headerRects[size_t(g)] = QRect(client.x(), top, client.width(), step);
            top += step;
        }
        areaTop = top;
        int bottom = clientBottom;
        for (int g = groupCount - 1; g > m.activeGroup; --g) {
            if (!groups[size_t(g)].visible)
                continue;
            bottom -= step;
            out.headerRects[size_t(g)] = QRect(client.x(), bottom, client.width(), step);
        }
        areaBottom = bottom;
    }

    // Between the active header and the first header below it, 1 pixel in on every side.
    const int left = client.x() + 1;
    const int width = std::max(0, client.width() - 2);
    const int top = areaTop + 1;
    const int bottom = std::max(top, areaBottom - 1);
    out.itemArea = QRect(left, top, width, bottom - top);
    const int right = left + width;

    if (!haveActive)
        return out;

    const SideBarGroup& active = groups[size_t(m.activeGroup)];
    const int entryCount = int(active.entries.size());
    const int first = std::clamp(active.firstDisplayed, 0, entryCount);
    out.firstItem = first;

    int fitting = 0;
    for (int i = first; i < entryCount; ++i) {
        const int itemTop = top + (i - first) * m.itemSpacing;
        if (itemTop >= bottom || (m.itemSpacing <= 0 && i > first))
            break;
        out.itemRects.emplace_back(left, itemTop, width, std::max(0, m.itemSpacing));
        if (itemTop + m.itemSpacing <= bottom)
            ++fitting;
    }

    const int buttonLeft = right - kScrollButtonSize - m.spacing;
    if (first > 0) {
        out.scrollUpVisible = true;
        out.scrollUpRect = QRect(buttonLeft, top + m.spacing, kScrollButtonSize, kScrollButtonSize);
    }
    if (first + fitting < entryCount) {
        out.scrollDownVisible = true;
        out.scrollDownRect = QRect(buttonLeft, bottom - kScrollButtonSize - m.spacing, kScrollButtonSize,
                                   kScrollButtonSize);
    }
    return out;
}

}  // namespace sidebar
