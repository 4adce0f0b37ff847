#include "test_support.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace sidebar;
using namespace sidebar::test;

namespace {

QImage solid(QColor colour, int size = 32)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

}  // namespace

TEST(Store, ItemsJoinAndLeaveTheirStore)
{
    QObject form;
    TSideBarStore store(&form);
    store.Categories().Add("Second");
    TSideBarStore other(&form);
    other.Categories().Add("Second");

    auto* item = addItem(store, &form, 1, "item1");
    EXPECT_EQ(store.item(0), item);
    EXPECT_EQ(item->parentComponent(), &store);
    EXPECT_EQ(store.item(1), nullptr);
    EXPECT_EQ(store.item(-1), nullptr);

    item->setStore(&other);  // joining another store puts it in category 0
    EXPECT_EQ(store.itemCount(), 0);
    EXPECT_EQ(other.item(0), item);
    EXPECT_EQ(item->Category(), 0);
    delete item;  // a freed item leaves its store
    EXPECT_EQ(other.itemCount(), 0);
}

TEST(Store, ARemovedItemLeavesTheLiveSideBars)
{
    QObject form;
    TSideBarStore store(&form);
    auto* keep = addItem(store, &form, 0);
    auto* gone = addItem(store, &form, 0);
    FakeSideBar live, dying;
    dying.destroying = true;
    for (FakeSideBar* bar : {&live, &dying}) {
        bar->groupList.resize(2);
        bar->groupList[0].entries = {{keep}, {gone}};
        bar->groupList[1].entries = {{gone}};
        store.attachSideBar(bar);
    }
    store.attachSideBar(&live);  // attaching twice keeps one entry
    EXPECT_EQ(store.sideBarCount(), 2);
    EXPECT_EQ(store.sideBar(0), &live);
    EXPECT_EQ(store.sideBar(2), nullptr);

    gone->setStore(nullptr);
    ASSERT_EQ(live.groupList[0].entries.size(), 1u);
    EXPECT_EQ(live.groupList[0].entries[0].item, keep);
    EXPECT_TRUE(live.groupList[1].entries.empty());
    EXPECT_EQ(dying.groupList[0].entries.size(), 2u) << "a side bar being destroyed is left alone";
    delete gone;
    store.detachSideBar(&live);
    store.detachSideBar(&dying);
    EXPECT_EQ(store.sideBarCount(), 0);
}

// The sanitizers watch for double frees and dangling pointers.
TEST(Store, FreesItsItemsAndTellsItsSideBars)
{
    auto form = std::make_unique<QObject>();
    auto* store = new TSideBarStore(form.get());
    QPointer<TStoredSideItem> a = addItem(*store, form.get(), 0);
    QPointer<TStoredSideItem> b = addItem(*store, form.get(), 0);
    FakeSideBar bar;
    store->attachSideBar(&bar);
    auto log = logEditor(*store);
    delete store;
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
    EXPECT_TRUE(log->freed);
    EXPECT_EQ(bar.freedStore, store);
}

// The sanitizers watch for double frees and dangling pointers.
TEST(Store, TheOwnerFreesStoresAndItemsCreatedInEitherOrder)
{
    auto form = std::make_unique<QObject>();
    auto* store = new TSideBarStore(form.get());  // created before its items
    addItem(*store, form.get(), 0);
    auto* item = new TStoredSideItem(form.get());  // created before the store
    store = new TSideBarStore(form.get());
    item->setStore(store);
    addItem(*store, form.get(), 0);
    form.reset();
}

TEST(Store, ItemChangesUpdateLiveSideBarsThenTellTheEditor)
{
    QObject form;
    TSideBarStore store(&form);
    store.Categories().Add("Two");
    auto* item = addItem(store, &form, 0);
    FakeSideBar live, noWindow, dying;
    noWindow.window = false;
    dying.destroying = true;
    for (FakeSideBar* bar : {&live, &noWindow, &dying})
        store.attachSideBar(bar);
    auto log = logEditor(store);

    item->setCaption("Mail");
    item->setCaption("Mail");  // same value: nothing
    item->setEnabled(false);
    item->setHint("Read your mail");
    item->setLargeImage(2);
    item->setSmallImage(3);
    EXPECT_EQ(live.layouts, 5);
    EXPECT_EQ(live.repaints, 5);
    EXPECT_EQ(noWindow.layouts, 0);
    EXPECT_EQ(dying.layouts, 0);
    EXPECT_EQ(log->changedItems, std::vector<TStoredSideItem*>(5, item));

    item->setCategory(1);  // the editor hears of it; side bars are not re-laid out
    EXPECT_EQ(log->changedItems.size(), 6u);
    EXPECT_EQ(live.layouts, 5);
    item->setCategory(2);  // refused: no editor call
    EXPECT_EQ(log->changedItems.size(), 6u);
    for (FakeSideBar* bar : {&live, &noWindow, &dying})
        store.detachSideBar(bar);
}

namespace {
// A store on a form with one side bar and an editor that logs what it hears.
struct StoreImages : ::testing::Test {
    QObject form;
    TSideBarStore store { &form };
    FakeSideBar bar;
    std::shared_ptr<EditorLog> log;
    void SetUp() override
    {
        store.attachSideBar(&bar);
        log = logEditor(store);
    }
    void TearDown() override { store.detachSideBar(&bar); }
};
} // namespace

TEST_F(StoreImages, DefaultImagesReLayOutTheSideBars)
{
    store.setDefaultLargeImage(4);
    store.setDefaultSmallImage(0);
    store.setDefaultLargeImage(-2);  // below -1: refused
    store.setDefaultSmallImage(-7);
    store.setDefaultLargeImage(4);
    EXPECT_EQ(std::pair(store.DefaultLargeImage(), store.DefaultSmallImage()), std::pair(4, 0));
    store.setDefaultLargeImage(-1);
    EXPECT_EQ(bar.layouts, 3);
}

TEST_F(StoreImages, ImageListChangesReLayOutTheSideBars)
{
    auto* large = new ImageList(32, 32);
    auto* small = new ImageList(16, 16);
    store.setLargeImages(large);
    store.setSmallImages(small);
    EXPECT_EQ(large->changeLinkCount(), 1);
    EXPECT_EQ(small->changeLinkCount(), 1);
    EXPECT_EQ(bar.layouts, 2);
    large->add(solid(Qt::red));
    small->add(solid(Qt::blue, 40));
    EXPECT_EQ(small->image(0).size(), QSize(16, 16));
    EXPECT_EQ(bar.layouts, 4);

    ImageList replacement(32, 32);
    store.setLargeImages(&replacement);
    EXPECT_EQ(large->changeLinkCount(), 0);
    large->add(solid(Qt::green));
    EXPECT_EQ(bar.layouts, 5) << "only the change of list itself";
    delete large;
    delete small;
}

TEST_F(StoreImages, AFreedImageListLeavesTheStoreUsable)
{
    auto* large = new ImageList(32, 32);
    auto* small = new ImageList(16, 16);
    ImageList replacement(32, 32);
    store.setSmallImages(small);
    store.setLargeImages(&replacement);
    store.setLargeImages(large);
    const int refreshes = log->refreshes;
    delete large;
    EXPECT_EQ(store.LargeImages(), nullptr);
    EXPECT_EQ(store.SmallImages(), small);
    EXPECT_EQ(log->refreshes, refreshes + 1);

    // Still usable: items, categories and a new list.
    addItem(store, &form, 0)->setLargeImage(1);
    store.setLargeImages(&replacement);
    replacement.add(solid(Qt::yellow));
    EXPECT_EQ(store.LargeImages(), &replacement);
    delete small;
    EXPECT_EQ(store.SmallImages(), nullptr);
}

// A store freed first leaves no links that would call into it.
TEST(Store, AStoreFreedBeforeItsImageListsLeavesNoLinks)
{
    ImageList list(32, 32);
    {
        TSideBarStore first;
        first.setLargeImages(&list);
        first.setSmallImages(&list);
    }
    EXPECT_EQ(list.changeLinkCount(), 0);
    list.add(solid(Qt::black));
}
