#pragma once
// A fresh database file in a temp folder, laid out by the real schema script, and a second,
// independent SQLite handle to check what was really committed to the file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "dataaccess/dataaccess.h"

using db::makeDateTime;

class DbFixture : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::filesystem::path file;
    TDbConnection conn;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("ios_dataaccess_" + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        file = dir / "test.db";
        std::ifstream in(IOS_SOURCE_DIR "/db/schema.sql");
        ASSERT_TRUE(in) << "schema.sql not found";
        std::stringstream ss;
        ss << in.rdbuf();
        conn.CreateIfMissing = true;
        conn.Open(file.string());
        conn.ExecSQL("PRAGMA synchronous = OFF"); // a scratch file: no need to wait for the disk
        conn.ExecSQL("BEGIN;" + ss.str() + ";COMMIT;");
    }

    void TearDown() override
    {
        conn.Close();
        std::filesystem::remove_all(dir);
    }

    // First column of the first row through a separate connection, "NULL" for null,
    // "<none>" when there is no row.
    std::string peek(const std::string& sql) const
    {
        sqlite3* h = nullptr;
        sqlite3_open_v2(file.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
        std::string out = "<none>";
        char* error = nullptr;
        const auto first = [](void* o, int, char** v, char**) {
            *static_cast<std::string*>(o) = v[0] ? v[0] : "NULL";
            return 1; // one row is enough
        };
        if (const int rc = sqlite3_exec(h, sql.c_str(), first, &out, &error); rc != SQLITE_OK && rc != SQLITE_ABORT)
            out = std::string("<error> ") + (error ? error : sqlite3_errmsg(h));
        sqlite3_free(error);
        sqlite3_close(h);
        return out;
    }

    int count(const std::string& table) const { return std::stoi(peek("SELECT count(*) FROM " + table)); }

    void addLock(int id, const std::string& serial, const std::string& name, const std::string& location = "Hall")
    {
        conn.ExecSQL("INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation,LockStatusID,LockType) VALUES (" +
                     std::to_string(id) + ",'" + serial + "','" + name + "','" + location + "',1,'iButton')");
    }
};

// Runs f and returns the EDatabaseError it raises (one with an empty message when none).
template <typename F> EDatabaseError dbFailure(F&& f)
{
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e;
    }
    return EDatabaseError("");
}
template <typename F> std::string dbError(F&& f) { return dbFailure(f).what(); }

// Edits one text field of the current row and posts it.
inline void editText(TMemoryDataSet& ds, const char* field, const std::string& text)
{
    ds.Edit();
    ds.FieldByName(field).AsString(text);
    ds.Post();
}

// The named fields of every row, "a|b" per row, rows joined by ",".
inline std::string rowsOf(TMemoryDataSet& ds, std::initializer_list<const char*> fields)
{
    std::string out;
    ds.First();
    for (int n = 0; !ds.Eof() && n < 1000; ds.Next(), ++n) {
        for (const char* f : fields)
            out += ds.FieldByName(f).AsString() + "|";
        out.back() = ',';
    }
    EXPECT_TRUE(ds.Eof()) << "the rows do not end";
    return out.empty() ? out : out.substr(0, out.size() - 1);
}
