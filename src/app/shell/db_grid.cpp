#include "app/shell/db_grid.h"

#include "app/shell/window_routines.h"

#include <QHeaderView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// Rows measured for a column's usual content, and the most characters it is widened for.
constexpr int kUsualRows = 100;
constexpr int kUsualCharacters = 60;
// The height of the 8-point type the layout widths were drawn for.
constexpr double kLayoutTypeHeight = 13.0;

// A cell's display text. A date-time shows as the window's labels show date-times, unless its
// window gives the field a format of its own (times as "hh:nn"); a time of day stays a time.
QString displayText(const TMemoryDataSet& ds, int row, const TDbField& field)
{
    const DbVariant& value = ds.CellValue(row, field.Index());
    if (value.kind() == DbVariant::Date && field.DisplayFormat.empty() && field.DataType() != ftTime) {
        const DateTime t = std::get<DateTime>(value.raw());
        if (!db::isTimeOnly(t))
            return shell::dateTimeText(t);
    }
    return QString::fromStdString(ds.CellText(row, field.Index()));
}
} // namespace

struct TDbGridModel::SourceGuard {
    TDbGridModel* model = nullptr;
    ~SourceGuard()
    {
        if (model)
            model->sourceGone();
    }
};

TDbGridModel::TDbGridModel(TDbDataSource* source, QObject* parent)
    : QAbstractTableModel(parent)
    , source_(source)
{
    if (source_) {
        auto guard = std::make_shared<SourceGuard>();
        guard->model = this;
        guard_ = guard;
        observer_ = source_->AddObserver([this, guard](const TDataEventInfo& info) { dataEvent(info); });
    }
    rebuildColumns();
}

TDbGridModel::~TDbGridModel()
{
    if (auto guard = guard_.lock())
        guard->model = nullptr;
    if (source_)
        source_->RemoveObserver(observer_);
}

void TDbGridModel::sourceGone()
{
    beginResetModel();
    source_ = nullptr;
    rebuildColumns();
    endResetModel();
}

TMemoryDataSet* TDbGridModel::dataSet() const
{
    if (!source_)
        return nullptr;
    TMemoryDataSet* ds = source_->DataSet();
    return ds && ds->Active() ? ds : nullptr;
}

void TDbGridModel::rebuildColumns()
{
    columns_.clear();
    rows_ = 0;
    if (TMemoryDataSet* ds = dataSet()) {
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->Fields[i].Visible)
                columns_.push_back(i);
        rows_ = ds->RecordCount();
    }
}

TDbField* TDbGridModel::fieldAt(int column) const
{
    TMemoryDataSet* ds = dataSet();
    if (!ds || column < 0 || column >= static_cast<int>(columns_.size()))
        return nullptr;
    return &ds->Fields[columns_[static_cast<size_t>(column)]];
}

int TDbGridModel::columnOf(const std::string& fieldName) const
{
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c)
        if (TDbField* f = fieldAt(c); f && f == dataSet()->FindField(fieldName))
            return c;
    return -1;
}

void TDbGridModel::dataEvent(const TDataEventInfo& info)
{
    switch (info.Event) {
    case deActiveChanged:
    case deDataSetChange:
    case deDataSetUnlinked:
    case deRowInserted:
    case deRowDeleted:
        beginResetModel();
        rebuildColumns();
        endResetModel();
        if (TMemoryDataSet* ds = dataSet())
            emit currentRowChanged(ds->RecNo() - 1);
        else
            emit currentRowChanged(-1);
        break;
    case deDataSetScroll:
        emit currentRowChanged(info.Row);
        break;
    case deRecordChange:
        if (info.Row >= 0 && info.Row < rows_)
            emit dataChanged(index(info.Row, 0), index(info.Row, columnCount() - 1));
        else {
            beginResetModel();
            rebuildColumns();
            endResetModel();
        }
        break;
    case deUpdateState:
        if (TMemoryDataSet* ds = dataSet(); ds && ds->RecordCount() != rows_) {
            beginResetModel();
            rebuildColumns();
            endResetModel();
            emit currentRowChanged(ds->RecNo() - 1);
        }
        break;
    }
}

int TDbGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDbGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TDbGridModel::data(const QModelIndex& index, int role) const
{
    TMemoryDataSet* ds = dataSet();
    TDbField* field = fieldAt(index.column());
    if (!ds || !field || index.row() < 0 || index.row() >= rows_)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(*ds, index.row(), *field);
    case Qt::EditRole:
        return QString::fromStdString(ds->CellValue(index.row(), field->Index()).toString());
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        if (cellColour) {
            CellColours c;
            cellColour(*ds, index.row(), *field, c);
            const auto& colour = role == Qt::BackgroundRole ? c.background : c.foreground;
            if (colour)
                return *colour;
        }
        return {};
    default:
        return {};
    }
}

QVariant TDbGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole)
        return {};
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    TDbField* field = fieldAt(section);
    if (!field)
        return {};
    if (role == Qt::ForegroundRole) {
        if (titleColour)
            if (const auto colour = titleColour(*field))
                return *colour;
        return {};
    }
    return QString::fromStdString(field->DisplayLabel.empty() ? field->FieldName() : field->DisplayLabel);
}

Qt::ItemFlags TDbGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (TDbField* field = fieldAt(index.column()); field && !field->ReadOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDbGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TMemoryDataSet* ds = dataSet();
    TDbField* field = fieldAt(index.column());
    if (role != Qt::EditRole || !ds || !field || field->ReadOnly)
        return false;
    if (ds->RecNo() != index.row() + 1)
        ds->SetRecNo(index.row() + 1);
    if (ds->State() == dsBrowse)
        ds->Edit();
    field->AsString(value.toString().toStdString());
    return true;
}

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setResizeContentsPrecision(kUsualRows);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TDBGrid::titleClick);
}

void TDBGrid::setDataSource(TDbDataSource* source)
{
    QAbstractItemModel* old = model();
    model_ = new TDbGridModel(source, this);
    setModel(model_);
    delete old;
    connect(model_, &TDbGridModel::currentRowChanged, this, &TDBGrid::followDataSet);
    // After the header's own handler, which puts every section back to the default size.
    connect(model_, &QAbstractItemModel::modelReset, this, &TDBGrid::fitColumns);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current, const QModelIndex&) {
            if (syncing_ || !current.isValid())
                return;
            if (TMemoryDataSet* ds = model_->dataSet(); ds && ds->RecNo() != current.row() + 1)
                ds->SetRecNo(current.row() + 1); // fires AfterScroll
        });
    if (TMemoryDataSet* ds = model_->dataSet())
        followDataSet(ds->RecNo() - 1);
    fitColumns();
}

void TDBGrid::setLayoutWidths(std::map<std::string, int> widths)
{
    layoutWidths_ = std::move(widths);
    fitColumns();
}

void TDBGrid::setKeepWithinView(bool on)
{
    keepWithinView_ = on;
    fitColumns();
}

void TDBGrid::fitColumns()
{
    if (!model_)
        return;
    const double scale = fontMetrics().height() / kLayoutTypeHeight;
    const int usualMost = fontMetrics().averageCharWidth() * kUsualCharacters;
    const int breathing = fontMetrics().averageCharWidth(); // so that no text touches the cell's edge
    const auto columns = static_cast<size_t>(model_->columnCount());
    std::vector<int> least(columns), width(columns);
    int total = 0, slack = 0;
    for (size_t c = 0; c < columns; ++c) {
        const int column = static_cast<int>(c);
        const TDbField* field = model_->fieldAt(column);
        least[c] = horizontalHeader()->sectionSizeHint(column) + breathing;
        if (const auto it = field ? layoutWidths_.find(field->FieldName()) : layoutWidths_.end(); it != layoutWidths_.end())
            least[c] = std::max(least[c], static_cast<int>(std::lround(it->second * scale)));
        width[c] = std::max(least[c], std::min(sizeHintForColumn(column), usualMost) + breathing);
        total += width[c];
        slack += width[c] - least[c];
    }
    // Each column widened for its content gives back its share of what is too much; the
    // running sums keep the total exact. A place that changes later refits (resizeEvent).
    const int over = keepWithinView_ ? std::min(total - viewport()->width(), slack) : 0;
    long long slackBefore = 0;
    for (size_t c = 0; c < columns; ++c) {
        int shown = width[c];
        if (over > 0) {
            const long long before = over * slackBefore / slack;
            slackBefore += width[c] - least[c];
            shown -= static_cast<int>(over * slackBefore / slack - before);
        }
        setColumnWidth(static_cast<int>(c), shown);
    }
}

void TDBGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    if (keepWithinView_)
        fitColumns();
}

void TDBGrid::commitEdit()
{
    if (state() != EditingState)
        return;
    // The editor holds the focus while it is open; it is a direct child of the viewport.
    QWidget* editor = window()->focusWidget();
    while (editor && editor->parentWidget() != viewport())
        editor = editor->parentWidget();
    if (!editor)
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::followDataSet(int row)
{
    if (!selectionModel())
        return;
    syncing_ = true;
    if (row < 0 || row >= model_->rowCount())
        selectionModel()->clearCurrentIndex();
    else if (currentIndex().row() != row) {
        const int col = std::min(currentIndex().isValid() ? currentIndex().column() : column_, model_->columnCount() - 1);
        selectionModel()->setCurrentIndex(model_->index(row, col),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    syncing_ = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (current.isValid())
        column_ = current.column();
    QTableView::currentChanged(current, previous);
}

void TDBGrid::titleClick(int column)
{
    if (!sortOnTitleClick || !model_)
        return;
    TDbField* field = model_->fieldAt(column);
    auto* query = dynamic_cast<TCustomDbDataSet*>(model_->dataSet());
    if (!field || !query)
        return;
    const std::string name = !field->QualifiedName().empty() ? field->QualifiedName() : field->FieldName();
    SortQuery(*query, name);
}
