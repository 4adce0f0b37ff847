#include "widgets/sidebar/cursor_table.h"

namespace sidebar {

QCursor CursorTable::cursor(int id) const
{
    const auto it = cursors_.find(id);
    return it == cursors_.end() ? QCursor(Qt::ArrowCursor) : it->second;
}

CursorTable& cursorTable()
{
    static CursorTable table;
    return table;
}

}  // namespace sidebar
