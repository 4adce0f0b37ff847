#pragma once
// Boolean grid cells drawn as check boxes (the "Selected" and "Holiday" columns).
#include <QStyledItemDelegate>

#include <string>
#include <vector>

class TDBGrid;

class CheckBoxColumnDelegate : public QStyledItemDelegate {
public:
    explicit CheckBoxColumnDelegate(TDBGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TDBGrid* grid_;
};

class TDbDataSource;
class TMemoryDataSet;
// Makes only the named fields visible and has the grids on the source rebuild their columns
// (an AfterOpen handler: the grid has built its columns before it runs).
void showOnlyFields(TDbDataSource& source, const std::vector<std::string>& fieldNames);

// Shows the columns of the grid in the order of the field names given (the others after).
void orderGridColumns(TDBGrid* grid, const std::vector<std::string>& fieldNames);

// Flips the boolean field of the current row and posts it (nothing on an empty set); on an
// error the edit is cancelled and the message shown.
void toggleBooleanField(TMemoryDataSet& ds, const std::string& fieldName);
