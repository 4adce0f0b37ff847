// Queries on a real database file: parameters, typed fields and nulls, joins, navigation,
// errors.
#include <sqlite3.h>

#include "db_fixture.h"

using db::makeDateTime;

class Query : public DbFixture {};

TEST_F(Query, ParametersAreSetByNameKeptAcrossRewritesAndAColonInALiteralIsNone)
{
    addLock(1, "0000000000000A01", "Room: 101");
    addLock(2, "0000000000000A02", "Store");
    TDbQuery q(&conn);
    q.Name = "Query1";
    q.SQL.Clear();
    q.SQL.Add("SELECT * FROM LockManagement");
    q.SQL.Add("WHERE LockName <> 'x:y' AND (SerialID = :SerialID OR LockName = :SerialID)");
    EXPECT_EQ(q.ParamCount(), 1);
    EXPECT_EQ(dbError([&] { q.ParamByName("Serial"); }), "Query1: Parameter 'Serial' not found");
    EXPECT_EQ(dbError([&] { q.Open(); }), "Query1: No value for parameter 'SerialID'");
    EXPECT_FALSE(q.Active());
    q.ParamByName("SerialID").Clear(); // null is a value
    q.Open();
    EXPECT_TRUE(q.Eof() && q.Bof());
    q.Close();
    q.ParamByName("serialid").AsString("0000000000000A01");
    q.Open();
    EXPECT_EQ(rowsOf(q, {"LockName"}), "Room: 101");
    q.Close();
    q.ParamByName("SerialID").AsString("Store"); // the same name twice binds both places
    q.Open();
    EXPECT_EQ(rowsOf(q, {"LockID"}), "2");

    q.SQL.Add("ORDER BY LockName DESC"); // changing the text closes the query, the values stay
    EXPECT_FALSE(q.Active());
    q.SQL = "SELECT * FROM LockManagement WHERE LockName = :SerialID ORDER BY LockID";
    EXPECT_EQ(q.Params()[0].AsString(), "Store");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 1);
}

TEST_F(Query, TypedValuesAreStoredInTheAgreedTextForms)
{
    TDbQuery q(&conn);
    q.SQL = {"INSERT INTO AccessCode (SerialID,LockName,GuestFirstName,GuestLastName,CodeType,StartDate,EndDate,",
             "DateCreated,CreatedBy,CodeString,LostTimes,HasDeleted)",
             "VALUES (:SerialID,:LockName,:F,:L,:CodeType,:StartDate,:EndDate,:DateCreated,:CreatedBy,:CodeString,",
             ":LostTimes,:HasDeleted)"};
    q.ParamByName("SerialID").AsString("00000000000000AB");
    q.ParamByName("LockName").AsString("Room 1");
    q.ParamByName("F").AsString("");
    q.ParamByName("L").Clear();
    q.ParamByName("CodeType").AsString("Temp");
    q.ParamByName("StartDate").AsDate(makeDateTime(2024, 6, 1, 15, 30, 0));
    q.ParamByName("EndDate").AsDateTime(makeDateTime(2024, 6, 3, 8, 0, 0));
    q.ParamByName("DateCreated").Value(DbVariant(makeDateTime(2024, 5, 31, 9, 1, 2)));
    q.ParamByName("CreatedBy").AsString("admin");
    q.ParamByName("CodeString").AsString("0012345678");
    q.ParamByName("LostTimes").AsInteger(1);
    q.ParamByName("HasDeleted").AsBoolean(false);
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 1);
    // '' stays '', null stays null.
    EXPECT_EQ(peek("SELECT StartDate || '|' || EndDate || '|' || DateCreated || '|' || typeof(HasDeleted) || HasDeleted"
                   " || '|' || CodeString || '|' || quote(GuestFirstName) || '|' || quote(GuestLastName) FROM AccessCode"),
              "2024-06-01 00:00:00|2024-06-03 08:00:00|2024-05-31 09:01:02|integer0|0012345678|''|NULL");

    TDbQuery r(&conn);
    r.SQL = "SELECT * FROM AccessCode WHERE StartDate = :S AND HasDeleted = :D";
    r.ParamByName("S").AsDate(makeDateTime(2024, 6, 1, 23, 59, 0));
    r.ParamByName("D").AsBoolean(false);
    r.Open();
    ASSERT_EQ(r.RecordCount(), 1);
    EXPECT_EQ(r.FieldByName("StartDate").AsDateTime(), makeDateTime(2024, 6, 1));
    EXPECT_EQ(r.FieldByName("HasDeleted").Value(), DbVariant(false));
    EXPECT_EQ(r.FieldByName("LostTimes").Value(), DbVariant(1));
    EXPECT_TRUE(r.FieldByName("GuestLastName").IsNull());
    EXPECT_EQ(r.FieldByName("GuestLastName").AsString(), "");
    EXPECT_FALSE(r.FieldByName("GuestFirstName").IsNull());
}

TEST_F(Query, TimesAndLegacyDateFormsAreRead)
{
    conn.ExecSQL("INSERT INTO TimeShift VALUES (2, '08:30:00', '17:00', 'Monday');"
                 "INSERT INTO ActExpDateST VALUES (2, '2024-01-05', '2024-02-01T10:00:00'), (3, 'not a date', NULL)");
    TDbQuery q(&conn);
    q.SQL = "SELECT * FROM TimeShift";
    q.Open();
    EXPECT_EQ(q.FieldByName("BeginTime").DataType(), ftTime);
    EXPECT_EQ(q.FieldByName("EndTime").AsString(), "17:00:00");
    // A time read back and bound again matches the stored text.
    TDbQuery w(&conn);
    w.SQL = "SELECT count(*) AS N FROM TimeShift WHERE BeginTime = :B";
    w.ParamByName("B").Value(q.FieldByName("BeginTime").Value());
    w.Open();
    EXPECT_EQ(w.FieldByName("N").AsInteger(), 1);
    q.Close();
    q.SQL = "SELECT * FROM ActExpDateST WHERE GroupID > 1 ORDER BY GroupID";
    q.Open();
    EXPECT_EQ(q.FieldByName("ExpirationDate").AsDateTime(), makeDateTime(2024, 2, 1, 10));
    q.Next();
    EXPECT_EQ(q.FieldByName("ActivationDate").AsString(), "not a date");
    EXPECT_EQ(dbError([&] { q.FieldByName("ActivationDate").AsDateTime(); }), "'not a date' is not a valid date and time");
}

TEST_F(Query, FieldsOfJoinsAndAggregatesAreFoundByName)
{
    addLock(7, "00000000000000C7", "Gate");
    conn.ExecSQL("INSERT INTO LockKeyManagement (LockID, KeyID) VALUES (7, 3)");
    TDbQuery q(&conn);
    q.Name = "Query2";
    q.SQL = {"SELECT A.LockID,A.KeyID,B.LockID,B.SerialID,B.LockName,B.LockLocation",
             "FROM LockKeyManagement AS A,LockManagement AS B", "WHERE A.LockID = B.LockID", "AND A.KeyID = :KeyID"};
    q.ParamByName("KeyID").AsInteger(3);
    q.Open();
    ASSERT_EQ(q.FieldCount(), 6);
    EXPECT_EQ(q.Fields[0].FieldName(), "LockID");
    EXPECT_EQ(q.Fields[2].FieldName(), "LockID_1");
    EXPECT_EQ(&q.FieldByName("A.LockID"), &q.Fields[0]);
    EXPECT_EQ(&q.FieldByName("b.lockid"), &q.Fields[2]);
    EXPECT_EQ(&q.FieldByName("LockManagement.LockID"), &q.Fields[2]);
    EXPECT_EQ(&q.FieldByName("LockID"), &q.Fields[0]);
    EXPECT_EQ(q.FieldByName("B.SerialID").AsString(), "00000000000000C7");
    EXPECT_EQ(q.Fields[2].AsInteger(), 7);
    EXPECT_EQ(dbError([&] { q.FieldByName("Nope"); }), "Query2: Field 'Nope' not found");
    EXPECT_EQ(q.FindField("nope"), nullptr);

}

TEST_F(Query, DatabaseErrorsCarrySqliteMessageAndCodeAndAFailedStatementWritesNothing)
{
    TDbQuery q(&conn);
    q.SQL = "SELECT * FROM NoSuchTable";
    try {
        q.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "no such table: NoSuchTable");
        EXPECT_EQ(e.ErrorCode(), SQLITE_ERROR);
        EXPECT_EQ(e.Sql(), "SELECT * FROM NoSuchTable");
    }
    q.SQL = "UPDATE Admin SET UserName = :N";
    q.ParamByName("N").Clear();
    try {
        q.ExecSQL();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "NOT NULL constraint failed: Admin.UserName");
        EXPECT_EQ(e.ErrorCode(), SQLITE_CONSTRAINT);
        EXPECT_EQ(e.ExtendedErrorCode(), SQLITE_CONSTRAINT_NOTNULL);
    }
    q.SQL = "DELETE FROM Admin; DELETE FROM TitleName";
    EXPECT_EQ(dbError([&] { q.ExecSQL(); }), "The SQL text holds more than one statement");
    EXPECT_EQ(count("Admin"), 1);
    q.SQL = "DELETE FROM Admin";
    EXPECT_EQ(dbError([&] { q.Open(); }), "The statement returns no rows; run it with ExecSQL");

    conn.ExecSQL("INSERT INTO Admin VALUES ('op', 'x', 1)");
    // The second row collides with the demo operator: neither row may remain.
    q.SQL = {"INSERT INTO Admin (UserName, Password, Level)",
             "SELECT 'new' || UserName, '', 1 FROM Admin UNION ALL SELECT :Name, '', 1"};
    q.ParamByName("Name").AsString("admin");
    EXPECT_THROW(q.ExecSQL(), EDatabaseError);
    EXPECT_EQ(peek("SELECT group_concat(UserName) FROM Admin"), "admin,op");
    q.ParamByName("Name").AsString("third"); // the kept statement is reusable after the failure
    q.ExecSQL();
    EXPECT_EQ(count("Admin"), 5);
}
