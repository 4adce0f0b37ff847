#include "test_support.h"

#include "widgets/sidebar/component_stream.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

using namespace sidebar;
using namespace sidebar::test;

namespace {

// The objects of a form besides the store, found by name when the form is read.
struct FormObjects {
    QObject form;
    ImageList large{32, 32, &form};
    ImageList small{16, 16, &form};
    QAction open{&form};
    QMenu menu;

    FormObjects()
    {
        large.setObjectName("ImageList1");
        small.setObjectName("ImageList2");
        open.setObjectName("actOpen");
        open.setText("Open");
        menu.setObjectName("PopupMenu1");
    }

    ReferenceResolver resolver()
    {
        return [this](const QString& name) -> QObject* {
            return name == "PopupMenu1" ? &menu : form.findChild<QObject*>(name, Qt::FindDirectChildrenOnly);
        };
    }

    // A store with every kind of property, written as the form stores it.
    QByteArray writeStore()
    {
        TSideBarStore store(&form);
        store.setObjectName("SideBarStore1");
        store.setCategories({"Tools", "Help", "Extras"});
        store.setLargeImages(&large);
        store.setSmallImages(&small);
        store.setDefaultLargeImage(2);
        auto* a = addItem(store, &form, 1, "SideBarStore1Item1");
        a->setAction(&open);
        a->setCaption("Manual");
        a->setHint("Read the manual");
        a->setEnabled(false);
        a->setLargeImage(4);
        a->setSmallImage(6);
        a->setPopupMenu(&menu);
        addItem(store, &form, 2, "SideBarStore1Item2");
        QObject elsewhere;
        addItem(store, &elsewhere, 0, "NotOfThisForm");  // written with its own owner only
        return writeComponent(store, &form);
    }
};

// Hand-made streams in the writer's layout: little-endian counts, strings with their length.
QByteArray u32(quint32 v)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char(v >> (8 * i)));
    return out;
}
QByteArray str(const QByteArray& s) { return u32(quint32(s.size())) + s; }
QByteArray storeStream(const QByteArray& props, quint32 propCount, const QByteArray& children = {},
                       quint32 childCount = 0)
{
    return "SBF1" + str("TSideBarStore") + str("S") + u32(propCount) + props + u32(childCount) + children;
}
QByteArray itemStream(const QByteArray& props, quint32 propCount)
{
    return str("TStoredSideItem") + str("I") + u32(propCount) + props + u32(0);
}

TSideBarStore* readStore(const QByteArray& bytes, QObject* owner, const ReferenceResolver& resolve = {})
{
    auto* store = qobject_cast<TSideBarStore*>(readComponent(bytes, owner, resolve));
    EXPECT_NE(store, nullptr);
    return store;
}

}  // namespace

TEST(FormStream, StoreAndItemsRoundTrip)
{
    const QByteArray bytes = FormObjects().writeStore();
    FormObjects objects;
    TSideBarStore* store = readStore(bytes, &objects.form, objects.resolver());
    ASSERT_NE(store, nullptr);
    EXPECT_FALSE(store->isLoading());
    EXPECT_EQ(store->objectName(), "SideBarStore1");
    EXPECT_EQ(store->owner(), &objects.form);
    EXPECT_EQ(store->Categories().toStringList(), (QStringList{"Tools", "Help", "Extras"}));
    EXPECT_EQ(std::pair(store->LargeImages(), store->SmallImages()),
              std::pair(&objects.large, &objects.small));
    EXPECT_EQ(std::pair(store->DefaultLargeImage(), store->DefaultSmallImage()), std::pair(2, -1));
    ASSERT_EQ(store->itemCount(), 2);
    const TStoredSideItem* a = store->item(0);
    EXPECT_EQ(a->objectName(), "SideBarStore1Item1");
    EXPECT_EQ(std::tuple(a->owner(), a->store(), a->isLoading()), std::tuple(&objects.form, store, false));
    EXPECT_EQ(std::tuple(a->Action(), a->PopupMenu()), std::tuple(&objects.open, &objects.menu));
    EXPECT_EQ(props(a), "Manual|Read the manual|0|4|6");
    EXPECT_EQ(categoryNamesOfItems(*store), (QStringList{"Help", "Extras"}));
    EXPECT_EQ(props(store->item(1)), "New Item||1|-1|-1");

    // A stored form without categories still has "Default".
    QObject owner;
    EXPECT_EQ(readStore(storeStream({}, 0), &owner)->Categories().toStringList(), QStringList{"Default"});
}

TEST(FormStream, AfterLoadingAnItemTakesTheActionsCaptionOnlyWhileItIsStillNewItem)
{
    QByteArray bytes;
    {
        FormObjects objects;
        TSideBarStore store(&objects.form);
        auto* custom = addItem(store, &objects.form, 0, "Custom");
        custom->setAction(&objects.open);
        custom->setCaption("My caption");
        auto* fresh = addItem(store, &objects.form, 0, "Fresh");
        fresh->setAction(&objects.open);
        fresh->setCaption("New Item");
        auto* linked = addItem(store, &objects.form, 0, "Linked");
        linked->setAction(&objects.open);  // caption supplied by the action: not stored
        EXPECT_FALSE(linked->isCaptionStored());
        QAction unnamed("Print");  // cannot be stored, so its values are
        addItem(store, &objects.form, 0, "Unnamed")->setAction(&unnamed);
        bytes = writeComponent(store, &objects.form);
    }
    FormObjects objects;
    objects.open.setText("Open file");  // the action as the new form has it
    TSideBarStore* store = readStore(bytes, &objects.form, objects.resolver());
    ASSERT_EQ(store->itemCount(), 4);
    const auto captions = [&] {
        QStringList out;
        for (int i = 0; i < store->itemCount(); ++i)
            out << store->item(i)->Caption();
        return out;
    };
    EXPECT_EQ(captions(), (QStringList{"My caption", "Open file", "Open file", "Print"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store->item(i)->Action(), &objects.open);
    objects.open.setText("Open a file");
    EXPECT_EQ(captions(), (QStringList{"My caption", "Open a file", "Open a file", "Print"}));
}

// Bad input: a clear error, and nothing of what was read is left in the owner.
TEST(FormStream, BadStreamsAreRefusedWithoutLeftovers)
{
    FormObjects objects;
    const QByteArray good = objects.writeStore();
    QObject owner;
    auto refused = [&](const QByteArray& bytes, const char* what) {
        EXPECT_THROW(readComponent(bytes, &owner, objects.resolver()), StreamError) << what;
        EXPECT_TRUE(owner.children().isEmpty()) << what;
    };
    for (qsizetype n = 0; n < good.size(); ++n)
        refused(good.left(n), "truncated");
    refused(good + QByteArray(1, '\0'), "trailing byte");
    refused("X" + good.mid(1), "magic");

    const QByteArray twoCats = str("Categories") + char(4) + u32(2) + str("A") + str("B");
    const auto withItem = [&](const QByteArray& prop) { return storeStream(twoCats, 1, itemStream(prop, 1), 1); };
    ASSERT_NO_THROW(delete readComponent(withItem(str("Category") + char(1) + u32(1)), &owner));
    ASSERT_TRUE(owner.children().isEmpty());

    refused("SBF1" + str("TNoSuchClass") + str("") + u32(0) + u32(0), "unknown class");
    refused(storeStream(str("Colour") + char(1) + u32(3), 1), "unknown property");
    refused(storeStream(str("DefaultLargeImage") + char(2) + str("x"), 1), "wrong kind");
    refused(storeStream(str("LargeImages") + char(5) + str("Missing"), 1), "unresolved reference");
    refused(storeStream(str("LargeImages") + char(5) + str("actOpen"), 1), "reference to the wrong type");
    refused(storeStream(str("X") + char(9) + u32(0), 1), "unknown kind");
    refused(withItem(str("Enabled") + char(3) + char(2)), "boolean 2");
    refused(withItem(str("Category") + char(1) + u32(2)), "category out of range");
    refused(withItem(str("Category") + char(1) + u32(0xFFFFFFFF)), "negative category");
    refused(storeStream({}, 0xFFFFFFF0u), "huge property count");
    refused(storeStream(twoCats, 1, {}, 0x7FFFFFFFu), "huge child count");
    refused("SBF1" + u32(0xFFFFFFF0u), "huge string");
    refused(storeStream(str("Categories") + char(4) + u32(0x40000000), 1), "huge list");
    refused(storeStream({}, 0, str("TSideBarStore") + str("Inner") + u32(0) + u32(0), 1), "store under a store");
    QByteArray nested = itemStream({}, 0);
    for (int depth = 0; depth < 40; ++depth)
        nested = str("TStoredSideItem") + str("") + u32(0) + u32(1) + nested;
    refused("SBF1" + nested, "too deep");
}
