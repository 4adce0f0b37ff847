#include "test_support.h"

#include "widgets/sidebar/side_bar_texts.h"

#include <QObject>
#include <gtest/gtest.h>

#include <random>

using namespace sidebar;
using namespace sidebar::test;

namespace {

// Categories A, B, C with two items in A and one in each of B and C.
class ThreeCategories : public ::testing::Test {
protected:
    void SetUp() override
    {
        store.Categories().SetString(0, "A");
        store.Categories().Add("B");
        store.Categories().Add("C");
        addItem(store, &form, 0, "a1");
        addItem(store, &form, 0, "a2");
        addItem(store, &form, 1, "b1");
        addItem(store, &form, 2, "c1");
        before = categoryNamesOfItems(store);
        ASSERT_EQ(before, (QStringList{"A", "A", "B", "C"}));
    }

    std::vector<int> indexes() const
    {
        std::vector<int> out;
        for (int i = 0; i < store.itemCount(); ++i)
            out.push_back(store.item(i)->Category());
        return out;
    }

    QObject form;
    TSideBarStore store{&form};
    QStringList before;
};

}  // namespace

TEST(Categories, NewStoreHasOnlyDefault)
{
    TSideBarStore store;
    EXPECT_EQ(store.Categories().toStringList(), QStringList{"Default"});
    EXPECT_EQ(store.Categories().store(), &store);
}

TEST_F(ThreeCategories, MoveFirstToLastKeepsEveryItemsName)
{
    store.Categories().Move(0, 2);
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"B", "C", "A"}));
    EXPECT_EQ(indexes(), (std::vector<int>{2, 2, 0, 1}));
    EXPECT_EQ(categoryNamesOfItems(store), before);
}

TEST_F(ThreeCategories, MoveLastToFirstKeepsEveryItemsName)
{
    store.Categories().Move(2, 0);
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(indexes(), (std::vector<int>{1, 1, 2, 0}));
    EXPECT_EQ(categoryNamesOfItems(store), before);
}

TEST_F(ThreeCategories, InsertShiftsLaterCategoriesUp)
{
    store.Categories().Insert(1, "N");
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"A", "N", "B", "C"}));
    EXPECT_EQ(indexes(), (std::vector<int>{0, 0, 2, 3}));
    EXPECT_EQ(categoryNamesOfItems(store), before);
    EXPECT_EQ(store.itemCountInCategory("N"), 0);

    store.Categories().Insert(4, "End");  // at the end: nobody moves
    EXPECT_EQ(indexes(), (std::vector<int>{0, 0, 2, 3}));
    store.Categories().Insert(0, "Front");
    EXPECT_EQ(categoryNamesOfItems(store), before);
}

TEST_F(ThreeCategories, ExchangeSwapsItemsOfBothCategories)
{
    store.Categories().Exchange(0, 2);
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"C", "B", "A"}));
    EXPECT_EQ(indexes(), (std::vector<int>{2, 2, 1, 0}));
    EXPECT_EQ(categoryNamesOfItems(store), before);
}

TEST_F(ThreeCategories, DeletingACategoryWithItemsIsRefusedAndChangesNothing)
{
    const QStringList names = store.Categories().toStringList();
    const std::vector<int> was = indexes();
    try {
        store.Categories().Delete(1);
        FAIL() << "no error";
    } catch (const ESideBarError& e) {
        EXPECT_STREQ(e.what(), "Can't delete the group. It has items.");
        EXPECT_EQ(e.message(), QString("Can't delete the group. It has items."));
    }
    EXPECT_THROW(store.Categories().Clear(), ESideBarError);
    EXPECT_THROW(store.setCategories({"A", "B"}), ESideBarError);  // C still has c1
    EXPECT_THROW(store.setCategories({}), ESideBarError);
    EXPECT_EQ(store.Categories().toStringList(), names);
    EXPECT_EQ(indexes(), was);
}

TEST_F(ThreeCategories, DeletingAnEmptyMiddleCategoryMovesTheLaterItemsDown)
{
    delete store.item(2);  // b1
    ASSERT_EQ(store.itemCountInCategory("B"), 0);
    store.Categories().Delete(1);
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"A", "C"}));
    EXPECT_EQ(indexes(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(categoryNamesOfItems(store), (QStringList{"A", "A", "C"}));
}

TEST(Categories, DeletingTheOnlyEmptyCategoryLeavesDefault)
{
    TSideBarStore store;
    store.Categories().SetString(0, "Only");
    store.Categories().Delete(0);
    EXPECT_EQ(store.Categories().toStringList(), QStringList{"Default"});
}

TEST(Categories, ClearAndAssignWithoutItems)
{
    TSideBarStore store;
    store.setCategories({"X", "Y", "Z"});
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"X", "Y", "Z"}));
    store.Categories().Clear();
    EXPECT_EQ(store.Categories().toStringList(), QStringList{"Default"});
    store.setCategories({"P", "Q"});
    store.setCategories({});
    EXPECT_EQ(store.Categories().toStringList(), QStringList{"Default"});
}

TEST_F(ThreeCategories, AssignCopiesByPositionAndKeepsIndexes)
{
    // Longer: names copied in place, extra appended; items keep their indexes.
    store.setCategories({"A2", "B2", "C2", "D2"});
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"A2", "B2", "C2", "D2"}));
    EXPECT_EQ(indexes(), (std::vector<int>{0, 0, 1, 2}));
    // Shorter, cutting only an empty category.
    store.setCategories({"A3", "B3", "C3"});
    EXPECT_EQ(store.Categories().toStringList(), (QStringList{"A3", "B3", "C3"}));
    EXPECT_EQ(categoryNamesOfItems(store), (QStringList{"A3", "A3", "B3", "C3"}));
}

TEST_F(ThreeCategories, OutOfRangeIndexesDoNothing)
{
    const QStringList names = store.Categories().toStringList();
    const std::vector<int> was = indexes();
    store.Categories().Move(0, 3);
    store.Categories().Move(-1, 0);
    store.Categories().Exchange(0, 3);
    store.Categories().Exchange(-1, 1);
    store.Categories().Delete(3);
    store.Categories().Delete(-1);
    store.Categories().Insert(4, "x");
    store.Categories().Insert(-1, "x");
    store.Categories().SetString(5, "x");
    EXPECT_EQ(store.Categories().toStringList(), names);
    EXPECT_EQ(indexes(), was);
    EXPECT_EQ(store.Categories().Strings(3), QString());
    EXPECT_EQ(store.Categories().Strings(-1), QString());
}

TEST_F(ThreeCategories, SettingCategoryChecksTheRange)
{
    TStoredSideItem* item = store.item(0);
    item->setCategory(3);  // == number of categories
    EXPECT_EQ(item->Category(), 0);
    item->setCategory(-1);
    EXPECT_EQ(item->Category(), 0);
    item->setCategory(2);
    EXPECT_EQ(item->Category(), 2);

    TStoredSideItem loose;
    loose.setCategory(1);
    EXPECT_EQ(loose.Category(), 0) << "an item without a store takes no category";
}

TEST_F(ThreeCategories, ItemsOfACategoryByName)
{
    EXPECT_EQ(store.itemCountInCategory("A"), 2);
    EXPECT_EQ(store.itemCountInCategory("C"), 1);
    EXPECT_EQ(store.itemCountInCategory("nope"), 0);
    QList<TStoredSideItem*> list{store.item(3)};
    store.itemsInCategory("A", list);
    EXPECT_EQ(list, (QList<TStoredSideItem*>{store.item(0), store.item(1)}));
    store.itemsInCategory("nope", list);
    EXPECT_TRUE(list.isEmpty());
}

// Any mix of operations leaves every item on the name it started with.
TEST(Categories, RandomOperationsKeepItemsOnTheirNames)
{
    std::mt19937 rng(14);
    QObject form;
    TSideBarStore store(&form);
    int serial = 0;
    store.Categories().SetString(0, QString("g%1").arg(serial++));
    for (int i = 0; i < 4; ++i)
        store.Categories().Add(QString("g%1").arg(serial++));
    for (int i = 0; i < 12; ++i)
        addItem(store, &form, int(rng() % 5));
    QStringList expected = categoryNamesOfItems(store);

    for (int step = 0; step < 400; ++step) {
        auto& cats = store.Categories();
        const int n = cats.Count();
        auto pick = [&] { return int(rng() % unsigned(n + 2)) - 1; };  // sometimes out of range
        const QStringList namesBefore = cats.toStringList();
        switch (rng() % 5) {
        case 0: cats.Move(pick(), pick()); break;
        case 1: cats.Exchange(pick(), pick()); break;
        case 2: if (n < 9) cats.Insert(pick(), QString("g%1").arg(serial++)); break;
        case 3:
            try {
                cats.Delete(pick());
            } catch (const ESideBarError&) {
                EXPECT_EQ(cats.toStringList(), namesBefore);
            }
            break;
        case 4: {
            TStoredSideItem* item = store.item(int(rng() % unsigned(store.itemCount())));
            item->setCategory(int(rng() % unsigned(n)));
            expected = categoryNamesOfItems(store);
            break;
        }
        }
        ASSERT_EQ(categoryNamesOfItems(store), expected) << "step " << step;
        ASSERT_GE(cats.Count(), 1);
    }
}
