// Every key write that changes the database, under every fault: no key, the key taken away
// after each page, the database held by another connection when the write starts and when it
// commits, and a row the database refuses. The key is usable exactly when its rows are
// committed, and a failure never shows the success message.
#include "app/missions/create_password_form.h"
#include "app/missions/multi_key_assignment_form.h"
#include "app/missions/multi_time_assignment_form.h"
#include "missions/key_fault_sweep.h"
#include "missions/window_fixture.h"
#include "onewire/devices.h"

using namespace wintest;

namespace {

enum Write { DeleteCode, MultiLock, CopySettings };

class KeyFaultSweep : public MultiLockFixture, public ::testing::WithParamInterface<Write> {
protected:
    void SetUp() override
    {
        MultiLockFixture::SetUp();
        db.Close();
        db.BusyTimeoutMs = 20; // a held database fails fast
        db.Open();
        listUser(1, 1, 1, 1, false);
        listUser(2, 1, 1, 1, false);
        listUser(2, 4, 3, 2, true);
        listUser(5, 3, 2, 1, false);
        // Two codes of lock 1, one imported without a last name and a creator.
        db.ExecSQL("INSERT INTO AccessCode (SerialID, LockName, GuestFirstName, GuestLastName, CodeType, StartDate, EndDate,"
                   " DateCreated, CreatedBy, CodeString, LostTimes, HasDeleted) VALUES ('"
                   + lockSerial(1) + "', 'Room 101', 'Ann', 'Able', 'Temp', '2026-03-05 08:00:00', '2026-03-06 09:00:00',"
                   " '2026-02-01 10:00:00', 'admin', '222', 1, 0), ('" + lockSerial(1) + "', 'Room 101', 'Bo', NULL, 'Once',"
                   " '2026-03-07 08:00:00', '2026-03-07 09:00:00', '2026-02-02 10:00:00', NULL, '333', 1, 0)");
    }

    struct KeyWrite {
        std::unique_ptr<ShellForm> window;
        std::function<void()> issue;
        std::string ok;                  // the window's success message
        std::string rows;                // the rows the key stands for
        std::vector<std::string> tables; // put back after each write
        std::string refusedRow;          // when the database refuses the last row written
    };
    KeyWrite keyWrite(Write which)
    {
        switch (which) {
        case DeleteCode: {
            auto w = std::make_unique<TCreatePassword_Form>(nullptr, &db);
            w->sbQueryClick();
            db.ExecSQL("UPDATE TempAccessCode SET Selected = 1");
            auto* p = w.get();
            return { std::move(w), [p] { p->BitBtn2Click(); }, "Write Delete Code Key OK.",
                     "SELECT CodeString, HasDeleted FROM AccessCode ORDER BY CodeString", { "AccessCode" },
                     "UPDATE ON AccessCode WHEN OLD.CodeString = '333'" };
        }
        case MultiLock: {
            auto w = std::make_unique<TMultiKeyAssignment_Form>(nullptr, &db);
            db.ExecSQL("INSERT INTO TempLock1 (LockID, SerialID, LockName, LockLocation, Used, TabPageID, LockStatusID)"
                       " SELECT LockID, SerialID, LockName, LockLocation, 0, 0, LockStatusID FROM LockManagement WHERE LockID = 1;"
                       "INSERT INTO TempLockKey (LockID, KeyID, UserType, SerialID, KeyCode, FirstName, LastName, Status,"
                       " TimeShiftID, ActExpDateID, ExpDateID, ExpDate, Used) SELECT 1, KeyID, UserType, SerialID, KeyCode,"
                       " FirstName, LastName, Status, 1, 1, 1, 0, 1 FROM KeyManagement WHERE KeyID IN (2, 4)");
            auto* p = w.get();
            return { std::move(w), [p] { p->sbMakeCardClick(); }, "Write Multi-Lock Key OK.",
                     "SELECT LockID, KeyID FROM LockKeyManagement ORDER BY LockID, KeyID", { "LockKeyManagement" },
                     "INSERT ON LockKeyManagement WHEN NEW.KeyID = 4" };
        }
        case CopySettings: {
            auto w = std::make_unique<TMultiTimeAssignment_Form>(nullptr, &db);
            w->Edit1->setText(QString::fromStdString(lockSerial(2)));
            w->CheckBox1->setChecked(true);
            db.ExecSQL("UPDATE TempLock1 SET Used = 1 WHERE LockID IN (3, 5)");
            w->LockList_Query.Close();
            w->LockList_Query.Open();
            auto* p = w.get();
            return { std::move(w), [p] { p->sbMakeCardClick(); }, "Write Multi-Lock Time Table Key OK.",
                     "SELECT 'schedule', LockID, LockStatusID FROM LockManagement"
                     " UNION ALL SELECT 'user', LockID, KeyID FROM LockKeyManagement ORDER BY 1, 2, 3",
                     { "LockManagement", "LockKeyManagement" }, "INSERT ON LockKeyManagement WHEN NEW.LockID = 5" };
        }
        }
        return {};
    }
    // A used key alone in the reader. It lives in the reader's memory only: saving its file at
    // every page would make the sweeps slow.
    RomId fresh()
    {
        for (const auto& e : fs::directory_iterator(keys))
            fs::remove(e.path());
        key = putUsedKey(++serial);
        reader->rescan();
        device = std::dynamic_pointer_cast<onewire::KeyDevice>(reader->find(key));
        EXPECT_TRUE(device);
        device->setPersist({});
        return key;
    }
    onewire::Page onKey(int p) { return onewire::ds1977Page(device->key(), p).value_or(onewire::Page {}); }

    uint64_t serial = 0x500;
    RomId key {};
    std::shared_ptr<onewire::KeyDevice> device;
};

TEST_P(KeyFaultSweep, TheKeyIsUsableExactlyWhenItsRowsAreCommitted)
{
    KeyWrite kw = keyWrite(GetParam());
    for (const auto& t : kw.tables)
        db.ExecSQL("CREATE TEMP TABLE saved_" + t + " AS SELECT * FROM " + t);
    const auto before = rows(kw.rows);
    bool reportedOk = false;
    auto write = [&] { return reportedOk = std::ranges::count(boxesOf(kw.issue), kw.ok) > 0; };
    // No key in the reader: told so, nothing changes.
    write();
    EXPECT_EQ(dialogs.texts(), Texts { "Please Plug in your program Key." });
    EXPECT_EQ(dialogs.boxes.back().type, BoxType::Error);
    EXPECT_EQ(rows(kw.rows), before);
    // A clean write: what a usable key and its committed rows are. Meanwhile the window
    // refuses to close and none of its buttons or grids takes a click.
    fresh();
    bool closed = false, clickable = false;
    device->pageDone = [&, counted = device->pageDone] {
        counted();
        closed = closed || kw.window->close();
        for (QWidget* w : kw.window->findChildren<QWidget*>())
            clickable = clickable || ((qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w)) && w->isEnabled());
    };
    ASSERT_TRUE(write()) << ::testing::PrintToString(dialogs.texts());
    EXPECT_FALSE(closed || clickable);
    const auto header = onKey(0);
    const auto after = rows(kw.rows);
    ASSERT_NE(after, before);
    auto check = [&](const std::string& fault, bool untouched = false) {
        const auto now = rows(kw.rows);
        const bool usable = onKey(0) == header;
        EXPECT_TRUE(now == before || now == after) << fault;
        EXPECT_EQ(usable, now == after) << fault;
        // Given up, the key never keeps a header over pages of another mission.
        EXPECT_TRUE(usable || untouched || allBytes(onKey(0), 0xFF)) << fault;
        EXPECT_EQ(reportedOk, usable) << fault;
        EXPECT_TRUE(reportedOk || (!dialogs.boxes.empty() && dialogs.boxes.back().type == BoxType::Error)) << fault;
        EXPECT_FALSE(db.InTransaction()) << fault;
        EXPECT_EQ(kw.window->findChild<QProgressBar*>()->value(), 0) << fault;
        for (const auto& t : kw.tables)
            db.ExecSQL("DELETE FROM " + t + "; INSERT INTO " + t + " SELECT * FROM saved_" + t);
    };
    check("clean write");

    EXPECT_GT(missions_test::sweepPulledKey(*reader, [this] { return fresh(); }, write,
                                            [&](int n) { check("key taken away after " + std::to_string(n) + " pages"); }),
              3);
    // Another program holds the write lock as the write starts: the key is not touched.
    TDbConnection other(db.Database);
    other.Open();
    other.ExecSQL("BEGIN IMMEDIATE");
    fresh();
    write();
    other.Rollback();
    EXPECT_EQ(device->key().memory, onewire::loadKeyFile(onewire::keyFilePath(keys, key)).key->memory);
    check("database held at the start", true);
    // Another program reads, holding the database, from the moment page 0 is on the key: the
    // commit cannot take it.
    fresh();
    bool held = false;
    device->pageDone = [&, counted = device->pageDone] {
        counted();
        if (!held && onKey(0) == header) {
            other.ExecSQL("BEGIN; SELECT count(*) FROM sqlite_master");
            held = true;
        }
    };
    write();
    other.Rollback();
    EXPECT_TRUE(held);
    check("database held at the commit");
    // The database refuses the last row: its message is shown and nothing is half-written.
    db.ExecSQL("CREATE TRIGGER refuse BEFORE " + kw.refusedRow + " BEGIN SELECT RAISE(ABORT, 'row refused'); END");
    fresh();
    write();
    db.ExecSQL("DROP TRIGGER refuse");
    EXPECT_NE(dialogs.texts().at(0).find("row refused"), std::string::npos);
    check("a row refused");
}

const char* const kWriteNames[] = { "DeleteCode", "MultiLock", "CopySettings" };
INSTANTIATE_TEST_SUITE_P(Windows, KeyFaultSweep, ::testing::Values(DeleteCode, MultiLock, CopySettings),
                         [](const auto& info) { return std::string(kWriteNames[info.param]); });

} // namespace
