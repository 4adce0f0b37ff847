// The setup key panel: a New Lock Setup key brought back from the locks, its lock list, a
// listed lock registered in LockManagement, the lock list export and the key dump
// ("Information.Txt").
#include "app/keyreading/read_card_services.h"
#include "app/keyreading/wait_forms.h"
#include "app/records/pickers.h"
#include "keyformats/key_dump.h"
#include "keyreading/read_key_fixture.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <sstream>

using namespace rktest;

namespace {

class SetupRegistrationTest : public ReadKeyFixture {
protected:
    // A New Lock Setup key as the lock setup window writes it, carried to the locks of the
    // serials given, then read.
    std::unique_ptr<TReadCard_Form> readSetupKey(std::initializer_list<uint64_t> serials, bool classroom,
        const std::function<void(onewire::KeyFile&)>& alter = {})
    {
        locksim::SetupOptions setup;
        setup.classroom = classroom;
        setup.written = at(2026, 5, 6, 7, 8, 9);
        auto key = missionKey(MissionKind::NewLockSetup, kSite, 501, setup);
        for (uint64_t serial : serials) {
            locksim::SimLock lock(lockRom(serial), kSite, at(2026, 5, 6, 8));
            visit(lock, key);
        }
        if (alter)
            alter(key);
        insertKey(key);
        auto form = newForm();
        EXPECT_TRUE(read(*form).empty());
        EXPECT_EQ(form->currentPanel(), 2);
        return form;
    }
    static void selectRow(TReadCard_Form& f, int row)
    {
        f.LockSerialIDGrid->setCurrentIndex(f.LockSerialIDGrid->gridModel()->index(row, 0));
    }
    // Add Lock on the row, then the fields typed as given.
    void prepare(TReadCard_Form& f, int row, const QString& name, const QString& location)
    {
        selectRow(f, row);
        f.BitBtn3Click();
        f.Edit5->setText(name);
        f.ComboBox1->setEditText(location);
    }
    static RomId lockRom(uint64_t serial) { return onewire::makeRomId(0x23, serial); }
    // A key whose every page differs, page 0 beginning "READ".
    onewire::KeyFile patternedKey()
    {
        auto key = ds1977(0x4242);
        for (int p = 0; p <= 510; ++p) {
            std::array<uint8_t, 64> bytes {};
            for (int i = 0; i < 64; ++i)
                bytes[size_t(i)] = uint8_t(p * 7 + i * 13);
            if (p == 0)
                std::memcpy(bytes.data(), "READ", 4);
            setPage(key, p, bytes);
        }
        return key;
    }
    std::vector<std::string> dump(TReadCard_Form& f, const fs::path& file)
    {
        dialogs.boxes.clear();
        f.KeyDumpFile = file;
        f.BitBtn6Click();
        EXPECT_EQ(GetInfor_Form, nullptr);
        EXPECT_TRUE(f.findChildren<TGetInfor_Form*>().isEmpty());
        EXPECT_TRUE(f.sbExit->isEnabled() && f.sbReadCard->isEnabled());
        return dialogs.texts();
    }
    // The dump file's text, and what it should hold: pages 0 to last - 1 of the key.
    std::string dumped() const
    {
        std::ostringstream s;
        s << std::ifstream(dir / "Information.Txt", std::ios::binary).rdbuf();
        return s.str();
    }
    static std::string pagesOf(const onewire::KeyFile& key, int last)
    {
        std::string t;
        for (int p = 0; p < last; ++p)
            t += keyDumpPageText(p, *onewire::ds1977Page(key, p));
        return t;
    }
};

const std::vector<std::string> kExists { "This lock serial id has been exist in database." };

TEST_F(SetupRegistrationTest, LocksThatVisitedTheKeyAreListedAndOneIsRegistered)
{
    addLock(4, lockRom(11), "Front", "Lobby");
    addLock(7, lockRom(99), "Back", "Yard");
    auto form = readSetupKey({ 11, 12 }, true);
    ASSERT_EQ(form->LockSerialID_Query.RecordCount(), 2);
    EXPECT_EQ(form->Label31->text(), keyreading::dateTimeText(at(2026, 5, 6, 7, 8, 9)));
    EXPECT_EQ(form->SetupClassroomFlag, 'Z');
    // The list's columns carry their captions, before and after a save reopens it.
    const QStringList captions { "Serial ID", "Exist In Database", "Lock Name" };
    EXPECT_EQ(headers(form->LockSerialIDGrid->gridModel()), captions);
    // The second row is new: Add Lock prepares it with the classroom default of the key.
    selectRow(*form, 1);
    EXPECT_TRUE(form->BitBtn3->isEnabled());
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    form->ComboBox2->setCurrentIndex(1);
    prepare(*form, 1, "Typed", "Somewhere");
    EXPECT_EQ(form->Edit4->text().toStdString(), romIdText(lockRom(12)));
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Classroom Mode"));
    EXPECT_EQ(form->NewLockStatusID, 1);
    EXPECT_EQ(form->ComboBox2->currentText(), QStringLiteral("iButton"));
    for (QWidget* w : std::initializer_list<QWidget*> {
             form->Edit4, form->Edit5, form->ComboBox1, form->Edit7, form->ComboBox2, form->BitBtn4 })
        EXPECT_TRUE(w->isEnabled());
    // The first is a registered lock: moving to it locks and empties the fields; nothing to add.
    selectRow(*form, 0);
    EXPECT_EQ(form->LockSerialID_Query.FieldByName("SerialID").AsString(), romIdText(lockRom(11)));
    for (QWidget* w : std::initializer_list<QWidget*> { form->BitBtn3, form->Edit4, form->Edit5,
             form->ComboBox1, form->Edit7, form->ComboBox2, form->BitBtn4 })
        EXPECT_FALSE(w->isEnabled());
    for (QLineEdit* e : { form->Edit4, form->Edit5, form->Edit7 })
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_TRUE(form->ComboBox1->currentText().isEmpty());
    EXPECT_EQ(boxesOf([&] { form->BitBtn3Click(); }), kExists);
    // Back on the new lock: Add Lock is offered again, the fields stay locked until it is pressed.
    selectRow(*form, 1);
    EXPECT_TRUE(form->BitBtn3->isEnabled());
    EXPECT_FALSE(form->Edit5->isEnabled());
    // Alt+A writes the whole key dump here too and leaves Add Lock alone; Space on it presses it.
    form->KeyDumpFile = dir / "Information.Txt";
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QSignalSpy dumpPressed(form->BitBtn6, &QPushButton::clicked);
    QTest::keyClick(form->windowHandle(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(dumpPressed.count() == 1 || dumpPressed.wait(2000));
    EXPECT_EQ(fs::exists(form->KeyDumpFile) ? fs::file_size(form->KeyDumpFile) : 0u, 105156u);
    EXPECT_TRUE(form->Edit4->text().isEmpty());
    form->BitBtn3->setFocus();
    QTest::keyClick(form->BitBtn3, Qt::Key_Space);
    EXPECT_EQ(form->Edit4->text().toStdString(), romIdText(lockRom(12)));
    prepare(*form, 1, "Room 101", "Wing A");
    EXPECT_TRUE(boxesOf([&] { form->BitBtn4Click(); }).empty());
    // The largest id plus one.
    EXPECT_EQ(text("SELECT LockID||'/'||SerialID||'/'||LockLocation||'/'||LockStatusID||'/'||LockType FROM "
                   "LockManagement WHERE LockName = 'Room 101'"),
        "8/" + romIdText(lockRom(12)) + "/Wing A/1/iButton");
    EXPECT_FALSE(form->BitBtn4->isEnabled());
    EXPECT_EQ(headers(form->LockSerialIDGrid->gridModel()), captions);
    EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1"), 2);
    EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 2);
    selectRow(*form, 1);
    EXPECT_EQ(form->LockSerialID_Query.FieldByName("LockName").AsString(), "Room 101");
    EXPECT_TRUE(form->LockSerialID_Query.FieldByName("Exist").AsBoolean());
    EXPECT_EQ(boxesOf([&] { form->BitBtn3Click(); }), kExists);
    // The location list now offers the new location once, beside the older ones.
    QStringList locations;
    for (int i = 0; i < form->ComboBox1->count(); ++i)
        locations << form->ComboBox1->itemText(i);
    EXPECT_EQ(locations, (QStringList { "Lobby", "Yard", "Wing A" }));
    // A key no lock filled lists nothing.
    form = readSetupKey({}, false);
    EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 0);
    EXPECT_TRUE(boxesOf([&] { form->BitBtn3Click(); }).empty()); // no row: nothing happens
    EXPECT_TRUE(form->Edit4->text().isEmpty());
    EXPECT_FALSE(form->Edit4->isEnabled());
    // Keys laid by hand: blink, bad clocks, a lock listed twice shown once, one without its mark not at all.
    for (auto [offset, value] :
        { std::pair { 0, 0 }, { 21, 0x00 }, { 23, 0x32 }, { 24, 0x24 }, { 24, 0x1A } }) {
        form = readSetupKey({}, false, [&, offset = offset, value = value](onewire::KeyFile& key) {
            patch(key, 0, 27, { 'Z' }); // blink
            patch(key, 1, 0, { 4 });
            for (int page = 2; page <= 5; ++page) { // the second lock twice, the third without its mark
                const RomId rom = lockRom(page == 2 ? 61 : page == 5 ? 63 : 62);
                patch(key, page, 0,
                    { rom[0], rom[1], rom[2], rom[3], rom[4], rom[5], rom[6], rom[7],
                        uint8_t(page == 5 ? 0 : 'Z') });
            }
            if (offset) {
                patch(key, 0, size_t(offset), { uint8_t(value) });
                patch(key, 0, 22, { 0x99 }); // not looked at
            }
        });
        EXPECT_TRUE(form->CheckBox1->isChecked());
        EXPECT_EQ(form->LockSerialID_Query.RecordCount(), 2) << offset;
        EXPECT_EQ(form->Label31->text() == QStringLiteral("Lock Time Is Invalid value"), offset != 0)
            << offset;
    }
}

TEST_F(SetupRegistrationTest, StorehouseKeyDefaultsAndTheSchedulePicker)
{
    exec("INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (3, 'Office')");
    auto form = readSetupKey({ 21 }, false);
    EXPECT_TRUE(form->Edit7->text().isEmpty());
    EXPECT_FALSE(form->Edit7->isEnabled());
    // The picker opens when the field is entered or clicked, not when focus comes back to it.
    const auto realPicker = form->runLockStatusPicker;
    int runs = 0;
    form->runLockStatusPicker = [&] { ++runs; };
    auto focusIn = [&](Qt::FocusReason reason) {
        QFocusEvent event(QEvent::FocusIn, reason);
        QApplication::sendEvent(form->Edit7, &event);
    };
    focusIn(Qt::TabFocusReason); // disabled until Add Lock
    EXPECT_EQ(runs, 0);
    selectRow(*form, 0);
    form->BitBtn3Click();
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Storehouse Mode"));
    EXPECT_EQ(form->NewLockStatusID, 2);
    for (auto [reason, after] : { std::pair { Qt::TabFocusReason, 1 }, { Qt::ActiveWindowFocusReason, 1 },
             { Qt::PopupFocusReason, 1 }, { Qt::MouseFocusReason, 2 } }) {
        focusIn(reason);
        EXPECT_EQ(runs, after) << reason;
    }
    QTest::mouseDClick(form->Edit7, Qt::LeftButton);
    EXPECT_EQ(runs, 3);
    // The real lock schedule window, in pick mode, preset to the schedule shown.
    form->runLockStatusPicker = realPicker;
    int shown = 0;
    auto pick = [&](int row) {
        QTimer::singleShot(0, [&, row] {
            auto* picker = qobject_cast<TLockModeSetting_Form*>(QApplication::activeModalWidget());
            ASSERT_NE(picker, nullptr);
            ++shown;
            EXPECT_EQ(picker->Query1.FieldByName("LockStatusID").AsInteger(), form->NewLockStatusID);
            if (row < 0)
                return picker->BitBtn2Click();
            picker->DBGrid1->setCurrentIndex(picker->DBGrid1->gridModel()->index(row, 0));
            picker->BitBtn1Click();
        });
    };
    pick(-1); // nothing picked: back to the classroom schedule, whatever was shown before
    QTest::mouseDClick(form->Edit7, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("No Limit Classroom Mode"));
    EXPECT_EQ(form->NewLockStatusID, 1);
    pick(2);
    form->Edit7Enter();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("Office"));
    EXPECT_EQ(form->NewLockStatusID, 3);
    EXPECT_EQ(SettingsRecord.PickLockStatusMode, 0);
    form->Edit5->setText(QStringLiteral("Store"));
    form->ComboBox1->setEditText(QStringLiteral("Basement"));
    EXPECT_TRUE(boxesOf([&] { form->BitBtn4Click(); }).empty());
    EXPECT_EQ(text("SELECT LockStatusID||'/'||LockID FROM LockManagement WHERE LockName = 'Store'"),
        "3/1"); // the first lock
}

TEST_F(SetupRegistrationTest, SaveRefusalsWriteNothing)
{
    addLock(1, lockRom(32), "Lock A", "Hall");
    auto form = readSetupKey({ 31 }, true);
    const auto locksBefore = scalar("SELECT count(*) FROM LockManagement");
    RomId badCrc = lockRom(33);
    badCrc[7] ^= 0x01;
    const QString serial = QString::fromStdString(romIdText(lockRom(31)));
    const std::string badSerial = "Lock Serial ID must be 16 hexadecimal digits with a valid check byte.";
    const struct {
        QString serial, name, location;
        std::string message;
    } cases[] = {
        { serial, "LOCK A", "Hall", "Lock Name has been existed." },
        { "  ", "  ", "  ", "Lock Serial ID is a Required Field." },
        { serial, "  ", "Hall", "Lock Name is a Required Field." },
        { serial, "New", " ", "Lock Location is a Required Field." },
        { QString::fromStdString(romIdText(badCrc)), "New", "Hall", badSerial },
        { serial.left(15), "New", "Hall", badSerial },
        { serial.left(15) + "G", "New", "Hall", badSerial },
        { QString::fromStdString(romIdText(lockRom(32))), "New", "Hall", kExists[0] },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " / " + c.name.toStdString());
        prepare(*form, 0, c.name, c.location);
        form->Edit4->setText(c.serial);
        EXPECT_EQ(boxesOf([&] { form->BitBtn4Click(); }), std::vector<std::string> { c.message });
        EXPECT_EQ(scalar("SELECT count(*) FROM LockManagement"), locksBefore);
        EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1"), 0);
        EXPECT_TRUE(form->BitBtn4->isEnabled());
    }
    // A leading blank makes another name; a serial typed in lower case is stored as shown.
    prepare(*form, 0, " Lock A", "Hall");
    form->Edit4->setText(serial.toLower());
    EXPECT_TRUE(boxesOf([&] { form->BitBtn4Click(); }).empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM LockManagement WHERE LockName = ' Lock A' AND SerialID = '"
                  + serial.toStdString() + "'"),
        1);
    EXPECT_EQ(scalar("SELECT count(*) FROM LockSerialID WHERE Exist = 1 AND LockName = ' Lock A'"), 1);
}

TEST(KeyDumpText, OnePageSpelledOutByteByByte)
{
    std::array<uint8_t, 64> bytes {};
    for (int i = 0; i < 64; ++i)
        bytes[size_t(i)] = uint8_t(0xF0 + i);
    EXPECT_EQ(keyDumpPageText(37, bytes),
        "Page 37\r\n"
        "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n"
        "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F \r\n");
}

TEST_F(SetupRegistrationTest, TheKeyDumpHoldsEveryPageOfTheKeyUpToOneThatCannotBeRead)
{
    const auto key = patternedKey();
    put(key);
    auto form = newForm(); // no read before: the dump finds the key itself
    bus->faults().removeAfterPages[key.rom] = 3;
    EXPECT_TRUE(dump(*form, dir / "Information.Txt").empty());
    EXPECT_EQ(dumped(), pagesOf(key, 3));
    bus->faults().removeAfterPages.clear();
    bus->faults().takenAway.clear();
    insertKey(key);
    std::ofstream(dir / "Information.Txt") << "an older dump that is longer than nothing";
    EXPECT_TRUE(dump(*form, dir / "Information.Txt").empty());
    EXPECT_EQ(dumped(), pagesOf(key, 511));
    // Page 0 unreadable (the wrong password), or an empty reader: an empty file, no message
    // of the dump's own.
    auto locked = patternedKey();
    onewire::setDS1977Passwords(locked, { 5, 5, 5, 5, 5, 5, 5, 5 }, { 5, 5, 5, 5, 5, 5, 5, 5 }, true);
    for (bool empty : { false, true }) {
        clearReader();
        if (!empty)
            put(locked);
        EXPECT_TRUE(dump(*form, dir / "Information.Txt").empty());
        EXPECT_EQ(fs::file_size(dir / "Information.Txt"), 0u);
    }
    // A file that cannot be created is reported.
    put(key);
    EXPECT_THAT(dump(*form, dir / "no such folder" / "Information.Txt"),
        ElementsAre(HasSubstr("Cannot create file")));
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
}

TEST_F(SetupRegistrationTest, TheLockListExportNumbersTheListedLocksFromTheStartNumber)
{
    auto form = newForm();
    auto list = [&](const std::vector<std::string>& serials) { // "" for a row without one
        exec("DELETE FROM LockSerialID");
        for (const auto& s : serials)
            exec("INSERT INTO LockSerialID (SerialID,Exist,LockName) VALUES ("
                + (s.empty() ? "NULL" : "'" + s + "'") + ",0,'')");
        form->LockSerialID_Query.Close();
        form->LockSerialID_Query.SQL = "SELECT * FROM LockSerialID";
        form->LockSerialID_Query.Open();
    };
    auto exportFrom = [&](const char* start) {
        form->StartNumberEdit->setText(QString::fromLatin1(start));
        return boxesOf([&] { form->Button1Click(); });
    };
    const std::vector<std::string> noData { "No Data to print!" },
        exportedOk { "Data has been exported successfully." };
    EXPECT_EQ(exportFrom("1"), noData);
    list({});
    EXPECT_EQ(exportFrom("1"), noData);
    const std::string a = romIdText(onewire::makeRomId(0x23, 1)), b = romIdText(onewire::makeRomId(0x23, 2)),
                      c = romIdText(onewire::makeRomId(0x23, 3));
    list({ a });
    for (const char* bad : { "", "abc", "12x", "99999999999" }) {
        EXPECT_EQ(exportFrom(bad),
            std::vector<std::string> { "'" + std::string(bad) + "' is not a valid integer value" });
        EXPECT_EQ(dialogs.boxes.at(0).type, BoxType::Error);
    }
    EXPECT_TRUE(exported().empty());
    for (bool shown : { true, false, true }) { // "&P" shows and hides the export controls
        form->BitBtn7Click();
        for (QWidget* w : std::initializer_list<QWidget*> {
                 form->ExportToExcelButton, form->StartNumberLabel, form->StartNumberEdit })
            EXPECT_EQ(w->isHidden(), !shown);
    }
    list({ a, "", b, c });
    form->Edit5->setText(QStringLiteral("typed")); // the export leaves the registration fields alone
    EXPECT_EQ(exportFrom(" -5"), exportedOk); // leading blanks and a sign are taken
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("typed"));
    EXPECT_EQ(exported(), std::vector<fs::path> { form->LastLockListExport });
    const auto book = exportedBook();
    EXPECT_EQ(book.sheets, std::vector<std::string> { "Lock List Report" });
    EXPECT_TRUE(book.widths.empty());
    expectCells(book, "Lock List Report", // the row without a serial ID stays empty
        { { "A1", "Lock List Report" }, { "A2", "Print Time: " }, { "A3", "Serial ID" },
            { "B3", "List Number" }, { "A4", a }, { "B4", "-5" }, { "A5", "" }, { "B5", "" }, { "A6", b },
            { "B6", "-3" }, { "A7", c }, { "B7", "-2" } });
    EXPECT_EQ(book.cell("Lock List Report!B2").type, "text");
    EXPECT_EQ(book.cell("Lock List Report!A4").type, "text");
}

} // namespace
