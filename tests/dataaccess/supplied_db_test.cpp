// The database the build supplies: every table the windows use, and the rows every
// database starts with.
#include <algorithm>
#include <gtest/gtest.h>

#include "dataaccess/dataaccess.h"

namespace {

const char* const kTables[] = {"Admin", "TitleName", "LoginHistory", "LockManagement", "LockStatus", "LockStatusST",
    "KeyManagement", "LockKeyManagement", "TimeShift", "TimeGroup", "TempWeek", "ActExpDateST", "ExceptionDateST",
    "AccessCode", "OneOffCode", "RecordInfor", "TempKey", "TempKey1", "TempKey2", "TempLock1", "TempLock2",
    "TempLockKey", "TempRecord", "TempAccessCode", "LockSerialID", "TimeShift1", "LockStatusST1", "ActExpDateST1",
    "ExceptionDateST1"};

} // namespace

class SuppliedDb : public ::testing::Test {
protected:
    TDbConnection conn{IOS_BINARY_DIR "/iOstrivaneDB.db"};
    TDbQuery q{&conn};
    void SetUp() override { conn.Open(); }

    // The rows of a statement, each row's first column (or, for a query plan, its detail) joined by ",".
    std::string rows(const std::string& sql)
    {
        q.Close();
        q.SQL = sql;
        q.Open();
        std::string out;
        for (int n = 0; !q.Eof() && n < 1000; q.Next(), ++n)
            out += (out.empty() ? "" : ",") + (q.FindField("detail") ? q.FieldByName("detail") : q.Fields[0]).AsString();
        EXPECT_TRUE(q.Eof()) << "the rows do not end";
        return out;
    }
};

// Exactly the tables the windows use; their columns are those the other tests lay out.
TEST_F(SuppliedDb, HasEveryTable)
{
    std::vector<std::string> wanted(std::begin(kTables), std::end(kTables));
    std::sort(wanted.begin(), wanted.end());
    std::string names;
    for (const auto& t : wanted)
        names += (names.empty() ? "" : ",") + t;
    EXPECT_EQ(rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"), names);
}

TEST_F(SuppliedDb, SeedRows)
{
    EXPECT_EQ(rows("SELECT GroupName FROM TimeGroup"), "No Limit");
    EXPECT_EQ(rows("SELECT GroupID || '|' || ifnull(ActivationDate, 'null') FROM ActExpDateST"), "1|null");
    EXPECT_EQ(rows("SELECT GroupID FROM ExceptionDateST"), "1");
    EXPECT_EQ(rows("SELECT LockStatusID || ' ' || LockStatusName FROM LockStatus ORDER BY 1"),
              "1 No Limit Classroom Mode,2 No Limit Storehouse Mode");
    EXPECT_EQ(rows("SELECT UserName || '|' || Level FROM Admin"), "admin|2");
    EXPECT_EQ(rows("SELECT TitleName || '|' || Level FROM TitleName"), "iOstrivane Lock Management|2");
    EXPECT_EQ(rows("SELECT DayOfWeek FROM TempWeek ORDER BY DayID"),
              "Sunday,Monday,Tuesday,Wednesday,Thursday,Friday,Saturday");
    EXPECT_EQ(rows("SELECT CodeNo || '=' || OneOffCode FROM OneOffCode ORDER BY CodeNo"), "1=,2=,3=,4=,5=,6=,7=,8=,9=,10=");
    for (const char* empty : {"LockManagement", "KeyManagement", "LockKeyManagement", "AccessCode", "RecordInfor",
                              "LoginHistory", "TimeShift", "LockStatusST"})
        EXPECT_EQ(rows(std::string("SELECT count(*) FROM ") + empty), "0") << empty;
}

TEST_F(SuppliedDb, LookupsUseIndexes)
{
    const std::pair<const char*, const char*> lookups[] = {
        {"LockManagement WHERE SerialID = 'x'", "USING INDEX"},
        {"KeyManagement WHERE SerialID = 'x'", "USING INDEX"},
        {"KeyManagement WHERE KeyCode = '1'", "USING INDEX"},
        {"AccessCode WHERE CodeString = '1'", "USING INDEX"},
        {"RecordInfor WHERE SerialID = 'a' AND LockName = 'b' AND OpenLockType = 'c' "
         "AND OpenLockTime = '2024-01-01 00:00:00'", "RecordInfor_Event"},
    };
    for (const auto& [lookup, index] : lookups)
        EXPECT_NE(rows(std::string("EXPLAIN QUERY PLAN SELECT * FROM ") + lookup).find(index), std::string::npos)
            << lookup;
}
