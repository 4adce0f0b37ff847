#pragma once
// Where an attached side bar puts its group headers, its items and its scroll buttons.
// Pure computation over the control's groups and metrics, so that every control lays out
// the same way and the figures can be checked without a window.

#include "widgets/sidebar/side_bar_control.h"

#include <QRect>

#include <vector>

namespace sidebar {

struct SideBarMetrics {
    QRect clientRect;
    bool showGroupHeaders = true;
    int activeGroup = -1;
    int headerHeight = 0;
    int spacing = 0;      // added to each header's height; insets the scroll buttons
    int itemSpacing = 0;  // distance from one item's top to the next
};

inline constexpr int kScrollButtonSize = 16;

struct SideBarLayout {
    std::vector<QRect> headerRects;  // one per group; null for groups without a header
    QRect itemArea;
    int firstItem = 0;               // index in the active group of itemRects[0]
    std::vector<QRect> itemRects;
    bool scrollUpVisible = false;
    bool scrollDownVisible = false;
    QRect scrollUpRect;
    QRect scrollDownRect;
};

SideBarLayout computeSideBarLayout(const std::vector<SideBarGroup>& groups, const SideBarMetrics& metrics);

}  // namespace sidebar
