#pragma once
// Data-bound grids: a Qt table model over a TDbDataSource and the grid view that keeps the
// dataset's current row and the view's current row the same. Title clicks re-sort the
// query (SortQuery); a hook lets a window colour cells.
#include "dataaccess/db_datasource.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <functional>
#include <memory>
#include <optional>

struct CellColours {
    std::optional<QColor> background;
    std::optional<QColor> foreground;
};
// row: 0-based dataset row; field: the column's field.
using CellColourHook = std::function<void(const TMemoryDataSet& dataSet, int row, const TDbField& field, CellColours& colours)>;

class TDbGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDbGridModel(TDbDataSource* source, QObject* parent = nullptr);
    ~TDbGridModel() override;

    TDbDataSource* dataSource() const { return source_; }
    TMemoryDataSet* dataSet() const;
    // The field shown in a view column (only visible fields are shown), or null.
    TDbField* fieldAt(int column) const;
    int columnOf(const std::string& fieldName) const;

    CellColourHook cellColour;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // The dataset's current row moved (0-based; -1 when there is none).
    void currentRowChanged(int row);

private:
    struct SourceGuard;
    void dataEvent(const TDataEventInfo& info);
    void rebuildColumns();
    void sourceGone();

    // Windows often hold their data sources as members and their grids as child widgets,
    // so the source can go first: the guard rides in the observer the source keeps and tells
    // the model when the source drops it.
    TDbDataSource* source_;
    std::weak_ptr<SourceGuard> guard_;
    int observer_ = 0;
    std::vector<int> columns_; // field index per view column
    int rows_ = 0;
};

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    void setDataSource(TDbDataSource* source);
    TDbGridModel* gridModel() const { return model_; }
    // Title clicks sort the query by the clicked column (on by default).
    bool sortOnTitleClick = true;
    void titleClick(int column);

private:
    void followDataSet(int row);
    TDbGridModel* model_ = nullptr;
    bool syncing_ = false;
};
