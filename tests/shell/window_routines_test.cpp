#include "../onewire/bus_test_support.h"
#include "app/shell/db_grid.h"
#include "app/shell/shell_form.h"
#include "app/shell/window_routines.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/dialog_layer.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class RoutinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = bus_test::freshDir("routines");
        db.CreateIfMissing = true;
        db.Open((folder / "t.db").string());
        db.ExecSQL(
            "CREATE TABLE Lock (ID INTEGER PRIMARY KEY, Name TEXT NOT NULL, Place TEXT, Opened DATETIME);"
            "INSERT INTO Lock VALUES (1, 'Bravo', 'North', '2024-05-06 07:08:09');"
            "INSERT INTO Lock VALUES (2, 'Alpha', 'South', '2024-01-02 03:04:05');"
            "INSERT INTO Lock VALUES (3, 'Charlie', 'North', '2023-12-31 23:59:00');");
    }
    void TearDown() override
    {
        db.Close();
        std::filesystem::remove_all(folder);
    }
    // The Name column, comma-separated.
    static std::string names(TDbQuery& q)
    {
        std::string out, comma;
        q.First();
        for (int n = 0; !q.Eof() && n < 1000; q.Next(), comma = ",", ++n)
            out += comma + q.FieldByName("Name").AsString();
        EXPECT_TRUE(q.Eof()) << "the rows do not end";
        return out;
    }
    std::string storedNames()
    {
        TDbQuery q(&db);
        q.SQL = "SELECT Name FROM Lock ORDER BY ID";
        q.Open();
        return names(q);
    }
    std::filesystem::path folder;
    TDbConnection db;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped { dialogs };
};

} // namespace

TEST_F(RoutinesTest, UpdateMasterDataWritesAllOrNothingAndKeepsTheRowsOnScreen)
{
    // A check the database makes only at commit: every change applied, then the commit refused.
    db.ExecSQL(
        "PRAGMA foreign_keys = ON;"
        "CREATE TABLE Owner (ID INTEGER PRIMARY KEY);"
        "ALTER TABLE Lock ADD COLUMN OwnerID INTEGER REFERENCES Owner (ID) DEFERRABLE INITIALLY DEFERRED;");
    // A cached-update query written back through an update-SQL, as the record windows do.
    TDbQuery q(&db);
    TDbUpdateSQL us;
    q.SQL = "SELECT * FROM Lock ORDER BY ID";
    q.SetCachedUpdates(true);
    us.ModifySQL = { "UPDATE Lock SET Name = :Name, Place = :Place WHERE ID = :OLD_ID" };
    us.InsertSQL = { "INSERT INTO Lock (ID, Name, Place, OwnerID) VALUES (:ID, :Name, :Place, 9)" };
    us.DeleteSQL = { "DELETE FROM Lock WHERE ID = :OLD_ID" };
    q.SetUpdateObject(&us);
    q.OnUpdateRecord = [&us](TMemoryDataSet&, TUpdateKind kind, TUpdateAction& action) {
        us.ExecSQL(kind);
        action = uaApplied;
    };
    q.OnUpdateError = OnUpdateErrorFail;
    q.Open();
    auto setName = [&](int id, const char* name) {
        q.Locate("ID", id);
        q.Edit();
        name ? q.FieldByName("Name").AsString(name) : q.FieldByName("Name").Clear();
        q.Post();
    };
    setName(1, "Bravo 2"); // fine on its own
    q.Locate("ID", 3);
    q.Delete();
    q.Append();
    q.FieldByName("ID").AsInteger(5);
    q.FieldByName("Name").Clear(); // NOT NULL: the database refuses it
    q.Post();
    const std::string before = "Bravo,Alpha,Charlie";
    EXPECT_EQ(storedNames(), before); // still cached
    // Refused while applying, then at the commit: nothing written, the transaction gone, the
    // normal cursor back, and the rows on screen keep every edit, still pending.
    for (const char* fifth : { "", "Echo" }) {
        if (*fifth)
            setName(5, fifth);
        EXPECT_THROW(UpdateMasterData(q), EDatabaseError);
        EXPECT_EQ(storedNames(), before);
        EXPECT_FALSE(db.InTransaction());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(q.UpdatesPending());
        EXPECT_EQ(names(q), std::string("Bravo 2,Alpha,") + fifth);
    }
    // Once the cause is gone a later save writes them all once.
    db.ExecSQL("INSERT INTO Owner (ID) VALUES (9)");
    UpdateMasterData(q);
    EXPECT_EQ(storedNames(), "Bravo 2,Alpha,Echo");
    EXPECT_FALSE(q.UpdatesPending());
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(RoutinesTest, SortQueryTogglesDirectionAndKeepsParameters)
{
    TDbQuery sorted(&db);
    sorted.SQL = { "SELECT * FROM Lock", "WHERE Place = :Place", "ORDER BY ID" };
    sorted.ParamByName("Place").AsString("North");
    sorted.Open();
    EXPECT_EQ(names(sorted), "Bravo,Charlie");
    // The same column again turns the order round; another column starts ascending again.
    for (auto [column, order] : { std::pair { "Name", "Bravo,Charlie" }, { "Name", "Charlie,Bravo" },
             { "Name", "Bravo,Charlie" }, { "Opened", "Charlie,Bravo" }, { "Opened", "Bravo,Charlie" } }) {
        SortQuery(sorted, column);
        EXPECT_TRUE(sorted.Active());
        EXPECT_EQ(names(sorted), order);
        EXPECT_EQ(sorted.ParamByName("Place").AsString(), "North");
    }
    EXPECT_EQ(sorted.SQL.Text().find("ORDER BY ID"), std::string::npos);
}

TEST(SortedStatement, ReplacesOnlyTheTopLevelOrderByAndQuotesTheColumn)
{
    using shell::sortedStatement;
    auto r
        = sortedStatement("SELECT * FROM (SELECT * FROM T ORDER BY A LIMIT 5) WHERE N = 'ORDER BY X'", "B");
    EXPECT_EQ(
        r.text, "SELECT * FROM (SELECT * FROM T ORDER BY A LIMIT 5) WHERE N = 'ORDER BY X'\nORDER BY \"B\"");
    EXPECT_FALSE(r.descending);
    r = sortedStatement("SELECT * FROM T order by  b\nLIMIT 10", "B");
    EXPECT_EQ(r.text, "SELECT * FROM T\nORDER BY \"B\" DESC\nLIMIT 10");
    EXPECT_TRUE(r.descending);
    r = sortedStatement("SELECT A.X, B.X FROM A, B ORDER BY \"B\".\"X\" DESC", "B.X");
    EXPECT_EQ(r.text, "SELECT A.X, B.X FROM A, B\nORDER BY \"B\".\"X\"");
    // A column name cannot end the clause.
    r = sortedStatement("SELECT * FROM T", "x\"; DROP TABLE T; --");
    EXPECT_EQ(r.text, "SELECT * FROM T\nORDER BY \"x\"\"; DROP TABLE T; --\"");
}

// A grid follows its data set and sorts on a title click.
TEST_F(RoutinesTest, AGridFollowsItsDataSet)
{
    TDbQuery q(&db);
    TDbDataSource ds(&q);
    q.SQL = { "SELECT ID, Name, Opened FROM Lock", "WHERE ID >= :MinID", "ORDER BY ID" };
    q.ParamByName("MinID").AsInteger(1);
    q.SetFieldDisplayFormat("Opened", "yyyy-mm-dd hh:nn");
    q.SetFieldDisplayLabel("Opened", "Opened At");
    int scrolls = 0;
    q.AfterScroll = [&](TMemoryDataSet&) { ++scrolls; };
    q.Open();
    TDBGrid grid;
    grid.setDataSource(&ds);
    grid.gridModel()->cellColour = [](const TMemoryDataSet& d, int row, const TDbField& f, CellColours& c) {
        if (f.FieldName() == "Name" && d.CellValue(row, f.Index()).toString() == "Alpha")
            c.background = QColor(Qt::red);
    };
    grid.setLayoutWidths({ { "ID", 90 } }); // drawn for 8-point type
    grid.show();
    // Columns at least as wide as their captions and their content, also after each reload.
    auto fit = [&] {
        for (int c = 0; c < 3; ++c) {
            int least = grid.horizontalHeader()->sectionSizeHint(c);
            for (int r = 0; r < 3; ++r)
                least = std::max(
                    least, grid.fontMetrics().horizontalAdvance(grid.model()->index(r, c).data().toString()));
            if (grid.columnWidth(c) < least)
                return false;
        }
        return grid.columnWidth(0) >= std::lround(90 * grid.fontMetrics().height() / 13.0);
    };
    EXPECT_TRUE(fit());
    auto* m = grid.gridModel();
    ASSERT_EQ(m->rowCount(), 3);
    ASSERT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), "Opened At");
    EXPECT_EQ(m->data(m->index(0, 2)).toString(), "2024-05-06 07:08");
    EXPECT_EQ(m->data(m->index(1, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_FALSE(m->data(m->index(0, 1), Qt::BackgroundRole).isValid());
    EXPECT_EQ(grid.currentIndex().row(), 0);
    // The grid's current row is the dataset's, both ways; moving fires AfterScroll.
    scrolls = 0;
    grid.setCurrentIndex(m->index(2, 1));
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_EQ(scrolls, 1);
    q.First();
    EXPECT_EQ(grid.currentIndex().row(), 0);
    // Title click: sorted by Name, the parameter kept.
    grid.horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(q.FieldByName("Name").AsString(), "Alpha");
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), "Alpha");
    EXPECT_EQ(m->data(m->index(0, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    grid.horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), "Charlie");
    EXPECT_TRUE(fit());
    EXPECT_EQ(q.ParamByName("MinID").AsInteger(), 1);
}

namespace {
class EditingForm : public ShellForm {
public:
    explicit EditingForm(TDbConnection& db)
        : Query1(&db)
    {
        ownDataSet(&Query1);
        Query1.SQL = "SELECT * FROM Lock";
        Query1.Open();
    }
    TDbQuery Query1;
    static inline ShellForm* instance = nullptr;
};
} // namespace

TEST_F(RoutinesTest, FormCloseQueryAsksOnlyWithUnsavedEdits)
{
    auto* form = new EditingForm(db);
    EditingForm::instance = form;
    form->setInstanceReference(&EditingForm::instance);
    form->show();
    form->Query1.Edit();
    form->Query1.FieldByName("Name").AsString("Changed");
    dialogs.answers = { BoxResult::Cancel };
    EXPECT_FALSE(form->close());
    ASSERT_EQ(dialogs.texts(), std::vector<std::string> { "Data has not been saved do you want to quit?" });
    EXPECT_EQ(dialogs.boxes[0].buttons, BoxButtons::OkCancel);
    EXPECT_TRUE(form->Query1.Active());
    EXPECT_EQ(EditingForm::instance, form);
    // OK: FormClose closes the queries and clears the instance reference.
    dialogs.answers = { BoxResult::Ok };
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->Query1.Active());
    EXPECT_EQ(EditingForm::instance, nullptr);
    delete form;
    EXPECT_EQ(storedNames(), "Bravo,Alpha,Charlie");
    // Browsing only, run modally under its owner: no question, sbExitClick closes.
    dialogs.boxes.clear();
    QWidget owner;
    owner.show();
    EditingForm browsing(db);
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        wasModal = browsing.isModal() && browsing.parentWidget() == &owner && browsing.isVisible();
        browsing.sbExitClick();
    });
    QTimer::singleShot(10000, &browsing, [&] { // hiding the window ends the modal run
        ADD_FAILURE() << "the window was still open after 10 s";
        browsing.hide();
    });
    runModalUnder(&owner, &browsing);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(browsing.isVisible());
    EXPECT_FALSE(browsing.Query1.Active());
    EXPECT_TRUE(dialogs.boxes.empty());
}

// Members go before child widgets: the source is freed while the grid still shows it.
TEST_F(RoutinesTest, AGridOutlivesItsDataSource)
{
    struct Window : QWidget {
        explicit Window(TDbConnection& db)
            : q(&db)
            , grid(new TDBGrid(this))
        { }
        TDbQuery q;
        TDbDataSource ds { &q };
        TDBGrid* grid;
    };
    for (bool inWindow : { true, false }) {
        auto* w = new Window(db);
        w->q.SQL = "SELECT * FROM Lock";
        w->q.Open();
        TDBGrid& grid = inWindow ? *w->grid : *new TDBGrid;
        grid.setDataSource(&w->ds);
        EXPECT_EQ(grid.gridModel()->rowCount(), 3);
        delete w;
        if (!inWindow) { // a grid of its own is left empty, and a title click sorts nothing
            EXPECT_EQ(grid.gridModel()->rowCount(), 0);
            EXPECT_EQ(grid.gridModel()->dataSet(), nullptr);
            grid.titleClick(0);
            delete &grid;
        }
    }
}
