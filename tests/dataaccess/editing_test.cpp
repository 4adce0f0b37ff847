// Dataset states and edits written at Post (no cached updates): the table component and
// a query on one table.
#include "db_fixture.h"

#include <stdexcept>

class Editing : public DbFixture {};

TEST_F(Editing, StatesFollowEditInsertPostCancel)
{
    addLock(1, "S1", "One");
    addLock(2, "S2", "Two");
    TDbQuery q(&conn);
    q.Name = "Query1";
    q.SQL = "SELECT * FROM LockManagement ORDER BY LockID";
    EXPECT_EQ(dbError([&] { q.Edit(); }), "Query1: Cannot perform this operation on a closed dataset");
    q.SetCachedUpdates(true);
    q.Open();
    EXPECT_EQ(dbError([&] { q.FieldByName("LockName").AsString("x"); }), "Query1: Dataset not in edit or insert mode");

    q.Edit();
    EXPECT_EQ(q.State(), dsEdit);
    q.FieldByName("LockName").AsString("Changed");
    EXPECT_TRUE(q.Modified());
    EXPECT_EQ(q.FieldByName("LockName").OldValue(), DbVariant("One"));
    q.Cancel();
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(q.FieldByName("LockName").AsString(), "One");

    q.Append();
    EXPECT_EQ(q.State(), dsInsert);
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_TRUE(q.FieldByName("LockName").OldValue().isNull());
    q.Cancel();
    q.SetRecNo(2);
    q.Insert(); // before the current row
    EXPECT_EQ(q.RecNo(), 2);
    q.FieldByName("LockID").AsInteger(9);
    q.FieldByName("LockName").AsString("Nine");
    q.Post();
    EXPECT_EQ(q.UpdateStatus(), usInserted);

    // Moving posts a pending edit; an untouched insert is dropped.
    q.Edit();
    q.FieldByName("LockName").AsString("Nine!");
    q.First();
    EXPECT_EQ(q.State(), dsBrowse);
    q.Append();
    q.First();
    EXPECT_EQ(rowsOf(q, {"LockID", "LockName"}), "1|One,9|Nine!,2|Two");

    // Edit on an empty dataset appends.
    TDbQuery e(&conn);
    e.SQL = "SELECT * FROM TempLock1";
    e.SetCachedUpdates(true);
    e.Open();
    e.Edit();
    EXPECT_EQ(e.State(), dsInsert);
    EXPECT_EQ(count("LockManagement"), 2); // cached: nothing written yet
}

TEST_F(Editing, FieldValuesAreConvertedToTheFieldType)
{
    TDbTable t(&conn, "LockKeyManagement");
    t.Open();
    t.Append();
    t.FieldByName("LockID").AsString("12");
    t.FieldByName("ExpDate").AsInteger(1);
    t.FieldByName("LastSetupTime").AsString("2024-04-01 10:11:12");
    EXPECT_EQ(t.FieldByName("LockID").Value(), DbVariant(12));
    EXPECT_EQ(t.FieldByName("ExpDate").Value(), DbVariant(true));
    EXPECT_EQ(t.FieldByName("LastSetupTime").AsDateTime(), makeDateTime(2024, 4, 1, 10, 11, 12));
    EXPECT_THROW(t.FieldByName("KeyID").AsString("twelve"), EDatabaseError);
    EXPECT_THROW(t.FieldByName("LastSetupTime").AsString("2024-02-30"), EDatabaseError);
    t.Post();
    EXPECT_EQ(peek("SELECT LockID || '|' || typeof(LockID) || '|' || ExpDate || '|' || LastSetupTime FROM LockKeyManagement"),
              "12|integer|1|2024-04-01 10:11:12");
}

TEST_F(Editing, AQueryOnOneTableWritesWithoutAnUpdateObject)
{
    addLock(1, "S1", "Same");
    addLock(2, "S2", "Same");
    TDbQuery q(&conn);
    q.SQL = "SELECT LockID, LockName, LockLocation FROM LockManagement WHERE LockName = 'Same' ORDER BY LockID";
    q.Open();
    q.Next();
    editText(q, "LockLocation", "Roof");
    EXPECT_EQ(peek("SELECT group_concat(LockLocation, ',') FROM (SELECT LockLocation FROM LockManagement ORDER BY LockID)"),
              "Hall,Roof");
    // A row changed behind the query's back is not overwritten.
    conn.ExecSQL("UPDATE LockManagement SET LockLocation = 'Cellar' WHERE LockID = 1");
    q.First();
    q.Edit();
    q.FieldByName("LockLocation").AsString("Attic");
    EXPECT_EQ(dbError([&] { q.Post(); }), "Record not found or changed by another user");
    q.Cancel();
    EXPECT_EQ(peek("SELECT LockLocation FROM LockManagement WHERE LockID = 1"), "Cellar");
}

TEST_F(Editing, TableWritesEachPostAndDeleteAtOnce)
{
    TDbTable t(&conn);
    t.SetTableName("OneOffCode");
    t.Open();
    ASSERT_EQ(t.RecordCount(), 10);
    editText(t, "OneOffCode", "1234");
    t.Next();
    editText(t, "OneOffCode", ""); // empty text, not null
    t.Last();
    t.Delete();
    EXPECT_EQ(t.RecordCount(), 9);
    t.Append();
    t.FieldByName("CodeNo").AsInteger(20);
    t.FieldByName("OneOffCode").AsString("99");
    t.Post();
    EXPECT_EQ(peek("SELECT OneOffCode FROM OneOffCode WHERE CodeNo = 20"), "99");
    // The new row can be edited again in the same session (its rowid is known).
    editText(t, "OneOffCode", "98");
    EXPECT_EQ(peek("SELECT group_concat(CodeNo || '=' || quote(OneOffCode)) FROM OneOffCode WHERE CodeNo IN (1, 2, 10, 20)"),
              "1='1234',2='',20='98'");
    EXPECT_EQ(count("OneOffCode"), 10);
}

// An insert the database refuses raises and stores nothing.
TEST_F(Editing, TableStoresNothingTheDatabaseRefuses)
{
    TDbTable admin(&conn, "Admin");
    admin.Name = "Admin_Table";
    admin.Open();
    admin.Append();
    admin.FieldByName("UserName").AsString("admin"); // unique
    admin.FieldByName("Password").AsString("x");
    EXPECT_EQ(dbError([&] { admin.Post(); }), "UNIQUE constraint failed: Admin.UserName");
    EXPECT_EQ(admin.State(), dsInsert); // the row is still there to fix or cancel
    EXPECT_EQ(count("Admin"), 1);
    admin.FieldByName("UserName").AsString("second");
    admin.Post();
    EXPECT_EQ(count("Admin"), 2);
    admin.Append();
    admin.FieldByName("UserName").AsString("admin");
    EXPECT_THROW(admin.Post(), EDatabaseError);
    admin.Close(); // gives the row up
    EXPECT_EQ(count("Admin"), 2);
}

TEST_F(Editing, AConnectionOpensOnlyAnExistingDatabaseFile)
{
    TDbConnection missing((dir / "absent.db").string());
    EXPECT_THROW(missing.Open(), EDatabaseError);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.db")); // never created by accident
    std::ofstream(dir / "junk.db") << "this is not a database file, not at all, not even close to one......";
    TDbConnection bad((dir / "junk.db").string());
    EXPECT_THROW(bad.Open(), EDatabaseError);
    EXPECT_FALSE(bad.Connected());
}

TEST_F(Editing, OneTransactionAtATimeAndARollbackUndoesIt)
{
    EXPECT_NO_THROW(conn.Rollback()); // nothing to roll back
    EXPECT_THROW(conn.Commit(), EDatabaseError);
    conn.StartTransaction();
    EXPECT_THROW(conn.StartTransaction(), EDatabaseError);
    conn.ExecSQL("DELETE FROM Admin");
    conn.Rollback();
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_EQ(count("Admin"), 1);
}

TEST_F(Editing, AQueryClosesWithItsConnectionAndOutlivesIt)
{
    TDbQuery q(&conn);
    q.SQL = "SELECT * FROM Admin";
    q.Open();
    conn.Close();
    EXPECT_FALSE(q.Active());
    auto lone = std::make_unique<TDbConnection>(file.string());
    q.SetConnection(lone.get());
    q.Open();
    lone.reset(); // the query outlives its connection and says so
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.Connection(), nullptr);
    EXPECT_THROW(q.Open(), EDatabaseError);
}

// What was written is committed at the end of the scope, also when an exception ends it.
TEST_F(Editing, CommitWhatWasWrittenKeepsRowsAlsoWhenTheWriterStops)
{
    {
        db::CommitWhatWasWritten tx(conn);
        EXPECT_TRUE(conn.InTransaction());
        addLock(1, "S1", "One");
    }
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_EQ(count("LockManagement"), 1);
    EXPECT_THROW(
        {
            db::CommitWhatWasWritten tx(conn);
            addLock(2, "S2", "Two");
            throw std::runtime_error("decoder stopped");
        },
        std::runtime_error);
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_EQ(count("LockManagement"), 2);

    // A writer that ran through commits at once and hears of a commit that fails: another
    // connection reading holds the file.
    TDbConnection other(conn.Database);
    other.Open();
    other.ExecSQL("BEGIN; SELECT count(*) FROM LockManagement");
    sqlite3_busy_timeout(conn.Handle(), 1);
    {
        db::CommitWhatWasWritten tx(conn);
        addLock(4, "S4", "Four");
        EXPECT_THROW(tx.commit(), EDatabaseError);
        EXPECT_FALSE(conn.InTransaction());
    }
    other.Rollback();
    EXPECT_EQ(count("LockManagement"), 2);

    // Inside an outer transaction it commits nothing: the outer one decides.
    conn.StartTransaction();
    {
        db::CommitWhatWasWritten tx(conn);
        addLock(3, "S3", "Three");
    }
    EXPECT_TRUE(conn.InTransaction());
    conn.Rollback();
    EXPECT_EQ(count("LockManagement"), 2);
}
