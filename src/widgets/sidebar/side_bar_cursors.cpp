#include "widgets/sidebar/side_bar_cursors.h"

#include "widgets/sidebar/cursor_table.h"
#include "widgets/sidebar/side_bar_store.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>

#include <cstring>

namespace sidebar {

namespace {

// The cursor pictures of the program's resources (32 x 32, None is transparent).
const char* const kDragXpm[] = {
    "32 32 3 1",
    ". c None",
    "# c #000000",
    "o c #FFFFFF",
    "#...............................",
    "##..............................",
    "#o#.............................",
    "#oo#............................",
    "#ooo#...........................",
    "#oooo#..........................",
    "#ooooo#.........................",
    "#oooooo#........................",
    "#ooooooo#.......................",
    "#oooooooo#......................",
    "#ooooo#####.....................",
    "#oo#oo#.........................",
    "#o#.#oo#........................",
    "##..#oo#........................",
    "#....#oo#.......................",
    ".....#oo#.......................",
    "......##........................",
    "................................",
    "..........#.#.#.#.#.#.#.##......",
    "................................",
    "..........#..............#......",
    "................................",
    "..........#..............#......",
    "................................",
    "..........#..............#......",
    "................................",
    "..........#..............#......",
    "..........#.#.#.#.#.#.#.#.......",
    "................................",
    "................................",
    "................................",
    "................................",
};

const char* const kDragCopyXpm[] = {
    "32 32 3 1",
    ". c None",
    "# c #000000",
    "o c #FFFFFF",
    "#...............................",
    "##..............................",
    "#o#.............................",
    "#oo#............................",
    "#ooo#...........................",
    "#oooo#..........................",
    "#ooooo#.........................",
    "#oooooo#........................",
    "#ooooooo#.......................",
    "#oooooooo#......................",
    "#ooooo#####.....................",
    "#oo#oo#.........................",
    "#o#.#oo#........................",
    "##..#oo#........................",
    "#....#oo#.......................",
    ".....#oo#.......................",
    "......##........................",
    "................................",
    "..........#.#.#.#.#.#.#.##......",
    "................................",
    "..........#.........###########.",
    "....................#ooooooooo#.",
    "..........#.........#oooo#oooo#.",
    "....................#oooo#oooo#.",
    "..........#.........#oooo#oooo#.",
    "....................#o#######o#.",
    "..........#.........#oooo#oooo#.",
    "..........#.#.#.#.#.#oooo#oooo#.",
    "....................#oooo#oooo#.",
    "....................#ooooooooo#.",
    "....................###########.",
    "................................",
};

const char* const kDragDeleteXpm[] = {
    "32 32 3 1",
    ". c None",
    "# c #000000",
    "o c #FFFFFF",
    "#...............................",
    "##..............................",
    "#o#.............................",
    "#oo#............................",
    "#ooo#...........................",
    "#oooo#..........................",
    "#ooooo#.........................",
    "#oooooo#........................",
    "#ooooooo#.......................",
    "#oooooooo#......................",
    "#ooooo#####.....................",
    "#oo#oo#.........................",
    "#o#.#oo#........................",
    "##..#oo#........................",
    "#....#oo#.......................",
    ".....#oo#.......................",
    "......##........................",
    "................................",
    "..........#.#.#.#.#.#.#.##......",
    "................................",
    "..........#.........###########.",
    "....................#ooooooooo#.",
    "..........#.........#o#ooooo#o#.",
    "....................#oo#ooo#oo#.",
    "..........#.........#ooo#o#ooo#.",
    "....................#oooo#oooo#.",
    "..........#.........#ooo#o#ooo#.",
    "..........#.#.#.#.#.#oo#ooo#oo#.",
    "....................#o#ooooo#o#.",
    "....................#ooooooooo#.",
    "....................###########.",
    "................................",
};

const char* const kGroupXpm[] = {
    "32 32 3 1",
    ". c None",
    "# c #000000",
    "o c #FFFFFF",
    "................................",
    "................................",
    "...............##...............",
    "..............####..............",
    ".............######.............",
    "............########............",
    "...........##########...........",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "....########################....",
    "....#oooooooooooooooooooooo#....",
    "....#oooooooooooooooooooooo#....",
    "....#oooooooooooooooooooooo#....",
    "....#oooooooooooooooooooooo#....",
    "....########################....",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...............##...............",
    "...........##########...........",
    "............########............",
    ".............######.............",
    "..............####..............",
    "...............##...............",
    "................................",
    "................................",
};

struct CursorResource {
    const char* name;
    const char* const* xpm;
    int hotX;
    int hotY;
};

constexpr CursorResource kCursorResources[] = {
    {"SideBarDragCursor", kDragXpm, 0, 0},
    {"SideBarDragCopyCursor", kDragCopyXpm, 0, 0},
    {"SideBarDragDeleteCursor", kDragDeleteXpm, 0, 0},
    {"SIDEBARGROUPCURSOR", kGroupXpm, 15, 15},
};

struct CursorSlot {
    const char* resource;
    int id;
};

constexpr CursorSlot kCursorSlots[] = {
    {"SideBarDragCursor", crSideBarDrag},
    {"SideBarDragCopyCursor", crSideBarDragCopy},
    {"SideBarDragDeleteCursor", crSideBarDragDelete},
    {"SIDEBARGROUPCURSOR", crSideBarGroup},
};

bool registered = false;

void unitEnd() { unregisterSideBarStore(); }

}  // namespace

bool loadCursorResource(const char* resourceName, QCursor& cursor)
{
    for (const CursorResource& r : kCursorResources) {
        if (std::strcmp(r.name, resourceName) != 0)
            continue;
        const QPixmap picture(r.xpm);
        if (picture.isNull())
            return false;
        cursor = QCursor(picture, r.hotX, r.hotY);
        return true;
    }
    return false;
}

}  // namespace sidebar

void registerSideBarStore()
{
    using namespace sidebar;
    registerComponentClass(QStringLiteral("TSideBarStore"),
                           [](QObject* owner) { return new TSideBarStore(owner, Creation::FromStream); });
    registerComponentClass(QStringLiteral("TStoredSideItem"),
                           [](QObject* owner) { return new TStoredSideItem(owner, Creation::FromStream); });
    if (registered || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    for (const CursorSlot& slot : kCursorSlots) {
        QCursor cursor;
        if (loadCursorResource(slot.resource, cursor))
            cursorTable().set(slot.id, cursor);
    }
    registered = true;
    qAddPostRoutine(unitEnd);
}

void unregisterSideBarStore()
{
    using namespace sidebar;
    for (const CursorSlot& slot : kCursorSlots)
        cursorTable().remove(slot.id);
    registered = false;
}
