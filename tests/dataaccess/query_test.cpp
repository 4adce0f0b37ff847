// Queries on a real database file: parameters, typed fields and nulls, joins, navigation,
// errors.
#include "db_fixture.h"

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
    q.SQL = {"INSERT INTO AccessCode (GuestFirstName,GuestLastName,StartDate,EndDate,DateCreated,CodeString,",
             "LostTimes,HasDeleted)",
             "VALUES (:F,:L,:StartDate,:EndDate,:DateCreated,:CodeString,:LostTimes,:HasDeleted)"};
    q.ParamByName("F").AsString("");
    q.ParamByName("L").Clear();
    q.ParamByName("StartDate").AsDate(makeDateTime(2024, 6, 1, 15, 30, 0));
    q.ParamByName("EndDate").AsDateTime(makeDateTime(2024, 6, 3, 8, 0, 0));
    q.ParamByName("DateCreated").Value(DbVariant(makeDateTime(2024, 5, 31, 9, 1, 2)));
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

TEST_F(Query, TimesReadBackAndBoundAgainMatchTheStoredText)
{
    conn.ExecSQL("INSERT INTO TimeShift VALUES (2, '08:30:00', '17:00', 'Monday')");
    TDbQuery t(&conn);
    t.SQL = "SELECT * FROM TimeShift";
    t.Open();
    EXPECT_EQ(t.FieldByName("BeginTime").DataType(), ftTime);
    EXPECT_EQ(t.FieldByName("EndTime").AsString(), "17:00:00");
    // A time read back and bound again matches the stored text.
    TDbQuery w(&conn);
    w.SQL = "SELECT count(*) AS N FROM TimeShift WHERE BeginTime = :B";
    w.ParamByName("B").Value(t.FieldByName("BeginTime").Value());
    w.Open();
    EXPECT_EQ(w.FieldByName("N").AsInteger(), 1);
}

TEST_F(Query, DateFormsOfOlderFilesAreRead)
{
    conn.ExecSQL("INSERT INTO ActExpDateST VALUES (2, '2024-01-05', '2024-02-01T10:00:00'), (3, 'not a date', NULL)");
    TDbQuery t(&conn);
    t.SQL = "SELECT * FROM ActExpDateST WHERE GroupID > 1 ORDER BY GroupID";
    t.Open();
    EXPECT_EQ(t.FieldByName("ExpirationDate").AsDateTime(), makeDateTime(2024, 2, 1, 10));
    t.Next();
    EXPECT_EQ(t.FieldByName("ActivationDate").AsString(), "not a date");
    EXPECT_EQ(dbError([&] { t.FieldByName("ActivationDate").AsDateTime(); }), "'not a date' is not a valid date and time");
}

TEST_F(Query, FieldsOfJoinsAreFoundByName)
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

TEST_F(Query, DatabaseErrorsCarrySqlitesMessageAndCode)
{
    TDbQuery e(&conn);
    e.SQL = "SELECT * FROM NoSuchTable";
    const EDatabaseError missing = dbFailure([&] { e.Open(); });
    EXPECT_STREQ(missing.what(), "no such table: NoSuchTable");
    EXPECT_EQ(missing.ErrorCode(), SQLITE_ERROR);
    EXPECT_EQ(missing.Sql(), "SELECT * FROM NoSuchTable");
    e.SQL = "UPDATE Admin SET UserName = :N";
    e.ParamByName("N").Clear();
    const EDatabaseError notNull = dbFailure([&] { e.ExecSQL(); });
    EXPECT_STREQ(notNull.what(), "NOT NULL constraint failed: Admin.UserName");
    EXPECT_EQ(notNull.ErrorCode(), SQLITE_CONSTRAINT);
    EXPECT_EQ(notNull.ExtendedErrorCode(), SQLITE_CONSTRAINT_NOTNULL);
    e.SQL = "DELETE FROM Admin";
    EXPECT_EQ(dbError([&] { e.Open(); }), "The statement returns no rows; run it with ExecSQL");
}

TEST_F(Query, AFailedStatementWritesNothing)
{
    TDbQuery e(&conn);
    e.SQL = "DELETE FROM Admin; DELETE FROM TitleName";
    EXPECT_EQ(dbError([&] { e.ExecSQL(); }), "The SQL text holds more than one statement");
    EXPECT_EQ(count("Admin"), 1);
    conn.ExecSQL("INSERT INTO Admin VALUES ('op', 'x', 1)");
    // The second row collides with the demo operator: neither row may remain.
    e.SQL = {"INSERT INTO Admin (UserName, Password, Level)",
             "SELECT 'new' || UserName, '', 1 FROM Admin UNION ALL SELECT :Name, '', 1"};
    e.ParamByName("Name").AsString("admin");
    EXPECT_THROW(e.ExecSQL(), EDatabaseError);
    EXPECT_EQ(peek("SELECT group_concat(UserName) FROM Admin"), "admin,op");
    e.ParamByName("Name").AsString("third"); // the kept statement is reusable after the failure
    e.ExecSQL();
    EXPECT_EQ(count("Admin"), 5);
}
