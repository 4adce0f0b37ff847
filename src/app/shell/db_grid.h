#pragma once
// Data-bound grids: a Qt table model over a TDbDataSource and the grid view that keeps the
// dataset's current row and the view's current row the same. Title clicks re-sort the
// query (SortQuery); hooks let a window colour cells and titles. Each time the rows are
// (re)loaded the columns are sized: never narrower than their caption and their usual content.
#include "dataaccess/db_datasource.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <functional>
#include <map>
#include <memory>
#include <optional>

struct CellColours {
    std::optional<QColor> background;
    std::optional<QColor> foreground;
};
// row: 0-based dataset row; field: the column's field.
using CellColourHook = std::function<void(const TMemoryDataSet& dataSet, int row, const TDbField& field, CellColours& colours)>;
// The font colour of a column's title, or none for the header's own.
using TitleColourHook = std::function<std::optional<QColor>(const TDbField& field)>;

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
    TitleColourHook titleColour;

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

    // Column widths of a layout drawn for 8-point type (13 pixels high), by field name. They
    // are scaled to the grid's type; caption and usual content still set the least width.
    void setLayoutWidths(std::map<std::string, int> widths);
    // When the columns would be wider than the grid's place, those widened for their content
    // give back what is too much, in proportion, down to their caption and layout widths (off
    // by default: such a grid scrolls).
    void setKeepWithinView(bool on);
    void fitColumns();
    // Hands an open cell editor's text to the dataset (a post takes what is being typed).
    void commitEdit();

protected:
    void keyboardSearch(const QString&) override {} // the grids have no type-ahead search
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void followDataSet(int row);
    std::map<std::string, int> layoutWidths_;
    bool keepWithinView_ = false;
    TDbGridModel* model_ = nullptr;
    bool syncing_ = false;
    int column_ = 0; // the current column, kept while the rows are reloaded
};
