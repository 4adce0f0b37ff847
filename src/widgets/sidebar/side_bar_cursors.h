#pragma once
// Start-up of the side-bar unit: registers the store and its items with the form stream
// and loads the drag cursors into the cursor table.

#include <QCursor>

namespace sidebar {

inline constexpr int crSideBarDrag = -1121;
inline constexpr int crSideBarDragCopy = -1122;
inline constexpr int crSideBarDragDelete = -1123;
inline constexpr int crSideBarGroup = -1125;

// Loads the cursor stored in the program's resources under `resourceName`; false when
// there is no such resource.
bool loadCursorResource(const char* resourceName, QCursor& cursor);

}  // namespace sidebar

// Called once by the program's start-up, after the QApplication exists. Further calls do
// nothing. The cursors are destroyed again when the application object goes.
void registerSideBarStore();
// The unit's end: the four cursors leave the table (also run by the application's end).
void unregisterSideBarStore();
