#include "app/missions/multi_key_assignment_form.h"

#include "app/missions/check_box_column.h"
#include "app/missions/mission_rows.h"
#include "app/records/pickers.h"
#include "app/shell/login_form.h"
#include "app/shell/settings_record.h"
#include "app/shell/window_routines.h"
#include "keyformats/multi_lock_key.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTabBar>
#include <QTextEdit>
#include <QVBoxLayout>

#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

TMultiKeyAssignment_Form* MultiKeyAssignment_Form = nullptr;

namespace {
const char* kInstructions
    = "Several locks can be programmed with one DS1977 key: the key is read at each lock in turn. "
      "At most 114 user keys can be given to a lock in a single pass. The users and their schedule "
      "assignments are applied per lock; the contents of the groups are changed in the lock schedule "
      "and user code windows.";

constexpr int kProgressMax = 480;

// Grid field indexes of KeyList_Query that the double click acts on.
constexpr int kGroupNameField = 5;
constexpr int kActivationField = 7;
constexpr int kExpirationField = 8;

// The title and cell font colours of the group columns.
std::optional<QColor> columnColour(const TDbField& field)
{
    if (field.Index() == kGroupNameField)
        return QColor(Qt::red);
    if (field.Index() == kActivationField || field.Index() == kExpirationField)
        return QColor(128, 0, 128);
    if (field.FieldName() == "ExpDate")
        return QColor(Qt::blue);
    return std::nullopt;
}

const std::vector<std::string> kColumnOrder { "FirstName", "LastName", "GroupName", "ActivationDate", "ExpirationDate",
                                              "ExpDate", "Used", "UserType", "LastSetupTime" };

// Runs statements in one transaction on the shared connection: all or nothing.
template <typename F>
void inTransaction(TDbConnection* db, F&& body)
{
    db->StartTransaction();
    try {
        body();
        db->Commit();
    } catch (...) {
        db->Rollback();
        throw;
    }
}
} // namespace

TMultiKeyAssignment_Form::TMultiKeyAssignment_Form(QWidget* parent, TDbConnection* db)
    : ShellForm(parent)
    , KeyList_Query(connectionOr(db))
    , KeyList_DataSource(&KeyList_Query)
    , Query1(connectionOr(db))
    , Query2(connectionOr(db))
    , keyIo(ReaderPort { SettingsRecord.PortNum, SettingsRecord.PortType }, kProgrammingCheck)
    , db_(connectionOr(db))
{
    setObjectName("MultiKeyAssignment_Form");
    setWindowTitle("Multi-Lock Programming");
    MultiKeyAssignment_Form = this;
    keyIo.options.processPendingMessages = [] { QCoreApplication::processEvents(); };
    KeyList_Query.Name = "KeyList_Query";
    Query1.Name = "Query1";
    Query2.Name = "Query2";
    ownDataSet(&KeyList_Query);
    ownDataSet(&Query1);
    ownDataSet(&Query2);

    RichEdit8 = new QTextEdit(this);
    RichEdit8->setReadOnly(true);
    RichEdit8->setPlainText(kInstructions);
    RichEdit8->setStyleSheet("font-weight: bold;");
    RichEdit8->setMaximumHeight(80);
    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName("TabControl1");
    for (int i = 1; i <= 8; ++i)
        TabControl1->addTab(QString("Lock %1").arg(i));
    TabControl1->setStyleSheet("QTabBar::tab { min-width: 96px; }");
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit1->installEventFilter(this);
    auto* hint = new QLabel("<--Click Here", this);
    hint->setStyleSheet("color: blue;");
    Edit2 = new QLineEdit(this);
    Edit2->setReadOnly(true);
    Edit3 = new QLineEdit(this);
    Edit3->setReadOnly(true);
    Label4 = new QLabel("1", this);
    Label4->hide();
    Label5 = new QLabel("1", this);
    Label5->hide();

    auto* box = new QGroupBox("  Key List   ", this);
    DBGrid2 = new TDBGrid(box);
    DBGrid2->setObjectName("DBGrid2");
    DBGrid2->setDataSource(&KeyList_DataSource);
    DBGrid2->setItemDelegate(new CheckBoxColumnDelegate(DBGrid2));
    DBGrid2->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(DBGrid2);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, kProgressMax);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    sbMakeCard = new QPushButton(" &Issue Key", this);
    sbExit = new QPushButton(" &Close", this);

    auto* lockRow = new QHBoxLayout;
    lockRow->addWidget(Edit1);
    lockRow->addWidget(hint);
    auto* form = new QFormLayout;
    form->addRow("Select Lock:", lockRow);
    form->addRow("Lock Name:", Edit2);
    form->addRow("Lock Location:", Edit3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ProgressBar1, 1);
    buttons->addWidget(sbMakeCard);
    buttons->addWidget(sbExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichEdit8);
    layout->addWidget(TabControl1);
    layout->addLayout(form);
    layout->addWidget(box, 1);
    layout->addLayout(buttons);

    // Grid: titles, the visible columns and their colours.
    const std::pair<const char*, const char*> titles[] = { { "FirstName", "First Name" }, { "LastName", "Last Name" },
                                                           { "GroupName", "Time Shift" }, { "ActivationDate", "Activation From" },
                                                           { "ExpirationDate", "Expiration On" }, { "ExpDate", "Holiday" },
                                                           { "Used", "Selected" }, { "UserType", "User Type" },
                                                           { "LastSetupTime", "Last Update" } };
    for (const auto& [field, title] : titles)
        KeyList_Query.SetFieldDisplayLabel(field, title);
    KeyList_Query.AfterOpen = [this](TMemoryDataSet&) { showOnlyFields(KeyList_DataSource, kColumnOrder); };
    DBGrid2->setLayoutWidths({ { "FirstName", 80 }, { "LastName", 80 }, { "GroupName", 80 }, { "ActivationDate", 80 },
                               { "ExpirationDate", 80 }, { "ExpDate", 85 }, { "Used", 48 }, { "UserType", 70 },
                               { "LastSetupTime", 110 } });
    DBGrid2->gridModel()->titleColour = columnColour;
    // A selected cell is drawn in the selection colours whatever its font colour; every other
    // cell, the current one too, in its column's.
    DBGrid2->gridModel()->cellColour = [](const TMemoryDataSet&, int, const TDbField& field, CellColours& c) {
        c.foreground = columnColour(field);
    };
    DBGrid2->installEventFilter(this);
    connect(DBGrid2->gridModel(), &QAbstractItemModel::modelReset, this, [this] { orderGridColumns(DBGrid2, kColumnOrder); });

    KeyList_Query.SQL.Add("SELECT A.SerialID,A.FirstName,A.LastName,A.Status,B.GroupID,B.GroupName,C.GroupID,C.ActivationDate,");
    KeyList_Query.SQL.Add("C.ExpirationDate,D.GroupID,D.ExceptionDateFrom,D.ExceptionDateTo,A.Used,A.KeyID,A.LastSetupTime,");
    KeyList_Query.SQL.Add("A.TimeShiftID,A.ActExpDateID,A.ExpDateID,A.LockID,A.UserType,A.KeyCode,A.ExpDate");
    KeyList_Query.SQL.Add("FROM TempLockKey AS A, TimeGroup AS B, ActExpDateST AS C, ExceptionDateST AS D");
    KeyList_Query.SQL.Add("WHERE A.LockID = :LockID");
    KeyList_Query.SQL.Add("AND B.GroupID = A.TimeShiftID");
    KeyList_Query.SQL.Add("AND C.GroupID = A.ActExpDateID");
    KeyList_Query.SQL.Add("AND D.GroupID = A.ExpDateID");
    KeyList_Query.SQL.Add("ORDER BY LastName");
    KeyList_Query.SetCachedUpdates(true);
    KeyList_Query.SetUpdateObject(&usMaster);
    usMaster.ModifySQL.Add("update TempLockKey");
    usMaster.ModifySQL.Add("set");
    usMaster.ModifySQL.Add("  Used = :Used,");
    usMaster.ModifySQL.Add("  ExpDate = :ExpDate");
    usMaster.ModifySQL.Add("where");
    usMaster.ModifySQL.Add("  LockID = :OLD_LockID and");
    usMaster.ModifySQL.Add("  KeyID = :OLD_KeyID");
    KeyList_Query.OnUpdateRecord = [this](TMemoryDataSet&, TUpdateKind kind, TUpdateAction& action) {
        usMaster.ExecSQL(kind);
        action = uaApplied;
    };
    KeyList_Query.OnUpdateError = OnUpdateErrorFail;
    KeyList_Query.AfterPost = [this](TMemoryDataSet&) { UpdateMasterData(KeyList_Query); };

    connect(TabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
    connect(DBGrid2, &QAbstractItemView::clicked, this, [this](const QModelIndex& i) { DBGrid2CellClick(i.column()); });
    connect(DBGrid2, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) { DBGrid2DblClick(i.column()); });
    connect(sbMakeCard, &QPushButton::clicked, this, [this] { sbMakeCardClick(); });
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });
    FormCreate();
}

TMultiKeyAssignment_Form::~TMultiKeyAssignment_Form()
{
    if (MultiKeyAssignment_Form == this)
        MultiKeyAssignment_Form = nullptr;
}

void TMultiKeyAssignment_Form::FormClose()
{
    ShellForm::FormClose();
    if (MultiKeyAssignment_Form == this)
        MultiKeyAssignment_Form = nullptr;
}

bool TMultiKeyAssignment_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1) {
        switch (event->type()) {
        case QEvent::FocusIn: {
            // Entered, from the keyboard or by a click; the focus coming back when the picker
            // closes opens nothing, nor does a click on the field that has the focus.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
                requestLockPicker(false);
            else if (reason == Qt::MouseFocusReason)
                requestLockPicker(true);
            break;
        }
        case QEvent::MouseButtonPress:
            pressTime_ = static_cast<QMouseEvent*>(event)->timestamp();
            break;
        case QEvent::MouseButtonDblClick:
            pressTime_ = static_cast<QMouseEvent*>(event)->timestamp();
            requestLockPicker(true);
            return true;
        default:
            break;
        }
    }
    if (watched == DBGrid2 && event->type() == QEvent::KeyPress)
        return DBGrid2KeyDown(static_cast<QKeyEvent*>(event)->key());
    return ShellForm::eventFilter(watched, event);
}

namespace {
// While a picker that a click opened is up, the rest of that double click (a press within the
// double-click time of the click, and its release) reaches no window.
class RestOfDoubleClick : public QObject {
public:
    explicit RestOfDoubleClick(ulong pressTime)
        : pressTime_(pressTime)
    {
        qApp->installEventFilter(this);
    }
    ~RestOfDoubleClick() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const ulong t = static_cast<QMouseEvent*>(event)->timestamp();
            const auto interval = ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval());
            swallowRelease_ = t >= pressTime_ && t - pressTime_ < interval;
            return swallowRelease_;
        }
        case QEvent::MouseButtonRelease:
            return std::exchange(swallowRelease_, false);
        default:
            return false;
        }
    }

private:
    ulong pressTime_;
    bool swallowRelease_ = false;
};
} // namespace

void TMultiKeyAssignment_Form::requestLockPicker(bool byMouse)
{
    // Once the event that asked has been handled; the clicks of a double click ask once.
    if (pickerRequested_)
        return;
    pickerRequested_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, byMouse] {
            std::optional<RestOfDoubleClick> rest;
            if (byMouse && pressTime_)
                rest.emplace(*pressTime_);
            pressTime_.reset();
            Edit1Enter();
            pickerRequested_ = false;
        },
        Qt::QueuedConnection);
}

bool TMultiKeyAssignment_Form::DBGrid2KeyDown(int key)
{
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_Alt:
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false; // the grid never edits in place, so every other key keeps the field read-only
    }
}

void TMultiKeyAssignment_Form::FormCreate()
{
    db_->ExecSQL("DELETE FROM TempLock1");
    db_->ExecSQL("DELETE FROM TempLockKey");
    Label4->setText("1");
    Label5->setText("1");
    DisplayKeys();
}

void TMultiKeyAssignment_Form::DisplayKeys()
{
    Query1.Close();
    Query1.SQL.Clear();
    Query1.SQL.Add("SELECT * FROM TempLock1");
    Query1.SQL.Add("WHERE TabPageID = :TabPageID");
    Query1.ParamByName("TabPageID").AsInteger(TabControl1->currentIndex());
    Query1.Open();
    if (Query1.RecordCount() > 0) {
        Edit1->setText(QString::fromStdString(Query1.FieldByName("SerialID").AsString()));
        Edit2->setText(QString::fromStdString(textOrEmpty(Query1, "LockName")));
        Edit3->setText(QString::fromStdString(textOrEmpty(Query1, "LockLocation")));
        CurrentLockID = Query1.FieldByName("LockID").AsInteger();
    } else {
        Edit1->clear();
        Edit2->clear();
        Edit3->clear();
        CurrentLockID = 0;
    }
    Query1.Close();
    KeyList_Query.Close();
    KeyList_Query.ParamByName("LockID").AsInteger(CurrentLockID);
    KeyList_Query.Open();
    DBGrid2->setEnabled(KeyList_Query.RecordCount() > 0);
    orderGridColumns(DBGrid2, kColumnOrder);
}

void TMultiKeyAssignment_Form::runLockPicker()
{
    TWhichLock_Form picker(this, db_);
    picker.exec();
}

void TMultiKeyAssignment_Form::runTimeShiftPicker()
{
    TTimeShiftSetting_Form picker(this, db_);
    picker.exec();
}

void TMultiKeyAssignment_Form::runActExpPicker()
{
    TActExpDateSetting_Form picker(this, db_);
    picker.exec();
}

void TMultiKeyAssignment_Form::Edit1Enter()
{
    runLockPicker();
    const std::string picked = SettingsRecord.PickedLockSerialID;
    const std::string present = Edit1->text().toStdString();
    if (picked == present)
        return;
    try {
        if (!picked.empty()) {
            // A lock already on another page: the page keeps the lock it has.
            Query1.Close();
            Query1.SQL.Clear();
            Query1.SQL.Add("SELECT * FROM TempLock1");
            Query1.SQL.Add("WHERE SerialID = :SerialID");
            Query1.ParamByName("SerialID").AsString(picked);
            Query1.Open();
            const bool elsewhere = Query1.RecordCount() > 0;
            Query1.Close();
            if (elsewhere) {
                appDialogs().warning("This lock has been selected, please select another lock.");
                return;
            }
        }
        if (!present.empty()) {
            Query1.Close();
            Query1.SQL.Clear();
            Query1.SQL.Add("SELECT * FROM LockManagement");
            Query1.SQL.Add("WHERE SerialID = :SerialID");
            Query1.ParamByName("SerialID").AsString(present);
            Query1.Open();
            // The page's own TempLock1 row names the lock even if LockManagement lost it.
            CurrentLockID = Query1.RecordCount() > 0 ? Query1.FieldByName("LockID").AsInteger() : CurrentLockID;
            Query1.Close();
            inTransaction(db_, [&] {
                Query2.Close();
                Query2.SQL = { "DELETE FROM TempLock1", "WHERE LockID = :LockID" };
                Query2.ParamByName("LockID").AsInteger(CurrentLockID);
                Query2.ExecSQL();
                Query2.SQL = { "DELETE FROM TempLockKey", "WHERE LockID = :LockID" };
                Query2.ParamByName("LockID").AsInteger(CurrentLockID);
                Query2.ExecSQL();
            });
            if (picked.empty()) {
                Edit1->clear();
                Edit2->clear();
                Edit3->clear();
                CurrentLockID = 0;
                DisplayKeys();
                return;
            }
        } else if (picked.empty()) {
            DisplayKeys();
            return;
        }
        setPageLock(picked);
    } catch (const std::exception& e) {
        MyError(e.what());
        DisplayKeys();
    }
}

void TMultiKeyAssignment_Form::setPageLock(const std::string& serial)
{
    Query1.Close();
    Query1.SQL.Clear();
    Query1.SQL.Add("SELECT * FROM LockManagement");
    Query1.SQL.Add("WHERE SerialID = :SerialID");
    Query1.ParamByName("SerialID").AsString(serial);
    Query1.Open();
    if (Query1.RecordCount() == 0) {
        Query1.Close();
        DisplayKeys();
        return;
    }
    Edit1->setText(QString::fromStdString(serial));
    Edit2->setText(QString::fromStdString(textOrEmpty(Query1, "LockName")));
    Edit3->setText(QString::fromStdString(textOrEmpty(Query1, "LockLocation")));
    CurrentLockID = Query1.FieldByName("LockID").AsInteger();
    const DbVariant lockName = Query1.FieldByName("LockName").Value();
    const DbVariant lockLocation = Query1.FieldByName("LockLocation").Value();
    const DbVariant lockStatusId = Query1.FieldByName("LockStatusID").Value();
    Query1.Close();
    inTransaction(db_, [&] {
        Query2.Close();
        Query2.SQL = { "INSERT INTO TempLock1 (LockID,SerialID,LockName,LockLocation,Used,TabPageID,LockStatusID)",
                       "VALUES (:LockID,:SerialID,:LockName,:LockLocation,:Used,:TabPageID,:LockStatusID)" };
        Query2.ParamByName("LockID").AsInteger(CurrentLockID);
        Query2.ParamByName("SerialID").AsString(serial);
        Query2.ParamByName("LockName").Value(lockName);
        Query2.ParamByName("LockLocation").Value(lockLocation);
        Query2.ParamByName("Used").AsBoolean(true);
        Query2.ParamByName("TabPageID").AsInteger(TabControl1->currentIndex());
        Query2.ParamByName("LockStatusID").Value(lockStatusId);
        Query2.ExecSQL();
        fillLockKeys(CurrentLockID);
    });
    DisplayKeys();
}

void TMultiKeyAssignment_Form::fillLockKeys(int64_t lockId)
{
    Query2.Close();
    Query2.SQL = { "DELETE FROM TempLockKey", "WHERE LockID = :LockID" };
    Query2.ParamByName("LockID").AsInteger(lockId);
    Query2.ExecSQL();

    TDbQuery users(db_);
    users.SQL = "SELECT * FROM KeyManagement";
    users.Open();
    TDbQuery list(db_);
    list.SQL = { "SELECT * FROM LockKeyManagement", "WHERE LockID = :LockID" };
    list.ParamByName("LockID").AsInteger(lockId);
    list.Open();

    Query2.SQL = { "INSERT INTO TempLockKey (LockID,KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Department,Title,",
                   "Address,ContactInfor,Status,Used,TimeShiftID,ActExpDateID,ExpDateID,ExpDate,LastSetupTime)",
                   "VALUES (:LockID,:KeyID,:UserType,:SerialID,:KeyCode,:FirstName,:LastName,:Department,:Title,",
                   ":Address,:ContactInfor,:Status,:Used,:TimeShiftID,:ActExpDateID,:ExpDateID,:ExpDate,:LastSetupTime)" };
    for (users.First(); !users.Eof(); users.Next()) {
        Query2.ParamByName("LockID").AsInteger(lockId);
        Query2.ParamByName("KeyID").Value(users.FieldByName("KeyID").Value());
        for (const char* f : { "UserType", "FirstName", "LastName", "Department", "Title", "Address", "ContactInfor", "Status" })
            Query2.ParamByName(f).Value(users.FieldByName(f).Value());
        Query2.ParamByName("SerialID").AsString(textOrEmpty(users, "SerialID"));
        Query2.ParamByName("KeyCode").AsString(textOrEmpty(users, "KeyCode"));
        if (list.Locate("KeyID", users.FieldByName("KeyID").Value())) {
            Query2.ParamByName("Used").AsBoolean(true);
            for (const char* f : { "TimeShiftID", "ActExpDateID", "ExpDateID", "LastSetupTime" })
                Query2.ParamByName(f).Value(list.FieldByName(f).Value());
            Query2.ParamByName("ExpDate").AsBoolean(list.FieldByName("ExpDate").AsBoolean());
        } else {
            Query2.ParamByName("Used").AsBoolean(false);
            Query2.ParamByName("TimeShiftID").AsInteger(1);
            Query2.ParamByName("ActExpDateID").AsInteger(1);
            Query2.ParamByName("ExpDateID").AsInteger(1);
            Query2.ParamByName("ExpDate").AsBoolean(false);
            Query2.ParamByName("LastSetupTime").Clear();
        }
        Query2.ExecSQL();
    }
}

void TMultiKeyAssignment_Form::DBGrid2CellClick(int column)
{
    TDbField* field = DBGrid2->gridModel()->fieldAt(column);
    if (field && field->DataType() == ftBoolean)
        SaveBoolean(field->FieldName());
}

void TMultiKeyAssignment_Form::SaveBoolean(const std::string& fieldName) { toggleBooleanField(KeyList_Query, fieldName); }

void TMultiKeyAssignment_Form::DBGrid2DblClick(int column)
{
    TDbField* field = DBGrid2->gridModel()->fieldAt(column);
    if (!field)
        return;
    const int index = field->Index();
    const bool timeShift = index == kGroupNameField;
    if (!timeShift && index != kActivationField && index != kExpirationField)
        return;
    QLabel* remembered = timeShift ? Label4 : Label5;
    if (timeShift) {
        SettingsRecord.PickTimeShiftMode = 1;
        SettingsRecord.PickedTimeGroupID = static_cast<uint8_t>(Label4->text().toInt());
        runTimeShiftPicker();
        if (SettingsRecord.PickedTimeGroupID != 0)
            Label4->setText(QString::number(SettingsRecord.PickedTimeGroupID));
    } else {
        SettingsRecord.PickActExpMode = 1;
        SettingsRecord.PickedActExpGroupID = static_cast<uint8_t>(Label5->text().toInt());
        runActExpPicker();
        if (SettingsRecord.PickedActExpGroupID != 0)
            Label5->setText(QString::number(SettingsRecord.PickedActExpGroupID));
    }
    const TDbField& keyId = KeyList_Query.FieldByName("KeyID");
    if (keyId.IsNull())
        return;
    try {
        Query2.Close();
        Query2.SQL = { "UPDATE TempLockKey", timeShift ? "SET TimeShiftID = :TimeShiftID" : "SET ActExpDateID = :ActExpDateID",
                       "WHERE KeyID = :KeyID", "AND LockID = :LockID" };
        Query2.ParamByName(timeShift ? "TimeShiftID" : "ActExpDateID").AsInteger(remembered->text().toInt());
        Query2.ParamByName("KeyID").AsInteger(keyId.AsInteger());
        Query2.ParamByName("LockID").AsInteger(CurrentLockID);
        Query2.ExecSQL();
    } catch (const std::exception& e) {
        MyError(e.what());
    }
    DisplayKeys();
}

void TMultiKeyAssignment_Form::sbMakeCardClick()
{
    if (!programKeyReady(keyIo))
        return;
    const KeyWriteScope writing(*this); // no second issue inside this one, no click on the grid
    try {
        db_->ExecSQL("DELETE FROM TempKey1");
        TDbQuery locks(db_);
        locks.SQL = "SELECT * FROM TempLock1";
        locks.Open();
        if (locks.RecordCount() == 0) {
            appDialogs().information("There are no mission to download.");
            return;
        }
        TDbQuery keys(db_);
        keys.SQL = { "SELECT * FROM TempLockKey", "WHERE LockID = :LockID", "AND Used = :Used" };
        bool tooMany = false;
        inTransaction(db_, [&] {
            Query2.Close();
            Query2.SQL = { "INSERT INTO TempKey1 (KeyID,UserType,SerialID,KeyCode,FirstName,LastName,Department,Title,",
                           "Address,ContactInfor,Status,Used,LockID,TimeShiftID,ActExpDateID,ExpDate)",
                           "VALUES (:KeyID,:UserType,:SerialID,:KeyCode,:FirstName,:LastName,:Department,:Title,",
                           ":Address,:ContactInfor,:Status,:Used,:LockID,:TimeShiftID,:ActExpDateID,:ExpDate)" };
            for (locks.First(); !locks.Eof() && !tooMany; locks.Next()) {
                keys.Close();
                keys.ParamByName("LockID").AsInteger(locks.FieldByName("LockID").AsInteger());
                keys.ParamByName("Used").AsBoolean(true);
                keys.Open();
                if (keys.RecordCount() > multilock::kMaxKeysPerLock) {
                    appDialogs().information(textOrEmpty(locks, "LockName") + ": The keys selected should less than 114. ");
                    tooMany = true;
                    break;
                }
                for (keys.First(); !keys.Eof(); keys.Next()) {
                    for (const char* f : { "KeyID", "UserType", "FirstName", "LastName", "Department", "Title", "Address",
                                           "ContactInfor", "Status", "LockID", "TimeShiftID", "ActExpDateID" })
                        Query2.ParamByName(f).Value(keys.FieldByName(f).Value());
                    Query2.ParamByName("SerialID").AsString(textOrEmpty(keys, "SerialID"));
                    Query2.ParamByName("KeyCode").AsString(textOrEmpty(keys, "KeyCode"));
                    Query2.ParamByName("Used").AsBoolean(true);
                    Query2.ParamByName("ExpDate").AsBoolean(keys.FieldByName("ExpDate").AsBoolean());
                    Query2.ExecSQL();
                }
            }
        });
        if (tooMany)
            return;
        if (WriteMultipleMissionCard()) {
            ProgressBar1->setValue(kProgressMax);
            appDialogs().information("Write Multi-Lock Key OK.");
        } else {
            appDialogs().error("Write Multi-Lock Key Error.");
        }
    } catch (const std::exception& e) {
        MyError(e.what());
    }
    ProgressBar1->setValue(0);
}

bool TMultiKeyAssignment_Form::duplicateCheck(int64_t lockId)
{
    TDbQuery q(db_);
    q.SQL = { "SELECT * FROM TempKey1", "WHERE LockID = :LockID", "AND Status = :Status", "AND Used = :Used" };
    q.ParamByName("LockID").AsInteger(lockId);
    q.ParamByName("Status").AsString("Active");
    q.ParamByName("Used").AsBoolean(true);
    q.Open();
    // Users without a serial ID or key code (stored as empty text) are not duplicates.
    for (const auto& [field, message] : { std::pair { "SerialID", "Found duplicated Key SerialID,Mission terminated." },
                                          std::pair { "KeyCode", "Found duplicated KeyCode,Mission terminated." } }) {
        std::set<std::string> seen;
        for (q.First(); !q.Eof(); q.Next()) {
            const std::string v = textOrEmpty(q, field);
            if (!v.empty() && !seen.insert(v).second) {
                appDialogs().error(message);
                return false;
            }
        }
    }
    return true;
}

bool TMultiKeyAssignment_Form::WriteMultipleMissionCard()
{
    ProgressBar1->setValue(0);
    int SectionCount = 0;
    struct Lock {
        int page;
        int64_t id;
        std::string serial;
        int64_t statusId;
    };
    std::vector<Lock> locks;
    for (int L = 0; L < multilock::kLockPages; ++L) {
        Query1.Close();
        Query1.SQL = { "SELECT * FROM TempLock1", "WHERE TabPageID = :TabPageID" };
        Query1.ParamByName("TabPageID").AsInteger(L);
        Query1.Open();
        if (Query1.RecordCount() > 0)
            locks.push_back({ L, Query1.FieldByName("LockID").AsInteger(), Query1.FieldByName("SerialID").AsString(),
                              Query1.FieldByName("LockStatusID").AsInteger() });
        Query1.Close();
    }
    // Every lock's list is checked before the key is touched.
    for (const auto& lock : locks)
        if (!duplicateCheck(lock.id))
            return false;
    // The new key lists are staged before page 0 goes on and committed after it: a lock never
    // takes a key whose users the database does not list.
    return writeKeyWithRows(
        keyIo, *db_,
        [&] {
            for (const auto& lock : locks) {
                MissionLockID = lock.id;
                MissionLockSerialID = lock.serial;
                MissionLockStatusID = lock.statusId;
                if (!WriteLockSetupCard_Time(lock.page) || !WriteLockSetup(lock.page))
                    return false;
                SectionCount += multilock::kSectionsPerLock;
                ProgressBar1->setValue(60 * (lock.page + 1));
                QCoreApplication::processEvents();
            }
            replaceLockKeyManagement();
            return true;
        },
        [&] { return MultiLockKeyHeader(SectionCount, SettingsRecord.FacilityCode); });
}

bool TMultiKeyAssignment_Form::WriteLockSetupCard_Time(int L)
{
    const auto image = TimeTableImage(readTimeTableRows(db_, MissionLockStatusID));
    return writePagesWithTries(keyIo, timeTableSectionWrites(L, MissionLockSerialID, image),
                               [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); });
}

bool TMultiKeyAssignment_Form::WriteLockSetup(int L)
{
    TDbQuery q(db_);
    q.SQL = { "SELECT * FROM TempKey1", "WHERE LockID = :LockID", "AND Used = :Used" };
    q.ParamByName("LockID").AsInteger(MissionLockID);
    q.ParamByName("Used").AsBoolean(true);
    q.Open();
    std::vector<KeyListUser> users;
    for (q.First(); !q.Eof(); q.Next())
        users.push_back(keyListUserFrom(q));
    q.Close();
    return writePagesWithTries(keyIo, keyListSectionWrites(L, MissionLockSerialID, users),
                               [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); });
}

void TMultiKeyAssignment_Form::replaceLockKeyManagement()
{
    // Every lock of the key at once, inside the key's transaction.
    TDbQuery locks(db_);
    locks.SQL = "SELECT * FROM TempLock1 ORDER BY TabPageID";
    locks.Open();
    TDbQuery rows(db_);
    rows.SQL = { "SELECT * FROM TempKey1", "WHERE Used = :Used", "AND LockID = :LockID" };
    for (locks.First(); !locks.Eof(); locks.Next()) {
        const int64_t lockId = locks.FieldByName("LockID").AsInteger();
        Query2.Close();
        Query2.SQL = { "DELETE FROM LockKeyManagement", "WHERE LockID = :LockID" };
        Query2.ParamByName("LockID").AsInteger(lockId);
        Query2.ExecSQL();
        rows.Close();
        rows.ParamByName("Used").AsBoolean(true);
        rows.ParamByName("LockID").AsInteger(lockId);
        rows.Open();
        for (rows.First(); !rows.Eof(); rows.Next())
            if (rows.FieldByName("Used").AsBoolean())
                insertLockKeyRow(Query2, lockId, rows);
    }
}
