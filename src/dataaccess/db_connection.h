#pragma once
// One SQLite database file, open for the run, with the default transaction that the
// cached-update windows start, commit and roll back around ApplyUpdates.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/db_error.h"

struct sqlite3;
class TCustomDbDataSet;

class TDbConnection {
public:
    TDbConnection() = default;
    explicit TDbConnection(std::string database) : Database(std::move(database)) {}
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    // The database file. Open() refuses a missing file unless CreateIfMissing is set:
    // the program works on the supplied database and never lays out tables itself.
    std::string Database;
    bool CreateIfMissing = false;
    int BusyTimeoutMs = 5000;

    void Open();
    void Open(const std::string& database);
    // Closes every dataset bound to the connection (pending edits are dropped) and the
    // file; an open transaction is rolled back.
    void Close();
    bool Connected() const { return db_ != nullptr; }
    void SetConnected(bool on);

    // The default transaction, a write transaction from its start (the busy timeout applies
    // there). StartTransaction while one is active raises; Commit without one raises;
    // Rollback without one does nothing (so that error paths may always call it).
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // Runs one or more statements without parameters (scripts, pragmas, tests).
    void ExecSQL(const std::string& sql);
    int64_t LastInsertRowId() const;

    std::function<void(TDbConnection&)> AfterConnect, BeforeDisconnect;

    sqlite3* Handle() const { return db_; }
    // Raises EDatabaseError unless connected.
    sqlite3* CheckHandle() const;
    // Raises the connection's last SQLite error as EDatabaseError.
    [[noreturn]] void RaiseError(int rc, const std::string& sql = {}) const;

private:
    friend class TCustomDbDataSet;
    void attach(TCustomDbDataSet* ds);
    void detach(TCustomDbDataSet* ds);

    sqlite3* db_ = nullptr;
    std::vector<TCustomDbDataSet*> dataSets_;
};

namespace db {
// Commits what was written in its scope, also when the writer stops early by an exception:
// the rows written so far stay. Starts the transaction only when none is open, and then
// leaves the outer one alone. commit() ends a writer that ran through and raises when the
// commit fails (the rows are then rolled back); the commit at the end of the scope is rolled
// back silently when it fails, as its writer has already stopped with an error.
class CommitWhatWasWritten {
public:
    explicit CommitWhatWasWritten(TDbConnection& c)
        : c_(c)
    {
        if (!c_.InTransaction()) {
            c_.StartTransaction();
            own_ = true;
        }
    }
    ~CommitWhatWasWritten()
    {
        try {
            commit();
        } catch (...) {
        }
    }
    void commit()
    {
        if (!own_ || !c_.InTransaction())
            return;
        own_ = false;
        try {
            c_.Commit();
        } catch (...) {
            c_.Rollback();
            throw;
        }
    }
    CommitWhatWasWritten(const CommitWhatWasWritten&) = delete;
    CommitWhatWasWritten& operator=(const CommitWhatWasWritten&) = delete;

private:
    TDbConnection& c_;
    bool own_ = false;
};
} // namespace db
