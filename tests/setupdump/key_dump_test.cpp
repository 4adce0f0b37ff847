// The key dump ("Information.Txt") and the lock list export of the setup key panel.
#include "app/keyreading/read_card_services.h"
#include "app/keyreading/wait_forms.h"
#include "keyformats/key_dump.h"
#include "keyreading/read_key_fixture.h"
#include "workbook/export.h"
#include "workbook/xlsx_readback.h"

#include <QLineEdit>
#include <fstream>
#include <sstream>

using namespace rktest;

namespace {

std::string fileText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A page in the dump's text form, spelled out byte by byte.
std::string expectedPage(int p, const std::array<uint8_t, 64>& bytes)
{
    std::string t = "Page " + std::to_string(p) + "\r\n";
    char cell[4];
    for (int i = 0; i < 64; ++i) {
        std::snprintf(cell, sizeof cell, "%02X ", bytes[size_t(i)]);
        t += cell;
        if (i == 31 || i == 63)
            t += "\r\n";
    }
    return t;
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
    std::vector<std::string> dump(TReadCard_Form& f)
    {
        dialogs.boxes.clear();
        f.KeyDumpFile = dir / "Information.Txt";
        f.BitBtn6Click();
        EXPECT_EQ(GetInfor_Form, nullptr);
        EXPECT_TRUE(f.findChildren<TGetInfor_Form*>().isEmpty());
        EXPECT_TRUE(f.sbExit->isEnabled());
        return dialogs.texts();
    }
};

TEST_F(KeyDumpTest, EveryPageOfTheKeyInTheReaderAsText)
{
    const auto key = patternedKey();
    put(key);
    auto form = newForm(); // no read before: the dump finds the key itself
    {
        std::ofstream old(dir / "Information.Txt");
        old << "an older dump that is longer than nothing";
    }
    EXPECT_TRUE(dump(*form).empty());
    const std::string text = fileText(dir / "Information.Txt");
    EXPECT_EQ(text.size(), 105156u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1533);
    EXPECT_EQ(text.rfind("Page 0\r\n52 45 41 44 ", 0), 0u);
    std::string expected;
    for (int p = 0; p <= 510; ++p)
        expected += expectedPage(p, *onewire::ds1977Page(key, p));
    EXPECT_EQ(text, expected);
    for (const char* heading : { "\r\nPage 9\r\n", "\r\nPage 10\r\n", "\r\nPage 100\r\n", "\r\nPage 510\r\n" })
        EXPECT_NE(text.find(heading), std::string::npos) << heading;
}

TEST_F(KeyDumpTest, StopsAtThePageThatCannotBeRead)
{
    const auto key = patternedKey();
    put(key);
    auto form = newForm();
    bus->faults().removeAfterPages[key.rom] = 3;
    EXPECT_TRUE(dump(*form).empty());
    std::string expected;
    for (int p = 0; p < 3; ++p)
        expected += expectedPage(p, *onewire::ds1977Page(key, p));
    EXPECT_EQ(fileText(dir / "Information.Txt"), expected);

    // Page 0 unreadable (the wrong password): an empty file, no message of the dump's own.
    bus->faults().removeAfterPages.clear();
    bus->faults().takenAway.clear();
    clearReader();
    auto locked = patternedKey();
    std::array<uint8_t, 8> wrong {};
    wrong.fill(0x5A);
    onewire::setDS1977Passwords(locked, wrong, wrong, true);
    put(locked);
    EXPECT_TRUE(dump(*form).empty());
    EXPECT_TRUE(fs::exists(dir / "Information.Txt"));
    EXPECT_EQ(fs::file_size(dir / "Information.Txt"), 0u);

    // An empty reader likewise.
    clearReader();
    EXPECT_TRUE(dump(*form).empty());
    EXPECT_EQ(fs::file_size(dir / "Information.Txt"), 0u);
}

TEST_F(KeyDumpTest, AFileThatCannotBeCreatedIsReported)
{
    put(patternedKey());
    auto form = newForm();
    dialogs.boxes.clear();
    form->KeyDumpFile = dir / "no such folder" / "Information.Txt";
    form->BitBtn6Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    EXPECT_NE(dialogs.boxes[0].text.find("Cannot create file"), std::string::npos) << dialogs.boxes[0].text;
    EXPECT_EQ(GetInfor_Form, nullptr);
    EXPECT_TRUE(form->findChildren<TGetInfor_Form*>().isEmpty());
    EXPECT_TRUE(form->sbReadCard->isEnabled());
}

TEST(KeyDumpText, OnePage)
{
    std::array<uint8_t, 64> bytes {};
    for (int i = 0; i < 64; ++i)
        bytes[size_t(i)] = uint8_t(0xF0 + i);
    const std::string t = keyDumpPageText(37, bytes);
    EXPECT_EQ(t, expectedPage(37, bytes));
    EXPECT_EQ(t.substr(0, 14), "Page 37\r\nF0 F1");
    EXPECT_EQ(t.size(), 9u + 2 * 98);
}

class LockListExportTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        exportIntoDir();
    }
    void listSerials(TReadCard_Form& f, const std::vector<std::optional<std::string>>& serials)
    {
        exec("DELETE FROM LockSerialID");
        for (const auto& s : serials)
            exec(s ? "INSERT INTO LockSerialID (SerialID,Exist,LockName) VALUES ('" + *s + "',0,'')"
                   : std::string("INSERT INTO LockSerialID (SerialID,Exist,LockName) VALUES (NULL,0,'')"));
        f.LockSerialID_Query.Close();
        f.LockSerialID_Query.SQL = "SELECT * FROM LockSerialID";
        f.LockSerialID_Query.Open();
    }
    std::vector<std::string> exportList(TReadCard_Form& f, const QString& start)
    {
        dialogs.boxes.clear();
        f.StartNumberEdit->setText(start);
        f.Button1Click();
        return dialogs.texts();
    }
};

TEST_F(LockListExportTest, RunningNumbersFromTheStartNumber)
{
    auto form = newForm();
    EXPECT_TRUE(form->ExportToExcelButton->isHidden());
    form->BitBtn7Click(); // "&P" shows the export controls
    EXPECT_FALSE(form->ExportToExcelButton->isHidden());

    const std::string a = romIdText(onewire::makeRomId(0x23, 1)), b = romIdText(onewire::makeRomId(0x23, 2)),
                      c = romIdText(onewire::makeRomId(0x23, 3));
    listSerials(*form, { a, std::nullopt, b, c });
    form->Edit5->setText(QStringLiteral("typed")); // the export leaves the registration fields alone
    EXPECT_EQ(exportList(*form, QStringLiteral("100")),
        std::vector<std::string> { "Data has been exported successfully." });
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("typed"));
    ASSERT_EQ(exported().size(), 1u);
    EXPECT_EQ(exported()[0], form->LastLockListExport);
    const auto book = workbook_test::readBack(form->LastLockListExport);
    EXPECT_EQ(book.sheets, std::vector<std::string> { "Lock List Report" });
    auto text = [&](const std::string& ref) { return book.cell("Lock List Report!" + ref).json; };
    EXPECT_EQ(text("A1"), "\"Lock List Report\"");
    EXPECT_EQ(text("A2"), "\"Print Time: \"");
    EXPECT_EQ(book.cell("Lock List Report!B2").type, "text");
    EXPECT_EQ(text("A3"), "\"Serial ID\"");
    EXPECT_EQ(text("B3"), "\"List Number\"");
    EXPECT_EQ(text("A4"), "\"" + a + "\"");
    EXPECT_EQ(text("B4"), "\"100\"");
    EXPECT_FALSE(book.has("Lock List Report!A5")); // the row without a serial ID stays empty
    EXPECT_FALSE(book.has("Lock List Report!B5"));
    EXPECT_EQ(text("A6"), "\"" + b + "\"");
    EXPECT_EQ(text("B6"), "\"102\"");
    EXPECT_EQ(text("A7"), "\"" + c + "\"");
    EXPECT_EQ(text("B7"), "\"103\"");
    EXPECT_EQ(book.cell("Lock List Report!A4").type, "text");
    EXPECT_TRUE(book.widths.empty());
}

TEST_F(LockListExportTest, NothingToExportAndABadStartNumber)
{
    auto form = newForm();
    EXPECT_EQ(exportList(*form, QStringLiteral("1")), std::vector<std::string> { "No Data to print!" });
    listSerials(*form, {});
    EXPECT_EQ(exportList(*form, QStringLiteral("1")), std::vector<std::string> { "No Data to print!" });
    listSerials(*form, { romIdText(onewire::makeRomId(0x23, 1)) });
    for (const char* bad : { "", "abc", "12x", "99999999999" }) {
        SCOPED_TRACE(bad);
        const auto boxes = exportList(*form, QString::fromLatin1(bad));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], "'" + std::string(bad) + "' is not a valid integer value");
        EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    }
    EXPECT_TRUE(exported().empty());
    EXPECT_EQ(exportList(*form, QStringLiteral(" -5")),
        std::vector<std::string> { "Data has been exported successfully." });
    EXPECT_EQ(workbook_test::readBack(form->LastLockListExport).cell("Lock List Report!B4").json, "\"-5\"");
}

} // namespace
