// The key dump ("Information.Txt") and the lock list export of the setup key panel.
#include "app/keyreading/read_card_services.h"
#include "app/keyreading/wait_forms.h"
#include "app/shell/data_exporting_form.h"
#include "keyaccess/dialog_layer.h"
#include "keyformats/key_dump.h"
#include "keyformats/mission_key.h"
#include "workbook/export.h"
#include "workbook/sheet.h"

#include <QLineEdit>
#include <QPointer>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>

TGetInfor_Form* GetInfor_Form = nullptr;

namespace {

// The dump reads a DS1977 only; the reader messages are the window's own.
const KeyCheckProfile& dumpKeyCheck()
{
    static const KeyCheckProfile profile { { 0x37 }, kReadKeyCheck.portMessage, kReadKeyCheck.readerMessage,
        kReadKeyCheck.plugInMessage };
    return profile;
}

std::string fileError(const std::string& what, const std::filesystem::path& file, int error)
{
    return what + " \"" + file.string() + "\": " + (error ? std::strerror(error) : "I/O error") + ".";
}

// StartNumber as a whole number, leading blanks allowed; the conversion error otherwise.
int64_t startNumber(const std::string& text)
{
    std::size_t at = text.find_first_not_of(' ');
    at = at == std::string::npos ? text.size() : at;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    return value;
}

} // namespace

void TReadCard_Form::BitBtn6Click()
{
    if (busy_)
        return;
    ServiceBlock block(*this);
    QPointer<TGetInfor_Form> wait = new TGetInfor_Form(this);
    GetInfor_Form = wait;
    wait->showNow();
    try {
        // The key in the reader now, which need not be the one the last read found; with none,
        // or several, no key is addressed and nothing is read.
        ::IsOneWirePortOK(keyIo.options, dumpKeyCheck(), &keyIo.CurrentKeyRom);
        errno = 0;
        std::ofstream out(KeyDumpFile, std::ios::binary | std::ios::trunc);
        if (!out)
            throw std::runtime_error(fileError("Cannot create file", KeyDumpFile, errno));
        for (int page = 0; page <= kLastKeyPage; ++page) {
            if (!keyIo.readPageWithTries(page))
                break;
            const std::string text
                = keyDumpPageText(page, std::span<const uint8_t, 64>(keyIo.PageBuffer.data(), 64));
            errno = 0;
            out.write(text.data(), std::streamsize(text.size()));
            out.flush();
            if (!out)
                throw std::runtime_error(fileError("Cannot write file", KeyDumpFile, errno));
        }
        errno = 0;
        out.close();
        if (!out)
            throw std::runtime_error(fileError("Cannot write file", KeyDumpFile, errno));
    } catch (const std::exception& e) {
        delete wait.data();
        GetInfor_Form = nullptr;
        appDialogs().error(e.what());
        return;
    }
    if (wait) {
        wait->hide();
        delete wait.data();
    }
    GetInfor_Form = nullptr;
}

void TReadCard_Form::Button1Click()
{
    if (busy_)
        return;
    if (!LockSerialID_Query.Active() || LockSerialID_Query.IsEmpty()) {
        appDialogs().information("No Data to print!");
        return;
    }
    ServiceBlock block(*this);
    try {
        ExportingNotice notice(this);
        workbook::Workbook book;
        workbook::Sheet& sheet = book.addSheet("Lock List Report");
        sheet.setText(1, 1, "Lock List Report");
        sheet.setText(2, 1, "Print Time: ");
        sheet.setText(2, 2, keyreading::dateTimeText(localNow()).toStdString());
        sheet.setText(3, 1, "Serial ID");
        sheet.setText(3, 2, "List Number");
        // The rows as the grid shows them, read without moving its current row (a move would
        // empty the registration fields).
        const TDbField* serialField = LockSerialID_Query.FindField("SerialID");
        if (!serialField)
            throw std::runtime_error("LockSerialID_Query: Field 'SerialID' not found");
        const int rows = LockSerialID_Query.RecordCount();
        for (int i = 0; i < rows; ++i) {
            const DbVariant& serial = LockSerialID_Query.CellValue(i, serialField->Index());
            if (serial.isNull())
                continue;
            const int64_t first = startNumber(StartNumberEdit->text().toStdString());
            sheet.setText(4 + i, 1, serial.toString());
            sheet.setText(4 + i, 2, std::to_string(first + i));
        }
        LastLockListExport = workbook::exportWorkbook(book, "Lock List Report");
        appDialogs().information("Data has been exported successfully.");
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
    }
}
