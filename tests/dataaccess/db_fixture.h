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
        if (sqlite3_open_v2(file.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(h);
            return "<cannot open>";
        }
        sqlite3_stmt* st = nullptr;
        std::string out = "<error>";
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_ROW)
                out = sqlite3_column_type(st, 0) == SQLITE_NULL
                          ? "NULL"
                          : reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            else if (rc == SQLITE_DONE)
                out = "<none>";
            else
                out = std::string("<error> ") + sqlite3_errmsg(h);
        } else {
            out = std::string("<error> ") + sqlite3_errmsg(h);
        }
        sqlite3_finalize(st);
        sqlite3_close(h);
        return out;
    }

    int count(const std::string& table) const { return std::stoi(peek("SELECT count(*) FROM " + table)); }

    void addLock(int id, const std::string& serial, const std::string& name, const std::string& location = "Hall")
    {
        TDbQuery q(&conn);
        q.SQL = {"INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation,LockStatusID,LockType)",
                 "VALUES (:LockID,:SerialID,:LockName,:LockLocation,:LockStatusID,:LockType)"};
        q.ParamByName("LockID").AsInteger(id);
        q.ParamByName("SerialID").AsString(serial);
        q.ParamByName("LockName").AsString(name);
        q.ParamByName("LockLocation").AsString(location);
        q.ParamByName("LockStatusID").AsInteger(1);
        q.ParamByName("LockType").AsString("iButton");
        q.ExecSQL();
    }
};

// Runs f and returns the message of the EDatabaseError it raises ("" when none).
template <typename F> std::string dbError(F&& f)
{
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return {};
}
