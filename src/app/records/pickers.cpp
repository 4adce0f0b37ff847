#include "app/records/pickers.h"

#include "app/shell/login_form.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_form.h"
#include "app/shell/window_registry.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

namespace {
// Moves to the row whose field holds the value; stays on the first row when none does.
void preselect(TDbQuery& q, const char* field, int64_t value)
{
    if (value != 0)
        q.Locate(field, DbVariant(value));
}
} // namespace

TPickerForm::TPickerForm(QWidget* owner, TDbConnection* db)
    : QDialog(owner)
    , Query1(connectionOr(db))
    , DataSource1(&Query1)
    , db_(connectionOr(db))
{
    DBGrid1 = new TDBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(&DataSource1);
    BitBtn1 = new QPushButton(QStringLiteral(" &Select"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(QStringLiteral(" &Close"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    body_ = new QWidget(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(body_);
    layout->addWidget(DBGrid1, 1);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, [this] { DBGrid1DblClick(); });
    resize(640, 420);
}

void TPickerForm::BitBtn2Click() { reject(); }

// ---------------------------------------------------------------------------------------

TWhichLock_Form::TWhichLock_Form(QWidget* owner, TDbConnection* db)
    : TPickerForm(owner, db)
{
    setObjectName(QStringLiteral("WhichLock_Form"));
    setWindowTitle(QStringLiteral("Which Lock"));
    Edit1 = new QLineEdit(body_);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(body_);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    ComboBox1 = new QComboBox(body_);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({ QStringLiteral("All"), QStringLiteral("iButton"), QStringLiteral("Access Code") });
    auto* filters = new QFormLayout(body_);
    filters->setContentsMargins(0, 0, 0, 0);
    filters->addRow(QStringLiteral("Lock Name:"), Edit1);
    filters->addRow(QStringLiteral("Lock Location:"), Edit2);
    filters->addRow(QStringLiteral("Lock Type:"), ComboBox1);
    if (SettingsRecord.PickAccessCodeLocksOnly == 1) {
        ComboBox1->setCurrentIndex(2);
        ComboBox1->setEnabled(false);
    }
    Query1.SetFieldDisplayLabel("SerialID", "Serial ID");
    Query1.SetFieldDisplayLabel("LockName", "Lock Name");
    Query1.SetFieldDisplayLabel("LockLocation", "Lock Location");
    Query1.SetFieldDisplayLabel("LockType", "Lock Type");
    connect(Edit1, &QLineEdit::textChanged, this, [this] { FilterChange(); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { FilterChange(); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { FilterChange(); });
    FilterChange();
}

void TWhichLock_Form::FilterChange()
{
    // The Access-Code-only mode wins over the type chosen in the box.
    const std::string type = SettingsRecord.PickAccessCodeLocksOnly == 1
        ? std::string("Access Code")
        : ComboBox1->currentIndex() == 0 ? std::string() : ComboBox1->currentText().toStdString();
    auto likeText = [](const QString& s) {
        std::string out = "%";
        for (QChar ch : s.trimmed()) {
            if (ch == '%' || ch == '_' || ch == '\\')
                out += '\\';
            out += QString(ch).toStdString();
        }
        return out + "%";
    };
    Query1.Close();
    Query1.SQL.Clear();
    Query1.SQL.Add("SELECT SerialID, LockName, LockLocation, LockType FROM LockManagement");
    // A lock without a name or location is still listed while its filter is empty.
    Query1.SQL.Add("WHERE IFNULL(LockName, '') LIKE :LockName ESCAPE '\\'");
    Query1.SQL.Add("AND IFNULL(LockLocation, '') LIKE :LockLocation ESCAPE '\\'");
    if (!type.empty())
        Query1.SQL.Add("AND LockType = :LockType");
    Query1.SQL.Add("ORDER BY LockName");
    Query1.ParamByName("LockName").AsString(likeText(Edit1->text()));
    Query1.ParamByName("LockLocation").AsString(likeText(Edit2->text()));
    if (!type.empty())
        Query1.ParamByName("LockType").AsString(type);
    Query1.Open();
}

void TWhichLock_Form::BitBtn1Click()
{
    if (!Query1.Active() || Query1.RecordCount() == 0)
        return; // nothing to choose yet
    SettingsRecord.PickedLockSerialID = Query1.FieldByName("SerialID").AsString();
    accept();
}

void TWhichLock_Form::BitBtn2Click()
{
    SettingsRecord.PickedLockSerialID.clear();
    reject();
}

void TWhichLock_Form::done(int result)
{
    // Every way out (Select, Close, Escape, the title bar) ends the Access-Code-only mode.
    if (result != QDialog::Accepted)
        SettingsRecord.PickedLockSerialID.clear();
    SettingsRecord.PickAccessCodeLocksOnly = 0;
    Query1.Close();
    QDialog::done(result);
}

// ---------------------------------------------------------------------------------------

TDetailPickerForm::TDetailPickerForm(QWidget* owner, TDbConnection* db, std::string keyField)
    : TPickerForm(owner, db)
    , Query2(db_)
    , DataSource2(&Query2)
    , keyField_(std::move(keyField))
{
    DBGrid2 = new TDBGrid(body_);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->sortOnTitleClick = false;
    DBGrid2->setDataSource(&DataSource2);
    auto* l = new QVBoxLayout(body_);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(DBGrid2);
    Query1.AfterScroll = [this](TMemoryDataSet&) { Query1AfterScroll(); };
}

void TDetailPickerForm::Query1AfterScroll()
{
    Query2.Close();
    Query2.ParamByName(keyField_).AsInteger(Query1.FieldByName(keyField_).AsInteger());
    Query2.Open();
}

// ---------------------------------------------------------------------------------------

TLockModeSetting_Form::TLockModeSetting_Form(QWidget* owner, TDbConnection* db)
    : TDetailPickerForm(owner, db, "LockStatusID")
{
    setObjectName(QStringLiteral("LockModeSetting_Form"));
    setWindowTitle(QStringLiteral("Lock Mode Setting"));
    BitBtn1->setVisible(SettingsRecord.PickLockStatusMode == 1);

    Query2.SetFieldDisplayFormat("BeginTime", "hh:nn");
    Query2.SQL = { "SELECT LockStatus, BeginTime, Sunday, Monday, Tuesday, Wednesday, Thursday, Friday, Saturday",
        "FROM LockStatusST WHERE LockStatusID = :LockStatusID ORDER BY BeginTime" };
    Query1.SetFieldDisplayLabel("LockStatusName", "Lock Status Name");
    Query1.SQL = "SELECT LockStatusID, LockStatusName FROM LockStatus ORDER BY LockStatusID";
    Query1.Open();
    if (SettingsRecord.PickLockStatusMode == 1)
        preselect(Query1, "LockStatusID", SettingsRecord.PickedLockStatusID);
}

void TLockModeSetting_Form::BitBtn1Click()
{
    if (SettingsRecord.PickLockStatusMode != 1 || Query1.RecordCount() == 0)
        return;
    SettingsRecord.PickedLockStatusID = static_cast<uint8_t>(Query1.FieldByName("LockStatusID").AsInteger());
    SettingsRecord.PickedLockStatusName = Query1.FieldByName("LockStatusName").AsString();
    picked_ = true;
    accept();
}

void TLockModeSetting_Form::done(int result)
{
    if (SettingsRecord.PickLockStatusMode == 1 && !picked_) {
        SettingsRecord.PickedLockStatusID = 0;
        SettingsRecord.PickedLockStatusName.clear();
    }
    SettingsRecord.PickLockStatusMode = 0;
    Query2.Close();
    Query1.Close();
    QDialog::done(result);
}

// ---------------------------------------------------------------------------------------

TTimeShiftSetting_Form::TTimeShiftSetting_Form(QWidget* owner, TDbConnection* db)
    : TDetailPickerForm(owner, db, "GroupID")
{
    setObjectName(QStringLiteral("TimeShiftSetting_Form"));
    setWindowTitle(QStringLiteral("Time Shift Setting"));
    BitBtn1->setVisible(SettingsRecord.PickTimeShiftMode == 1);

    Query2.SetFieldDisplayFormat("BeginTime", "hh:nn");
    Query2.SetFieldDisplayFormat("EndTime", "hh:nn");
    Query2.SetFieldDisplayLabel("BeginTime", "Begin Time");
    Query2.SetFieldDisplayLabel("EndTime", "End Time");
    Query2.SetFieldDisplayLabel("DayOfWeek", "Day Of Week");
    Query2.SQL = { "SELECT BeginTime, EndTime, DayOfWeek FROM TimeShift", "WHERE GroupID = :GroupID ORDER BY BeginTime" };
    Query1.SetFieldDisplayLabel("GroupID", "Group ID");
    Query1.SetFieldDisplayLabel("GroupName", "Group Name");
    Query1.SQL = "SELECT GroupID, GroupName FROM TimeGroup ORDER BY GroupID";
    Query1.Open();
    if (SettingsRecord.PickTimeShiftMode == 1)
        preselect(Query1, "GroupID", SettingsRecord.PickedTimeGroupID);
}

void TTimeShiftSetting_Form::BitBtn1Click()
{
    if (SettingsRecord.PickTimeShiftMode != 1 || Query1.RecordCount() == 0)
        return;
    SettingsRecord.PickedTimeGroupID = static_cast<uint8_t>(Query1.FieldByName("GroupID").AsInteger());
    picked_ = true;
    accept();
}

void TTimeShiftSetting_Form::done(int result)
{
    if (SettingsRecord.PickTimeShiftMode == 1 && !picked_)
        SettingsRecord.PickedTimeGroupID = 0; // the caller keeps the id it had
    SettingsRecord.PickTimeShiftMode = 0;
    Query2.Close();
    Query1.Close();
    QDialog::done(result);
}

// ---------------------------------------------------------------------------------------

TActExpDateSetting_Form::TActExpDateSetting_Form(QWidget* owner, TDbConnection* db)
    : TPickerForm(owner, db)
{
    setObjectName(QStringLiteral("ActExpDateSetting_Form"));
    setWindowTitle(QStringLiteral("Activation / Expiration Date Setting"));
    body_->hide();
    BitBtn1->setVisible(SettingsRecord.PickActExpMode == 1);
    Query1.SetFieldDisplayLabel("GroupID", "Group ID");
    Query1.SetFieldDisplayLabel("ActivationDate", "Activation Date");
    Query1.SetFieldDisplayLabel("ExpirationDate", "Expiration Date");
    Query1.SQL = "SELECT GroupID, ActivationDate, ExpirationDate FROM ActExpDateST ORDER BY GroupID";
    Query1.Open();
    if (SettingsRecord.PickActExpMode == 1)
        preselect(Query1, "GroupID", SettingsRecord.PickedActExpGroupID);
}

void TActExpDateSetting_Form::BitBtn1Click()
{
    if (SettingsRecord.PickActExpMode != 1 || Query1.RecordCount() == 0)
        return;
    SettingsRecord.PickedActExpGroupID = static_cast<uint8_t>(Query1.FieldByName("GroupID").AsInteger());
    picked_ = true;
    accept();
}

void TActExpDateSetting_Form::done(int result)
{
    if (SettingsRecord.PickActExpMode == 1 && !picked_)
        SettingsRecord.PickedActExpGroupID = 0;
    SettingsRecord.PickActExpMode = 0;
    Query1.Close();
    QDialog::done(result);
}

// ---------------------------------------------------------------------------------------

bool runReadKeyWindowUnder(QWidget* owner)
{
    const ChildWindowFactory* create = findChildWindowFactory(QStringLiteral("Read Key"));
    if (!create)
        return false;
    QWidget* window = (*create)();
    runModalUnder(owner, window);
    delete window;
    return true;
}
