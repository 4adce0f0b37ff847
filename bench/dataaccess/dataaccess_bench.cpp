// Opening and walking a large query, and inserting many rows in one transaction through
// one prepared statement, on a database file in the temp folder. IOS_BENCH_SMOKE makes
// the sizes small for CTest's quick run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/dataaccess.h"

namespace {

bool smoke() { return std::getenv("IOS_BENCH_SMOKE") != nullptr; }

std::filesystem::path benchFile(const char* tag)
{
    return std::filesystem::temp_directory_path() /
           ("ios_dataaccess_bench_" + std::to_string(getpid()) + "_" + tag + ".db");
}

const char* kTable = "CREATE TABLE RecordInfor (SerialID TEXT, FirstName TEXT, LastName TEXT, Status TEXT, "
                     "Department TEXT, LockName TEXT, LockLocation TEXT, OpenLockType TEXT, OpenLockTime DATETIME, "
                     "CodeType TEXT)";

void insertRows(TDbConnection& conn, int n)
{
    TDbQuery q(&conn);
    q.SQL = {"INSERT INTO RecordInfor (SerialID,FirstName,LastName,Status,Department,LockName,LockLocation,",
             "OpenLockType,OpenLockTime,CodeType)",
             "VALUES (:SerialID,:FirstName,:LastName,:Status,:Department,:LockName,:LockLocation,",
             ":OpenLockType,:OpenLockTime,:CodeType)"};
    q.Prepare();
    TDbParam& serial = q.ParamByName("SerialID");
    TDbParam& first = q.ParamByName("FirstName");
    TDbParam& last = q.ParamByName("LastName");
    TDbParam& status = q.ParamByName("Status");
    TDbParam& dept = q.ParamByName("Department");
    TDbParam& lock = q.ParamByName("LockName");
    TDbParam& loc = q.ParamByName("LockLocation");
    TDbParam& type = q.ParamByName("OpenLockType");
    TDbParam& time = q.ParamByName("OpenLockTime");
    TDbParam& code = q.ParamByName("CodeType");
    const DateTime base = db::makeDateTime(2024, 1, 1);
    conn.StartTransaction();
    for (int i = 0; i < n; ++i) {
        serial.AsString("49D99FB70167EC" + std::to_string(10 + i % 90));
        first.AsString("First" + std::to_string(i % 500));
        last.AsString("Last" + std::to_string(i % 700));
        status.AsString("Active");
        dept.AsString("Dept");
        lock.AsString("Lock " + std::to_string(i % 40));
        loc.AsString("Building A");
        type.AsString("Open Lock By iButton");
        time.AsDateTime(base + std::chrono::seconds(i * 37));
        code.Clear();
        q.ExecSQL();
    }
    conn.Commit();
}

void BM_OpenAndWalkQuery(benchmark::State& state)
{
    const int rows = smoke() ? 1000 : 100000;
    auto path = benchFile("walk");
    std::filesystem::remove(path);
    TDbConnection conn;
    conn.CreateIfMissing = true;
    conn.Open(path.string());
    conn.ExecSQL(kTable);
    insertRows(conn, rows);
    TDbQuery q(&conn);
    q.SQL = {"SELECT * FROM RecordInfor", "WHERE OpenLockTime >= :From", "ORDER BY OpenLockTime DESC"};
    q.ParamByName("From").AsDateTime(db::makeDateTime(2000, 1, 1));
    int64_t walked = 0;
    for (auto _ : state) {
        q.Close();
        q.Open();
        TDbField& name = q.FieldByName("FirstName");
        TDbField& when = q.FieldByName("OpenLockTime");
        int64_t sum = 0;
        for (q.First(); !q.Eof(); q.Next()) {
            sum += int64_t(name.AsString().size());
            sum += when.AsDateTime().time_since_epoch().count() & 1;
        }
        benchmark::DoNotOptimize(sum);
        walked += q.RecordCount();
        if (q.RecordCount() != rows)
            state.SkipWithError("wrong row count");
    }
    state.counters["rows"] = rows;
    state.counters["rows/s"] = benchmark::Counter(double(walked), benchmark::Counter::kIsRate);
    conn.Close();
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenAndWalkQuery)->Unit(benchmark::kMillisecond);

void BM_InsertInOneTransaction(benchmark::State& state)
{
    const int rows = smoke() ? 200 : 10000;
    auto path = benchFile("insert");
    std::filesystem::remove(path);
    TDbConnection conn;
    conn.CreateIfMissing = true;
    conn.Open(path.string());
    conn.ExecSQL(kTable);
    int64_t inserted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        conn.ExecSQL("DELETE FROM RecordInfor");
        state.ResumeTiming();
        insertRows(conn, rows);
        inserted += rows;
    }
    state.counters["rows"] = rows;
    state.counters["rows/s"] = benchmark::Counter(double(inserted), benchmark::Counter::kIsRate);
    conn.Close();
    std::filesystem::remove(path);
}
BENCHMARK(BM_InsertInOneTransaction)->Unit(benchmark::kMillisecond);

} // namespace
