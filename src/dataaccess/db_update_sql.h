#pragma once
// The update-SQL component: the insert, modify and delete statements that write one cached
// row. In them ":Col" takes the row's new value of field Col and ":OLD_Col" its old value.
//
//   usMaster.ModifySQL = {"update TempLock1", "set", "Used = :Used", "where", "LockID = :OLD_LockID"};
//   LockList_Query.SetUpdateObject(&usMaster);
//   LockList_Query.OnUpdateRecord = [&](TMemoryDataSet&, TUpdateKind k, TUpdateAction& a) {
//       usMaster.ExecSQL(k);
//       a = uaApplied;
//   };
#include "dataaccess/db_dataset.h"

class TDbUpdateSQL {
public:
    explicit TDbUpdateSQL(TCustomDbDataSet* dataSet = nullptr);
    ~TDbUpdateSQL();
    TDbUpdateSQL(const TDbUpdateSQL&) = delete;
    TDbUpdateSQL& operator=(const TDbUpdateSQL&) = delete;

    std::string Name;

private:
    TDbQuery queries_[3]; // indexed by TUpdateKind

public:
    TDbStrings& ModifySQL;
    TDbStrings& InsertSQL;
    TDbStrings& DeleteSQL;
    TDbStrings& SQL(TUpdateKind kind) { return queries_[kind].SQL; }
    // The statement of one kind, e.g. to set an extra parameter by hand.
    TDbQuery& Query(TUpdateKind kind) { return queries_[kind]; }

    // The dataset whose rows are written; SetUpdateObject sets it.
    TCustomDbDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TCustomDbDataSet* ds);

    // Runs the statement of that kind for the row being applied (or, outside an apply, the
    // dataset's current row) on the dataset's connection. Raises when the kind has no
    // statement, a parameter names no field, the database refuses the statement, or the
    // statement changes no row ("Update failed").
    void ExecSQL(TUpdateKind kind);
    void Apply(TUpdateKind kind) { ExecSQL(kind); }
    int RowsAffected() const { return rowsAffected_; }

private:
    TCustomDbDataSet* dataSet_ = nullptr;
    int rowsAffected_ = 0;
};
