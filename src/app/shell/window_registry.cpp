#include "app/shell/window_registry.h"

#include <map>
#include <stdexcept>

namespace {
std::map<QString, ChildWindowFactory>& registry()
{
    static std::map<QString, ChildWindowFactory> r;
    return r;
}
} // namespace

const std::vector<KeyWindowItem>& keyWindowItems()
{
    static const std::vector<KeyWindowItem> items {
        { QStringLiteral("Read Key"), 1, ChildOpening::Maximised },
        { QStringLiteral("Remote Code"), 1, ChildOpening::ByScreenMode },
        { QStringLiteral("Multi-Lock Programming"), 1, ChildOpening::ByScreenMode },
        { QStringLiteral("Copy Lock Settings"), 1, ChildOpening::ByScreenMode },
        { QStringLiteral("Get Audit Trail"), 2, ChildOpening::ByScreenMode },
    };
    return items;
}

const KeyWindowItem* findKeyWindowItem(const QString& caption)
{
    for (const auto& item : keyWindowItems())
        if (item.caption == caption)
            return &item;
    return nullptr;
}

void registerChildWindow(const QString& caption, ChildWindowFactory create)
{
    if (!findKeyWindowItem(caption))
        throw std::invalid_argument("No menu item \"" + caption.toStdString() + "\"");
    if (!create)
        throw std::invalid_argument("No window factory for \"" + caption.toStdString() + "\"");
    registry()[caption] = std::move(create);
}

const ChildWindowFactory* findChildWindowFactory(const QString& caption)
{
    auto it = registry().find(caption);
    return it == registry().end() ? nullptr : &it->second;
}

void clearChildWindowRegistry() { registry().clear(); }
