// The "Upgrade Lock Program" group of the Read Key window: a lock program written onto the
// DS1977 in the reader, read back from its key file.
#include "app/keyreading/read_card_services.h"
#include "keyformats/firmware_key.h"
#include "keyreading/read_key_fixture.h"
#include "missions/key_fault_sweep.h"
#include "setupdump/crc8_oracle.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

using namespace rktest;

namespace {

using setupdump_test::oneWireCrc8;

class FirmwareWindowTest : public ReadKeyFixture {
protected:
    void SetUp() override
    {
        ReadKeyFixture::SetUp();
        form = newForm();
        form->chooseFirmwareFile = [this](const QString& preset, const QString& filter, const QString& folder) {
            dialogPreset = preset;
            dialogFilter = filter;
            dialogFolder = folder;
            return nextChoice;
        };
    }
    void TearDown() override
    {
        form.reset();
        ReadKeyFixture::TearDown();
    }
    // The Lock Information tab's value label beside the caption, as the report fills it.
    QLabel* infoLabel(const QString& caption)
    {
        for (auto* f : form->PageControl1->findChildren<QFormLayout*>())
            for (int row = 0; row < f->rowCount(); ++row) {
                auto* l = f->itemAt(row, QFormLayout::LabelRole);
                if (l && qobject_cast<QLabel*>(l->widget())
                    && qobject_cast<QLabel*>(l->widget())->text() == caption)
                    return qobject_cast<QLabel*>(f->itemAt(row, QFormLayout::FieldRole)->widget());
            }
        return nullptr;
    }
    void lockReports(const QString& hardware, const QString& software)
    {
        infoLabel("Lock Hardware Version:")->setText(hardware);
        infoLabel("Lock Software Version:")->setText(software);
    }
    fs::path imageFile(std::size_t size, const std::string& name = "Tarvik_v3.bin")
    {
        std::vector<uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 7 + (i >> 8));
        const fs::path file = dir / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        fileBytes = bytes;
        return file;
    }
    void choose(const fs::path& file)
    {
        nextChoice = QString::fromStdString(file.string());
        form->Button2Click();
    }
    std::vector<std::string> writeFile()
    {
        dialogs.boxes.clear();
        form->Button3Click();
        return dialogs.texts();
    }
    onewire::KeyFile keyInReader(const onewire::KeyFile& key)
    {
        auto r = onewire::loadKeyFile(onewire::keyFilePath(dir / "Reader", key.rom));
        EXPECT_TRUE(r.key.has_value()) << r.error;
        return *r.key;
    }
    // Group shown with hardware 3000 and software 2.3: Version Num 3.3.
    void showGroup()
    {
        lockReports("3000", "2.3");
        form->BitBtn8Click();
        ASSERT_FALSE(form->UpgradeGroup->isHidden());
    }

    std::unique_ptr<TReadCard_Form> form;
    QString nextChoice, dialogPreset, dialogFilter, dialogFolder;
    std::vector<uint8_t> fileBytes;
};

TEST_F(FirmwareWindowTest, GroupShowsTheFileAndVersionForTheLock)
{
    EXPECT_TRUE(form->UpgradeGroup->isHidden());
    EXPECT_EQ(form->Edit8->text(), QStringLiteral("0800"));
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("3D80"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("00000000"));
    for (QLineEdit* e : { form->Edit8, form->Edit9, form->Edit10 })
        EXPECT_FALSE(e->isEnabled());

    lockReports("2121", "2.3");
    form->BitBtn8Click();
    EXPECT_FALSE(form->UpgradeGroup->isHidden());
    EXPECT_EQ(form->Label96->text(), QStringLiteral("Ombrel_v3.bin"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("3.3"));
    // Alt+W again hides it and changes nothing.
    lockReports("4000", "5.1");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QSignalSpy clicked(form->BitBtn8, &QPushButton::clicked);
    QTest::keyClick(form->windowHandle(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000));
    EXPECT_TRUE(form->UpgradeGroup->isHidden());
    EXPECT_EQ(form->Label96->text(), QStringLiteral("Ombrel_v3.bin"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("3.3"));

    // An unknown hardware keeps the file name; a version that is no number keeps Version Num.
    lockReports("9999", "x.y");
    dialogs.boxes.clear();
    form->BitBtn8Click();
    EXPECT_EQ(form->Label96->text(), QStringLiteral("Ombrel_v3.bin"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("3.3"));
    EXPECT_EQ(dialogs.texts(), std::vector<std::string> { "'x.y' is not a valid floating point value" });
    form->BitBtn8Click();
    lockReports("2020", "2.0");
    form->BitBtn8Click();
    EXPECT_EQ(form->Label96->text(), QStringLiteral("quillet_v1.bin"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("3"));
    put(ds1977(0x77));
    ASSERT_EQ(writeFile(), std::vector<std::string> { "Version Number Input Error!" });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Warning);
}

TEST_F(FirmwareWindowTest, FirstShowWithABadVersionKeepsThePlaceholder)
{
    lockReports("7777", "");
    form->BitBtn8Click();
    EXPECT_TRUE(form->Label96->text().isEmpty());
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("00000000"));
    put(ds1977(0x77));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Version Number Input Error!" });
}

TEST_F(FirmwareWindowTest, LoadFileShowsThePath)
{
    showGroup();
    SettingsRecord.NoLogoutStamp = false;
    nextChoice.clear(); // cancelled: nothing changes
    form->Button2Click();
    EXPECT_EQ(dialogPreset, QStringLiteral("Tarvik_v3.bin"));
    EXPECT_EQ(dialogFilter, QStringLiteral("data files (*.bin)"));
    EXPECT_FALSE(dialogFolder.isEmpty());
    EXPECT_TRUE(form->FirmwarePath.empty());
    EXPECT_FALSE(SettingsRecord.NoLogoutStamp);

    const fs::path file = imageFile(4096);
    choose(file);
    EXPECT_EQ(form->FirmwarePath, file.string());
    EXPECT_TRUE(SettingsRecord.NoLogoutStamp);
    const QString text = QStringLiteral("File Name:") + QString::fromStdString(file.string());
    ASSERT_GT(text.size(), 50);
    EXPECT_EQ(form->Label92->text(),
        text.size() > 90 ? text.left(90) + "\r\n" + text.mid(90) : text + QStringLiteral("\r\n"));

    // Short paths: as they are up to 50 characters; a 60-character text ends in CR LF.
    choose("/a/b.bin");
    EXPECT_EQ(form->Label92->text(), QStringLiteral("File Name:/a/b.bin"));
    const QString fifty = "/" + QString(39, 'x');
    choose(fifty.toStdString());
    EXPECT_EQ(form->Label92->text(), QStringLiteral("File Name:") + fifty);
    const QString sixty = "/" + QString(49, 'y');
    choose(sixty.toStdString());
    EXPECT_EQ(form->Label92->text(), QStringLiteral("File Name:") + sixty + "\r\n");
    const QString long100 = "/" + QString(89, 'z');
    choose(long100.toStdString());
    EXPECT_EQ(form->Label92->text().size(), 102);
    EXPECT_EQ(form->Label92->text().mid(90, 2), QStringLiteral("\r\n"));
}

TEST_F(FirmwareWindowTest, WritesEveryPageAndReadsItBack)
{
    auto key = ds1977(0x77);
    put(key);
    showGroup();
    choose(imageFile(0x3E00));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Write File OK!" });
    EXPECT_EQ(form->ProgressBar1->value(), form->ProgressBar1->maximum());

    const auto written = keyInReader(key);
    const auto page0 = *onewire::ds1977Page(written, 0);
    std::array<uint8_t, 64> header {};
    std::copy_n(fileBytes.begin() + 0x07F0, 12, header.begin());
    header[12] = '3';
    header[13] = '.';
    header[14] = '3';
    header[15] = 0x3D;
    header[16] = 0x80;
    header[17] = oneWireCrc8(header.data(), 17);
    header[60] = fileBytes[0x07FF];
    EXPECT_EQ(page0, header);
    for (int p = 1; p <= 214; ++p) {
        std::array<uint8_t, 64> expected {};
        std::copy_n(fileBytes.begin() + 2048 + 64 * (p - 1), 64, expected.begin());
        ASSERT_EQ(*onewire::ds1977Page(written, p), expected) << p;
    }
    for (int p = 215; p <= 510; ++p) // untouched
        ASSERT_EQ(*onewire::ds1977Page(written, p), *onewire::ds1977Page(key, p)) << p;
}

TEST_F(FirmwareWindowTest, AShortImageLeavesTheRestZero)
{
    auto key = ds1977(0x78);
    put(key);
    showGroup();
    choose(imageFile(2048 + 130));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Write File OK!" });
    const auto written = keyInReader(key);
    EXPECT_EQ((*onewire::ds1977Page(written, 3))[1], fileBytes[2048 + 129]);
    EXPECT_EQ((*onewire::ds1977Page(written, 3))[2], 0);
    EXPECT_EQ(*onewire::ds1977Page(written, 214), (std::array<uint8_t, 64> {}));
}

TEST_F(FirmwareWindowTest, RefusalsWriteNothing)
{
    auto key = ds1977(0x79);
    showGroup();
    choose(imageFile(0x3E00));

    // No key.
    ASSERT_EQ(writeFile(), std::vector<std::string> { "Please Plug in your DS1977 Key." });
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    // A user key (another family) is no DS1977 either.
    put(onewire::blankDS1994(onewire::makeRomId(0x04, 5)));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Please Plug in your DS1977 Key." });
    clearReader();
    put(key);
    const auto before = keyInReader(key);

    form->FirmwarePath.clear();
    auto boxes = writeFile();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Please load the lock program file first.");
    EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);

    form->FirmwarePath = (dir / "gone.bin").string();
    boxes = writeFile();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Cannot open file"), std::string::npos) << boxes[0];

    for (std::size_t size : { std::size_t(0), std::size_t(100), std::size_t(2047) }) {
        choose(imageFile(size, "short.bin"));
        boxes = writeFile();
        ASSERT_EQ(boxes.size(), 1u) << size;
        EXPECT_NE(boxes[0].find("bytes"), std::string::npos) << boxes[0];
        EXPECT_EQ(dialogs.boxes[0].type, BoxType::Error);
    }
    form->Edit10->setText(QStringLiteral("3"));
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Version Number Input Error!" });
    EXPECT_EQ(keyInReader(key).memory, before.memory);
    EXPECT_TRUE(form->sbReadCard->isEnabled());
}

TEST_F(FirmwareWindowTest, TheFirstPageThatFailsEndsTheWrite)
{
    auto key = ds1977(0x7A);
    put(key);
    showGroup();
    choose(imageFile(0x3E00));
    // Taken away after page 0 was blanked and page 4 written and read back (two page
    // transfers per program page).
    bus->faults().removeAfterPages[key.rom] = 9;
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Write File Error!" });
    EXPECT_EQ(form->ProgressBar1->value(), 4);
    const auto written = keyInReader(key);
    EXPECT_EQ(*onewire::ds1977Page(written, 0), firmwareBlankHeader());
    EXPECT_EQ(*onewire::ds1977Page(written, 4), form->FirmwareImage->at(4));
    EXPECT_EQ(*onewire::ds1977Page(written, 5), *onewire::ds1977Page(key, 5));
}

TEST_F(FirmwareWindowTest, AHeaderOnlyOverAWholeProgram)
{
    showGroup();
    choose(imageFile(0x3E00));
    form->Edit9->setText(QStringLiteral("0900")); // four program pages
    uint64_t serial = 0x700;
    onewire::KeyFile key;
    bool ok = false;
    const int transfers = missions_test::sweepPulledKey(
        *bus,
        [&] {
            clearReader();
            put(key = ds1977(++serial));
            return key.rom;
        },
        [&] { return ok = writeFile() == std::vector<std::string> { "Write File OK!" }; },
        [&](int n) {
            const auto written = keyInReader(key);
            const auto& image = *form->FirmwareImage;
            if (*onewire::ds1977Page(written, 0) != image[0]) {
                EXPECT_FALSE(ok) << n;
                EXPECT_EQ(*onewire::ds1977Page(written, 0), firmwareBlankHeader()) << n;
            } else { // also when the key went before the header was read back
                for (int p = 1; p <= 4; ++p)
                    EXPECT_EQ(*onewire::ds1977Page(written, p), image[size_t(p)]) << n << " page " << p;
            }
        });
    EXPECT_EQ(transfers, 1 + 2 * 5); // page 0 blanked, pages 1-4 and then the header written and read back
}

TEST_F(FirmwareWindowTest, APageThatReadsBackDifferentEndsTheWrite)
{
    auto key = ds1977(0x7B);
    put(key);
    bus->rescan();
    showGroup();
    choose(imageFile(0x3E00));
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
        auto page = *onewire::ds1977Page(stored, 3);
        page[10] ^= 0x04;
        onewire::setDS1977Page(stored, 3, page);
        const auto file = onewire::keyFilePath(dir / "Reader", key.rom);
        const auto stamp = fs::last_write_time(file);
        ASSERT_TRUE(onewire::saveKeyFile(file, stored));
        fs::last_write_time(file, stamp + std::chrono::seconds(1)); // seen as changed at the next session
    };
    EXPECT_EQ(writeFile(), std::vector<std::string> { "Write File Error!" });
    EXPECT_EQ(form->ProgressBar1->value(), 2);
    // Page 4 was never written.
    EXPECT_EQ(*onewire::ds1977Page(keyInReader(key), 4), *onewire::ds1977Page(key, 4));
}

} // namespace
