// What a grid adapter sees through the data source.
#include "db_fixture.h"

class DataSource : public DbFixture {};

namespace {
std::string name(TDataEvent e)
{
    switch (e) {
    case deActiveChanged: return "active";
    case deDataSetChange: return "change";
    case deDataSetScroll: return "scroll";
    case deRecordChange: return "record";
    case deUpdateState: return "state";
    case deRowInserted: return "ins";
    case deRowDeleted: return "del";
    case deDataSetUnlinked: return "unlinked";
    }
    return "?";
}
} // namespace

TEST_F(DataSource, ObserversFollowTheDataset)
{
    addLock(1, "S1", "One");
    addLock(2, "S2", "Two");
    TDbQuery q(&conn);
    q.SQL = "SELECT * FROM LockManagement ORDER BY LockID";
    q.SetCachedUpdates(true);
    TDbDataSource ds(&q);
    std::string log; // what each step made the observers hear, events with their row
    int id = ds.AddObserver([&](const TDataEventInfo& e) { log += name(e.Event) + std::to_string(e.Row) + " "; });
    auto heard = [&] { return std::exchange(log, {}); };
    int stateChanges = 0;
    ds.OnStateChange = [&](TDbDataSource&) { ++stateChanges; };

    q.Open();
    EXPECT_EQ(heard(), "active-1 ");
    EXPECT_EQ(ds.State(), dsBrowse);
    q.Next();
    EXPECT_EQ(heard(), "scroll1 ");
    q.Edit();
    q.FieldByName("LockName").AsString("x");
    q.Post();
    EXPECT_EQ(heard(), "state1 record1 state1 record1 ");
    q.Append();
    q.Cancel();
    const std::string appended = heard();
    EXPECT_EQ(appended.rfind("ins2 ", 0), 0u) << appended;
    EXPECT_NE(appended.find(" del2 "), std::string::npos) << appended;
    EXPECT_EQ(appended.substr(appended.size() - 8), "scroll1 ") << appended;
    q.First();
    q.Delete();
    EXPECT_EQ(heard(), "scroll0 del0 scroll0 ");
    EXPECT_EQ(q.CellText(0, 2), "x");

    // Controls held off while a window walks the rows: one refresh at the end.
    q.DisableControls();
    for (q.First(); !q.Eof(); q.Next()) {
    }
    q.EnableControls();
    EXPECT_EQ(heard(), "change-1 scroll0 ");

    ds.SetDataSet(nullptr); // detached while the query re-opens
    q.Close();
    q.Open();
    ds.SetDataSet(&q);
    EXPECT_EQ(heard(), "unlinked-1 unlinked-1 ");
    EXPECT_GT(stateChanges, 0);
    ds.RemoveObserver(id);
    q.Next();
    EXPECT_EQ(heard(), "");
}

// The sanitizers watch the rest: nothing calls into a freed partner.
TEST_F(DataSource, SourcesUpdateObjectsAndDatasetsMayDieInEitherOrder)
{
    TDbDataSource ds;
    std::string events;
    ds.AddObserver([&](const TDataEventInfo& e) { events = name(e.Event); });
    auto t = std::make_unique<TDbTable>(&conn, "Admin");
    ds.SetDataSet(t.get());
    t->Open();
    t.reset();
    EXPECT_EQ(ds.DataSet(), nullptr);
    EXPECT_EQ(events, "unlinked");
    EXPECT_EQ(ds.State(), dsInactive);
    TDbTable table(&conn, "Admin");
    std::make_unique<TDbDataSource>(&table).reset();
    table.Open();

    auto q = std::make_unique<TDbQuery>(&conn);
    std::make_unique<TDbUpdateSQL>(q.get()).reset();
    EXPECT_EQ(q->UpdateObject(), nullptr);
    TDbUpdateSQL u;
    q->SetUpdateObject(&u);
    q.reset();
    EXPECT_EQ(u.DataSet(), nullptr);
    EXPECT_THROW(u.ExecSQL(ukModify), EDatabaseError);
}
