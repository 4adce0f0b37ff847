#pragma once
// What the store needs of a side-bar control that attaches to it: its groups with their item
// entries, whether it is being destroyed, whether its window exists, a layout recomputation
// and a repaint. The control itself lives elsewhere.

#include <QString>

#include <vector>

class TSideBarStore;
class TStoredSideItem;

namespace sidebar {

struct SideBarEntry {
    TStoredSideItem* item = nullptr;
};

struct SideBarGroup {
    QString caption;
    bool visible = true;
    int firstDisplayed = 0;  // index of the first entry shown (scroll position)
    std::vector<SideBarEntry> entries;
};

class SideBarControl {
public:
    virtual ~SideBarControl() = default;

    virtual std::vector<SideBarGroup>& groups() = 0;
    virtual bool isDestroying() const = 0;
    virtual bool hasWindow() const = 0;
    virtual void recomputeLayout() = 0;
    virtual void repaint() = 0;
    // The store is going away; a control drops its pointer to it.
    virtual void storeFreed(TSideBarStore* store) {}
};

// A design-time editor of a store; the store owns it once it is set.
class StoreEditor {
public:
    virtual ~StoreEditor() = default;
    virtual void itemChanged(TStoredSideItem* item) = 0;
    virtual void refresh() = 0;
};

}  // namespace sidebar
