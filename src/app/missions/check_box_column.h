#pragma once
// Boolean grid cells drawn as check boxes (the "Selected" and "Holiday" columns).
#include <QStyledItemDelegate>

class TDBGrid;

class CheckBoxColumnDelegate : public QStyledItemDelegate {
public:
    explicit CheckBoxColumnDelegate(TDBGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TDBGrid* grid_;
};

class TDbDataSource;
// Makes only the named fields visible and has the grids on the source rebuild their columns
// (an AfterOpen handler: the grid has built its columns before it runs).
void showOnlyFields(TDbDataSource& source, const std::vector<std::string>& fieldNames);

// Shows the columns of the grid in the order of the field names given (the others after).
void orderGridColumns(TDBGrid* grid, const std::vector<std::string>& fieldNames);
