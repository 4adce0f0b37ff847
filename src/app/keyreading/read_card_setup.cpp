// The setup key panel: a lock listed on a New Lock Setup key registered in LockManagement.
#include "app/keyreading/read_card_services.h"
#include "app/records/pickers.h"
#include "app/shell/settings_record.h"
#include "bytes/codec.h"
#include "bytes/crc.h"
#include "keyaccess/dialog_layer.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <exception>
#include <initializer_list>

using keyreading::services::fieldText;
using keyreading::services::qs;

namespace {

const char* const kClassroomStatus = "No Limit Classroom Mode";
const char* const kStorehouseStatus = "No Limit Storehouse Mode";
constexpr int kClassroomStatusID = 1;
constexpr int kStorehouseStatusID = 2;

std::string upperAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

std::string trimmed(const QString& s)
{
    return s.trimmed().toStdString();
}

// "Lock Status:" opens the picker when the operator moves into it or double-clicks it; the
// focus coming back when the picker closes is not a new entry.
class StatusFieldWatcher : public QObject {
public:
    StatusFieldWatcher(QLineEdit* field, std::function<void()> onEnter)
        : QObject(field)
        , onEnter_(std::move(onEnter))
    {
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field || !field->isEnabled() || running_)
            return false;
        bool enter = event->type() == QEvent::MouseButtonDblClick;
        if (event->type() == QEvent::FocusIn) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            enter = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason
                || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason
                || reason == Qt::OtherFocusReason;
        }
        if (enter) {
            running_ = true;
            onEnter_();
            running_ = false;
        }
        return false;
    }

private:
    std::function<void()> onEnter_;
    bool running_ = false;
};

} // namespace

void TReadCard_Form::wireSetupPanel()
{
    LockSerialID_Query.AfterScroll = [this](TMemoryDataSet&) { LockSerialID_QueryAfterScroll(); };
    // Before the grid first sees the rows, which size its columns by their captions.
    for (auto [f, l] : { std::pair { "SerialID", "Serial ID" }, std::pair { "Exist", "Exist In Database" },
             std::pair { "LockName", "Lock Name" } })
        LockSerialID_Query.SetFieldDisplayLabel(f, l);
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    new StatusFieldWatcher(Edit7, [this] { Edit7Enter(); });
    runLockStatusPicker = [this] {
        TLockModeSetting_Form picker(this, conn);
        picker.exec();
    };
}

void TReadCard_Form::rebuildLocationList()
{
    ComboBox1->clear();
    Query1.Close();
    Query1.SQL = "SELECT * FROM LockManagement";
    Query1.Open();
    for (Query1.First(); !Query1.Eof(); Query1.Next()) {
        const QString location = qs(fieldText(Query1.FieldByName("LockLocation")));
        if (ComboBox1->findText(location, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            ComboBox1->addItem(location);
    }
    Query1.Close();
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->clearEditText();
}

void TReadCard_Form::LockSerialID_QueryAfterScroll()
{
    const bool exists = LockSerialID_Query.Active() && !LockSerialID_Query.IsEmpty()
        && LockSerialID_Query.FieldByName("Exist").AsBoolean();
    if (exists) {
        for (QWidget* w : std::initializer_list<QWidget*> { BitBtn3, Edit4, Edit5, ComboBox1, Edit7, ComboBox2, BitBtn4 })
            w->setEnabled(false);
    } else {
        BitBtn3->setEnabled(true);
    }
    Edit4->clear();
    Edit5->clear();
    Edit7->clear();
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->clearEditText();
}

void TReadCard_Form::BitBtn3Click()
{
    if (busy_ || !LockSerialID_Query.Active() || LockSerialID_Query.IsEmpty()
        || LockSerialID_Query.FieldByName("SerialID").IsNull())
        return;
    if (LockSerialID_Query.FieldByName("Exist").AsBoolean()) {
        appDialogs().information("This lock serial id has been exist in database.");
        return;
    }
    Edit4->setText(qs(LockSerialID_Query.FieldByName("SerialID").AsString()));
    const bool classroom = SetupClassroomFlag == 'Z';
    Edit7->setText(QString::fromLatin1(classroom ? kClassroomStatus : kStorehouseStatus));
    NewLockStatusID = classroom ? kClassroomStatusID : kStorehouseStatusID;
    Edit5->clear();
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->clearEditText();
    ComboBox2->setCurrentIndex(ComboBox2->findText(QStringLiteral("iButton")));
    for (QWidget* w : std::initializer_list<QWidget*> { Edit4, Edit5, ComboBox1, Edit7, BitBtn4, ComboBox2 })
        w->setEnabled(true);
}

void TReadCard_Form::Edit7Enter()
{
    if (busy_ || !Edit7->isEnabled())
        return;
    SettingsRecord.PickLockStatusMode = 1;
    SettingsRecord.PickedLockStatusID = uint8_t(NewLockStatusID);
    try {
        if (runLockStatusPicker)
            runLockStatusPicker();
    } catch (const std::exception& e) {
        SettingsRecord.PickLockStatusMode = 0;
        appDialogs().error(e.what());
        return;
    }
    if (SettingsRecord.PickedLockStatusID != 0) {
        Edit7->setText(qs(SettingsRecord.PickedLockStatusName));
        NewLockStatusID = SettingsRecord.PickedLockStatusID;
    } else {
        Edit7->setText(QString::fromLatin1(kClassroomStatus));
        NewLockStatusID = kClassroomStatusID;
    }
}

void TReadCard_Form::BitBtn4Click()
{
    if (busy_ || !BitBtn4->isEnabled())
        return;
    ServiceBlock block(*this);
    try {
        const std::string name = Edit5->text().toStdString();
        Query1.Close();
        Query1.SQL = "SELECT LockName FROM LockManagement";
        Query1.Open();
        bool taken = false;
        for (Query1.First(); !Query1.Eof() && !taken; Query1.Next())
            taken = upperAscii(fieldText(Query1.FieldByName("LockName"))) == upperAscii(name);
        Query1.Close();
        if (taken) {
            appDialogs().information("Lock Name has been existed.");
            return;
        }
        Query1.SQL = "SELECT max(LockID) as Temp1 FROM LockManagement";
        Query1.Open();
        const int64_t lockId = Query1.FieldByName("Temp1").IsNull() ? 1 : Query1.FieldByName("Temp1").AsInteger() + 1;
        Query1.Close();
        if (trimmed(Edit4->text()).empty()) {
            appDialogs().information("Lock Serial ID is a Required Field.");
            return;
        }
        if (trimmed(Edit5->text()).empty()) {
            appDialogs().information("Lock Name is a Required Field.");
            return;
        }
        if (trimmed(ComboBox1->currentText()).empty()) {
            appDialogs().information("Lock Location is a Required Field.");
            return;
        }
        // LockManagement keys every lock by its serial ID: a typed one must be a real ROM id
        // (16 hex digits whose CRC-8 checks) and not a lock already registered.
        const auto rom = romIdFromText(trimmed(Edit4->text()));
        if (!rom || crc8(*rom) != 0) {
            appDialogs().information("Lock Serial ID must be 16 hexadecimal digits with a valid check byte.");
            return;
        }
        const std::string serial = romIdText(*rom);
        Query1.SQL = { "SELECT LockID FROM LockManagement", "WHERE upper(SerialID) = :SerialID" };
        Query1.ParamByName("SerialID").AsString(serial);
        Query1.Open();
        const bool registered = !Query1.IsEmpty();
        Query1.Close();
        if (registered) {
            appDialogs().information("This lock serial id has been exist in database.");
            return;
        }

        conn->StartTransaction();
        try {
            TDbQuery insert(conn);
            insert.SQL = { "INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation,LockStatusID,LockType)",
                "VALUES (:LockID,:SerialID,:LockName,:LockLocation,:LockStatusID,:LockType)" };
            insert.ParamByName("LockID").AsInteger(lockId);
            insert.ParamByName("SerialID").AsString(serial);
            insert.ParamByName("LockName").AsString(name);
            insert.ParamByName("LockLocation").AsString(ComboBox1->currentText().toStdString());
            insert.ParamByName("LockStatusID").AsInteger(NewLockStatusID);
            insert.ParamByName("LockType").AsString(ComboBox2->currentText().toStdString());
            insert.ExecSQL();
            TDbQuery update(conn);
            update.SQL = { "UPDATE LockSerialID", "SET Exist = :Exist, LockName = :LockName",
                "WHERE SerialID = :SerialID" };
            update.ParamByName("Exist").AsBoolean(true);
            update.ParamByName("LockName").AsString(name);
            update.ParamByName("SerialID").AsString(serial);
            update.ExecSQL();
            conn->Commit();
        } catch (...) {
            conn->Rollback();
            throw;
        }
        BitBtn4->setEnabled(false);
        LockSerialID_Source.SetEnabled(false);
        LockSerialID_Query.Close();
        LockSerialID_Query.SQL = "SELECT * FROM LockSerialID";
        LockSerialID_Query.Open();
        LockSerialID_Source.SetEnabled(true);
        rebuildLocationList();
    } catch (const std::exception& e) {
        appDialogs().error(e.what());
    }
}
