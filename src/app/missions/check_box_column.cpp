#include "app/missions/check_box_column.h"

#include "app/shell/db_grid.h"
#include "app/shell/window_routines.h"
#include "dataaccess/dataaccess.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>

#include <algorithm>

CheckBoxColumnDelegate::CheckBoxColumnDelegate(TDBGrid* grid)
    : QStyledItemDelegate(grid)
    , grid_(grid)
{
}

void CheckBoxColumnDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    TDbGridModel* model = grid_->gridModel();
    TDbField* field = model ? model->fieldAt(index.column()) : nullptr;
    TMemoryDataSet* ds = model ? model->dataSet() : nullptr;
    if (!field || !ds || field->DataType() != ftBoolean) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->fillRect(option.rect, option.palette.brush(QPalette::Base));
    QStyleOptionButton box;
    box.rect = option.rect;
    box.state = QStyle::State_Enabled | (ds->CellValue(index.row(), field->Index()).toBool() ? QStyle::State_On : QStyle::State_Off);
    QStyle* style = grid_->style() ? grid_->style() : QApplication::style();
    const QRect indicator = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, grid_);
    box.rect = QRect(option.rect.center() - QPoint(indicator.width() / 2, indicator.height() / 2), indicator.size());
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, grid_);
}

void orderGridColumns(TDBGrid* grid, const std::vector<std::string>& fieldNames)
{
    TDbGridModel* model = grid->gridModel();
    if (!model)
        return;
    QHeaderView* header = grid->horizontalHeader();
    int visual = 0;
    for (const auto& name : fieldNames) {
        const int logical = model->columnOf(name);
        if (logical < 0)
            continue;
        header->moveSection(header->visualIndex(logical), visual++);
    }
}

void showOnlyFields(TDbDataSource& source, const std::vector<std::string>& fieldNames)
{
    TMemoryDataSet* ds = source.DataSet();
    if (!ds)
        return;
    for (int i = 0; i < ds->FieldCount(); ++i)
        ds->Fields[i].Visible
            = std::find(fieldNames.begin(), fieldNames.end(), ds->Fields[i].FieldName()) != fieldNames.end();
    source.SetDataSet(nullptr);
    source.SetDataSet(ds);
}

void toggleBooleanField(TMemoryDataSet& ds, const std::string& fieldName)
{
    if (ds.RecordCount() == 0)
        return;
    try {
        ds.Edit();
        TDbField& f = ds.FieldByName(fieldName);
        f.AsBoolean(!f.AsBoolean());
        ds.Post();
    } catch (const std::exception& e) {
        if (ds.State() == dsEdit)
            ds.Cancel();
        MyError(e.what());
    }
}
