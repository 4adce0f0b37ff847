#pragma once
// The windows the main window's menu items and tool buttons open. The items, their levels
// and how each window is shown are fixed here; each window library registers its factory
// under its item's caption, and the main window enables the items whose window exists.
#include <QString>
#include <functional>
#include <vector>

class QWidget;

enum class ChildOpening {
    Maximised,    // always through OpenMaximised
    ByScreenMode, // OpenMaximised in screen mode 0, else a normal MDI child of the main window
};

struct KeyWindowItem {
    QString caption;
    int lowestLevel; // 1 Operator, 2 Administrator
    ChildOpening opening;
};

using ChildWindowFactory = std::function<QWidget*()>; // a new, parentless window

// The menu items that open key windows, in menu order.
const std::vector<KeyWindowItem>& keyWindowItems();
const KeyWindowItem* findKeyWindowItem(const QString& caption);

// Registers (or replaces) the factory of one item. Unknown captions are refused with
// std::invalid_argument, so a typo cannot register a window no item opens.
void registerChildWindow(const QString& caption, ChildWindowFactory create);
const ChildWindowFactory* findChildWindowFactory(const QString& caption);
void clearChildWindowRegistry(); // tests
