#pragma once
// The datasets the windows place on their forms: TDbQuery (SQL text with :Name parameters)
// and TDbTable (one table), both keeping all rows of a result in memory so that RecordCount
// is known, with browse/edit/insert states, cached updates applied through TDbUpdateSQL, and
// the events the windows hook (AfterOpen, AfterScroll, AfterPost, OnUpdateRecord ...).
//
//   TDbQuery q(&conn);
//   q.SQL.Clear();
//   q.SQL.Add("SELECT * FROM LockManagement");
//   q.SQL.Add("WHERE SerialID = :SerialID");
//   q.ParamByName("SerialID").AsString(serial);
//   q.Open();
//   while (!q.Eof()) { use(q.FieldByName("LockName").AsString()); q.Next(); }
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/db_connection.h"
#include "dataaccess/db_error.h"
#include "dataaccess/db_strings.h"
#include "dataaccess/db_value.h"

struct sqlite3_stmt;
class TMemoryDataSet;
class TCustomDbDataSet;
class TDbDataSource;
class TDbUpdateSQL;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// What a data source passes on to the controls bound to it (the grid's model adapter).
enum TDataEvent {
    deActiveChanged,  // opened or closed: rebuild everything
    deDataSetChange,  // rows may all have changed: rebuild everything
    deDataSetScroll,  // the current row moved to Row
    deRecordChange,   // the values of row Row changed
    deUpdateState,    // the dataset state changed (browse/edit/insert)
    deRowInserted,    // a row was inserted at Row
    deRowDeleted,     // row Row was removed
    deDataSetUnlinked // the data source now shows another dataset (or none)
};
struct TDataEventInfo {
    TDataEvent Event;
    int Row = -1; // 0-based row, where the event names one
};

// ---------------------------------------------------------------------------------------
// Parameters

class TDbParam {
public:
    explicit TDbParam(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    TFieldType DataType() const { return type_; }
    // A parameter must be given a value (null included, through Clear) before it is used.
    bool Bound() const { return bound_; }
    bool IsNull() const { return value_.isNull(); }

    const DbVariant& Value() const { return value_; }
    void Value(const DbVariant& v);
    void Clear(); // null

    int64_t AsInteger() const { return value_.toInt(); }
    void AsInteger(int64_t v);
    std::string AsString() const { return value_.toString(); }
    void AsString(const std::string& v);
    bool AsBoolean() const { return value_.toBool(); }
    void AsBoolean(bool v);
    double AsFloat() const { return value_.toDouble(); }
    void AsFloat(double v);
    DateTime AsDateTime() const { return value_.toDateTime(); }
    void AsDateTime(DateTime v); // bound as 'YYYY-MM-DD HH:MM:SS'
    void AsDate(DateTime v);     // bound as 'YYYY-MM-DD 00:00:00'
    void AsTime(DateTime v);     // bound as 'HH:MM:SS' (a Value() on 1899-12-30 is bound so too)

    // Value, type and bound flag of another parameter.
    void Assign(const TDbParam& other);

private:
    friend class TCustomDbDataSet;
    friend class TDbUpdateSQL;
    std::string name_;
    TFieldType type_ = ftUnknown;
    DbVariant value_;
    bool bound_ = false;
};

class TDbParams {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TDbParam& operator[](int i) { return *items_.at(static_cast<size_t>(i)); }
    const TDbParam& operator[](int i) const { return *items_.at(static_cast<size_t>(i)); }
    TDbParam* FindParam(std::string_view name);            // case-insensitive; nullptr if none
    TDbParam& ParamByName(std::string_view name);          // raises "Parameter 'X' not found"
    // Copies the values of the same-named parameters of another list.
    void AssignValues(const TDbParams& other);

private:
    friend class TCustomDbDataSet;
    std::vector<std::unique_ptr<TDbParam>> items_;
};

// ---------------------------------------------------------------------------------------
// Fields

class TDbField {
public:
    TDbField(TMemoryDataSet& ds, int index, std::string name, TFieldType type);

    const std::string& FieldName() const { return name_; }
    int Index() const { return index_; }
    TFieldType DataType() const { return type_; }
    TMemoryDataSet& DataSet() const { return *ds_; }
    // "A.LockID" for a select-list item written so; empty otherwise.
    const std::string& QualifiedName() const { return qualified_; }
    // Table and column the value comes from ("" for an expression).
    const std::string& OriginTable() const { return originTable_; }
    const std::string& OriginColumn() const { return originColumn_; }

    std::string DisplayLabel;  // defaults to FieldName
    std::string DisplayFormat; // see DisplayText
    bool ReadOnly = false;
    bool Visible = true;

    // The value in the current row (during an apply: in the row being applied). Reading a
    // field of an empty dataset gives null. Writing needs edit or insert state; the value
    // is converted to the field's type (a text that does not convert raises).
    const DbVariant& Value() const;
    void Value(const DbVariant& v);
    bool IsNull() const { return Value().isNull(); }
    void Clear() { Value(DbVariant()); }

    std::string AsString() const;
    void AsString(const std::string& v) { Value(DbVariant(v)); }
    int64_t AsInteger() const { return Value().toInt(); }
    void AsInteger(int64_t v) { Value(DbVariant(v)); }
    bool AsBoolean() const { return Value().toBool(); }
    void AsBoolean(bool v) { Value(DbVariant(v)); }
    double AsFloat() const { return Value().toDouble(); }
    void AsFloat(double v) { Value(DbVariant(v)); }
    DateTime AsDateTime() const { return Value().toDateTime(); }
    void AsDateTime(DateTime v) { Value(DbVariant(v)); }

    // The value the row had before its pending change (null for an inserted row), and the
    // value it has now.
    const DbVariant& OldValue() const;
    const DbVariant& NewValue() const { return Value(); }

    // AsString of a date-time is its storage text ("YYYY-MM-DD HH:MM:SS", dates with
    // "00:00:00", times "HH:MM:SS"), so that it matches the stored value when bound again.
    // The value as a grid shows it: DisplayFormat applies to numbers ("####.#", "0.00"),
    // date-times ("yyyy-mm-dd hh:nn") and Booleans ("Yes;No"); without one, date-times show
    // as stored ("YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD" for dates, "HH:MM:SS" for times) and
    // Booleans as "True"/"False". Null shows as "".
    std::string DisplayText() const;
    std::string DisplayTextOf(const DbVariant& v) const;

    // Converts a value to what this field stores (raises for a text that does not convert).
    DbVariant Coerce(const DbVariant& v) const;

private:
    friend class TMemoryDataSet;
    friend class TCustomDbDataSet;
    TMemoryDataSet* ds_;
    int index_;
    std::string name_;
    TFieldType type_;
    std::string qualified_;
    std::string originTable_;
    std::string originColumn_;
};

class TDbFields {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TDbField& operator[](int i) { return *items_.at(static_cast<size_t>(i)); }
    const TDbField& operator[](int i) const { return *items_.at(static_cast<size_t>(i)); }
    // Case-insensitive: a field name (the first of duplicates; later ones are also reachable
    // as "Name_1", "Name_2" ...), a qualified select-list name ("B.LockID") or
    // "Table.Column".
    TDbField* FindField(std::string_view name) const;

private:
    friend class TMemoryDataSet;
    friend class TCustomDbDataSet;
    std::vector<std::unique_ptr<TDbField>> items_;
};

// ---------------------------------------------------------------------------------------
// The dataset: rows in memory, navigation, editing, cached updates, events.

namespace db {
struct Record {
    std::vector<DbVariant> values;
    std::optional<std::vector<DbVariant>> old; // values before a cached change
    TUpdateStatus status = usUnmodified;
    bool applied = false;
    uint64_t seq = 0;       // order of the change, for applying in the order made
    int deletedAt = -1;     // row it stood on, for CancelUpdates
    int64_t rowid = 0;      // TDbTable rows: the row's rowid
};
} // namespace db

class TMemoryDataSet {
public:
    TMemoryDataSet();
    virtual ~TMemoryDataSet();
    TMemoryDataSet(const TMemoryDataSet&) = delete;
    TMemoryDataSet& operator=(const TMemoryDataSet&) = delete;

    std::string Name; // used in messages ("Query1: Field 'X' not found")

    void Open();
    void Close(); // drops a pending edit and unapplied cached changes
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool on) { on ? Open() : Close(); }
    TDataSetState State() const { return state_; }

    // Navigation. Moving while editing posts the edit first (an unchanged insert is dropped).
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int RecNo() const; // 1-based; 0 when empty or inactive
    void SetRecNo(int recNo);
    int RecordCount() const;
    bool IsEmpty() const { return RecordCount() == 0; }
    // Moves to the first row whose field equals the value; false (and no move) when none.
    bool Locate(std::string_view fieldName, const DbVariant& value);

    // Fields of the open dataset (rebuilt at each Open).
    TDbFields Fields;
    int FieldCount() const { return Fields.Count(); }
    TDbField& FieldByName(std::string_view name) const; // raises "Field 'X' not found"
    TDbField* FindField(std::string_view name) const { return Fields.FindField(name); }
    // Formats and labels kept across Close/Open, given to the field of that name at Open.
    void SetFieldDisplayFormat(const std::string& fieldName, const std::string& format);
    void SetFieldDisplayLabel(const std::string& fieldName, const std::string& label);

    // Any row without moving the current row (what a grid paints).
    const DbVariant& CellValue(int row, int col) const;
    std::string CellText(int row, int col) const;

    // Editing.
    void Append(); // new row at the end, insert state
    void Insert(); // new row before the current one, insert state
    void Edit();   // on an empty dataset: Append
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return modified_; }
    void CheckBrowseMode(); // posts a pending edit

    // Cached updates: posted edits stay in memory until ApplyUpdates writes them.
    bool CachedUpdates() const { return cached_; }
    void SetCachedUpdates(bool on); // switching off drops unapplied changes
    bool UpdatesPending() const;
    TUpdateStatus UpdateStatus() const; // of the current row
    // Posts a pending edit, then writes every unapplied change in the order made (through
    // OnUpdateRecord, else the update object, else statements made for the table). All or
    // nothing: when a change fails, what this call wrote is undone, the changes are
    // unapplied again and the error is raised. Without cached updates: raises "Not in
    // cached update mode".
    void ApplyUpdates();
    // Applies what is still unapplied, then forgets the applied changes.
    void CommitUpdates();
    // Undoes every cached change in memory (inserted rows go, deleted rows come back).
    void CancelUpdates();
    // Marks applied changes unapplied again, so that a later ApplyUpdates writes them once
    // more (after the transaction they were written in was rolled back).
    void RestoreUpdates();

    // While disabled, bound controls get no events; EnableControls sends one full refresh.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    using TDataSetNotifyEvent = std::function<void(TMemoryDataSet&)>;
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeScroll, AfterScroll; // AfterScroll also fires after Open
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, OnNewRecord;
    // One cached change: the handler writes it (e.g. through UpdateObject's ExecSQL) and
    // sets the action to uaApplied (or uaSkip); left at uaFail the change fails.
    std::function<void(TMemoryDataSet&, TUpdateKind, TUpdateAction&)> OnUpdateRecord;
    // A change failed: uaFail (the default) raises the error out of ApplyUpdates, uaSkip
    // leaves the change unapplied and goes on, uaRetry tries again, uaApplied counts it
    // as written, uaAbort stops like uaFail with an EDatabaseError whose Aborted() is true.
    std::function<void(TMemoryDataSet&, EDatabaseError&, TUpdateKind, TUpdateAction&)> OnUpdateError;

protected:
    // Subclasses fill Fields and rows_ (and may raise).
    virtual void openCursor() = 0;
    virtual void closeCursor() {}
    // Writes one change; the row being written is current for the fields while it runs.
    virtual void writeChange(TUpdateKind kind, db::Record& rec) = 0;
    // Brackets ApplyUpdates so that a failure undoes what the call wrote.
    virtual void beginApply() {}
    virtual void endApply(bool ok) {}
    std::string prefixed(const std::string& msg) const;
    [[noreturn]] void raise(const std::string& msg) const;
    void checkActive() const;

    std::vector<std::unique_ptr<db::Record>> rows_;

    // The row that fields read while a change is being written, and its old values.
    struct ApplyContext {
        db::Record* rec = nullptr;
        const std::vector<DbVariant>* old = nullptr;
        TUpdateKind kind = ukModify;
    };
    ApplyContext applying_;
    // Writes one cached change; false when a handler chose to skip it.
    bool applyOne(db::Record& rec, TUpdateKind kind);

private:
    friend class TDbField;
    friend class TDbDataSource;

    db::Record* currentRecord() const;
    const DbVariant& fieldValue(int index) const;
    const DbVariant& fieldOldValue(int index) const;
    void setFieldValue(int index, const DbVariant& v);
    void scrolled(bool fire);
    void clearCache();
    void resetNavigation();
    void notify(TDataEvent ev, int row = -1);
    void stateChanged(TDataSetState s);
    void newRecord(int at);
    void postNonCached();

    TDataSetState state_ = dsInactive;
    int cur_ = -1;
    bool eof_ = true;
    bool bof_ = true;
    bool modified_ = false;
    bool cached_ = false;
    std::vector<DbVariant> backup_; // values before the edit in progress
    std::vector<std::unique_ptr<db::Record>> deleted_;
    uint64_t seq_ = 0;
    int disableCount_ = 0;
    bool pendingRefresh_ = false;
    std::vector<TDbDataSource*> sources_;
    std::map<std::string, std::string> formats_; // upper-case field name -> format
    std::map<std::string, std::string> labels_;
};

// ---------------------------------------------------------------------------------------
// The SQL datasets.

class TCustomDbDataSet : public TMemoryDataSet {
public:
    explicit TCustomDbDataSet(TDbConnection* connection = nullptr);
    ~TCustomDbDataSet() override;

    TDbConnection* Connection() const { return conn_; }
    void SetConnection(TDbConnection* c);

    // Changing the text closes the dataset; parameters are found again, keeping the values
    // of those whose names remain.
    TDbStrings SQL;

    TDbParams& Params();
    int ParamCount();
    TDbParam& ParamByName(std::string_view name);

    // Runs the statement (INSERT, UPDATE, DELETE ...) with the parameter values; a
    // failure raises and writes nothing. The prepared statement is kept for the next run
    // while the text stays the same.
    void ExecSQL();
    int RowsAffected() const { return rowsAffected_; }
    void Prepare();
    void Unprepare();
    bool Prepared() const { return stmt_ != nullptr; }

    TDbUpdateSQL* UpdateObject() const { return updateObject_; }
    void SetUpdateObject(TDbUpdateSQL* u);

protected:
    // The text to run; TDbTable builds it from its table name.
    virtual std::string statementText();
    // The table that changes are written to when there is no update object ("" if none).
    virtual std::string updateTable() const;
    virtual bool selectsRowid() const { return false; }
    uint64_t textVersion_ = 0; // bumped when statementText() changes other than through SQL
    void openCursor() override;
    void closeCursor() override;
    void writeChange(TUpdateKind kind, db::Record& rec) override;
    void beginApply() override;
    void endApply(bool ok) override;

private:
    friend class TDbConnection;
    void parseIfChanged();
    void bindParams();
    void connectionGone();
    void writeGenerated(TUpdateKind kind, db::Record& rec);

    TDbConnection* conn_ = nullptr;
    TDbParams params_;
    uint64_t parsedVersion_ = ~uint64_t(0);
    uint64_t parsedTextVersion_ = 0;
    std::string sqliteText_;   // with ?N in place of :Name
    std::vector<std::string> selectNames_;
    sqlite3_stmt* stmt_ = nullptr;
    int rowsAffected_ = 0;
    TDbUpdateSQL* updateObject_ = nullptr;
    int applyDepth_ = 0;
};

class TDbQuery : public TCustomDbDataSet {
public:
    using TCustomDbDataSet::TCustomDbDataSet;
};

// A dataset on one table: "SELECT * FROM " + TableName when SQL is empty. Without cached
// updates every Post and Delete is written at once; an insert the database refuses raises
// and the row stays in insert state.
class TDbTable : public TCustomDbDataSet {
public:
    explicit TDbTable(TDbConnection* connection = nullptr, std::string tableName = {});
    const std::string& TableName() const { return table_; }
    void SetTableName(const std::string& name);

protected:
    std::string statementText() override;
    std::string updateTable() const override { return table_; }
    bool selectsRowid() const override;

private:
    std::string table_;
};
