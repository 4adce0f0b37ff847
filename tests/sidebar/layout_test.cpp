#include "widgets/sidebar/side_bar_layout.h"

#include <gtest/gtest.h>

using namespace sidebar;

namespace {

// A layout in one line: headers | item area | first item, count, first and last item | scroll buttons.
std::string describe(const SideBarLayout& l)
{
    auto r = [](QRect q) {
        return q.isNull() ? std::string("-")
                          : QString("%1,%2,%3,%4").arg(q.x()).arg(q.y()).arg(q.width()).arg(q.height()).toStdString();
    };
    std::string s = "H";
    for (const QRect& h : l.headerRects)
        s += " " + r(h);
    s += " | A " + r(l.itemArea) + " | I " + std::to_string(l.firstItem) + " " + std::to_string(l.itemRects.size());
    if (!l.itemRects.empty())
        s += " " + r(l.itemRects.front()) + " " + r(l.itemRects.back());
    return s + " | ^" + (l.scrollUpVisible ? r(l.scrollUpRect) : "-") + " v" +
           (l.scrollDownVisible ? r(l.scrollDownRect) : "-");
}

}  // namespace

TEST(Layout, HeadersItemsAndScrollButtons)
{
    struct Row {
        const char* what;
        std::vector<int> entries;
        QRect client;
        int active;
        std::string expected;
        int firstDisplayed = 0;
        std::vector<int> hidden = {};
        bool headers = true;
    } rows[] = {
        // Six items start inside the area (the sixth is cut off at 277), five fit whole.
        {"headers above and below the active group", {3, 10, 2}, {0, 0, 200, 300}, 1,
         "H 0,0,200,22 0,22,200,22 0,278,200,22 | A 1,45,198,232 | I 0 6 1,45,198,40 1,245,198,40 | ^- v181,259,16,16"},
        {"scrolled to the end", {3, 10, 2}, {0, 0, 200, 300}, 1,
         "H 0,0,200,22 0,22,200,22 0,278,200,22 | A 1,45,198,232 | I 7 3 1,45,198,40 1,125,198,40 | ^181,47,16,16 v-", 7},
        {"all items fit", {3, 10, 2}, {0, 0, 120, 600}, 0,
         "H 0,0,120,22 0,556,120,22 0,578,120,22 | A 1,23,118,532 | I 0 3 1,23,118,40 1,103,118,40 | ^- v-"},
        // Header, a pixel of border each side, four items.
        {"an exact fit needs no scroll button", {4}, {0, 0, 100, 22 + 2 + 4 * 40}, 0,
         "H 0,0,100,22 | A 1,23,98,160 | I 0 4 1,23,98,40 1,143,98,40 | ^- v-"},
        {"one pixel short", {4}, {0, 0, 100, 22 + 1 + 4 * 40}, 0,
         "H 0,0,100,22 | A 1,23,98,159 | I 0 4 1,23,98,40 1,143,98,40 | ^- v81,164,16,16"},
        {"hidden groups get no header", {1, 1, 1, 1}, {0, 0, 200, 300}, 1,
         "H - 0,0,200,22 - 0,278,200,22 | A 1,23,198,254 | I 0 1 1,23,198,40 1,23,198,40 | ^- v-", 0, {0, 2}},
        {"without headers the items use the whole client", {2, 5}, {10, 20, 150, 100}, 1,
         "H - - | A 11,21,148,98 | I 0 3 11,21,148,40 11,101,148,40 | ^- v141,101,16,16", 0, {}, false},
        {"no active group", {2, 5}, {0, 0, 200, 300}, -1, "H - - | A 1,1,198,298 | I 0 0 | ^- v-"},
        {"an active group out of range", {2, 5}, {0, 0, 200, 300}, 5, "H - - | A 1,1,198,298 | I 0 0 | ^- v-"},
        {"no room", {2, 5}, {0, 0, 30, 40}, 0, "H 0,0,30,22 0,18,30,22 | A 1,23,28,0 | I 0 0 | ^- v11,5,16,16"},
        {"first item beyond the entries is clamped", {2, 5}, {0, 0, 200, 300}, 1,
         "H 0,0,200,22 0,22,200,22 | A 1,45,198,254 | I 5 0 | ^181,47,16,16 v-", 99},
    };
    for (const Row& row : rows) {
        std::vector<SideBarGroup> groups(row.entries.size());
        for (size_t g = 0; g < groups.size(); ++g)
            groups[g].entries.resize(size_t(row.entries[g]));
        for (int g : row.hidden)
            groups[size_t(g)].visible = false;
        if (row.active >= 0 && row.active < int(groups.size()))
            groups[size_t(row.active)].firstDisplayed = row.firstDisplayed;
        SideBarMetrics m;
        m.clientRect = row.client;
        m.activeGroup = row.active;
        m.headerHeight = 20;
        m.spacing = 2;
        m.itemSpacing = 40;
        m.showGroupHeaders = row.headers;
        EXPECT_EQ(describe(computeSideBarLayout(groups, m)), row.expected) << row.what;
    }
}
