#include "app/keyreading/audit_save.h"

namespace keyreading {

std::vector<SavedRow> rowsOf(TMemoryDataSet& tempRecord)
{
    std::vector<SavedRow> rows;
    if (!tempRecord.Active())
        return rows;
    std::array<TDbField*, 10> fields {};
    for (size_t i = 0; i < kSavedColumns.size(); ++i)
        fields[i] = &tempRecord.FieldByName(kSavedColumns[i]);
    const int keep = tempRecord.RecNo();
    tempRecord.DisableControls();
    try {
        rows.reserve(static_cast<size_t>(tempRecord.RecordCount()));
        for (tempRecord.First(); !tempRecord.Eof(); tempRecord.Next()) {
            SavedRow r;
            for (size_t i = 0; i < fields.size(); ++i)
                r[i] = fields[i]->Value();
            rows.push_back(std::move(r));
        }
        if (keep > 0)
            tempRecord.SetRecNo(keep);
    } catch (...) {
        tempRecord.EnableControls();
        throw;
    }
    tempRecord.EnableControls();
    return rows;
}

SaveOutcome saveToHistory(
    TDbConnection& connection, const std::vector<SavedRow>& rows, const std::function<void()>& beforeRow)
{
    // IS compares like = but also matches two nulls; the event index serves both.
    TDbQuery check(&connection);
    check.SQL = { "SELECT 1 FROM RecordInfor", "WHERE SerialID IS :SerialID", "AND LockName IS :LockName",
        "AND OpenLockType IS :OpenLockType", "AND OpenLockTime IS :OpenLockTime", "LIMIT 1" };
    TDbQuery insert(&connection);
    insert.SQL = { "INSERT INTO RecordInfor (SerialID,FirstName,LastName,OpenLockType,OpenLockTime,Status,"
                   "Department,LockName,LockLocation,CodeType)",
        "VALUES (:SerialID,:FirstName,:LastName,:OpenLockType,:OpenLockTime,:Status,:Department,"
        ":LockName,:LockLocation,:CodeType)" };
    std::array<TDbParam*, 10> params {};
    for (size_t i = 0; i < kSavedColumns.size(); ++i)
        params[i] = &insert.ParamByName(kSavedColumns[i]);
    TDbParam& cSerial = check.ParamByName("SerialID");
    TDbParam& cLock = check.ParamByName("LockName");
    TDbParam& cType = check.ParamByName("OpenLockType");
    TDbParam& cTime = check.ParamByName("OpenLockTime");

    SaveOutcome out;
    connection.StartTransaction();
    try {
        for (const SavedRow& r : rows) {
            if (beforeRow)
                beforeRow();
            cSerial.Value(r[0]);
            cLock.Value(r[7]);
            cType.Value(r[3]);
            cTime.Value(r[4]);
            check.Open();
            const bool stored = !check.IsEmpty();
            check.Close();
            if (stored) {
                ++out.alreadyStored;
                continue;
            }
            for (size_t i = 0; i < params.size(); ++i)
                params[i]->Value(r[i]);
            insert.ExecSQL();
            ++out.saved;
        }
        connection.Commit();
    } catch (...) {
        connection.Rollback();
        throw;
    }
    return out;
}

} // namespace keyreading
