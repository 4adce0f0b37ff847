// What a grid adapter sees through the data source.
#include "db_fixture.h"

class DataSource : public DbFixture {};

namespace {
// The observer events by name.
const std::string kEventName[] = { "active", "change", "scroll", "record", "state", "ins", "del", "unlinked" };
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
    int id = ds.AddObserver([&](const TDataEventInfo& e) { log += kEventName[e.Event] + std::to_string(e.Row) + " "; });
    auto heard = [&] { return std::exchange(log, {}); };
    std::string states; // inactive, browse, edit, insert
    ds.OnStateChange = [&](TDbDataSource& s) { states += "IBEN"[s.State()]; };

    q.Open();
    EXPECT_EQ(heard(), "active-1 ");
    EXPECT_EQ(ds.State(), dsBrowse);
    q.Next();
    EXPECT_EQ(heard(), "scroll1 ");
    editText(q, "LockName", "x");
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
    q.First();
    for (int n = 0; !q.Eof() && n < 10; ++n)
        q.Next();
    q.EnableControls();
    EXPECT_TRUE(q.Eof()) << "the rows do not end";
    EXPECT_EQ(heard(), "change-1 scroll0 ");

    ds.SetDataSet(nullptr); // detached while the query re-opens
    q.Close();
    q.Open();
    ds.SetDataSet(&q);
    EXPECT_EQ(heard(), "unlinked-1 unlinked-1 ");
    EXPECT_EQ(states, "BEBNBIB");
    ds.RemoveObserver(id);
    q.Next();
    EXPECT_EQ(heard(), "");
}

// Partners may die in either order: the sanitizers watch that nothing calls into a freed one.
TEST_F(DataSource, ASourceAndItsDatasetMayDieInEitherOrder)
{
    TDbDataSource source;
    std::string events;
    source.AddObserver([&](const TDataEventInfo& e) { events = kEventName[e.Event]; });
    auto t = std::make_unique<TDbTable>(&conn, "Admin");
    source.SetDataSet(t.get());
    t->Open();
    t.reset();
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(events, "unlinked");
    EXPECT_EQ(source.State(), dsInactive);
    TDbTable table(&conn, "Admin");
    std::make_unique<TDbDataSource>(&table).reset();
    table.Open();
}

TEST_F(DataSource, AnUpdateObjectAndItsDatasetMayDieInEitherOrder)
{
    auto owner = std::make_unique<TDbQuery>(&conn);
    std::make_unique<TDbUpdateSQL>(owner.get()).reset();
    EXPECT_EQ(owner->UpdateObject(), nullptr);
    TDbUpdateSQL u;
    owner->SetUpdateObject(&u);
    owner.reset();
    EXPECT_EQ(u.DataSet(), nullptr);
    EXPECT_THROW(u.ExecSQL(ukModify), EDatabaseError);
}
