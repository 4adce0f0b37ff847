#pragma once
// The program's table of cursors by number, as drag-and-drop code asks for them.
// Needs a QGuiApplication for anything it holds.

#include <QCursor>

#include <map>

namespace sidebar {

class CursorTable {
public:
    void set(int id, const QCursor& cursor) { cursors_[id] = cursor; }
    void remove(int id) { cursors_.erase(id); }
    bool contains(int id) const { return cursors_.count(id) != 0; }
    // The arrow for a number nobody registered.
    QCursor cursor(int id) const;
    int count() const { return int(cursors_.size()); }

private:
    std::map<int, QCursor> cursors_;
};

CursorTable& cursorTable();

}  // namespace sidebar
