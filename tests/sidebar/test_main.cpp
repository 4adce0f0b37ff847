// Side-bar tests run inside an application object: cursors, menus and pixmaps need one.
#include "widgets/sidebar/component.h"
#include "widgets/sidebar/cursor_table.h"
#include "widgets/sidebar/side_bar_cursors.h"

#include <QApplication>
#include <QBitmap>
#include <gtest/gtest.h>

using namespace sidebar;

// main below has called registerSideBarStore().
TEST(StartUp, LoadsTheDragCursorsAndRegistersTheStreamedClassesUntilTheUnitEnds)
{
    const CursorTable& table = cursorTable();
    for (int id : {crSideBarDrag, crSideBarDragCopy, crSideBarDragDelete, crSideBarGroup}) {
        ASSERT_TRUE(table.contains(id)) << id;
        EXPECT_EQ(table.cursor(id).shape(), Qt::BitmapCursor);
        EXPECT_EQ(table.cursor(id).pixmap().size(), QSize(32, 32));
    }
    EXPECT_FALSE(table.contains(-1124));
    EXPECT_EQ(table.cursor(-1124).shape(), Qt::ArrowCursor);
    EXPECT_EQ(table.cursor(crSideBarDrag).hotSpot(), QPoint(0, 0));
    EXPECT_EQ(table.cursor(crSideBarGroup).hotSpot(), QPoint(15, 15));
    // The three drag cursors differ from one another.
    const QImage drag = table.cursor(crSideBarDrag).pixmap().toImage();
    EXPECT_NE(drag, table.cursor(crSideBarDragCopy).pixmap().toImage());
    EXPECT_NE(drag, table.cursor(crSideBarDragDelete).pixmap().toImage());

    EXPECT_TRUE(isComponentClassRegistered("TStoredSideItem"));  // and the store: read back in the stream tests
    EXPECT_FALSE(isComponentClassRegistered("TSideBar"));

    // The unit's end destroys the cursors; registering again loads them.
    const int before = cursorTable().count();
    registerSideBarStore();  // again: nothing new
    EXPECT_EQ(cursorTable().count(), before);
    unregisterSideBarStore();
    EXPECT_FALSE(cursorTable().contains(crSideBarDrag));
    EXPECT_EQ(cursorTable().count(), before - 4);
    registerSideBarStore();
    EXPECT_TRUE(cursorTable().contains(crSideBarGroup));
    QCursor unknown;
    EXPECT_FALSE(loadCursorResource("NoSuchCursor", unknown));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    registerSideBarStore();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
