#pragma once
// A side-bar control as the store sees it, an editor that keeps a log the test can read after
// the store has freed it, and short ways to make and read items.

#include "widgets/sidebar/side_bar_store.h"

#include <memory>
#include <vector>

namespace sidebar::test {

class FakeSideBar : public SideBarControl {
public:
    std::vector<SideBarGroup> groupList;
    bool destroying = false;
    bool window = true;
    int layouts = 0;
    int repaints = 0;
    TSideBarStore* freedStore = nullptr;

    std::vector<SideBarGroup>& groups() override { return groupList; }
    bool isDestroying() const override { return destroying; }
    bool hasWindow() const override { return window; }
    void recomputeLayout() override { ++layouts; }
    void repaint() override { ++repaints; }
    void storeFreed(TSideBarStore* store) override { freedStore = store; }
};

struct EditorLog {
    std::vector<TStoredSideItem*> changedItems;
    int refreshes = 0;
    bool freed = false;
};

class LoggingEditor : public StoreEditor {
public:
    explicit LoggingEditor(std::shared_ptr<EditorLog> log) : log_(std::move(log)) {}
    ~LoggingEditor() override { log_->freed = true; }
    void itemChanged(TStoredSideItem* item) override { log_->changedItems.push_back(item); }
    void refresh() override { ++log_->refreshes; }

private:
    std::shared_ptr<EditorLog> log_;
};

inline std::shared_ptr<EditorLog> logEditor(TSideBarStore& store)
{
    auto log = std::make_shared<EditorLog>();
    store.setEditor(std::make_unique<LoggingEditor>(log));
    return log;
}

inline TStoredSideItem* addItem(TSideBarStore& store, QObject* owner, int category, const QString& name = {})
{
    auto* item = new TStoredSideItem(owner);
    item->setObjectName(name);
    item->setStore(&store);
    item->setCategory(category);
    return item;
}

// Caption|hint|enabled|large image|small image, to compare in one line.
inline std::string props(const TStoredSideItem* item)
{
    return QString("%1|%2|%3|%4|%5")
        .arg(item->Caption(), item->Hint())
        .arg(int(item->Enabled()))
        .arg(item->LargeImage())
        .arg(item->SmallImage())
        .toStdString();
}

// The name of the category each item of the store points at, in item order.
inline QStringList categoryNamesOfItems(const TSideBarStore& store)
{
    QStringList names;
    for (int i = 0; i < store.itemCount(); ++i)
        names.append(store.Categories().Strings(store.item(i)->Category()));
    return names;
}

}  // namespace sidebar::test
