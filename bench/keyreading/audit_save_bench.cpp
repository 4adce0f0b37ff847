// Saving a full key's 2,036 audit rows into the history: into an empty history and into one
// of a million rows (the event index keeps them alike), and against a bare prepared insert.
#include "app/keyreading/audit_save.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;
using namespace std::chrono;

bool smoke()
{
    return std::getenv("IOS_BENCH_SMOKE") != nullptr;
}

std::vector<keyreading::SavedRow> keyRows()
{
    std::vector<keyreading::SavedRow> rows(2036);
    const auto base = local_days { year { 2027 } / 3 / 1 };
    for (size_t i = 0; i < rows.size(); ++i) {
        auto& r = rows[i];
        r[0] = DbVariant("0100000000" + std::to_string(100000 + i % 500));
        r[1] = DbVariant(std::string("First"));
        r[2] = DbVariant(std::string("Last"));
        r[3] = DbVariant(std::string(i % 2 ? "Close Lock With Key" : "Open Lock With Key(Storehouse Mode)"));
        r[4] = DbVariant(DateTime { base + minutes(i) });
        r[5] = DbVariant(std::string("Active"));
        r[6] = DbVariant(std::string(""));
        r[7] = DbVariant(std::string("Store"));
        r[8] = DbVariant(std::string("Wing"));
    }
    return rows;
}

// A copy of the supplied database whose history holds n older events.
fs::path historyOf(int64_t n)
{
    static std::map<int64_t, fs::path> made;
    if (auto it = made.find(n); it != made.end())
        return it->second;
    const fs::path file = fs::temp_directory_path()
        / ("ios_bench_history_" + std::to_string(n) + "_" + std::to_string(::getpid()) + ".db");
    fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", file, fs::copy_options::overwrite_existing);
    TDbConnection db;
    db.Open(file.string());
    db.ExecSQL("WITH RECURSIVE i(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM i WHERE x + 1 < "
        + std::to_string(n)
        + ") INSERT INTO RecordInfor (SerialID,FirstName,LastName,Status,Department,LockName,LockLocation,"
          "OpenLockType,OpenLockTime) SELECT printf('01000000%08d', x % 5000),'F','L','Active','','Lock ' || "
          "(x % 50),"
          "'Wing','Open Lock With Key(Storehouse Mode)',datetime('2020-01-01', '+' || x || ' minutes') FROM "
          "i");
    db.Close();
    made[n] = file;
    return file;
}

void BM_SaveKeyIntoHistory(benchmark::State& state)
{
    const int64_t n = smoke() ? std::min<int64_t>(state.range(0), 1000) : state.range(0);
    TDbConnection db;
    db.Open(historyOf(n).string());
    const auto rows = keyRows();
    for (auto _ : state) {
        const auto out = keyreading::saveToHistory(db, rows);
        state.PauseTiming();
        if (out.saved != int(rows.size()))
            state.SkipWithError("not every row was saved");
        db.ExecSQL("DELETE FROM RecordInfor WHERE OpenLockTime >= '2027-01-01'");
        state.ResumeTiming();
    }
    state.counters["history"] = double(n);
    state.counters["rows/s"]
        = benchmark::Counter(double(state.iterations()) * double(rows.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SaveKeyIntoHistory)->Arg(0)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The same rows with one prepared INSERT each in one transaction, no duplicate check.
void BM_BarePreparedInsert(benchmark::State& state)
{
    TDbConnection db;
    db.Open(historyOf(0).string());
    const auto rows = keyRows();
    TDbQuery insert(&db);
    insert.SQL
        = "INSERT INTO RecordInfor (SerialID,FirstName,LastName,OpenLockType,OpenLockTime,Status,Department,"
          "LockName,LockLocation,CodeType) VALUES (:a,:b,:c,:d,:e,:f,:g,:h,:i,:j)";
    for (auto _ : state) {
        db.StartTransaction();
        for (const auto& r : rows) {
            for (int i = 0; i < 10; ++i)
                insert.Params()[i].Value(r[size_t(i)]);
            insert.ExecSQL();
        }
        db.Commit();
        state.PauseTiming();
        db.ExecSQL("DELETE FROM RecordInfor WHERE OpenLockTime >= '2027-01-01'");
        state.ResumeTiming();
    }
    state.counters["rows/s"]
        = benchmark::Counter(double(state.iterations()) * double(rows.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BarePreparedInsert)->Unit(benchmark::kMillisecond);

} // namespace
