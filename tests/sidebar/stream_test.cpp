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
            if (name == "PopupMenu1")
                return &menu;
            return form.findChild<QObject*>(name, Qt::FindDirectChildrenOnly);
        };
    }
};

TSideBarStore* readStore(const QByteArray& bytes, QObject* owner, const ReferenceResolver& resolve = {})
{
    Component* c = readComponent(bytes, owner, resolve);
    auto* store = qobject_cast<TSideBarStore*>(c);
    EXPECT_NE(store, nullptr);
    return store;
}

}  // namespace

TEST(FormStream, StoreAndItemsRoundTrip)
{
    QByteArray bytes;
    {
        FormObjects objects;
        auto* store = new TSideBarStore(&objects.form);
        store->setObjectName("SideBarStore1");
        store->setCategories({"Tools", "Help", "Extras"});
        store->setLargeImages(&objects.large);
        store->setSmallImages(&objects.small);
        store->setDefaultLargeImage(2);
        auto* a = addItem(*store, &objects.form, 1, "SideBarStore1Item1");
        a->setCaption("Manual");
        a->setHint("Read the manual");
        a->setEnabled(false);
        a->setLargeImage(4);
        a->setSmallImage(6);
        a->setPopupMenu(&objects.menu);
        addItem(*store, &objects.form, 2, "SideBarStore1Item2");
        QObject elsewhere;
        addItem(*store, &elsewhere, 0, "NotOfThisForm");  // written with its own owner only
        bytes = writeComponent(*store, &objects.form);
        delete store;
    }

    FormObjects objects;
    TSideBarStore* store = readStore(bytes, &objects.form, objects.resolver());
    ASSERT_NE(store, nullptr);
    EXPECT_FALSE(store->isLoading());
    EXPECT_EQ(store->objectName(), "SideBarStore1");
    EXPECT_EQ(store->owner(), &objects.form);
    EXPECT_EQ(store->Categories().toStringList(), (QStringList{"Tools", "Help", "Extras"}));
    EXPECT_EQ(store->LargeImages(), &objects.large);
    EXPECT_EQ(store->SmallImages(), &objects.small);
    EXPECT_EQ(store->DefaultLargeImage(), 2);
    EXPECT_EQ(store->DefaultSmallImage(), -1);
    ASSERT_EQ(store->itemCount(), 2);
    const TStoredSideItem* a = store->item(0);
    EXPECT_EQ(a->objectName(), "SideBarStore1Item1");
    EXPECT_EQ(a->owner(), &objects.form);
    EXPECT_EQ(a->store(), store);
    EXPECT_FALSE(a->isLoading());
    EXPECT_EQ(a->Caption(), "Manual");
    EXPECT_EQ(a->Hint(), "Read the manual");
    EXPECT_FALSE(a->Enabled());
    EXPECT_EQ(a->LargeImage(), 4);
    EXPECT_EQ(a->SmallImage(), 6);
    EXPECT_EQ(a->PopupMenu(), &objects.menu);
    EXPECT_EQ(categoryNamesOfItems(*store), (QStringList{"Help", "Extras"}));
    const TStoredSideItem* b = store->item(1);
    EXPECT_EQ(b->Caption(), "New Item");
    EXPECT_TRUE(b->Enabled());
    EXPECT_EQ(b->LargeImage(), -1);
    delete store;
}

TEST(FormStream, AStoredFormReadsBackWithOnlyItsStoredCategories)
{
    QObject form;
    TSideBarStore original(&form);
    original.Categories().SetString(0, "Mail");
    original.Categories().Add("Calendar");
    addItem(original, &form, 1, "Item1");
    const QByteArray bytes = writeComponent(original, &form);

    QObject other;
    TSideBarStore* read = readStore(bytes, &other);
    EXPECT_EQ(read->Categories().toStringList(), (QStringList{"Mail", "Calendar"}));
    EXPECT_EQ(read->itemCountInCategory("Calendar"), 1);
    EXPECT_EQ(read->itemCountInCategory("Default"), 0);
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
        bytes = writeComponent(store, &objects.form);
    }
    FormObjects objects;
    objects.open.setText("Open file");  // the action as the new form has it
    TSideBarStore* store = readStore(bytes, &objects.form, objects.resolver());
    ASSERT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->item(0)->Caption(), "My caption");
    EXPECT_EQ(store->item(1)->Caption(), "Open file");
    EXPECT_EQ(store->item(2)->Caption(), "Open file");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store->item(i)->Action(), &objects.open);
    objects.open.setText("Open a file");
    EXPECT_EQ(store->item(0)->Caption(), "My caption");
    EXPECT_EQ(store->item(2)->Caption(), "Open a file");
    delete store;
}

TEST(FormStream, AnUnnamedActionCannotBeStoredSoItsValuesAre)
{
    QObject form;
    TSideBarStore store(&form);
    QAction unnamed("Print");
    auto* item = addItem(store, &form, 0, "Item1");
    item->setAction(&unnamed);
    EXPECT_TRUE(item->isCaptionStored());
    QObject other;
    TSideBarStore* read = readStore(writeComponent(store, &form), &other);
    EXPECT_EQ(read->item(0)->Caption(), "Print");
}

// Bad input: a clear error, and nothing of what was read is left in the owner.
TEST(FormStream, BadStreamsAreRefusedWithoutLeftovers)
{
    FormObjects objects;
    TSideBarStore store(&objects.form);
    store.setCategories({"One", "Two"});
    store.setLargeImages(&objects.large);
    auto* item = addItem(store, &objects.form, 1, "Item1");
    item->setAction(&objects.open);
    item->setCaption("Own");
    const QByteArray good = writeComponent(store, &objects.form);

    QObject owner;
    auto refused = [&](const QByteArray& bytes, const char* what) {
        EXPECT_THROW(readComponent(bytes, &owner, objects.resolver()), StreamError) << what;
        EXPECT_TRUE(owner.children().isEmpty()) << what;
    };

    for (qsizetype n = 0; n < good.size(); ++n)
        refused(good.left(n), "truncated");
    refused(good + QByteArray(1, '\0'), "trailing byte");
    QByteArray magic = good;
    magic[0] = 'X';
    refused(magic, "magic");

    // Hand-made streams through the writer's own layout.
    auto str = [](const QByteArray& s) {
        QByteArray out;
        const quint32 n = quint32(s.size());
        for (int i = 0; i < 4; ++i)
            out.append(char(n >> (8 * i)));
        return out + s;
    };
    auto u32 = [](quint32 v) {
        QByteArray out;
        for (int i = 0; i < 4; ++i)
            out.append(char(v >> (8 * i)));
        return out;
    };
    const QByteArray head = "SBF1";
    auto store1 = [&](const QByteArray& props, quint32 propCount, const QByteArray& children = {},
                      quint32 childCount = 0) {
        return head + str("TSideBarStore") + str("S") + u32(propCount) + props + u32(childCount) + children;
    };
    auto item1 = [&](const QByteArray& props, quint32 propCount) {
        return str("TStoredSideItem") + str("I") + u32(propCount) + props + u32(0);
    };
    const QByteArray twoCats = str("Categories") + char(4) + u32(2) + str("A") + str("B");

    ASSERT_NO_THROW(delete readComponent(store1(twoCats, 1, item1(str("Category") + char(1) + u32(1), 1), 1), &owner));
    ASSERT_TRUE(owner.children().isEmpty());

    refused(head + str("TNoSuchClass") + str("") + u32(0) + u32(0), "unknown class");
    refused(store1(str("Colour") + char(1) + u32(3), 1), "unknown property");
    refused(store1(str("DefaultLargeImage") + char(2) + str("x"), 1), "wrong kind");
    refused(store1(str("LargeImages") + char(5) + str("Missing"), 1), "unresolved reference");
    refused(store1(str("LargeImages") + char(5) + str("actOpen"), 1), "reference to the wrong type");
    refused(store1(str("X") + char(9) + u32(0), 1), "unknown kind");
    refused(store1(twoCats, 1, item1(str("Enabled") + char(3) + char(2), 1), 1), "boolean 2");
    refused(store1(twoCats, 1, item1(str("Category") + char(1) + u32(2), 1), 1), "category out of range");
    refused(store1(twoCats, 1, item1(str("Category") + char(1) + u32(0xFFFFFFFF), 1), 1), "negative category");
    refused(store1({}, 0xFFFFFFF0u), "huge property count");
    refused(store1(twoCats, 1, {}, 0x7FFFFFFFu), "huge child count");
    refused(head + u32(0xFFFFFFF0u), "huge string");
    refused(store1(str("Categories") + char(4) + u32(0x40000000), 1), "huge list");

    refused(store1({}, 0, str("TSideBarStore") + str("Inner") + u32(0) + u32(0), 1), "store under a store");

    QByteArray nested = item1({}, 0);
    for (int depth = 0; depth < 40; ++depth)
        nested = str("TStoredSideItem") + str("") + u32(0) + u32(1) + nested;
    refused(head + nested, "too deep");
}

TEST(FormStream, AStoredFormWithoutCategoriesStillHasDefault)
{
    auto str = [](const QByteArray& s) {
        QByteArray out(4, '\0');
        out[0] = char(s.size());
        return out + s;
    };
    const QByteArray bytes = QByteArray("SBF1") + str("TSideBarStore") + str("S") + QByteArray(8, '\0');
    QObject owner;
    TSideBarStore* store = readStore(bytes, &owner);
    EXPECT_EQ(store->Categories().toStringList(), QStringList{"Default"});
}

// Every single-byte change of a good stream is either read or refused cleanly.
TEST(FormStream, MutatedStreamsNeverCrashOrLeak)
{
    FormObjects objects;
    TSideBarStore store(&objects.form);
    store.setCategories({"One", "Two", "Three"});
    store.setLargeImages(&objects.large);
    store.setDefaultSmallImage(1);
    auto* item = addItem(store, &objects.form, 2, "Item1");
    item->setAction(&objects.open);
    item->setCaption("Own");
    item->setHint("hint");
    item->setEnabled(false);
    addItem(store, &objects.form, 1, "Item2")->setPopupMenu(&objects.menu);
    const QByteArray good = writeComponent(store, &objects.form);

    QObject owner;
    int readBack = 0;
    for (qsizetype pos = 0; pos < good.size(); ++pos) {
        for (int value : {0x00, 0x01, 0x02, 0x7F, 0xFF, (quint8(good[pos]) ^ 0x01)}) {
            QByteArray bytes = good;
            bytes[pos] = char(value);
            try {
                Component* c = readComponent(bytes, &owner, objects.resolver());
                ++readBack;
                if (auto* s = qobject_cast<TSideBarStore*>(c)) {
                    for (int i = 0; i < s->itemCount(); ++i)
                        EXPECT_LT(s->item(i)->Category(), s->Categories().Count());
                }
                delete c;
            } catch (const StreamError&) {
            }
            ASSERT_TRUE(owner.children().isEmpty()) << "byte " << pos << " = " << value;
        }
    }
    EXPECT_GT(readBack, 0);
}
