#include "app/missions/multi_time_assignment_form.h"

#include "app/missions/check_box_column.h"
#include "app/missions/mission_rows.h"
#include "app/records/pickers.h"
#include "app/shell/login_form.h"
#include "app/shell/settings_record.h"
#include "app/shell/window_routines.h"
#include "keyformats/copy_settings_key.h"
#include "keyformats/lock_serial_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <stdexcept>

TMultiTimeAssignment_Form* MultiTimeAssignment_Form = nullptr;

namespace {
const char* kInstructions
    = "All settings and users of one lock can be applied to any other lock, to several locks in one mission.\n"
      "1. Select the model lock.\n"
      "2. Tick \"Copy User List\" and/or \"Copy Lock Schedule\".\n"
      "3. Select the locks in the list.\n"
      "4. Insert a DS1977 program key into the PC iButton reader and press \"Issue Key\".\n"
      "5. Touch the key to the selected locks.";

const std::vector<std::string> kColumns { "SerialID", "LockName", "LockLocation", "Used" };
} // namespace

TMultiTimeAssignment_Form::TMultiTimeAssignment_Form(QWidget* parent, TDbConnection* db)
    : ShellForm(parent)
    , Table1(connectionOr(db), "TempLock1")
    , Query1(connectionOr(db))
    , Query2(connectionOr(db))
    , LockList_Query(connectionOr(db))
    , LockList_DataSource(&LockList_Query)
    , keyIo(ReaderPort { SettingsRecord.PortNum, SettingsRecord.PortType }, kReadKeyCheck)
    , db_(connectionOr(db))
{
    setObjectName("MultiTimeAssignment_Form");
    setWindowTitle("Copy Lock Settings");
    MultiTimeAssignment_Form = this;
    keyIo.options.processPendingMessages = [] { QCoreApplication::processEvents(); };
    Table1.Name = "Table1";
    Query1.Name = "Query1";
    Query2.Name = "Query2";
    LockList_Query.Name = "LockList_Query";
    for (TMemoryDataSet* ds : std::initializer_list<TMemoryDataSet*> { &Table1, &Query1, &Query2, &LockList_Query })
        ownDataSet(ds);

    RichEdit7 = new QTextEdit(this);
    RichEdit7->setReadOnly(true);
    RichEdit7->setPlainText(kInstructions);
    RichEdit7->setMaximumHeight(110);
    Label1 = new QLabel("Select Model Lock:", this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit1->installEventFilter(this);
    Label6 = new QLabel("<--Click Here", this);
    Label6->setStyleSheet("color: blue;");
    CheckBox1 = new QCheckBox("Copy User List", this);
    CheckBox1->setChecked(false);
    CheckBox2 = new QCheckBox("Copy Lock Schedule", this);
    CheckBox2->setChecked(true);
    auto* GroupBox1 = new QGroupBox("Select Locks", this);
    DBGrid2 = new TDBGrid(GroupBox1);
    DBGrid2->setObjectName("DBGrid2");
    DBGrid2->setDataSource(&LockList_DataSource);
    DBGrid2->setItemDelegate(new CheckBoxColumnDelegate(DBGrid2));
    DBGrid2->installEventFilter(this);
    auto* boxLayout = new QVBoxLayout(GroupBox1);
    boxLayout->addWidget(DBGrid2);
    sbMakeCard = new QPushButton(" &Issue Key", this);
    sbMakeCard->setEnabled(false);
    sbExit = new QPushButton(" &Close", this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);

    auto* modelRow = new QHBoxLayout;
    modelRow->addWidget(Label1);
    modelRow->addWidget(Edit1);
    modelRow->addWidget(Label6);
    modelRow->addStretch();
    auto* checks = new QHBoxLayout;
    checks->addWidget(CheckBox1);
    checks->addWidget(CheckBox2);
    checks->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ProgressBar1, 1);
    buttons->addWidget(sbMakeCard);
    buttons->addWidget(sbExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RichEdit7);
    layout->addLayout(modelRow);
    layout->addLayout(checks);
    layout->addWidget(GroupBox1, 1);
    layout->addLayout(buttons);

    LockList_Query.SetFieldDisplayLabel("SerialID", "Serial ID");
    LockList_Query.SetFieldDisplayLabel("LockName", "Lock Name");
    LockList_Query.SetFieldDisplayLabel("LockLocation", "Lock Location");
    LockList_Query.SetFieldDisplayLabel("Used", "Selected");
    LockList_Query.AfterOpen = [this](TMemoryDataSet&) { showOnlyFields(LockList_DataSource, kColumns); };
    connect(DBGrid2->gridModel(), &QAbstractItemModel::modelReset, this, [this] { orderGridColumns(DBGrid2, kColumns); });
    LockList_Query.SetCachedUpdates(true);
    LockList_Query.SetUpdateObject(&usMaster);
    usMaster.ModifySQL = { "update TempLock1", "set", "Used = :Used", "where", "LockID = :OLD_LockID" };
    LockList_Query.OnUpdateRecord = [this](TMemoryDataSet&, TUpdateKind kind, TUpdateAction& action) {
        usMaster.ExecSQL(kind);
        action = uaApplied;
    };
    LockList_Query.OnUpdateError = OnUpdateErrorFail;
    LockList_Query.AfterPost = [this](TMemoryDataSet&) { UpdateMasterData(LockList_Query); };

    connect(DBGrid2, &QAbstractItemView::clicked, this, [this](const QModelIndex& i) { DBGrid2CellClick(i.column()); });
    connect(sbMakeCard, &QPushButton::clicked, this, [this] { sbMakeCardClick(); });
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });
    FormCreate();
}

TMultiTimeAssignment_Form::~TMultiTimeAssignment_Form()
{
    if (MultiTimeAssignment_Form == this)
        MultiTimeAssignment_Form = nullptr;
}

void TMultiTimeAssignment_Form::FormClose()
{
    ShellForm::FormClose();
    if (MultiTimeAssignment_Form == this)
        MultiTimeAssignment_Form = nullptr;
}

bool TMultiTimeAssignment_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::MouseButtonDblClick) {
        Edit1DblClick();
        return true;
    }
    if (watched == DBGrid2 && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        DBGrid2CellClick(DBGrid2->currentIndex().column());
        return true;
    }
    return ShellForm::eventFilter(watched, event);
}

void TMultiTimeAssignment_Form::DisplayLocks()
{
    LockList_Query.Close();
    db_->StartTransaction();
    try {
        db_->ExecSQL("DELETE FROM TempLock1");
        Query1.Close();
        Query1.SQL = "SELECT * FROM LockManagement";
        Query1.Open();
        Table1.Open();
        for (Query1.First(); !Query1.Eof(); Query1.Next()) {
            Table1.Append();
            for (const char* f : { "LockID", "SerialID", "LockName", "LockLocation", "LockStatusID" })
                Table1.FieldByName(f).Value(Query1.FieldByName(f).Value());
            Table1.FieldByName("Used").AsBoolean(false);
            Table1.Post();
        }
        Table1.Close();
        Query1.Close();
        db_->Commit();
    } catch (...) {
        Table1.Close();
        db_->Rollback();
        throw;
    }
    LockList_Query.SQL = "SELECT * FROM TempLock1";
    LockList_Query.Open();
    orderGridColumns(DBGrid2, kColumns);
}

void TMultiTimeAssignment_Form::runLockPicker()
{
    TWhichLock_Form picker(this, db_);
    picker.exec();
}

void TMultiTimeAssignment_Form::Edit1DblClick()
{
    runLockPicker();
    const QString picked = QString::fromStdString(SettingsRecord.PickedLockSerialID);
    if (picked == Edit1->text())
        return;
    Edit1->setText(picked);
    try {
        DisplayLocks();
    } catch (const std::exception& e) {
        MyError(e.what());
    }
    sbMakeCard->setEnabled(!Edit1->text().isEmpty() && LockList_Query.RecordCount() > 0);
}

void TMultiTimeAssignment_Form::DBGrid2CellClick(int column)
{
    TDbField* field = DBGrid2->gridModel()->fieldAt(column);
    if (field && field->DataType() == ftBoolean)
        SaveBoolean();
}

void TMultiTimeAssignment_Form::SaveBoolean() { toggleBooleanField(LockList_Query, "Used"); }

void TMultiTimeAssignment_Form::sbMakeCardClick()
{
    if (!programKeyReady(keyIo))
        return;
    try {
        bool written = false;
        {
            const KeyWriteScope writing(*this); // no second issue inside this one, no click on the grid
            written = WriteLockSetupCard();
        }
        if (!written) {
            appDialogs().error("Write Multi-Lock Time Table Key Error.");
        } else {
            ProgressBar1->setValue(ProgressBar1->maximum());
            appDialogs().information("Write Multi-Lock Time Table Key OK.");
        }
    } catch (const std::exception& e) {
        MyError(e.what());
    }
    ProgressBar1->setValue(0);
    sbMakeCard->setEnabled(!Edit1->text().isEmpty() && LockList_Query.RecordCount() > 0);
}

bool TMultiTimeAssignment_Form::WriteLockSetupCard()
{
    Query1.Close();
    Query1.SQL = { "SELECT * FROM LockManagement", "WHERE SerialID = :SerialID" };
    Query1.ParamByName("SerialID").AsString(Edit1->text().toStdString());
    Query1.Open();
    if (Query1.RecordCount() == 0) {
        Query1.Close();
        return false; // the model lock is gone from the lock list
    }
    ModelLockID = Query1.FieldByName("LockID").AsInteger();
    ModelLockStatusID = Query1.FieldByName("LockStatusID").AsInteger();
    Query1.Close();

    CopySettingsKeyContent content;
    content.copyUserList = CheckBox1->isChecked();
    content.copyLockSchedule = CheckBox2->isChecked();
    content.modelScheduleIsOne = ModelLockStatusID == 1;

    Query1.SQL = { "SELECT A.LockID,A.KeyID,A.UserType,B.KeyID,B.Status FROM LockKeyManagement AS A,KeyManagement AS B",
                   "WHERE A.LockID = :LockID", "AND A.KeyID = B.KeyID", "AND B.Status = :Status" };
    Query1.ParamByName("LockID").AsInteger(ModelLockID);
    Query1.ParamByName("Status").AsString("Active");
    Query1.Open();
    content.activeKeyCount = Query1.RecordCount();
    Query1.Close();

    if (content.copyLockSchedule)
        content.timeTable = TimeTable = TimeTableImage(readTimeTableRows(db_, ModelLockStatusID));
    if (content.copyUserList && content.activeKeyCount > 0) {
        Query1.SQL = { "SELECT * FROM LockKeyManagement", "WHERE Status = :Status", "AND LockID = :LockID" };
        Query1.ParamByName("Status").AsString("Active");
        Query1.ParamByName("LockID").AsInteger(ModelLockID);
        Query1.Open();
        for (Query1.First(); !Query1.Eof(); Query1.Next())
            content.keyList.push_back(keyListUserFrom(Query1));
        Query1.Close();
    }
    // The locks on the key are the locks the database copy goes to (the model lock excepted).
    const std::string model = Edit1->text().toStdString();
    std::vector<CopyTarget> targets;
    int marked = 0;
    for (int r = 0; r < LockList_Query.RecordCount(); ++r)
        if (LockList_Query.CellValue(r, LockList_Query.FieldByName("Used").Index()).toBool()) {
            const std::string serial = LockList_Query.CellValue(r, LockList_Query.FieldByName("SerialID").Index()).toString();
            content.lockSerials.push_back(serial);
            ++marked;
            if (serial != model)
                targets.push_back({ LockList_Query.CellValue(r, LockList_Query.FieldByName("LockID").Index()).toInt(), serial });
        }
    // What the key has no room for is refused before the key is touched.
    if (content.keyList.size() > kMaxCopiedKeys) {
        MyError("The model lock has more than 1002 keys.");
        return false;
    }
    if (content.lockSerials.size() > kMaxListedLocks) {
        MyError("More than 1272 locks are selected.");
        return false;
    }
    const auto body = copySettingsBodyWrites(content);

    ProgressBar1->setMaximum(content.activeKeyCount / 3 + 18);
    ProgressBar1->setValue(0);
    auto step = [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); };
    // Page 0 is blanked first and written last: a key whose writing stops half way is no
    // mission key for the locks listed on it by an earlier mission. The copy is staged before
    // page 0 goes on and committed after it: the targets change exactly when the key is usable.
    return writeKeyWithRows(
        keyIo, *db_,
        [&] {
            if (!writePagesWithTries(keyIo, body, step))
                return false;
            copyToTargets(targets, content.copyLockSchedule, content.copyUserList);
            return true;
        },
        [&] { return CopySettingsKeyHeader(SettingsRecord.FacilityCode, marked); });
}

void TMultiTimeAssignment_Form::copyToTargets(const std::vector<CopyTarget>& targets, bool schedule, bool users)
{
    try {
        if (schedule) {
            Query2.SQL = { "UPDATE LockManagement", "SET LockStatusID = :LockStatusID", "WHERE SerialID = :SerialID" };
            for (const auto& t : targets) {
                Query2.ParamByName("LockStatusID").AsInteger(ModelLockStatusID);
                Query2.ParamByName("SerialID").AsString(t.serial);
                Query2.ExecSQL();
            }
        }
        if (users) {
            Query1.Close();
            Query1.SQL = { "SELECT * FROM LockKeyManagement", "WHERE LockID = :LockID" };
            Query1.ParamByName("LockID").AsInteger(ModelLockID);
            Query1.Open();
            for (const auto& t : targets) {
                Query2.SQL = { "DELETE FROM LockKeyManagement", "WHERE LockID = :LockID" };
                Query2.ParamByName("LockID").AsInteger(t.lockId);
                Query2.ExecSQL();
                for (Query1.First(); !Query1.Eof(); Query1.Next())
                    insertLockKeyRow(Query2, t.lockId, Query1);
            }
            Query1.Close();
        }
    } catch (...) {
        Query1.Close();
        throw;
    }
}
