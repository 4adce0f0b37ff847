#include "widgets/sidebar/side_bar_store.h"

#include "widgets/sidebar/side_bar_texts.h"

#include <QDynamicPropertyChangeEvent>

#include <algorithm>

using namespace sidebar;

// ---------------------------------------------------------------------------------------------
// ESideBarError

ESideBarError::ESideBarError() : std::runtime_error(texts::sCantDeleteGroup) {}

ESideBarError::ESideBarError(const QString& message) : std::runtime_error(message.toStdString()) {}

// ---------------------------------------------------------------------------------------------
// TStoredSideBarItemsStoreStrings

TStoredSideBarItemsStoreStrings::TStoredSideBarItemsStoreStrings(TSideBarStore* store) : store_(store) {}

bool TStoredSideBarItemsStoreStrings::loading() const { return store_->isLoading(); }

void TStoredSideBarItemsStoreStrings::changed()
{
    if (!store_->isDestroying())
        store_->refreshEditor();
}

QString TStoredSideBarItemsStoreStrings::Strings(int index) const
{
    return validIndex(index) ? names_[index] : QString();
}

void TStoredSideBarItemsStoreStrings::SetString(int index, const QString& name)
{
    if (!validIndex(index) || names_[index] == name)
        return;
    names_[index] = name;
    changed();
}

int TStoredSideBarItemsStoreStrings::Add(const QString& name)
{
    names_.append(name);
    changed();
    return Count() - 1;
}

void TStoredSideBarItemsStoreStrings::Clear()
{
    if (store_->itemCount() > 0 && !loading())
        throw ESideBarError();
    names_.clear();
    if (!loading())
        names_.append(texts::sDefaultCategory);
    changed();
}

void TStoredSideBarItemsStoreStrings::Delete(int index)
{
    if (!validIndex(index))
        return;
    if (store_->itemsIn(index) > 0)
        throw ESideBarError();
    store_->remapCategories([index](int c) { return c > index ? c - 1 : c; });
    names_.removeAt(index);
    if (names_.isEmpty())
        names_.append(texts::sDefaultCategory);
    changed();
}

void TStoredSideBarItemsStoreStrings::Insert(int index, const QString& name)
{
    if (index < 0 || index > Count())
        return;
    store_->remapCategories([index](int c) { return c >= index ? c + 1 : c; });
    names_.insert(index, name);
    changed();
}

void TStoredSideBarItemsStoreStrings::Exchange(int index1, int index2)
{
    if (!validIndex(index1) || !validIndex(index2) || index1 == index2)
        return;
    store_->remapCategories([index1, index2](int c) {
        return c == index1 ? index2 : c == index2 ? index1 : c;
    });
    names_.swapItemsAt(index1, index2);
    changed();
}

void TStoredSideBarItemsStoreStrings::Move(int curIndex, int newIndex)
{
    if (!validIndex(curIndex) || !validIndex(newIndex) || curIndex == newIndex)
        return;
    store_->remapCategories([curIndex, newIndex](int c) {
        if (c == curIndex)
            return newIndex;
        if (curIndex < newIndex && c > curIndex && c <= newIndex)
            return c - 1;
        if (newIndex < curIndex && c >= newIndex && c < curIndex)
            return c + 1;
        return c;
    });
    names_.move(curIndex, newIndex);
    changed();
}

void TStoredSideBarItemsStoreStrings::Assign(const QStringList& source)
{
    if (source.isEmpty()) {
        Clear();
        return;
    }
    const int wanted = int(source.size());
    if (wanted < Count()) {
        if (store_->anyItemBeyond(wanted))
            throw ESideBarError();
        while (Count() > wanted)
            names_.removeLast();
    }
    while (Count() < wanted)
        names_.append(source[Count()]);
    for (int i = 0; i < wanted; ++i)
        names_[i] = source[i];
    changed();
}

// ---------------------------------------------------------------------------------------------
// TSideBarStore

TSideBarStore::TSideBarStore(QObject* owner, Creation creation)
    : Component(owner, creation),
      categories_(this),
      largeChangeLink_(std::make_unique<ChangeLink>([this] { updateSideBars(); })),
      smallChangeLink_(std::make_unique<ChangeLink>([this] { updateSideBars(); }))
{
    if (!isLoading())
        categories_.Add(texts::sDefaultCategory);
}

TSideBarStore::~TSideBarStore()
{
    beginDestroying();
    largeChangeLink_.reset();
    smallChangeLink_.reset();
    editor_.reset();
    while (!items_.empty()) {
        TStoredSideItem* last = items_.back();
        removeItem(last);
        delete last;
    }
    const std::vector<SideBarControl*> bars = std::move(sideBars_);
    sideBars_.clear();
    for (SideBarControl* bar : bars)
        bar->storeFreed(this);
}

TStoredSideItem* TSideBarStore::item(int index) const
{
    if (index < 0 || index >= itemCount())
        return nullptr;
    return items_[size_t(index)];
}

int TSideBarStore::indexOfItem(const TStoredSideItem* item) const
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

int TSideBarStore::itemsIn(int category) const
{
    return int(std::count_if(items_.begin(), items_.end(),
                             [category](const TStoredSideItem* i) { return i->category_ == category; }));
}

bool TSideBarStore::anyItemBeyond(int count) const
{
    return std::any_of(items_.begin(), items_.end(),
                       [count](const TStoredSideItem* i) { return i->category_ >= count; });
}

void TSideBarStore::remapCategories(const std::function<int(int)>& map)
{
    const int count = categories_.Count();
    for (TStoredSideItem* i : items_)
        if (i->category_ >= 0 && i->category_ < count)
            i->category_ = map(i->category_);
}

int TSideBarStore::itemCountInCategory(const QString& category) const
{
    const int index = categories_.IndexOf(category);
    return index < 0 ? 0 : itemsIn(index);
}

void TSideBarStore::itemsInCategory(const QString& category, QList<TStoredSideItem*>& list) const
{
    list.clear();
    const int index = categories_.IndexOf(category);
    if (index < 0)
        return;
    for (TStoredSideItem* i : items_)
        if (i->category_ == index)
            list.append(i);
}

void TSideBarStore::addItem(TStoredSideItem* item)
{
    if (!item || item->store_ == this)
        return;
    if (item->store_)
        item->store_->removeItem(item);
    items_.push_back(item);
    item->store_ = this;
}

void TSideBarStore::removeItem(TStoredSideItem* item)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    // A side bar must not keep entries pointing at an item that left its store.
    for (SideBarControl* bar : sideBars_) {
        if (bar->isDestroying())
            continue;
        for (SideBarGroup& group : bar->groups())
            std::erase_if(group.entries, [item](const SideBarEntry& e) { return e.item == item; });
    }
    items_.erase(it);
    item->store_ = nullptr;
    if (!isDestroying())
        updateSideBars();
}

SideBarControl* TSideBarStore::sideBar(int index) const
{
    if (index < 0 || index >= sideBarCount())
        return nullptr;
    return sideBars_[size_t(index)];
}

void TSideBarStore::attachSideBar(SideBarControl* sideBar)
{
    if (sideBar && std::find(sideBars_.begin(), sideBars_.end(), sideBar) == sideBars_.end())
        sideBars_.push_back(sideBar);
}

void TSideBarStore::detachSideBar(SideBarControl* sideBar)
{
    std::erase(sideBars_, sideBar);
}

void TSideBarStore::setImageList(ImageList*& field, ChangeLink& link, ImageList* list)
{
    if (field == list)
        return;
    ImageList* old = field;
    ImageList* other = (&field == &largeImages_) ? smallImages_ : largeImages_;
    if (old) {
        if (!old->isDestroying())
            old->unRegisterChanges(&link);
        if (old != other)
            disconnect(old, &ImageList::aboutToBeFreed, this, &TSideBarStore::imageListFreed);
    }
    field = list;
    if (list) {
        list->registerChanges(&link);
        connect(list, &ImageList::aboutToBeFreed, this, &TSideBarStore::imageListFreed, Qt::UniqueConnection);
    }
    if (!isDestroying()) {
        updateSideBars();
        refreshEditor();
    }
}

void TSideBarStore::setLargeImages(ImageList* list)
{
    if (largeChangeLink_)
        setImageList(largeImages_, *largeChangeLink_, list);
}

void TSideBarStore::setSmallImages(ImageList* list)
{
    if (smallChangeLink_)
        setImageList(smallImages_, *smallChangeLink_, list);
}

void TSideBarStore::imageListFreed(ImageList* list)
{
    if (list == largeImages_)
        setLargeImages(nullptr);
    if (list == smallImages_)
        setSmallImages(nullptr);
}

void TSideBarStore::setDefaultLargeImage(int index)
{
    if (index < -1 || index == defaultLargeImage_)
        return;
    defaultLargeImage_ = index;
    updateSideBars();
}

void TSideBarStore::setDefaultSmallImage(int index)
{
    if (index < -1 || index == defaultSmallImage_)
        return;
    defaultSmallImage_ = index;
    updateSideBars();
}

void TSideBarStore::setName(const QString& name)
{
    const QString oldName = objectName();
    if (oldName == name)
        return;
    setObjectName(name);
    if (isDesigning() && !oldName.isEmpty()) {
        for (TStoredSideItem* i : items_)
            if (i->owner() == owner() && i->objectName().startsWith(oldName))
                i->setObjectName(name + i->objectName().mid(oldName.size()));
        refreshEditor();
    }
}

void TSideBarStore::setEditor(std::unique_ptr<StoreEditor> editor) { editor_ = std::move(editor); }

void TSideBarStore::refreshEditor()
{
    if (editor_)
        editor_->refresh();
}

void TSideBarStore::itemChanged(TStoredSideItem* item)
{
    updateSideBars();
    if (editor_)
        editor_->itemChanged(item);
}

void TSideBarStore::updateSideBars()
{
    if (isDestroying())
        return;
    const std::vector<SideBarControl*> bars = sideBars_;
    for (SideBarControl* bar : bars) {
        if (bar->isDestroying() || !bar->hasWindow())
            continue;
        bar->recomputeLayout();
        bar->repaint();
    }
}

void TSideBarStore::writeProperties(PropertyWriter& writer) const
{
    writer.writeProperty(QStringLiteral("Categories"), categories_.toStringList());
    if (defaultLargeImage_ != -1)
        writer.writeProperty(QStringLiteral("DefaultLargeImage"), qint32(defaultLargeImage_));
    if (defaultSmallImage_ != -1)
        writer.writeProperty(QStringLiteral("DefaultSmallImage"), qint32(defaultSmallImage_));
    if (largeImages_ && !largeImages_->objectName().isEmpty())
        writer.writeProperty(QStringLiteral("LargeImages"), ObjectReference{largeImages_->objectName()});
    if (smallImages_ && !smallImages_->objectName().isEmpty())
        writer.writeProperty(QStringLiteral("SmallImages"), ObjectReference{smallImages_->objectName()});
}

void TSideBarStore::readProperty(const QString& name, const PropertyValue& value, const ReferenceResolver& resolve)
{
    if (name == QLatin1String("Categories"))
        categories_.Assign(stringListValue(name, value));
    else if (name == QLatin1String("DefaultLargeImage"))
        setDefaultLargeImage(intValue(name, value));
    else if (name == QLatin1String("DefaultSmallImage"))
        setDefaultSmallImage(intValue(name, value));
    else if (name == QLatin1String("LargeImages"))
        setLargeImages(resolveReference<ImageList>(name, value, resolve));
    else if (name == QLatin1String("SmallImages"))
        setSmallImages(resolveReference<ImageList>(name, value, resolve));
    else
        throw StreamError("Property " + name.toStdString() + " does not exist in TSideBarStore");
}

QList<Component*> TSideBarStore::streamChildren(const QObject* root) const
{
    QList<Component*> children;
    for (TStoredSideItem* i : items_)
        if (i->owner() == root)
            children.append(i);
    return children;
}

void TSideBarStore::loaded()
{
    Component::loaded();
    // A form that stored no category at all still gets the one every store has.
    if (categories_.Count() == 0)
        categories_.Add(texts::sDefaultCategory);
    updateSideBars();
}

// ---------------------------------------------------------------------------------------------
// TStoredSideItem

TStoredSideItem::TStoredSideItem(QObject* owner, Creation creation)
    : Component(owner, creation), caption_(texts::sNewItemCaption)
{
}

TStoredSideItem::~TStoredSideItem()
{
    beginDestroying();
    if (store_)
        store_->removeItem(this);
    actionLink_.reset();
}

void TStoredSideItem::changed()
{
    if (store_)
        store_->itemChanged(this);
}

void TStoredSideItem::setCaption(const QString& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    changed();
}

void TStoredSideItem::setCategory(int category)
{
    if (isLoading()) {
        category_ = category;
        return;
    }
    if (!store_ || category < 0 || category >= store_->Categories().Count())
        return;
    category_ = category;
    if (store_->editor())
        store_->editor()->itemChanged(this);
}

void TStoredSideItem::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    changed();
}

void TStoredSideItem::setHint(const QString& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    changed();
}

void TStoredSideItem::setLargeImage(int index)
{
    if (index == largeImage_)
        return;
    largeImage_ = index;
    changed();
}

void TStoredSideItem::setSmallImage(int index)
{
    if (index == smallImage_)
        return;
    smallImage_ = index;
    changed();
}

void TStoredSideItem::setPopupMenu(QMenu* menu) { popupMenu_ = menu; }

QAction* TStoredSideItem::Action() const { return actionLink_ ? actionLink_->action() : nullptr; }

void TStoredSideItem::setAction(QAction* action)
{
    if (!action) {
        actionLink_.reset();
        return;
    }
    if (!actionLink_)
        actionLink_ = std::make_unique<TSideBarItemActionLink>(this);
    actionLink_->setAction(action);
    // An action named in a form being read belongs to that read: its defaults are checked
    // once the whole form is in (loaded()).
    actionChange(action, isLoading());
}

void TStoredSideItem::actionFreed() { actionLink_.reset(); }

void TStoredSideItem::actionChange(QAction* action, bool checkDefaults)
{
    if (!action)
        return;
    if (!checkDefaults || caption_.isEmpty() || caption_ == QLatin1String(texts::sNewItemCaption))
        setCaption(action->text());
    if (!checkDefaults || enabled_)
        setEnabled(action->isEnabled());
    if (!checkDefaults || hint_.isEmpty())
        setHint(action->statusTip());
    if (!checkDefaults || largeImage_ == -1)
        setLargeImage(actionImageIndex(action));
}

void TStoredSideItem::setStore(TSideBarStore* store)
{
    if (store == store_)
        return;
    if (store_)
        store_->removeItem(this);
    if (store) {
        store->addItem(this);
        if (!isLoading())
            setCategory(0);
    }
}

namespace {
// The stream can only carry an action it can name; an unnamed one supplies nothing.
bool linkSupplies(const TStoredSideItem& item, bool (TSideBarItemActionLink::*linked)() const)
{
    const TSideBarItemActionLink* link = item.actionLink();
    return link && link->action() && !link->action()->objectName().isEmpty() && (link->*linked)();
}
}  // namespace

bool TStoredSideItem::isCaptionStored() const { return !linkSupplies(*this, &TSideBarItemActionLink::isCaptionLinked); }
bool TStoredSideItem::isEnabledStored() const { return !linkSupplies(*this, &TSideBarItemActionLink::isEnabledLinked); }
bool TStoredSideItem::isHintStored() const { return !linkSupplies(*this, &TSideBarItemActionLink::isHintLinked); }
bool TStoredSideItem::isLargeImageStored() const
{
    return !linkSupplies(*this, &TSideBarItemActionLink::isImageIndexLinked);
}

Component* TStoredSideItem::parentComponent() const { return store_; }

void TStoredSideItem::setParentComponent(Component* parent)
{
    if (auto* store = qobject_cast<TSideBarStore*>(parent))
        setStore(store);
}

void TStoredSideItem::writeProperties(PropertyWriter& writer) const
{
    if (isCaptionStored())
        writer.writeProperty(QStringLiteral("Caption"), caption_);
    writer.writeProperty(QStringLiteral("Category"), qint32(category_));
    if (isEnabledStored() && !enabled_)
        writer.writeProperty(QStringLiteral("Enabled"), false);
    if (isHintStored() && !hint_.isEmpty())
        writer.writeProperty(QStringLiteral("Hint"), hint_);
    if (isLargeImageStored() && largeImage_ != -1)
        writer.writeProperty(QStringLiteral("LargeImage"), qint32(largeImage_));
    if (smallImage_ != -1)
        writer.writeProperty(QStringLiteral("SmallImage"), qint32(smallImage_));
    if (popupMenu_ && !popupMenu_->objectName().isEmpty())
        writer.writeProperty(QStringLiteral("PopupMenu"), ObjectReference{popupMenu_->objectName()});
    if (QAction* action = Action(); action && !action->objectName().isEmpty())
        writer.writeProperty(QStringLiteral("Action"), ObjectReference{action->objectName()});
}

void TStoredSideItem::readProperty(const QString& name, const PropertyValue& value, const ReferenceResolver& resolve)
{
    if (name == QLatin1String("Caption"))
        setCaption(stringValue(name, value));
    else if (name == QLatin1String("Category"))
        setCategory(intValue(name, value));
    else if (name == QLatin1String("Enabled"))
        setEnabled(boolValue(name, value));
    else if (name == QLatin1String("Hint"))
        setHint(stringValue(name, value));
    else if (name == QLatin1String("LargeImage"))
        setLargeImage(intValue(name, value));
    else if (name == QLatin1String("SmallImage"))
        setSmallImage(intValue(name, value));
    else if (name == QLatin1String("PopupMenu"))
        setPopupMenu(resolveReference<QMenu>(name, value, resolve));
    else if (name == QLatin1String("Action"))
        setAction(resolveReference<QAction>(name, value, resolve));
    else
        throw StreamError("Property " + name.toStdString() + " does not exist in TStoredSideItem");
}

void TStoredSideItem::loaded()
{
    Component::loaded();
    // Categories are taken unchecked while reading; an index the store has no name for
    // would leave the item in no group at all.
    if (store_ && (category_ < 0 || category_ >= store_->Categories().Count()))
        throw StreamError("Item " + objectName().toStdString() + " has a category index out of range");
    if (QAction* action = Action())
        actionChange(action, true);
}

// ---------------------------------------------------------------------------------------------
// TSideBarItemActionLink

int actionImageIndex(const QAction* action)
{
    if (!action)
        return -1;
    bool ok = false;
    const int index = action->property("imageIndex").toInt(&ok);
    return ok ? index : -1;
}

void setActionImageIndex(QAction* action, int index)
{
    if (action)
        action->setProperty("imageIndex", index);
}

TSideBarItemActionLink::TSideBarItemActionLink(TStoredSideItem* client) : client_(client) {}

TSideBarItemActionLink::~TSideBarItemActionLink() { setAction(nullptr); }

void TSideBarItemActionLink::setAction(QAction* action)
{
    if (action == action_) {
        remember();
        return;
    }
    if (action_)
        action_->removeEventFilter(this);
    disconnect(changedConnection_);
    disconnect(destroyedConnection_);
    action_ = action;
    if (!action)
        return;
    changedConnection_ = connect(action, &QAction::changed, this, &TSideBarItemActionLink::actionChanged);
    TStoredSideItem* item = client_;
    destroyedConnection_ = connect(action, &QObject::destroyed, item, [item] { item->actionFreed(); });
    action->installEventFilter(this);
    remember();
}

void TSideBarItemActionLink::remember()
{
    if (!action_)
        return;
    seen_ = {action_->text(), action_->isEnabled(), action_->statusTip(), actionImageIndex(action_),
             action_->isVisible()};
}

bool TSideBarItemActionLink::isCaptionLinked() const { return action_ && client_->Caption() == seen_.caption; }
bool TSideBarItemActionLink::isEnabledLinked() const { return action_ && client_->Enabled() == seen_.enabled; }
bool TSideBarItemActionLink::isHintLinked() const { return action_ && client_->Hint() == seen_.hint; }
bool TSideBarItemActionLink::isImageIndexLinked() const
{
    return action_ && client_->LargeImage() == seen_.imageIndex;
}

bool TSideBarItemActionLink::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == action_ && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "imageIndex")
        actionChanged();
    return false;
}

void TSideBarItemActionLink::actionChanged()
{
    QAction* action = action_;
    if (!action)
        return;
    const Seen now{action->text(), action->isEnabled(), action->statusTip(), actionImageIndex(action),
                   action->isVisible()};
    if (now.visible != seen_.visible) {
        // Hiding an action also disables it; remember whether the item was following its
        // enabled state so that showing it again brings the item back.
        if (!now.visible) {
            enabledLinkedWhenHidden_ = isEnabledLinked();
            client_->setEnabled(false);
        } else {
            client_->setEnabled(enabledLinkedWhenHidden_ && action->isEnabled());
            enabledLinkedWhenHidden_ = false;
        }
    } else if (now.visible && now.enabled != seen_.enabled && isEnabledLinked()) {
        client_->setEnabled(now.enabled);
    }
    if (now.caption != seen_.caption && isCaptionLinked())
        client_->setCaption(now.caption);
    if (now.hint != seen_.hint && isHintLinked())
        client_->setHint(now.hint);
    if (now.imageIndex != seen_.imageIndex && isImageIndexLinked())
        client_->setLargeImage(now.imageIndex);
    seen_ = now;
}
