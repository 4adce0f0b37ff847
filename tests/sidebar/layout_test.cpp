#include "test_support.h"

#include <gtest/gtest.h>

using namespace sidebar;
using namespace sidebar::test;

namespace {

std::vector<SideBarGroup> groupsWithEntries(std::vector<int> entryCounts)
{
    std::vector<SideBarGroup> groups(entryCounts.size());
    for (size_t g = 0; g < groups.size(); ++g)
        groups[g].entries.resize(size_t(entryCounts[g]));
    return groups;
}

SideBarMetrics metrics(int width, int height, int active)
{
    SideBarMetrics m;
    m.clientRect = QRect(0, 0, width, height);
    m.activeGroup = active;
    m.headerHeight = 20;
    m.spacing = 2;
    m.itemSpacing = 40;
    return m;
}

}  // namespace

TEST(Layout, HeadersAboveAndBelowTheActiveGroup)
{
    auto groups = groupsWithEntries({3, 10, 2});
    const SideBarLayout l = computeSideBarLayout(groups, metrics(200, 300, 1));
    ASSERT_EQ(l.headerRects.size(), 3u);
    EXPECT_EQ(l.headerRects[0], QRect(0, 0, 200, 22));
    EXPECT_EQ(l.headerRects[1], QRect(0, 22, 200, 22));
    EXPECT_EQ(l.headerRects[2], QRect(0, 278, 200, 22));
    EXPECT_EQ(l.itemArea, QRect(1, 45, 198, 232));

    // Six items start inside the area (the sixth is cut off at 277), five fit whole.
    ASSERT_EQ(l.itemRects.size(), 6u);
    EXPECT_EQ(l.itemRects[0], QRect(1, 45, 198, 40));
    EXPECT_EQ(l.itemRects[5], QRect(1, 245, 198, 40));
    EXPECT_FALSE(l.scrollUpVisible);
    EXPECT_TRUE(l.scrollDownVisible);
    EXPECT_EQ(l.scrollDownRect, QRect(181, 259, 16, 16));
}

TEST(Layout, ScrolledToTheEnd)
{
    auto groups = groupsWithEntries({3, 10, 2});
    groups[1].firstDisplayed = 7;
    const SideBarLayout l = computeSideBarLayout(groups, metrics(200, 300, 1));
    EXPECT_EQ(l.firstItem, 7);
    ASSERT_EQ(l.itemRects.size(), 3u);
    EXPECT_EQ(l.itemRects[2], QRect(1, 125, 198, 40));
    EXPECT_TRUE(l.scrollUpVisible);
    EXPECT_EQ(l.scrollUpRect, QRect(181, 47, 16, 16));
    EXPECT_FALSE(l.scrollDownVisible);
}

TEST(Layout, AllItemsFitInATallerBar)
{
    auto groups = groupsWithEntries({3, 10, 2});
    const SideBarLayout l = computeSideBarLayout(groups, metrics(120, 600, 0));
    EXPECT_EQ(l.headerRects[0], QRect(0, 0, 120, 22));
    EXPECT_EQ(l.headerRects[1], QRect(0, 556, 120, 22));
    EXPECT_EQ(l.headerRects[2], QRect(0, 578, 120, 22));
    EXPECT_EQ(l.itemArea, QRect(1, 23, 118, 532));
    ASSERT_EQ(l.itemRects.size(), 3u);
    EXPECT_FALSE(l.scrollUpVisible);
    EXPECT_FALSE(l.scrollDownVisible);
}

TEST(Layout, ExactFitNeedsNoScrollButton)
{
    auto groups = groupsWithEntries({4});
    SideBarMetrics m = metrics(100, 0, 0);
    m.clientRect = QRect(0, 0, 100, 22 + 2 + 4 * 40);  // header, 1 px border each side, 4 items
    const SideBarLayout l = computeSideBarLayout(groups, m);
    EXPECT_EQ(l.itemArea.height(), 160);
    EXPECT_EQ(l.itemRects.size(), 4u);
    EXPECT_FALSE(l.scrollDownVisible);

    m.clientRect.setHeight(m.clientRect.height() - 1);  // one pixel short
    const SideBarLayout shorter = computeSideBarLayout(groups, m);
    EXPECT_EQ(shorter.itemRects.size(), 4u);
    EXPECT_TRUE(shorter.scrollDownVisible);
}

TEST(Layout, HiddenGroupsGetNoHeader)
{
    auto groups = groupsWithEntries({1, 1, 1, 1});
    groups[0].visible = false;
    groups[2].visible = false;
    const SideBarLayout l = computeSideBarLayout(groups, metrics(200, 300, 1));
    EXPECT_TRUE(l.headerRects[0].isNull());
    EXPECT_EQ(l.headerRects[1], QRect(0, 0, 200, 22));
    EXPECT_TRUE(l.headerRects[2].isNull());
    EXPECT_EQ(l.headerRects[3], QRect(0, 278, 200, 22));
    EXPECT_EQ(l.itemArea, QRect(1, 23, 198, 254));
}

TEST(Layout, WithoutHeadersTheItemsUseTheWholeClient)
{
    auto groups = groupsWithEntries({2, 5});
    SideBarMetrics m = metrics(150, 100, 1);
    m.showGroupHeaders = false;
    m.clientRect = QRect(10, 20, 150, 100);
    const SideBarLayout l = computeSideBarLayout(groups, m);
    EXPECT_TRUE(l.headerRects[0].isNull());
    EXPECT_TRUE(l.headerRects[1].isNull());
    EXPECT_EQ(l.itemArea, QRect(11, 21, 148, 98));
    ASSERT_EQ(l.itemRects.size(), 3u);  // tops 21, 61, 101
    EXPECT_EQ(l.itemRects[2].top(), 101);
    EXPECT_TRUE(l.scrollDownVisible);
    EXPECT_EQ(l.scrollDownRect, QRect(141, 101, 16, 16));
}

TEST(Layout, NoActiveGroupOrNoRoomPlacesNoItems)
{
    auto groups = groupsWithEntries({2, 5});
    const SideBarLayout none = computeSideBarLayout(groups, metrics(200, 300, -1));
    EXPECT_TRUE(none.itemRects.empty());
    EXPECT_TRUE(none.headerRects[0].isNull());
    EXPECT_EQ(none.itemArea, QRect(1, 1, 198, 298));

    const SideBarLayout outOfRange = computeSideBarLayout(groups, metrics(200, 300, 5));
    EXPECT_TRUE(outOfRange.itemRects.empty());

    const SideBarLayout tiny = computeSideBarLayout(groups, metrics(30, 40, 0));
    EXPECT_TRUE(tiny.itemRects.empty());
    EXPECT_EQ(tiny.itemArea.height(), 0);

    groups[1].firstDisplayed = 99;  // beyond the entries: clamped
    const SideBarLayout past = computeSideBarLayout(groups, metrics(200, 300, 1));
    EXPECT_EQ(past.firstItem, 5);
    EXPECT_TRUE(past.itemRects.empty());
    EXPECT_TRUE(past.scrollUpVisible);
}

TEST(Layout, StoreChangesReLayOutAnAttachedSideBar)
{
    QObject form;
    TSideBarStore store(&form);
    auto* item = addItem(store, &form, 0);
    FakeSideBar bar;
    bar.metrics = metrics(200, 300, 0);
    bar.groupList = groupsWithEntries({0});
    bar.groupList[0].entries.push_back({item});
    store.attachSideBar(&bar);
    item->setCaption("Inbox");
    EXPECT_EQ(bar.layout.itemRects.size(), 1u);
    EXPECT_EQ(bar.layout.itemRects[0], QRect(1, 23, 198, 40));
    store.detachSideBar(&bar);
}
