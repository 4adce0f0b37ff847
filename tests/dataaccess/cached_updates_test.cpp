// Cached updates applied through an update-SQL component inside a transaction, the way the
// record-editing windows save (start a transaction, apply, commit; on failure restore the
// cache, roll back and raise), and what a failing change leaves behind.
#include "db_fixture.h"

class CachedUpdates : public DbFixture {
protected:
    TDbQuery q{&conn};
    TDbUpdateSQL us;
    std::vector<TUpdateKind> kinds;

    // The save routine of the data windows, written as they call it.
    void saveCached(TMemoryDataSet& ds)
    {
        conn.StartTransaction();
        try {
            ds.ApplyUpdates();
            conn.Commit();
        } catch (...) {
            ds.RestoreUpdates();
            conn.Rollback();
            throw;
        }
        ds.CommitUpdates();
    }

    void SetUp() override
    {
        DbFixture::SetUp();
        conn.ExecSQL("INSERT INTO TempLock1 (LockID, SerialID, LockName, Used) VALUES (1, 'S1', 'One', 0), "
                     "(2, 'S2', 'Two', 0), (3, 'S3', 'Three', 0)");
        q.Name = "LockList_Query";
        us.Name = "usMaster";
        us.ModifySQL = {"update TempLock1", "set", "Used = :Used, LockName = :LockName", "where", "LockID = :OLD_LockID"};
        us.InsertSQL = {"insert into TempLock1 (LockID, SerialID, LockName, Used)",
                        "values (:LockID, :SerialID, :LockName, :Used)"};
        us.DeleteSQL = "delete from TempLock1 where LockID = :OLD_LockID";
        q.SQL = "SELECT * FROM TempLock1 ORDER BY LockID";
        q.SetCachedUpdates(true);
        q.SetUpdateObject(&us);
        q.OnUpdateRecord = [this](TMemoryDataSet&, TUpdateKind k, TUpdateAction& a) {
            kinds.push_back(k);
            us.ExecSQL(k);
            a = uaApplied;
        };
        q.Open();
    }

    void refuseUpdatesOf(int lockId, const std::string& message = "no")
    {
        conn.ExecSQL("CREATE TRIGGER refuse BEFORE UPDATE ON TempLock1 WHEN NEW.LockID = " +
                     std::to_string(lockId) + " BEGIN SELECT RAISE(ABORT, '" + message + "'); END;");
    }
    void toggleUsed()
    {
        q.Edit();
        q.FieldByName("Used").AsBoolean(!q.FieldByName("Used").AsBoolean());
        q.Post();
    }
    std::string stored() const
    {
        return peek("SELECT group_concat(LockID || LockName || Used, ',') FROM (SELECT * FROM TempLock1 ORDER BY LockID)");
    }
};

TEST_F(CachedUpdates, PostedEditsWaitInTheCacheUntilSaved)
{
    toggleUsed();
    EXPECT_TRUE(q.UpdatesPending());
    EXPECT_EQ(q.UpdateStatus(), usModified);
    EXPECT_EQ(stored(), "1One0,2Two0,3Three0");
    saveCached(q);
    EXPECT_EQ(stored(), "1One1,2Two0,3Three0");
    EXPECT_FALSE(q.UpdatesPending());
    EXPECT_EQ(q.UpdateStatus(), usUnmodified);
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(q.RecNo(), 1);

    // The windows save in AfterPost: each toggle reaches the database at once.
    q.AfterPost = [this](TMemoryDataSet& ds) { saveCached(ds); };
    q.Next();
    toggleUsed();
    EXPECT_EQ(stored(), "1One1,2Two1,3Three0");
    toggleUsed();
    EXPECT_EQ(kinds, std::vector<TUpdateKind>(3, ukModify));
    EXPECT_EQ(stored(), "1One1,2Two0,3Three0");
}

TEST_F(CachedUpdates, InsertsModifiesAndDeletesApplyInTheOrderMade)
{
    q.Last();
    q.Delete(); // LockID 3
    q.Append();
    q.FieldByName("LockID").AsInteger(3); // reuses the id: the delete must run first
    q.FieldByName("SerialID").AsString("S3b");
    q.FieldByName("LockName").AsString("Three again");
    q.FieldByName("Used").AsBoolean(true);
    q.Post();
    q.First();
    editText(q, "LockName", "Uno");
    // An inserted row deleted again before saving never reaches the database.
    q.Append();
    q.FieldByName("LockID").AsInteger(8);
    q.Post();
    q.Delete();
    saveCached(q);
    EXPECT_EQ(kinds, (std::vector<TUpdateKind>{ukDelete, ukInsert, ukModify}));
    EXPECT_EQ(stored(), "1Uno0,2Two0,3Three again1");
}

TEST_F(CachedUpdates, FailingChangeRollsBackRestoresAndSucceedsLater)
{
    refuseUpdatesOf(2, "lock 2 is being programmed");
    int errors = 0;
    q.OnUpdateError = [&](TMemoryDataSet&, EDatabaseError&, TUpdateKind k, TUpdateAction& a) {
        ++errors;
        EXPECT_EQ(k, ukModify);
        EXPECT_EQ(a, uaFail); // the shared handler leaves it so
    };
    toggleUsed(); // lock 1: fine on its own
    q.Next();
    editText(q, "LockName", "Two edited"); // lock 2: refused by the trigger
    q.Next();
    q.Delete(); // lock 3
    EXPECT_EQ(dbError([&] { saveCached(q); }), "lock 2 is being programmed");
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(conn.InTransaction());
    // Nothing reached the file, not even the change that was applied before the failure.
    EXPECT_EQ(stored(), "1One0,2Two0,3Three0");
    // The rows on screen keep their edits and the changes stay pending.
    EXPECT_TRUE(q.UpdatesPending());
    EXPECT_EQ(rowsOf(q, {"LockName", "Used"}), "One|True,Two edited|False");
    q.Last();
    EXPECT_EQ(q.FieldByName("LockName").OldValue(), DbVariant("Two"));
    // Applied without a transaction, a failure still writes nothing.
    EXPECT_THROW(q.ApplyUpdates(), EDatabaseError);
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_EQ(stored(), "1One0,2Two0,3Three0");

    // Once the cause is gone, the next save writes every change once.
    conn.ExecSQL("DROP TRIGGER refuse");
    kinds.clear();
    saveCached(q);
    EXPECT_EQ(kinds, (std::vector<TUpdateKind>{ukModify, ukModify, ukDelete}));
    EXPECT_EQ(stored(), "1One1,2Two edited0");
    EXPECT_FALSE(q.UpdatesPending());
}

TEST_F(CachedUpdates, FailuresAreClearErrorsAndLeaveTheChangesPending)
{
    TDbQuery plain(&conn);
    plain.Name = "Query1";
    plain.SQL = "SELECT * FROM TempLock1";
    plain.Open();
    EXPECT_EQ(dbError([&] { plain.ApplyUpdates(); }), "Query1: Not in cached update mode");

    us.ModifySQL = "update TempLock1 set Used = :Usd where LockID = :OLD_LockID";
    toggleUsed();
    EXPECT_EQ(dbError([&] { saveCached(q); }), "usMaster: Parameter 'Usd' names no field of the dataset");
    us.ModifySQL = "update TempLock1 set Used = :Used where LockID = :OLD_LockID";
    conn.ExecSQL("DELETE FROM TempLock1 WHERE LockID = 1");
    EXPECT_EQ(dbError([&] { saveCached(q); }), "usMaster: Update failed: the modify statement changed no row");
    q.OnUpdateRecord = [](TMemoryDataSet&, TUpdateKind, TUpdateAction&) {};
    EXPECT_EQ(dbError([&] { saveCached(q); }), "LockList_Query: Update failed");
    EXPECT_TRUE(q.UpdatesPending());
}

TEST_F(CachedUpdates, ErrorHandlerMaySkipAChange)
{
    refuseUpdatesOf(1);
    q.OnUpdateError = [&](TMemoryDataSet& ds, EDatabaseError&, TUpdateKind, TUpdateAction& a) {
        EXPECT_EQ(ds.FieldByName("LockID").AsInteger(), 1); // the failing row is current for the handler
        a = uaSkip;
    };
    toggleUsed();
    q.Next();
    toggleUsed();
    saveCached(q);
    EXPECT_EQ(stored(), "1One0,2Two1,3Three0");
    EXPECT_TRUE(q.UpdatesPending()); // the skipped change is still there
}

TEST_F(CachedUpdates, WithoutHandlerTheUpdateObjectWritesAndWithoutItStatementsAreMade)
{
    q.OnUpdateRecord = nullptr;
    toggleUsed();
    saveCached(q);
    q.SetUpdateObject(nullptr);
    editText(q, "LockName", "Generated");
    saveCached(q);
    EXPECT_EQ(stored(), "1Generated1,2Two0,3Three0");
}

TEST_F(CachedUpdates, DateTimeOldValuesMatchTheStoredText)
{
    conn.ExecSQL("INSERT INTO TempAccessCode (CodeString, CodeType, DateCreated, Selected) "
                 "VALUES ('123', 'Temp', '2024-01-02 03:04:05', 0)");
    us.ModifySQL = {"update TempAccessCode", "set", "  Selected = :Selected, DateCreated = :DateCreated", "where",
                    "  CodeString = :OLD_CodeString and", "  CodeType = :OLD_CodeType and",
                    "  DateCreated = :OLD_DateCreated"};
    q.SQL = "SELECT * FROM TempAccessCode";
    q.Open();
    q.Edit();
    q.FieldByName("Selected").AsBoolean(true);
    q.FieldByName("DateCreated").AsDateTime(db::makeDateTime(2025, 1, 1));
    q.Post();
    saveCached(q);
    EXPECT_EQ(peek("SELECT Selected || ' ' || DateCreated FROM TempAccessCode"), "1 2025-01-01 00:00:00");
}
