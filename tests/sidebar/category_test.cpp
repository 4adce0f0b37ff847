#include "test_support.h"

#include <QObject>
#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace sidebar;
using namespace sidebar::test;

namespace {

using Categories = TStoredSideBarItemsStoreStrings;

// Categories A, B, C with two items in A and one in each of B and C.
struct ThreeCategories {
    QObject form;
    TSideBarStore store{&form};

    ThreeCategories()
    {
        store.setCategories({"A", "B", "C"});
        for (int category : {0, 0, 1, 2})
            addItem(store, &form, category);
    }
};

}  // namespace

TEST(Categories, ReorderingKeepsEveryItemOnItsName)
{
    struct Row {
        std::function<void(Categories&)> change;
        QStringList names;  // the items keep their names, so their indexes follow
    } rows[] = {
        {[](Categories& c) { c.Move(0, 2); }, {"B", "C", "A"}},
        {[](Categories& c) { c.Move(2, 0); }, {"C", "A", "B"}},
        {[](Categories& c) { c.Insert(1, "N"); }, {"A", "N", "B", "C"}},
        {[](Categories& c) { c.Insert(3, "End"); }, {"A", "B", "C", "End"}},
        {[](Categories& c) { c.Insert(0, "Front"); }, {"Front", "A", "B", "C"}},
        {[](Categories& c) { c.Exchange(0, 2); }, {"C", "B", "A"}},
        {[](Categories& c) { // indexes out of range do nothing
             c.Move(0, 3), c.Move(-1, 0), c.Exchange(0, 3), c.Exchange(-1, 1), c.Delete(3), c.Delete(-1);
             c.Insert(4, "x"), c.Insert(-1, "x"), c.SetString(5, "x");
         },
         {"A", "B", "C"}},
    };
    for (const Row& row : rows) {
        ThreeCategories t;
        row.change(t.store.Categories());
        EXPECT_EQ(t.store.Categories().toStringList(), row.names) << row.names.join(",").toStdString();
        EXPECT_EQ(categoryNamesOfItems(t.store), (QStringList{"A", "A", "B", "C"}));
    }
}

TEST(Categories, DeletingACategoryWithItemsIsRefusedAndChangesNothing)
{
    ThreeCategories t;
    EXPECT_THROW(
        try { t.store.Categories().Delete(1); } catch (const ESideBarError& e) {
            EXPECT_EQ(e.message(), QString("Can't delete the group. It has items."));
            throw;
        },
        ESideBarError);
    EXPECT_THROW(t.store.Categories().Clear(), ESideBarError);
    EXPECT_THROW(t.store.setCategories({"A", "B"}), ESideBarError);  // C still has an item
    EXPECT_THROW(t.store.setCategories({}), ESideBarError);
    EXPECT_EQ(t.store.Categories().toStringList(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(categoryNamesOfItems(t.store), (QStringList{"A", "A", "B", "C"}));

    // Once empty, a middle category goes and the later items move down.
    delete t.store.item(2);
    t.store.Categories().Delete(1);
    EXPECT_EQ(t.store.Categories().toStringList(), (QStringList{"A", "C"}));
    EXPECT_EQ(categoryNamesOfItems(t.store), (QStringList{"A", "A", "C"}));
}

TEST(Categories, AssignCopiesByPosition)
{
    ThreeCategories t;
    t.store.setCategories({"A2", "B2", "C2", "D2"});
    EXPECT_EQ(t.store.Categories().toStringList(), (QStringList{"A2", "B2", "C2", "D2"}));
    EXPECT_EQ(categoryNamesOfItems(t.store), (QStringList{"A2", "A2", "B2", "C2"}));
    t.store.setCategories({"A3", "B3", "C3"});  // cuts only an empty category
    EXPECT_EQ(categoryNamesOfItems(t.store), (QStringList{"A3", "A3", "B3", "C3"}));
}

// Without items: a store always keeps at least "Default".
TEST(Categories, AStoreAlwaysKeepsOneCategory)
{
    TSideBarStore empty;
    EXPECT_EQ(empty.Categories().toStringList(), QStringList{"Default"});
    empty.Categories().SetString(0, "Only");
    empty.Categories().Delete(0);
    EXPECT_EQ(empty.Categories().toStringList(), QStringList{"Default"});
    empty.setCategories({"X", "Y", "Z"});
    empty.Categories().Clear();
    EXPECT_EQ(empty.Categories().toStringList(), QStringList{"Default"});
    empty.setCategories({"P", "Q"});
    empty.setCategories({});
    EXPECT_EQ(empty.Categories().toStringList(), QStringList{"Default"});
}

TEST(Categories, ItemsFindTheirCategoriesInRange)
{
    ThreeCategories t;
    EXPECT_EQ(t.store.Categories().Strings(3), QString());
    EXPECT_EQ(t.store.Categories().Strings(-1), QString());
    TStoredSideItem* item = t.store.item(0);
    item->setCategory(3);  // == number of categories
    item->setCategory(-1);
    EXPECT_EQ(item->Category(), 0);
    item->setCategory(2);
    EXPECT_EQ(item->Category(), 2);
    TStoredSideItem loose;
    loose.setCategory(1);
    EXPECT_EQ(loose.Category(), 0) << "an item without a store takes no category";

    EXPECT_EQ(t.store.itemCountInCategory("C"), 2);
    EXPECT_EQ(t.store.itemCountInCategory("nope"), 0);
    QList<TStoredSideItem*> list{item};
    t.store.itemsInCategory("C", list);
    EXPECT_EQ(list, (QList<TStoredSideItem*>{item, t.store.item(3)}));
    t.store.itemsInCategory("nope", list);
    EXPECT_TRUE(list.isEmpty());
}

// Any mix of operations, some out of range, leaves every item on the name it started with.
TEST(Categories, RandomOperationsKeepItemsOnTheirNames)
{
    std::mt19937 rng(14);
    QObject form;
    TSideBarStore store(&form);
    store.setCategories({"g0", "g1", "g2", "g3", "g4"});
    for (int i = 0; i < 12; ++i)
        addItem(store, &form, int(rng() % 5));
    const QStringList expected = categoryNamesOfItems(store);
    Categories& cats = store.Categories();
    for (int step = 0; step < 400; ++step) {
        const int n = cats.Count();
        auto pick = [&] { return int(rng() % unsigned(n + 2)) - 1; };
        const QStringList namesBefore = cats.toStringList();
        switch (rng() % 4) {
        case 0: cats.Move(pick(), pick()); break;
        case 1: cats.Exchange(pick(), pick()); break;
        case 2: if (n < 9) cats.Insert(pick(), QString("g%1").arg(step + 5)); break;
        default:
            try {
                cats.Delete(pick());
            } catch (const ESideBarError&) {
                EXPECT_EQ(cats.toStringList(), namesBefore);
            }
        }
        ASSERT_EQ(categoryNamesOfItems(store), expected) << "step " << step;
        ASSERT_GE(cats.Count(), 1);
    }
}
