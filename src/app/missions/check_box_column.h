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

// Shows the columns of the grid in the order of the field names given (the others after).
void orderGridColumns(TDBGrid* grid, const std::vector<std::string>& fieldNames);
