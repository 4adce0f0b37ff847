// The key dump ("Information.Txt") and the lock list export of the setup key panel.
#include "app/keyreading/read_card_services.h"
#include "app/keyreading/wait_forms.h"
#include "keyformats/key_dump.h"
#include "keyreading/read_key_fixture.h"

#include <fstream>
#include <sstream>

using namespace rktest;

namespace {

TEST(KeyDumpText, OnePageSpelledOutByteByByte)
{
    std::array<uint8_t, 64> bytes {};
    std::string expected = "Page 37\r\n";
    for (int i = 0; i < 64; ++i) {
        bytes[size_t(i)] = uint8_t(0xF0 + i);
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X ", bytes[size_t(i)]);
        expected += cell + std::string(i == 31 || i == 63 ? "\r\n" : "");
    }
    EXPECT_EQ(keyDumpPageText(37, bytes), expected);
}

class KeyDumpTest : public ReadKeyFixture {
protected:
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

TEST_F(KeyDumpTest, EveryPageOfTheKeyInTheReaderUpToOneThatCannotBeRead)
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
    std::array<uint8_t, 8> wrong {};
    wrong.fill(0x5A);
    onewire::setDS1977Passwords(locked, wrong, wrong, true);
    for (bool empty : { false, true }) {
        clearReader();
        if (!empty)
            put(locked);
        EXPECT_TRUE(dump(*form, dir / "Information.Txt").empty());
        EXPECT_TRUE(fs::exists(dir / "Information.Txt"));
        EXPECT_EQ(fs::file_size(dir / "Information.Txt"), 0u);
    }
    // A file that cannot be created is reported.
    put(key);
    const auto boxes = dump(*form, dir / "no such folder" / "Information.Txt");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(boxes[0].find("Cannot create file"), std::string::npos) << boxes[0];
}

TEST_F(KeyDumpTest, TheLockListExportNumbersTheListedLocksFromTheStartNumber)
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
    EXPECT_EQ(exportFrom(" -5"), exportedOk);
    expectCells(exportedBook(), "Lock List Report", { { "B4", "-5" } });
    fs::remove_all(dir / "Exports");

    for (bool shown : { true, false, true }) { // "&P" shows and hides the export controls
        form->BitBtn7Click();
        for (QWidget* w : std::initializer_list<QWidget*> {
                 form->ExportToExcelButton, form->StartNumberLabel, form->StartNumberEdit })
            EXPECT_EQ(w->isHidden(), !shown);
    }
    list({ a, "", b, c });
    form->Edit5->setText(QStringLiteral("typed")); // the export leaves the registration fields alone
    EXPECT_EQ(exportFrom("100"), exportedOk);
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("typed"));
    EXPECT_EQ(exported(), std::vector<fs::path> { form->LastLockListExport });
    const auto book = exportedBook();
    EXPECT_EQ(book.sheets, std::vector<std::string> { "Lock List Report" });
    EXPECT_TRUE(book.widths.empty());
    expectCells(book, "Lock List Report", // the row without a serial ID stays empty
        { { "A1", "Lock List Report" }, { "A2", "Print Time: " }, { "A3", "Serial ID" },
            { "B3", "List Number" }, { "A4", a }, { "B4", "100" }, { "A5", "" }, { "B5", "" }, { "A6", b },
            { "B6", "102" }, { "A7", c }, { "B7", "103" } });
    EXPECT_EQ(book.cell("Lock List Report!B2").type, "text");
    EXPECT_EQ(book.cell("Lock List Report!A4").type, "text");
}

} // namespace
