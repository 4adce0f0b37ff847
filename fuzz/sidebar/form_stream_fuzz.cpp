// The side-bar form stream reader on arbitrary bytes, in a form that holds what a stream can
// name: two image lists, an action, a hidden and disabled action and a popup menu. A stream is
// refused with a StreamError or read whole; what is read must be written back as a stream that
// reads to the same, follow its action and image lists by the rules of the store, and let go
// of every object it names when that object is freed. Anything else aborts.
#include "widgets/sidebar/component_stream.h"
#include "widgets/sidebar/side_bar_cursors.h"
#include "widgets/sidebar/side_bar_store.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace sidebar;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "side-bar stream: %s\n", what);
        std::abort();
    }
}

// What a stream can refer to, by the names a form gives them.
struct Form {
    QObject form;
    ImageList* large = new ImageList(32, 32, &form);
    ImageList* small = new ImageList(16, 16, &form);
    QAction* open = new QAction(&form);
    QAction* hidden = new QAction(&form);
    std::unique_ptr<QMenu> menu = std::make_unique<QMenu>();

    Form()
    {
        large->setObjectName("ImageList1");
        small->setObjectName("ImageList2");
        open->setObjectName("actOpen");
        open->setText("Open");
        open->setStatusTip("Open a file");
        setActionImageIndex(open, 3);
        hidden->setObjectName("actHidden");
        hidden->setText("Hidden");
        hidden->setEnabled(false);
        hidden->setVisible(false);
        menu->setObjectName("PopupMenu1");
    }

    ReferenceResolver resolver()
    {
        return [this](const QString& name) -> QObject* {
            return name == menu->objectName() ? menu.get() : form.findChild<QObject*>(name, Qt::FindDirectChildrenOnly);
        };
    }
};

struct CountingSideBar : SideBarControl {
    std::vector<SideBarGroup> list;
    int layouts = 0;
    std::vector<SideBarGroup>& groups() override { return list; }
    bool isDestroying() const override { return false; }
    bool hasWindow() const override { return true; }
    void recomputeLayout() override { ++layouts; }
    void repaint() override {}
};

QList<TStoredSideItem*> itemsOf(Component* root)
{
    QList<TStoredSideItem*> items;
    if (auto* store = qobject_cast<TSideBarStore*>(root))
        for (int i = 0; i < store->itemCount(); ++i)
            items.append(store->item(i));
    else if (auto* item = qobject_cast<TStoredSideItem*>(root))
        items.append(item);
    return items;
}

// An item follows a change of its action only in what was linked before the change.
void changeAction(QAction* action, const QList<TStoredSideItem*>& items)
{
    // A linked value takes the action's new one; any other stays as it was (it may equal the
    // action's new value by chance).
    struct Before {
        TStoredSideItem* item;
        QString caption, hint;
        int image;
        bool captionLinked, hintLinked, imageLinked;
    };
    std::vector<Before> before;
    for (TStoredSideItem* i : items)
        if (i->Action() == action)
            before.push_back({i, i->Caption(), i->Hint(), i->LargeImage(), i->Caption() == action->text(),
                              i->Hint() == action->statusTip(), i->LargeImage() == actionImageIndex(action)});
    action->setText(action->text() + " again");
    action->setStatusTip(action->statusTip() + " again");
    setActionImageIndex(action, actionImageIndex(action) + 10);
    for (const Before& b : before) {
        check(b.item->Caption() == (b.captionLinked ? action->text() : b.caption),
              "the caption does not follow its action as linked");
        check(b.item->Hint() == (b.hintLinked ? action->statusTip() : b.hint),
              "the hint does not follow its action as linked");
        check(b.item->LargeImage() == (b.imageLinked ? actionImageIndex(action) : b.image),
              "the large image does not follow its action as linked");
    }
    action->setVisible(!action->isVisible());
    action->setEnabled(!action->isEnabled());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::unique_ptr<QApplication> app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fuzz_sidebar_stream";
        static char* argv[] = { name, nullptr };
        auto a = std::make_unique<QApplication>(argc, argv);
        registerSideBarStore();
        return a;
    }();
    Form form;
    QObject owner;
    Component* root = nullptr;
    try {
        root = readComponent(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), &owner, form.resolver());
    } catch (const StreamError&) {
        return 0;
    }

    // What is read is written back, and that reads to the same again.
    const QByteArray written = writeComponent(*root, &owner);
    {
        QObject owner2;
        Component* again = nullptr;
        try {
            again = readComponent(written, &owner2, form.resolver());
        } catch (const StreamError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            check(false, "a stream written from what was read is refused");
        }
        check(writeComponent(*again, &owner2) == written, "a stream written from what was read reads to another");
        delete again;
    }

    const QList<TStoredSideItem*> items = itemsOf(root);
    auto* store = qobject_cast<TSideBarStore*>(root);
    CountingSideBar bar;
    if (store) {
        store->attachSideBar(&bar);
        // A change in an image list re-lays out the side bars of a store that uses it.
        for (ImageList* list : {form.large, form.small}) {
            const int before = bar.layouts;
            list->add(QImage(4, 4, QImage::Format_ARGB32));
            const bool uses = store->LargeImages() == list || store->SmallImages() == list;
            check((bar.layouts > before) == uses, "an image list change is not seen as the store's lists say");
        }
    }
    changeAction(form.open, items);
    changeAction(form.hidden, items);

    // Freeing what the stream named, before or after the store (chosen by the input).
    if (size % 2 == 0) {
        QList<TStoredSideItem*> withOpen;
        for (TStoredSideItem* i : items)
            if (i->Action() == form.open)
                withOpen.append(i);
        const bool largeUsed = store && store->LargeImages() == form.large;
        const bool smallUsed = store && store->SmallImages() == form.large;
        delete form.open;
        delete form.large;
        form.menu.reset();
        for (TStoredSideItem* i : withOpen)
            check(i->Action() == nullptr, "a freed action is still held");
        for (TStoredSideItem* i : items)
            check(i->PopupMenu() == nullptr, "a freed popup menu is still held");
        if (store) {
            check(!(largeUsed && store->LargeImages()) && !(smallUsed && store->SmallImages()),
                  "a freed image list is still held");
            store->updateSideBars();
        }
    }
    if (store)
        store->detachSideBar(&bar);
    delete root;
    return 0;
}
