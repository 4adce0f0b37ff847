#include "dataaccess/db_connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "dataaccess/db_dataset.h"

TDbConnection::~TDbConnection()
{
    // Datasets outliving the connection lose it instead of keeping a dangling pointer.
    auto sets = dataSets_;
    for (TCustomDbDataSet* ds : sets)
        ds->connectionGone();
    if (db_) {
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

sqlite3* TDbConnection::CheckHandle() const
{
    if (!db_)
        throw EDatabaseError("Database is not connected");
    return db_;
}

void TDbConnection::RaiseError(int rc, const std::string& sql) const
{
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    int ext = db_ ? sqlite3_extended_errcode(db_) : rc;
    throw EDatabaseError(msg, rc & 0xff, ext, sql);
}

void TDbConnection::Open(const std::string& database)
{
    if (db_ && database != Database)
        Close();
    Database = database;
    Open();
}

void TDbConnection::Open()
{
    if (db_)
        return;
    if (Database.empty())
        throw EDatabaseError("No database file given");
    if (!CreateIfMissing) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(Database, ec))
            throw EDatabaseError("Database file not found: " + Database, SQLITE_CANTOPEN, SQLITE_CANTOPEN);
    }
    int flags = SQLITE_OPEN_READWRITE | (CreateIfMissing ? SQLITE_OPEN_CREATE : 0);
    sqlite3* h = nullptr;
    int rc = sqlite3_open_v2(Database.c_str(), &h, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = h ? sqlite3_errmsg(h) : sqlite3_errstr(rc);
        int ext = h ? sqlite3_extended_errcode(h) : rc;
        sqlite3_close_v2(h);
        throw EDatabaseError(msg + ": " + Database, rc & 0xff, ext);
    }
    sqlite3_extended_result_codes(h, 1);
    sqlite3_busy_timeout(h, BusyTimeoutMs);
    // A file that is not a database fails here rather than at the first query.
    char* err = nullptr;
    rc = sqlite3_exec(h, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        int ext = sqlite3_extended_errcode(h);
        sqlite3_close_v2(h);
        throw EDatabaseError(msg + ": " + Database, rc & 0xff, ext);
    }
    db_ = h;
    if (AfterConnect)
        AfterConnect(*this);
}

void TDbConnection::Close()
{
    if (!db_)
        return;
    if (BeforeDisconnect)
        BeforeDisconnect(*this);
    auto sets = dataSets_;
    for (TCustomDbDataSet* ds : sets) {
        ds->Close();
        ds->Unprepare();
    }
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void TDbConnection::SetConnected(bool on)
{
    if (on)
        Open();
    else
        Close();
}

bool TDbConnection::InTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

void TDbConnection::StartTransaction()
{
    CheckHandle();
    if (InTransaction())
        throw EDatabaseError("A transaction is already active");
    // Every transaction here writes. Taking the write lock at once lets the busy timeout wait
    // for another program's lock; a deferred one that read first would fail at the upgrade
    // without waiting.
    ExecSQL("BEGIN IMMEDIATE");
}

void TDbConnection::Commit()
{
    CheckHandle();
    if (!InTransaction())
        throw EDatabaseError("No transaction is active");
    ExecSQL("COMMIT");
}

void TDbConnection::Rollback()
{
    if (!InTransaction())
        return;
    ExecSQL("ROLLBACK");
}

void TDbConnection::ExecSQL(const std::string& sql)
{
    sqlite3* h = CheckHandle();
    char* err = nullptr;
    int rc = sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(h);
        sqlite3_free(err);
        throw EDatabaseError(msg, rc & 0xff, sqlite3_extended_errcode(h), sql);
    }
}

int64_t TDbConnection::LastInsertRowId() const { return sqlite3_last_insert_rowid(CheckHandle()); }

void TDbConnection::attach(TCustomDbDataSet* ds)
{
    if (std::find(dataSets_.begin(), dataSets_.end(), ds) == dataSets_.end())
        dataSets_.push_back(ds);
}

void TDbConnection::detach(TCustomDbDataSet* ds)
{
    dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), ds), dataSets_.end());
}
