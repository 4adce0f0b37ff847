// The firmware image key laid out byte by byte from an image file, and the "Upgrade Lock
// Program" group of the Read Key window that writes it onto the DS1977 in the reader.
#include "keyformats/firmware_key.h"
#include "keyreading/read_key_fixture.h"
#include "missions/key_fault_sweep.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

using namespace rktest;

namespace {

// The 1-Wire CRC-8 written out bit by bit (x^8 + x^5 + x^4 + 1, reflected): an oracle apart
// from the table-driven one the program uses.
uint8_t oneWireCrc8(const uint8_t* bytes, std::size_t n)
{
    uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i)
        for (int bit = 0, b = bytes[i]; bit < 8; ++bit, b >>= 1)
            crc = uint8_t((crc >> 1) ^ (((crc ^ b) & 1) ? 0x8C : 0));
    return crc;
}

std::vector<uint8_t> imageBytes(std::size_t size)
{
    std::vector<uint8_t> file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = uint8_t((i * 31 + i / 256) ^ 0xA5);
    return file;
}

TEST(FirmwareKey, HeaderPage)
{
    EXPECT_EQ(
        oneWireCrc8(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xA1); // the oracle's check value
    const auto file = imageBytes(0x3E00);
    for (auto [version, end] : { std::pair { "3.3", 0x3D80 }, { "9.0", 0x1234 } }) {
        MissionKeyPage h {};
        std::copy_n(file.begin() + 0x07F0, 12, h.begin());
        h[12] = uint8_t(version[0]);
        h[13] = '.';
        h[14] = uint8_t(version[2]);
        h[15] = uint8_t(end >> 8);
        h[16] = uint8_t(end);
        h[17] = oneWireCrc8(h.data(), 17);
        h[60] = file[0x07FF];
        EXPECT_EQ(buildFirmwareKeyImage(file, 0x0800, uint16_t(end), version)[0], h) << version;
        EXPECT_EQ(oneWireCrc8(h.data(), 18), 0); // the CRC closes the 18 bytes
    }
}

TEST(FirmwareKey, ProgramPages)
{
    for (auto [start, end, pages] :
        { std::tuple { 0x0800, 0x3D80, 214 }, { 0x0800, 0x0840, 1 }, { 0x0800, 0x0841, 2 },
            { 0x0800, 0x0800, 0 }, { 0x0900, 0x0800, 0 }, { 0x0000, 0xFFFF, 510 } }) // never beyond the key
        EXPECT_EQ(firmwareProgramPages(uint16_t(start), uint16_t(end)), pages) << start << " " << end;
    EXPECT_EQ(firmwareFileBytesUsed(0x0800, 0x3D80), 0x3D81u);
    // Page p byte k is file byte 0800h + 64 (p - 1) + k up to the end address itself (which lies
    // beyond page N); past the file or the end address, 00h.
    for (std::size_t size : { 0x4000, 2048 + 100, 2048 }) {
        const auto file = imageBytes(size);
        const auto image = buildFirmwareKeyImage(file, 0x0800, 0x3D80, "3.3");
        for (int p = 1; p < kFirmwareKeyPages; ++p) {
            MissionKeyPage expected {};
            for (std::size_t k = 0, at = 0x0800 + 64 * std::size_t(p - 1); k < 64; ++k, ++at)
                expected[k] = at <= 0x3D80 && at < size ? file[at] : 0;
            ASSERT_EQ(image[size_t(p)], expected) << size << " page " << p;
        }
    }
    // Ending before the program (or empty): refused.
    for (std::size_t size : { std::size_t(0), std::size_t(2032), std::size_t(2047) })
        EXPECT_THROW(buildFirmwareKeyImage(imageBytes(size), 0x0800, 0x3D80, "3.3"), FirmwareFileError)
            << size;
}

TEST(FirmwareKey, AddressesAreFourUpperCaseHexDigits)
{
    const std::pair<const char*, std::optional<uint16_t>> addresses[]
        = { { "0800", 0x0800 }, { "3D80", 0x3D80 }, { "3d80", std::nullopt }, { "080", std::nullopt },
              { "08000", std::nullopt }, { "08G0", std::nullopt } };
    for (auto [text, address] : addresses)
        EXPECT_EQ(firmwareAddress(text), address) << text;
}

TEST(FirmwareKey, VersionsAreADigitADotAndADigit)
{
    for (const char* version : { "3.3", "0.0", "9.9" }) // a digit, ".", a digit
        EXPECT_TRUE(validFirmwareVersion(version)) << version;
    for (const char* version : { "3", "33.3", "3,3", "a.3", "3.a", "00000000", "" })
        EXPECT_FALSE(validFirmwareVersion(version)) << version;
    EXPECT_THROW(firmwareKeyHeader(std::array<uint8_t, 12> {}, 0, "3", 0x3D80), std::invalid_argument);
}

TEST(FirmwareKey, TheNextVersionFollowsTheLocksSoftware)
{
    const std::pair<const char*, std::optional<std::string>> next[] = { { "2.3", "3.3" }, { "2.0", "3" },
        { "8.4", "1" }, { "8", "1" }, { "7.9", "8.9" }, { " 1.5 ", "2.5" }, { "", std::nullopt },
        { "  ", std::nullopt }, { "abc", std::nullopt }, { "2.3x", std::nullopt }, { "2,3", std::nullopt },
        { "nan", std::nullopt }, { "inf", std::nullopt } };
    for (const auto& [software, version] : next)
        EXPECT_EQ(nextFirmwareVersion(software), version) << software;
}

TEST(FirmwareKey, FileNameForEachHardware)
{
    const std::pair<const char*, const char*> files[]
        = { { "3000", "Tarvik_v3.bin" }, { "2122", "Tarvik_v2.bin" }, { "2022", "Tarvik_v1.bin" },
              { "2120", "quillet_v0.bin" }, { "2020", "quillet_v1.bin" }, { "2121", "Ombrel_v3.bin" },
              { "2221", "Ombrel_v2.bin" }, { "4000", "pendrix.bin" }, { "1234", nullptr }, { "", nullptr } };
    for (auto [hardware, file] : files)
        EXPECT_EQ(firmwareFileNameFor(hardware), file ? std::optional<std::string_view>(file) : std::nullopt);
}

class FirmwareWindowTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        form = newForm();
        form->chooseFirmwareFile
            = [this](const QString& preset, const QString& filter, const QString& folder) {
                  dialogAsked = { preset, filter, folder };
                  return nextChoice;
              };
    }
    void TearDown() override
    {
        form.reset();
        ReadKeyFixture::TearDown();
    }
    // What the Lock Information tab shows, as a report fills it.
    void lockReports(const char* hardware, const char* software)
    {
        form->lockInfoLabel(QStringLiteral("Lock Hardware Version:"))->setText(QString::fromLatin1(hardware));
        form->lockInfoLabel(QStringLiteral("Lock Software Version:"))->setText(QString::fromLatin1(software));
    }
    fs::path imageFile(std::size_t size, const std::string& name = "Tarvik_v3.bin")
    {
        fileBytes = imageBytes(size);
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(fileBytes.data()), std::streamsize(size));
        return dir / name;
    }
    void choose(const fs::path& file)
    {
        nextChoice = QString::fromStdString(file.string());
        form->Button2Click();
    }
    std::vector<std::string> writeFile()
    {
        return boxesOf([&] { form->Button3Click(); });
    }
    onewire::KeyFile keyInReader(const onewire::KeyFile& key)
    {
        auto r = onewire::loadKeyFile(onewire::keyFilePath(dir / "Reader", key.rom));
        EXPECT_TRUE(r.key.has_value()) << r.error;
        return *r.key;
    }
    static MissionKeyPage page(const onewire::KeyFile& key, int p) { return *onewire::ds1977Page(key, p); }
    // Group shown with hardware 3000 and software 2.3 (Version Num 3.3).
    void showGroup()
    {
        lockReports("3000", "2.3");
        form->BitBtn8Click();
        ASSERT_FALSE(form->UpgradeGroup->isHidden());
    }
    // ... and a whole image chosen.
    void ready()
    {
        showGroup();
        choose(imageFile(0x3E00));
    }
    std::unique_ptr<TReadCard_Form> form;
    QString nextChoice;
    QStringList dialogAsked;
    std::vector<uint8_t> fileBytes;
};

TEST_F(FirmwareWindowTest, GroupShowsTheFileAndVersionForTheLock)
{
    EXPECT_TRUE(form->UpgradeGroup->isHidden());
    EXPECT_EQ(form->Edit8->text(), QStringLiteral("0800"));
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("3D80"));
    for (QLineEdit* e : { form->Edit8, form->Edit9, form->Edit10 })
        EXPECT_FALSE(e->isEnabled());
    // Each show takes the file name and Version Num from the lock's versions: an unknown
    // hardware keeps the file name, a version that is no number keeps Version Num.
    const struct {
        const char *hardware, *software, *file, *version, *box;
    } shows[] = {
        { "7777", "", "", "00000000", "'' is not a valid floating point value" }, // a first show
        { "2121", "2.3", "Ombrel_v3.bin", "3.3", nullptr },
        { "9999", "x.y", "Ombrel_v3.bin", "3.3", "'x.y' is not a valid floating point value" },
        { "2020", "2.0", "quillet_v1.bin", "3", nullptr },
    };
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (const auto& row : shows) {
        lockReports(row.hardware, row.software);
        EXPECT_EQ(boxesOf([&] { form->BitBtn8Click(); }),
            row.box ? std::vector<std::string> { row.box } : std::vector<std::string> {});
        EXPECT_FALSE(form->UpgradeGroup->isHidden());
        EXPECT_EQ(form->Label96->text(), QString::fromLatin1(row.file));
        EXPECT_EQ(form->Edit10->text(), QString::fromLatin1(row.version));
        // Alt+W hides it again and changes nothing.
        lockReports("4000", "5.1");
        QSignalSpy clicked(form->BitBtn8, &QPushButton::clicked);
        QTest::keyClick(form->windowHandle(), Qt::Key_W, Qt::AltModifier);
        EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000));
        EXPECT_TRUE(form->UpgradeGroup->isHidden());
        EXPECT_EQ(form->Label96->text(), QString::fromLatin1(row.file));
    }
}

TEST_F(FirmwareWindowTest, TheChosenFileIsLoadedAndItsPathShown)
{
    showGroup();
    SettingsRecord.NoLogoutStamp = false;
    choose({}); // cancelled: nothing changes
    EXPECT_EQ(dialogAsked.mid(0, 2), (QStringList { "Tarvik_v3.bin", "data files (*.bin)" }));
    EXPECT_FALSE(dialogAsked.value(2).isEmpty()); // a folder to start in
    EXPECT_TRUE(form->FirmwarePath.empty());
    EXPECT_FALSE(SettingsRecord.NoLogoutStamp);
    const fs::path file = imageFile(4096);
    choose(file);
    EXPECT_EQ(form->FirmwarePath, file.string());
    EXPECT_TRUE(SettingsRecord.NoLogoutStamp);
    // Up to 50 characters as they are; longer ones end in CR LF, or break after 90.
    const QString name = QStringLiteral("File Name:");
    const std::pair<QString, QString> paths[] = {
        { "/a/b.bin", name + "/a/b.bin" },
        { "/" + QString(39, 'x'), name + "/" + QString(39, 'x') },
        { "/" + QString(49, 'y'), name + "/" + QString(49, 'y') + "\r\n" },
        { "/" + QString(89, 'z'), name + "/" + QString(79, 'z') + "\r\n" + QString(10, 'z') },
    };
    for (const auto& [path, shown] : paths) {
        choose(path.toStdString());
        EXPECT_EQ(form->Label92->text(), shown);
    }
}

TEST_F(FirmwareWindowTest, RefusalsWriteNothing)
{
    auto key = ds1977(0x79);
    ready();
    const std::vector<std::string> noKey { "Please Plug in your DS1977 Key." };
    ASSERT_EQ(writeFile(), noKey);
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    put(onewire::blankDS1994(onewire::makeRomId(0x04, 5))); // a user key (another family) is no DS1977
    EXPECT_EQ(writeFile(), noKey);
    insertKey(key);
    const auto before = keyInReader(key);
    form->FirmwarePath.clear();
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Please load the lock program file first." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    form->FirmwarePath = (dir / "gone.bin").string();
    EXPECT_THAT(writeFile(), ElementsAre(HasSubstr("Cannot open file")));
    choose(imageFile(2047, "short.bin")); // ends before the program
    EXPECT_THAT(writeFile(), ElementsAre(HasSubstr("bytes")));
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    form->Edit10->setText(QStringLiteral("3"));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Version Number Input Error!" });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
    EXPECT_EQ(keyInReader(key).memory, before.memory);
    EXPECT_TRUE(form->sbReadCard->isEnabled());
}

TEST_F(FirmwareWindowTest, APageThatReadsBackDifferentEndsTheWrite)
{
    auto key = ds1977(0x79);
    ready();
    insertKey(key);
    bus->rescan(); // as a session would, so the device is there to watch
    // Right after page 3 is stored, its cell loses a bit: the write reported success, the
    // read-back shows the difference.
    auto device = bus->find(key.rom);
    ASSERT_TRUE(device);
    int transfers = 0;
    auto counted = device->pageDone;
    device->pageDone = [&, counted] {
        if (counted)
            counted();
        if (++transfers != 6) // p0 blanked; p1 written, read; p2; p3 written
            return;
        auto stored = keyInReader(key);
        auto changed = page(stored, 3);
        changed[10] ^= 0x04;
        onewire::setDS1977Page(stored, 3, changed);
        const auto file = onewire::keyFilePath(dir / "Reader", key.rom);
        const auto stamp = fs::last_write_time(file);
        ASSERT_TRUE(onewire::saveKeyFile(file, stored));
        fs::last_write_time(file, stamp + std::chrono::seconds(1)); // seen as changed at the next session
    };
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Write File Error!" });
    EXPECT_EQ(form->ProgressBar1->value(), 2);
    EXPECT_EQ(page(keyInReader(key), 4), page(key, 4)); // never written
}

TEST_F(FirmwareWindowTest, WritesTheProgramThenTheHeaderWhereverTheKeyIsPulled)
{
    ready();
    form->Edit9->setText(QStringLiteral("0900")); // four program pages
    uint64_t serial = 0x700;
    onewire::KeyFile key;
    std::vector<std::string> boxes;
    const int transfers = missions_test::sweepPulledKey(
        *bus,
        [&] {
            insertKey(key = ds1977(++serial));
            return key.rom;
        },
        [&] { return (boxes = writeFile()) == std::vector<std::string> { "Write File OK!" }; },
        [&](int n) {
            const auto written = keyInReader(key);
            const auto& image = *form->FirmwareImage;
            if (n == 9) { // taken away after the last program page was written and read back
                EXPECT_EQ(boxes, std::vector<std::string> { "Write File Error!" });
                EXPECT_EQ(form->ProgressBar1->value(), 4);
            }
            if (page(written, 0) != image[0]) {
                EXPECT_NE(boxes, std::vector<std::string> { "Write File OK!" }) << n;
                EXPECT_EQ(page(written, 0), blankMissionKeyPage()) << n;
            } else { // also when the key went before the header was read back
                for (int p = 1; p <= 4; ++p)
                    EXPECT_EQ(page(written, p), image[size_t(p)]) << n << " page " << p;
            }
        });
    // The write that got through: the image built from the file, the rest of the key untouched.
    EXPECT_EQ(boxes, std::vector<std::string> { "Write File OK!" });
    EXPECT_EQ(form->ProgressBar1->value(), form->ProgressBar1->maximum());
    const auto image = buildFirmwareKeyImage(fileBytes, 0x0800, 0x0900, "3.3");
    const auto written = keyInReader(key);
    for (int p = 0; p <= 510; ++p)
        ASSERT_EQ(page(written, p), p <= 4 ? image[size_t(p)] : page(ds1977(serial), p)) << p;
    EXPECT_EQ(transfers, 1 + 2 * 5); // page 0 blanked, pages 1-4 and then the header written and read back
}

} // namespace
