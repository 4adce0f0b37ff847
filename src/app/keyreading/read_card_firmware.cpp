// The "Upgrade Lock Program" group: a lock program image written onto a DS1977 key, every
// page read back and compared.
#include "app/keyreading/read_card_services.h"
#include "app/shell/settings_record.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/firmware_key.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

using keyreading::services::qs;

namespace {

const KeyCheckProfile& firmwareKeyCheck()
{
    static const KeyCheckProfile profile { { 0x37 }, kReadKeyCheck.portMessage, kReadKeyCheck.readerMessage,
        kReadKeyCheck.plugInMessage };
    return profile;
}

// "File Name:" and the path; a long text is broken after its 90th character.
QString fileNameText(const QString& path)
{
    QString text = QStringLiteral("File Name:") + path;
    if (text.size() > 50) {
        if (text.size() > 90)
            text.insert(90, QStringLiteral("\r\n"));
        else
            text += QStringLiteral("\r\n");
    }
    return text;
}

// The bytes of the image file the key is made from (no more than it can use).
std::vector<uint8_t> readImageFile(const std::string& path, std::size_t limit)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Cannot open file \"" + path + "\": " + (errno ? std::strerror(errno) : "I/O error")
            + ".");
    std::vector<uint8_t> bytes(limit);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(limit));
    if (in.bad())
        throw std::runtime_error("Cannot read file \"" + path + "\".");
    bytes.resize(std::size_t(in.gcount()));
    return bytes;
}

} // namespace

void TReadCard_Form::buildUpgradeGroup()
{
    auto* f = new QFormLayout(UpgradeGroup);
    Edit8 = new QLineEdit(QString::fromLatin1(kFirmwareStartText.data(), int(kFirmwareStartText.size())), UpgradeGroup);
    Edit9 = new QLineEdit(QString::fromLatin1(kFirmwareEndText.data(), int(kFirmwareEndText.size())), UpgradeGroup);
    Edit10 = new QLineEdit(
        QString::fromLatin1(kFirmwareVersionPlaceholder.data(), int(kFirmwareVersionPlaceholder.size())), UpgradeGroup);
    for (QLineEdit* e : { Edit8, Edit9 })
        e->setMaxLength(4);
    for (QLineEdit* e : { Edit8, Edit9, Edit10 })
        e->setEnabled(false);
    Label96 = new QLabel(UpgradeGroup);
    Label92 = new QLabel(QStringLiteral("File Name:"), UpgradeGroup);
    Button2 = new QPushButton(QStringLiteral("Load File"), UpgradeGroup);
    Button3 = new QPushButton(QStringLiteral("Write File"), UpgradeGroup);
    f->addRow(QStringLiteral("Start Address:"), Edit8);
    f->addRow(QStringLiteral("End Address:"), Edit9);
    f->addRow(QStringLiteral("Version Num:"), Edit10);
    f->addRow(QStringLiteral("Upgrade File Name:"), Label96);
    f->addRow(Label92);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    f->addRow(buttons);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    chooseFirmwareFile = [this](const QString& fileName, const QString& filter, const QString& folder) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), folder + QLatin1Char('/') + fileName, filter);
    };
}

QString TReadCard_Form::lockHardwareVersionText() const
{
    const QLabel* l = lockInfoLabel(QStringLiteral("Lock Hardware Version:"));
    return l ? l->text() : QString();
}

QString TReadCard_Form::lockSoftwareVersionText() const
{
    const QLabel* l = lockInfoLabel(QStringLiteral("Lock Software Version:"));
    return l ? l->text() : QString();
}

void TReadCard_Form::BitBtn8Click()
{
    if (busy_)
        return;
    UpgradeGroup->setVisible(UpgradeGroup->isHidden());
    if (UpgradeGroup->isHidden())
        return;
    if (const auto file = firmwareFileNameFor(lockHardwareVersionText().toStdString()))
        Label96->setText(QString::fromLatin1(file->data(), int(file->size())));
    const QString software = lockSoftwareVersionText();
    if (const auto next = nextFirmwareVersion(software.toStdString()))
        Edit10->setText(qs(*next));
    else
        appDialogs().error("'" + software.toStdString() + "' is not a valid floating point value");
}

void TReadCard_Form::Button2Click()
{
    if (busy_ || !chooseFirmwareFile)
        return;
    const QString chosen = chooseFirmwareFile(
        Label96->text(), QStringLiteral("data files (*.bin)"), QCoreApplication::applicationDirPath());
    if (chosen.isEmpty())
        return;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    FirmwarePath = path.toStdString();
    Label92->setText(fileNameText(path));
    SettingsRecord.NoLogoutStamp = true;
}

void TReadCard_Form::Button3Click()
{
    if (busy_)
        return;
    ServiceBlock block(*this);
    try {
        const KeyCheckResult check = CheckOneWirePort(keyIo.options, firmwareKeyCheck(), &keyIo.CurrentKeyRom);
        if (check != KeyCheckResult::Found) {
            const std::string text = messageAfterKeyCheck(keyIo.options.port, check, "Please Plug in your DS1977 Key.");
            if (!text.empty())
                appDialogs().error(text);
            return;
        }
        const std::string version = Edit10->text().toStdString();
        if (!validFirmwareVersion(version)) {
            appDialogs().warning("Version Number Input Error!");
            return;
        }
        const auto start = firmwareAddress(Edit8->text().toStdString());
        const auto end = firmwareAddress(Edit9->text().toStdString());
        if (!start || !end || *end < *start) {
            appDialogs().error("Start Address and End Address must be four hexadecimal digits, the end not below the start.");
            return;
        }
        // Without an image file the key would get an empty program: refused.
        if (FirmwarePath.empty()) {
            appDialogs().error("Please load the lock program file first.");
            return;
        }
        const auto bytes = readImageFile(FirmwarePath, firmwareFileBytesUsed(*start, *end));
        FirmwareImage = std::make_unique<FirmwareKeyImage>(buildFirmwareKeyImage(bytes, *start, *end, version));
        const FirmwareKeyImage& image = *FirmwareImage;
        const int pages = firmwareProgramPages(*start, *end);
        ProgressBar1->setRange(0, pages + 1);
        ProgressBar1->setValue(0);
        auto writeAndCompare = [&](int p) {
            const auto& page = image[size_t(p)];
            return keyIo.writePageWithTries(p, page, kFirmwarePageTries) && keyIo.readPageWithTries(p, kFirmwarePageTries)
                && std::equal(page.begin(), page.end(), keyIo.PageBuffer.begin());
        };
        // The header goes on last, over a blank page 0: a write that stops leaves no header a
        // lock would load over a partial program. A blank page's FFh fails the header's CRC-8
        // (a page of 00h would pass it).
        const MissionKeyPage blank = blankMissionKeyPage();
        bool ok = keyIo.writePageWithTries(0, blank, kFirmwarePageTries);
        for (int p = 1; ok && p <= pages; ++p)
            if ((ok = writeAndCompare(p)))
                ProgressBar1->setValue(p);
        if (ok && !writeAndCompare(0)) {
            keyIo.writePageWithTries(0, blank, kFirmwarePageTries); // no header that reads back wrong
            ok = false;
        }
        if (!ok) {
            appDialogs().information("Write File Error!");
            return;
        }
        ProgressBar1->setValue(pages + 1);
        appDialogs().information("Write File OK!");
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
    }
}
