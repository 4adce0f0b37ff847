// The database the build supplies: every table the windows use, and the rows every
// database starts with.
#include <gtest/gtest.h>

#include <set>

#include "dataaccess/dataaccess.h"

namespace {

struct TableSpec {
    const char* name;
    std::vector<const char*> columns;
};

const std::vector<TableSpec>& tables()
{
    static const std::vector<TableSpec> t = {
        {"Admin", {"UserName", "Password", "Level"}},
        {"TitleName", {"TitleName", "Level"}},
        {"LoginHistory", {"ID", "UserName", "Level", "LoginTime", "LogoutTime"}},
        {"LockManagement", {"LockID", "SerialID", "LockName", "LockLocation", "LockStatusID", "LockType"}},
        {"LockStatus", {"LockStatusID", "LockStatusName"}},
        {"LockStatusST", {"LockStatusID", "LockStatus", "BeginTime", "Sunday", "Monday", "Tuesday", "Wednesday",
                          "Thursday", "Friday", "Saturday"}},
        {"KeyManagement", {"KeyID", "UserType", "SerialID", "KeyCode", "FirstName", "LastName", "Department", "Title",
                           "Address", "ContactInfor", "Status"}},
        {"LockKeyManagement", {"LockID", "KeyID", "TimeShiftID", "ActExpDateID", "ExpDateID", "SerialID", "FirstName",
                               "LastName", "Status", "Department", "Title", "Address", "ContactInfor", "UserType",
                               "KeyCode", "LastSetupTime", "ExpDate"}},
        {"TimeShift", {"GroupID", "BeginTime", "EndTime", "DayOfWeek"}},
        {"TimeGroup", {"GroupID", "GroupName"}},
        {"TempWeek", {"DayID", "DayOfWeek"}},
        {"ActExpDateST", {"GroupID", "ActivationDate", "ExpirationDate"}},
        {"ExceptionDateST", {"GroupID", "ExceptionDateFrom", "ExceptionDateTo"}},
        {"AccessCode", {"SerialID", "LockName", "GuestFirstName", "GuestLastName", "CodeType", "StartDate", "EndDate",
                        "DateCreated", "CreatedBy", "CodeString", "LostTimes", "HasDeleted", "TimeGroup"}},
        {"OneOffCode", {"CodeNo", "OneOffCode"}},
        {"RecordInfor", {"SerialID", "FirstName", "LastName", "Status", "Department", "LockName", "LockLocation",
                         "OpenLockType", "OpenLockTime", "CodeType"}},
        {"TempKey", {"KeyID", "SerialID", "FirstName", "LastName", "Status", "Used", "UserType", "KeyCode",
                     "Department", "Title", "Address", "ContactInfor", "TimeShiftID", "ActExpDateID", "ExpDateID",
                     "ExpDate"}},
        {"TempKey1", {"KeyID", "LockID", "TimeShiftID", "ActExpDateID", "ExpDateID", "UserType", "SerialID", "KeyCode",
                      "FirstName", "LastName", "Department", "Title", "Address", "ContactInfor", "Status", "Used",
                      "ExpDate"}},
        {"TempKey2", {"KeyID", "LockID", "SerialID", "Used"}},
        {"TempLock1", {"LockID", "SerialID", "LockName", "LockLocation", "Used", "TabPageID", "LockStatusID"}},
        {"TempLock2", {"LockID", "SerialID", "LockName", "LockLocation", "Used"}},
        {"TempLockKey", {"LockID", "KeyID", "TimeShiftID", "ActExpDateID", "ExpDateID", "SerialID", "FirstName",
                         "LastName", "Status", "Department", "Title", "Address", "ContactInfor", "UserType", "KeyCode",
                         "LastSetupTime", "ExpDate", "Used"}},
        {"TempRecord", {"No", "SerialID", "FirstName", "LastName", "Status", "Department", "LockName", "LockLocation",
                        "OpenLockType", "OpenLockTime", "CodeType"}},
        {"TempAccessCode", {"SerialID", "LockName", "GuestFirstName", "GuestLastName", "CodeType", "StartDate",
                            "EndDate", "DateCreated", "CreatedBy", "CodeString", "LostTimes", "HasDeleted",
                            "TimeGroup", "Selected"}},
        {"LockSerialID", {"SerialID", "Exist", "LockName"}},
        {"TimeShift1", {"GroupID", "BeginTime", "EndTime", "DayOfWeek"}},
        {"LockStatusST1", {"LockStatusID", "LockStatus", "BeginTime", "Sunday", "Monday", "Tuesday", "Wednesday",
                           "Thursday", "Friday", "Saturday"}},
        {"ActExpDateST1", {"GroupID", "ActivationDate", "ExpirationDate"}},
        {"ExceptionDateST1", {"GroupID", "ExceptionDateFrom", "ExceptionDateTo"}},
    };
    return t;
}

} // namespace

class SuppliedDb : public ::testing::Test {
protected:
    TDbConnection conn{IOS_BINARY_DIR "/iOstrivaneDB.db"};
    void SetUp() override { conn.Open(); }
};

TEST_F(SuppliedDb, HasEveryTableWithItsColumns)
{
    for (const TableSpec& t : tables()) {
        TDbTable table(&conn, t.name);
        ASSERT_NO_THROW(table.Open()) << t.name;
        for (const char* c : t.columns)
            EXPECT_NE(table.FindField(c), nullptr) << t.name << "." << c;
    }
}

TEST_F(SuppliedDb, ColumnTypesFollowTheStorageConventions)
{
    TDbTable t(&conn, "LockKeyManagement");
    t.Open();
    EXPECT_EQ(t.FieldByName("LockID").DataType(), ftInteger);
    EXPECT_EQ(t.FieldByName("KeyCode").DataType(), ftString);
    EXPECT_EQ(t.FieldByName("LastSetupTime").DataType(), ftDateTime);
    EXPECT_EQ(t.FieldByName("ExpDate").DataType(), ftBoolean);
    TDbTable s(&conn, "TimeShift");
    s.Open();
    EXPECT_EQ(s.FieldByName("BeginTime").DataType(), ftTime);
}

TEST_F(SuppliedDb, SeedRows)
{
    TDbQuery q(&conn);
    auto one = [&](const std::string& sql) {
        q.Close();
        q.SQL = sql;
        q.Open();
        return q.RecordCount();
    };
    EXPECT_EQ(one("SELECT * FROM TimeGroup WHERE GroupID = 1 AND GroupName = 'No Limit'"), 1);
    EXPECT_EQ(one("SELECT * FROM ActExpDateST WHERE GroupID = 1"), 1);
    EXPECT_TRUE(q.FieldByName("ActivationDate").IsNull());
    EXPECT_EQ(one("SELECT * FROM ExceptionDateST WHERE GroupID = 1"), 1);
    EXPECT_EQ(one("SELECT * FROM LockStatus WHERE LockStatusID = 1 AND LockStatusName = 'No Limit Classroom Mode'"), 1);
    EXPECT_EQ(one("SELECT * FROM LockStatus WHERE LockStatusID = 2 AND LockStatusName = 'No Limit Storehouse Mode'"), 1);
    EXPECT_EQ(one("SELECT * FROM Admin WHERE Level = 2"), 1);
    EXPECT_EQ(one("SELECT * FROM TitleName"), 1);
    ASSERT_EQ(one("SELECT * FROM TempWeek ORDER BY DayID"), 7);
    std::vector<std::string> days;
    for (; !q.Eof(); q.Next())
        days.push_back(q.FieldByName("DayOfWeek").AsString());
    EXPECT_EQ(days, (std::vector<std::string>{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                              "Saturday"}));
    EXPECT_EQ(one("SELECT * FROM OneOffCode"), 10);
    for (const char* empty : {"LockManagement", "KeyManagement", "LockKeyManagement", "AccessCode", "RecordInfor",
                              "LoginHistory", "TimeShift", "LockStatusST"})
        EXPECT_EQ(one(std::string("SELECT * FROM ") + empty), 0) << empty;
}

TEST_F(SuppliedDb, LookupsUseIndexes)
{
    TDbQuery q(&conn);
    auto plan = [&](const std::string& sql) {
        q.Close();
        q.SQL = "EXPLAIN QUERY PLAN " + sql;
        q.Open();
        std::string all;
        for (; !q.Eof(); q.Next())
            all += q.FieldByName("detail").AsString() + "\n";
        return all;
    };
    EXPECT_NE(plan("SELECT * FROM LockManagement WHERE SerialID = 'x'").find("USING INDEX"), std::string::npos);
    EXPECT_NE(plan("SELECT * FROM KeyManagement WHERE SerialID = 'x'").find("USING INDEX"), std::string::npos);
    EXPECT_NE(plan("SELECT * FROM KeyManagement WHERE KeyCode = '1'").find("USING INDEX"), std::string::npos);
    EXPECT_NE(plan("SELECT * FROM AccessCode WHERE CodeString = '1'").find("USING INDEX"), std::string::npos);
    EXPECT_NE(plan("SELECT * FROM RecordInfor WHERE SerialID = 'a' AND LockName = 'b' AND OpenLockType = 'c' "
                   "AND OpenLockTime = '2024-01-01 00:00:00'")
                  .find("RecordInfor_Event"),
              std::string::npos);
}
