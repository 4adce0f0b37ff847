#pragma once
// The side-bar item store: the items a side bar shows, their categories (groups), the two
// image lists they draw from, and the side bars attached to it.

#include "widgets/sidebar/component.h"
#include "widgets/sidebar/image_list.h"
#include "widgets/sidebar/side_bar_control.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class TSideBarStore;
class TStoredSideItem;

class ESideBarError : public std::runtime_error {
public:
    ESideBarError();  // "Can't delete the group. It has items."
    explicit ESideBarError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The category names of a store. Every change keeps each item's Category index pointing at
// the same name; deleting a category that still has items is refused with ESideBarError.
class TStoredSideBarItemsStoreStrings {
public:
    explicit TStoredSideBarItemsStoreStrings(TSideBarStore* store);

    TSideBarStore* store() const { return store_; }

    int Count() const { return int(names_.size()); }
    QString Strings(int index) const;  // empty for an index out of range
    void SetString(int index, const QString& name);  // a rename; items keep their index
    int IndexOf(const QString& name) const { return int(names_.indexOf(name)); }
    int Add(const QString& name);
    void Clear();
    void Delete(int index);
    void Insert(int index, const QString& name);
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    // Takes over the names of `source` by position (the store's Categories setter).
    void Assign(const QStringList& source);
    QStringList toStringList() const { return names_; }

private:
    bool validIndex(int index) const { return index >= 0 && index < Count(); }
    bool loading() const;
    void changed();

    TSideBarStore* store_;
    QStringList names_;
};

using TSideBarItemClickEvent = std::function<void(TStoredSideItem* item)>;

class TSideBarStore : public sidebar::Component {
    Q_OBJECT
public:
    explicit TSideBarStore(QObject* owner = nullptr, sidebar::Creation creation = sidebar::Creation::Normal);
    ~TSideBarStore() override;

    QString className() const override { return QStringLiteral("TSideBarStore"); }

    // Items
    int itemCount() const { return int(items_.size()); }
    TStoredSideItem* item(int index) const;
    int indexOfItem(const TStoredSideItem* item) const;
    int itemCountInCategory(const QString& category) const;
    void itemsInCategory(const QString& category, QList<TStoredSideItem*>& list) const;
    void addItem(TStoredSideItem* item);
    void removeItem(TStoredSideItem* item);

    // Attached side bars (not owned; a control detaches itself before it goes).
    int sideBarCount() const { return int(sideBars_.size()); }
    sidebar::SideBarControl* sideBar(int index) const;
    void attachSideBar(sidebar::SideBarControl* sideBar);
    void detachSideBar(sidebar::SideBarControl* sideBar);

    // Categories
    TStoredSideBarItemsStoreStrings& Categories() { return categories_; }
    const TStoredSideBarItemsStoreStrings& Categories() const { return categories_; }
    void setCategories(const QStringList& names) { categories_.Assign(names); }

    // Image lists (not owned)
    sidebar::ImageList* LargeImages() const { return largeImages_; }
    sidebar::ImageList* SmallImages() const { return smallImages_; }
    void setLargeImages(sidebar::ImageList* list);
    void setSmallImages(sidebar::ImageList* list);
    int DefaultLargeImage() const { return defaultLargeImage_; }
    int DefaultSmallImage() const { return defaultSmallImage_; }
    void setDefaultLargeImage(int index);
    void setDefaultSmallImage(int index);

    // Renames the store; at design time its items of the same owner named after it follow.
    void setName(const QString& name);

    void setEditor(std::unique_ptr<sidebar::StoreEditor> editor);
    sidebar::StoreEditor* editor() const { return editor_.get(); }

    void itemChanged(TStoredSideItem* item);
    void updateSideBars();

    // Streaming
    void writeProperties(sidebar::PropertyWriter& writer) const override;
    void readProperty(const QString& name, const sidebar::PropertyValue& value,
                      const sidebar::ReferenceResolver& resolve) override;
    QList<sidebar::Component*> streamChildren(const QObject* root) const override;
    void loaded() override;

private:
    friend class TStoredSideBarItemsStoreStrings;
    friend class TStoredSideItem;

    int itemsIn(int category) const;
    bool anyItemBeyond(int count) const;
    // Gives every item whose category is valid the index `map` returns for it.
    void remapCategories(const std::function<int(int)>& map);
    void setImageList(sidebar::ImageList*& field, sidebar::ChangeLink& link, sidebar::ImageList* list);
    void imageListFreed(sidebar::ImageList* list);
    void refreshEditor();

    std::vector<TStoredSideItem*> items_;
    std::vector<sidebar::SideBarControl*> sideBars_;
    TStoredSideBarItemsStoreStrings categories_;
    sidebar::ImageList* largeImages_ = nullptr;
    sidebar::ImageList* smallImages_ = nullptr;
    std::unique_ptr<sidebar::ChangeLink> largeChangeLink_;
    std::unique_ptr<sidebar::ChangeLink> smallChangeLink_;
    int defaultLargeImage_ = -1;
    int defaultSmallImage_ = -1;
    std::unique_ptr<sidebar::StoreEditor> editor_;
};

class TSideBarItemActionLink;

class TStoredSideItem : public sidebar::Component {
    Q_OBJECT
public:
    explicit TStoredSideItem(QObject* owner = nullptr, sidebar::Creation creation = sidebar::Creation::Normal);
    ~TStoredSideItem() override;

    QString className() const override { return QStringLiteral("TStoredSideItem"); }

    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);
    int Category() const { return category_; }
    void setCategory(int category);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);
    int LargeImage() const { return largeImage_; }
    void setLargeImage(int index);
    int SmallImage() const { return smallImage_; }
    void setSmallImage(int index);
    QMenu* PopupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu);
    TSideBarItemClickEvent OnClick;

    QAction* Action() const;
    void setAction(QAction* action);
    TSideBarItemActionLink* actionLink() const { return actionLink_.get(); }

    TSideBarStore* store() const { return store_; }
    void setStore(TSideBarStore* store);

    // Takes the action's properties; with checkDefaults only where the item still has its
    // own default.
    void actionChange(QAction* action, bool checkDefaults);

    // Whether the form stream carries the property (not when the action supplies it).
    bool isCaptionStored() const;
    bool isEnabledStored() const;
    bool isHintStored() const;
    bool isLargeImageStored() const;

    // Streaming
    sidebar::Component* parentComponent() const override;
    void setParentComponent(sidebar::Component* parent) override;
    void writeProperties(sidebar::PropertyWriter& writer) const override;
    void readProperty(const QString& name, const sidebar::PropertyValue& value,
                      const sidebar::ReferenceResolver& resolve) override;
    void loaded() override;

private:
    friend class TSideBarStore;
    friend class TSideBarItemActionLink;

    void changed();
    void actionFreed();

    QString caption_;
    int category_ = 0;
    bool enabled_ = true;
    QString hint_;
    int largeImage_ = -1;
    int smallImage_ = -1;
    QPointer<QMenu> popupMenu_;
    std::unique_ptr<TSideBarItemActionLink> actionLink_;
    TSideBarStore* store_ = nullptr;
};

// Image index of an action, kept as its dynamic property "imageIndex" (-1 when unset).
int actionImageIndex(const QAction* action);
void setActionImageIndex(QAction* action, int index);

// Keeps an item in step with its action. A property counts as linked while the item's value
// equals the action's; only linked properties follow the action's changes.
class TSideBarItemActionLink : public QObject {
    Q_OBJECT
public:
    explicit TSideBarItemActionLink(TStoredSideItem* client);
    ~TSideBarItemActionLink() override;

    TStoredSideItem* client() const { return client_; }
    QAction* action() const { return action_; }
    void setAction(QAction* action);

    bool isCaptionLinked() const;
    bool isEnabledLinked() const;
    bool isHintLinked() const;
    bool isImageIndexLinked() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Seen {
        QString caption;
        bool enabled = true;
        QString hint;
        int imageIndex = -1;
        bool visible = true;
    };
    void remember();
    void actionChanged();

    TStoredSideItem* client_;
    QPointer<QAction> action_;
    QMetaObject::Connection changedConnection_;
    QMetaObject::Connection destroyedConnection_;
    // The action's values as last seen: while a change is being handed on they are the
    // values from before it, which is what "the item's value equals the action's" means.
    Seen seen_;
    bool enabledLinkedWhenHidden_ = false;
};
