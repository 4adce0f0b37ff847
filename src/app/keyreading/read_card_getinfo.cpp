// The Get Information key report: the lock's state on the Lock Information tab, its settings
// image and key list decoded into the scratch tables, and the five comparison tabs.
#include "app/keyreading/read_card_form.h"
#include "app/keyreading/wait_forms.h"
#include "keyformats/audit_records.h"
#include "keyformats/get_information.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

using keyreading::dateTimeText;

namespace {
const char* const kReadError = "Read key error,Please try it again.";
const char* const kLockNotFound = "Can not find information of this key in database.";

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string textOf(const TDbField& f)
{
    return f.IsNull() ? std::string() : f.AsString();
}

DateTime timeOfDay(TimeOfDay t)
{
    return db::makeTime(t.hour, t.minute);
}

// The wait window for the life of a scope, freed also when a database error ends the report.
class WaitWindow {
public:
    explicit WaitWindow(QWidget* owner)
        : form_(new TDownloading_Form(owner))
    {
        form_->showNow();
    }
    ~WaitWindow() { close(); }
    void close()
    {
        if (form_) {
            form_->hide();
            delete form_.data();
        }
    }

private:
    QPointer<TDownloading_Form> form_;
};

const char* const kDays[7] = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };
} // namespace

// ---------------------------------------------------------------------------------------
// Set-up

void TReadCard_Form::setUpGetInformation()
{
    for (int i = 0; i < PageControl1->count(); ++i) {
        if (PageControl1->tabText(i) != QLatin1String("Lock Information"))
            continue;
        auto* form = qobject_cast<QFormLayout*>(PageControl1->widget(i)->layout());
        for (int r = 0; form && r < form->rowCount(); ++r) {
            QLayoutItem* caption = form->itemAt(r, QFormLayout::LabelRole);
            QLayoutItem* value = form->itemAt(r, QFormLayout::FieldRole);
            auto* c = caption ? qobject_cast<QLabel*>(caption->widget()) : nullptr;
            auto* v = value ? qobject_cast<QLabel*>(value->widget()) : nullptr;
            if (c && v)
                lockInfoLabels_[c->text()] = v;
        }
    }
    Label17 = lockInfoLabel(QStringLiteral("Lock Serial ID:"));
    Label17->setObjectName(QStringLiteral("Label17"));

    // The schedule's name above each lock status grid, shown when the report finds it.
    auto caption = [](TDBGrid* grid) {
        auto* label = new QLabel(grid->parentWidget());
        if (auto* box = qobject_cast<QBoxLayout*>(grid->parentWidget()->layout()))
            box->insertWidget(0, label);
        label->hide();
        return label;
    };
    LockStatusNameInLock = caption(DBGrid7);
    LockStatusNameInDB = caption(DBGrid6);
    DBGrid7->gridModel()->cellColour = &TReadCard_Form::lockStatusCellColour;
    DBGrid6->gridModel()->cellColour = &TReadCard_Form::lockStatusCellColour;
    for (TDBGrid* g : { DBGrid7, DBGrid6 })
        g->sortOnTitleClick = false;
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
}

QLabel* TReadCard_Form::lockInfoLabel(const QString& caption) const
{
    const auto it = lockInfoLabels_.find(caption);
    if (it == lockInfoLabels_.end())
        throw std::logic_error("The Lock Information tab has no field " + caption.toStdString());
    return it->second;
}

// ---------------------------------------------------------------------------------------
// The report

bool TReadCard_Form::showLockInformationPages()
{
    getInfoLockTime_.reset();
    MissionKeyPage page {};
    if (!readPage(getinfo::kInformationPage, page))
        return false;
    const LockInformationPage info = decodeLockInformationPage(page);
    // A report that stops early shows no name, location or settings of an earlier lock.
    lockInfoLabel(QStringLiteral("Lock Name:"))->clear();
    lockInfoLabel(QStringLiteral("Lock Location:"))->clear();
    for (TDbQuery* qy : { &TimeGroup_Query, &TimeShiftInLock_Query, &TimeShiftInDB_Query,
             &LockStatusInLock_Query, &LockStatusInDB_Query, &ActExpInLock_Query, &ActExpInDB_Query,
             &ExceptionInLock_Query, &ExceptionInDB_Query, &KeyInforInLock_Query, &KeyInforInDB_Query })
        qy->Close();
    LockStatusNameInLock->hide();
    LockStatusNameInDB->hide();
    if (!info.visitedLock()) { // the key has not been to a lock: the panel shows nothing
        for (auto& entry : lockInfoLabels_)
            entry.second->clear();
        DisplayPanel(4);
        return false;
    }
    const std::pair<const char*, QString> fields[] = {
        { "Key List Status:", QString::fromLatin1(info.keyListStatusText()) },
        { "Manual Setup Status:", QString::fromLatin1(info.manualSetupStatusText()) },
        { "DayLight Saving Status:", QString::fromLatin1(info.daylightSavingStatusText()) },
        { "DayLight Saving:", QString::fromLatin1(info.daylightSavingText()) },
        { "Lock Serial ID:", q(info.lockSerialText()) },
        { "Blink:", QString::fromLatin1(info.blinkText()) },
        { "Lock Mode:", QString::fromLatin1(info.lockModeText()) },
        { "Lock Hardware Version:", q(info.hardwareVersionText()) },
        { "Lock Software Version:", QString::fromLatin1(info.softwareVersionText().data(), 3) },
        { "User Number:", QString::number(info.userCount) },
    };
    for (const auto& [caption, text] : fields)
        lockInfoLabel(QString::fromLatin1(caption))->setText(text);
    getInfoLockTime_ = info.lockTime;
    lockInfoLabel(QStringLiteral("Time In Lock:"))
        ->setText(info.lockTime ? dateTimeText(*info.lockTime) : q(std::string(kInvalidLockTimeText)));
    DisplayPanel(4);

    if (!readPage(getinfo::kVersionPage, page))
        return false;
    const LockVersionPage version = decodeLockVersionPage(page);
    lockInfoLabel(QStringLiteral("Audit Trial Number:"))->setText(QString::number(version.auditRecordCount));
    lockInfoLabel(QStringLiteral("Battery Voltage:"))->setText(q(version.batteryText()));
    if (const auto level = version.lockLevelText())
        lockInfoLabel(QStringLiteral("Lock Level:"))->setText(q(*level));
    return true;
}

void TReadCard_Form::runGetInformationReport()
{
    if (!showLockInformationPages())
        return;
    Query1.Close();
    Query1.SQL = { "SELECT * FROM LockManagement", "WHERE SerialID = :SerialID" };
    Query1.ParamByName("SerialID").AsString(Label17->text().toStdString());
    Query1.Open();
    if (Query1.IsEmpty()) {
        Query1.Close();
        appDialogs().information(kLockNotFound);
        return;
    }
    lockInfoLabel(QStringLiteral("Lock Name:"))->setText(q(textOf(Query1.FieldByName("LockName"))));
    lockInfoLabel(QStringLiteral("Lock Location:"))->setText(q(textOf(Query1.FieldByName("LockLocation"))));
    LockID = int(Query1.FieldByName("LockID").AsInteger());
    LockStatusID = Query1.FieldByName("LockStatusID").IsNull()
        ? 0
        : int(Query1.FieldByName("LockStatusID").AsInteger());
    Query1.Close();

    WaitWindow wait(this);
    const KeyListPlan plan = planKeyList(lockInfoLabel(QStringLiteral("User Number:"))->text().toInt());
    ProgressBar1->setRange(0, plan.entries / 2 + 16);
    if (!ReadGetLockSetupCard()) {
        wait.close();
        appDialogs().information(kReadError);
        return;
    }
    DisplayPanel(4);
    BitBtn2->show();
    openLockSettingsQueries();
    ProgressBar1->setValue(ProgressBar1->maximum());
    wait.close();
}

void TReadCard_Form::openLockSettingsQueries()
{
    TimeGroup_Query.Close();
    TimeGroup_Query.SQL = "SELECT * FROM TimeGroup";
    TimeGroup_Query.Open();
    TimeGroup_Query.First();
    if (!TimeGroup_Query.IsEmpty()) {
        const int64_t group = TimeGroup_Query.FieldByName("GroupID").AsInteger();
        for (auto [query, table] : { std::pair { &TimeShiftInLock_Query, "TimeShift1" },
                 std::pair { &TimeShiftInDB_Query, "TimeShift" } }) {
            query->Close();
            query->SQL = { std::string("SELECT * FROM ") + table, "WHERE GroupID = :GroupID",
                "ORDER BY BeginTime,DayOfWeek" };
            query->ParamByName("GroupID").AsInteger(group);
            query->Open();
        }
    }

    // The grids' column order: begin time, status, Sunday .. Saturday.
    const char* const columns = "SELECT BeginTime,LockStatus,Sunday,Monday,Tuesday,Wednesday,Thursday,Friday,"
                                "Saturday,LockStatusID";
    LockStatusInLock_Query.Close();
    LockStatusInLock_Query.SQL
        = { std::string(columns) + " FROM LockStatusST1", "ORDER BY BeginTime,LockStatus" };
    LockStatusInLock_Query.Open();
    LockStatusInDB_Query.Close();
    LockStatusInDB_Query.SQL = { std::string(columns) + " FROM LockStatusST",
        "WHERE LockStatusID = :LockStatusID", "ORDER BY BeginTime,LockStatus" };
    LockStatusInDB_Query.ParamByName("LockStatusID").AsInteger(LockStatusID);
    LockStatusInDB_Query.Open();
    for (TDbQuery* qy : { &LockStatusInLock_Query, &LockStatusInDB_Query }) {
        if (TDbField* f = qy->FindField("LockStatusID"))
            f->Visible = false;
        qy->SetFieldDisplayLabel("BeginTime", "Begin Time");
        qy->SetFieldDisplayLabel("LockStatus", "Lock Status");
    }
    for (TDbDataSource* s : { &LockStatusInLock_Source, &LockStatusInDB_Source }) {
        s->SetEnabled(false); // the grids take the columns chosen after opening
        s->SetEnabled(true);
    }

    Query2.Close();
    Query2.SQL = { "SELECT * FROM LockStatus", "WHERE LockStatusID = :LockStatusID" };
    Query2.ParamByName("LockStatusID").AsInteger(LockStatusID);
    Query2.Open();
    const bool named = !Query2.IsEmpty();
    const QString name = named ? q(textOf(Query2.FieldByName("LockStatusName"))) : QString();
    Query2.Close();
    for (QLabel* l : { LockStatusNameInLock, LockStatusNameInDB }) {
        l->setText(name);
        l->setVisible(named);
    }

    showModeInForce();

    auto openAll = [](TDbQuery& query, const char* table) {
        query.Close();
        query.SQL = { std::string("SELECT * FROM ") + table, "ORDER BY GroupID" };
        query.Open();
    };
    openAll(ActExpInLock_Query, "ActExpDateST1");
    openAll(ActExpInDB_Query, "ActExpDateST");
    openAll(ExceptionInLock_Query, "ExceptionDateST1");
    openAll(ExceptionInDB_Query, "ExceptionDateST");

    // Every key the lock holds is listed: users not in the database and the holiday group the
    // lock side never carries (ExpDateID) join with nothing, so the group tables join outwards.
    KeyInforInLock_Query.Close();
    KeyInforInLock_Query.SQL
        = { "SELECT A.SerialID,A.FirstName,A.LastName,A.Status,B.GroupID,B.GroupName,C.GroupID,"
            "C.ActivationDate,",
              "C.ExpirationDate,D.GroupID,D.ExceptionDateFrom,D.ExceptionDateTo,A.Used,A.KeyID,A.KeyCode,A."
              "UserType,",
              "A.TimeShiftID,A.ActExpDateID,A.ExpDateID,A.ExpDate", "FROM TempKey AS A",
              "LEFT JOIN TimeGroup AS B ON B.GroupID = A.TimeShiftID",
              "LEFT JOIN ActExpDateST AS C ON C.GroupID = A.ActExpDateID",
              "LEFT JOIN ExceptionDateST AS D ON D.GroupID = A.ExpDateID",
              "ORDER BY A.FirstName,A.LastName" };
    KeyInforInLock_Query.Open();
    KeyInforInDB_Query.Close();
    KeyInforInDB_Query.SQL = {
        "SELECT A.LockID,A.SerialID,A.FirstName,A.LastName,A.Status,B.GroupID,B.GroupName,"
        "C.GroupID,C.ActivationDate,",
        "C.ExpirationDate,D.GroupID,D.ExceptionDateFrom,D.ExceptionDateTo,A.KeyID,A.KeyCode,A.UserType,",
        "A.TimeShiftID,A.ActExpDateID,A.ExpDateID,A.ExpDate",
        "FROM LockKeyManagement AS A, TimeGroup AS B, ActExpDateST AS C, ExceptionDateST AS D",
        "WHERE A.LockID = :LockID", "AND A.Status = :Status", "AND B.GroupID = A.TimeShiftID",
        "AND C.GroupID = A.ActExpDateID", "AND D.GroupID = A.ExpDateID", "ORDER BY A.FirstName,A.LastName"
    };
    KeyInforInDB_Query.ParamByName("LockID").AsInteger(LockID);
    KeyInforInDB_Query.ParamByName("Status").AsString("Active");
    KeyInforInDB_Query.Open();
}

void TReadCard_Form::showModeInForce()
{
    // Without a valid lock time there is nothing to compare: the lock's own mode stands.
    if (!getInfoLockTime_)
        return;
    const auto sinceMidnight = *getInfoLockTime_ - std::chrono::floor<std::chrono::days>(*getInfoLockTime_);
    Query2.Close();
    Query2.SQL = { "SELECT * FROM LockStatusST1", "WHERE LockStatus = :LockStatus",
        "OR LockStatus = :LockStatus1", "ORDER BY BeginTime" };
    Query2.ParamByName("LockStatus").AsString("Classroom Mode");
    Query2.ParamByName("LockStatus1").AsString("Storehouse Mode");
    Query2.Open();
    std::vector<ModeRow> rows;
    for (Query2.First(); !Query2.Eof(); Query2.Next()) {
        const TDbField& begin = Query2.FieldByName("BeginTime");
        if (begin.IsNull())
            continue;
        const DateTime t = begin.AsDateTime();
        rows.push_back({ int((t - std::chrono::floor<std::chrono::days>(t)).count()),
            textOf(Query2.FieldByName("LockStatus")) });
    }
    Query2.Close();
    if (const auto mode = modeInForce(rows, int(sinceMidnight.count())))
        lockInfoLabel(QStringLiteral("Lock Mode:"))->setText(q(*mode));
}

// ---------------------------------------------------------------------------------------
// Settings image and key list

bool TReadCard_Form::ReadGetLockSetupCard()
{
    const KeyListPlan plan = planKeyList(lockInfoLabel(QStringLiteral("User Number:"))->text().toInt());
    SettingsImageBytes image {};
    MissionKeyPage page {};
    for (int p = 0; p < int(timetable::kPages); ++p) {
        ProgressBar1->setValue(std::min(p, ProgressBar1->maximum()));
        if (!readPage(getinfo::kImageFirstPage + p, page))
            return false;
        std::copy(page.begin(), page.end(), image.begin() + 64 * p);
    }

    db::CommitWhatWasWritten tx(*conn);
    // All five tables are emptied before anything is decoded: an image that stops decoding
    // part-way leaves no rows of an earlier lock beside this lock's.
    for (const char* table :
        { "TimeShift1", "LockStatusST1", "ActExpDateST1", "ExceptionDateST1", "TempKey" })
        conn->ExecSQL(std::string("DELETE FROM ") + table);

    const DecodedSettingsImage decoded = decodeSettingsImage(image);
    TDbQuery insert(conn);
    insert.SQL = { "INSERT INTO TimeShift1 (GroupID,BeginTime,EndTime,DayOfWeek)",
        "VALUES (:GroupID,:BeginTime,:EndTime,:DayOfWeek)" };
    for (const DecodedTimeShift& r : decoded.timeShifts) {
        insert.ParamByName("GroupID").AsInteger(r.groupId);
        insert.ParamByName("BeginTime").AsTime(timeOfDay(r.begin));
        insert.ParamByName("EndTime").AsTime(timeOfDay(r.end));
        if (r.dayOfWeek)
            insert.ParamByName("DayOfWeek").AsString(*r.dayOfWeek);
        else
            insert.ParamByName("DayOfWeek").Clear();
        insert.ExecSQL();
    }
    insert.Close();
    insert.SQL = {
        "INSERT INTO LockStatusST1 (LockStatusID,BeginTime,LockStatus,Sunday,Monday,Tuesday,Wednesday,"
        "Thursday,Friday,Saturday)",
        "VALUES (1,:BeginTime,:LockStatus,:Sunday,:Monday,:Tuesday,:Wednesday,:Thursday,:Friday,:Saturday)"
    };
    for (const DecodedSchedule& r : decoded.schedules) {
        insert.ParamByName("BeginTime").AsTime(timeOfDay(r.begin));
        if (r.lockStatus)
            insert.ParamByName("LockStatus").AsString(*r.lockStatus);
        else
            insert.ParamByName("LockStatus").Clear();
        for (int d = 0; d < 7; ++d)
            insert.ParamByName(kDays[d]).AsBoolean(r.days[size_t(d)]);
        insert.ExecSQL();
    }
    auto periods
        = [&](const char* table, const char* from, const char* to, const std::vector<DecodedPeriod>& rows) {
              insert.Close();
              insert.SQL = { std::string("INSERT INTO ") + table + " (GroupID," + from + "," + to + ")",
                  "VALUES (:GroupID,:From,:To)" };
              for (const DecodedPeriod& r : rows) {
                  insert.ParamByName("GroupID").AsInteger(r.groupId);
                  for (auto [param, value] : { std::pair { "From", r.from }, std::pair { "To", r.to } }) {
                      if (value)
                          insert.ParamByName(param).AsDateTime(*value);
                      else
                          insert.ParamByName(param).Clear();
                  }
                  insert.ExecSQL();
              }
          };
    periods("ActExpDateST1", "ActivationDate", "ExpirationDate", decoded.actExpGroups);
    periods("ExceptionDateST1", "ExceptionDateFrom", "ExceptionDateTo", decoded.holidayGroups);

    // The key list.
    insert.Close();
    insert.SQL = {
        "INSERT INTO TempKey (KeyID,SerialID,FirstName,LastName,Status,Used,UserType,KeyCode,Department,"
        "Title,Address,ContactInfor,TimeShiftID,ActExpDateID,ExpDate)",
        "VALUES (:KeyID,:SerialID,:FirstName,:LastName,:Status,:Used,:UserType,:KeyCode,:Department,:Title,"
        ":Address,:ContactInfor,:TimeShiftID,:ActExpDateID,:ExpDate)"
    };
    for (int qIndex = 0; qIndex < plan.pageCount(); ++qIndex) {
        if (!readPage(plan.firstPage + qIndex, page))
            return false;
        for (int k = 0; k < plan.entriesOnPage(qIndex); ++k) {
            const int index = 2 * qIndex + k;
            const LockKeyListEntry entry
                = decodeLockKeyListEntry(std::span<const uint8_t, getinfo::kKeyListEntrySize>(
                    page.data() + KeyListPlan::offsetOf(index), getinfo::kKeyListEntrySize));
            Query2.Close();
            switch (entry.kind) {
            case LockKeyKind::IButton:
                Query2.SQL = { "SELECT * FROM KeyManagement", "WHERE SerialID LIKE :SerialID" };
                break;
            case LockKeyKind::KeyCode:
                Query2.SQL = { "SELECT * FROM KeyManagement", "WHERE KeyCode = :KeyCode" };
                break;
            case LockKeyKind::Complex:
                Query2.SQL = { "SELECT * FROM KeyManagement", "WHERE SerialID LIKE :SerialID",
                    "AND KeyCode = :KeyCode" };
                break;
            }
            if (entry.hasIButton())
                Query2.ParamByName("SerialID").AsString("%" + entry.serialText);
            if (entry.hasKeyCode())
                Query2.ParamByName("KeyCode").AsString(entry.keyCode);
            Query2.Open();
            // A code of no digits names no user (users without a code store it empty).
            const bool found = !Query2.IsEmpty() && !(entry.hasKeyCode() && entry.keyCode.empty());

            for (const char* p : { "SerialID", "KeyCode", "Department", "Title", "Address", "ContactInfor",
                     "TimeShiftID", "ActExpDateID" })
                insert.ParamByName(p).Clear();
            insert.ParamByName("KeyID").AsInteger(index);
            insert.ParamByName("Status").AsString("Active");
            insert.ParamByName("Used").AsBoolean(false);
            if (found) {
                insert.ParamByName("FirstName").AsString(textOf(Query2.FieldByName("FirstName")));
                insert.ParamByName("LastName").AsString(textOf(Query2.FieldByName("LastName")));
                const char* type = entry.kind == LockKeyKind::IButton ? "iButton"
                    : entry.kind == LockKeyKind::KeyCode              ? "KeyCode"
                                                                      : "Complex";
                insert.ParamByName("UserType").AsString(type);
                insert.ParamByName("SerialID")
                    .AsString(entry.hasIButton() ? textOf(Query2.FieldByName("SerialID")) : std::string());
                insert.ParamByName("KeyCode").AsString(
                    entry.hasKeyCode() ? textOf(Query2.FieldByName("KeyCode")) : std::string());
                for (const char* column : { "Department", "Title", "Address", "ContactInfor" })
                    if (!Query2.FieldByName(column).IsNull())
                        insert.ParamByName(column).AsString(Query2.FieldByName(column).AsString());
                insert.ParamByName("TimeShiftID").AsInteger(entry.timeShiftId);
                insert.ParamByName("ActExpDateID").AsInteger(entry.actExpDateId);
                insert.ParamByName("ExpDate").AsBoolean(entry.expDate);
            } else {
                insert.ParamByName("FirstName").AsString("Unknow");
                insert.ParamByName("LastName").AsString("Unknow");
                insert.ParamByName("ExpDate").AsBoolean(false);
                if (entry.kind == LockKeyKind::IButton) {
                    insert.ParamByName("SerialID").AsString("00" + entry.serialText);
                    insert.ParamByName("KeyCode").AsString("");
                    insert.ParamByName("UserType").AsString("iButton");
                } else {
                    insert.ParamByName("SerialID").AsString("");
                    insert.ParamByName("KeyCode").AsString(entry.keyCode);
                    insert.ParamByName("UserType").AsString("KeyCode");
                }
            }
            Query2.Close();
            insert.ExecSQL();
        }
        ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum()));
        QCoreApplication::processEvents();
    }
    tx.commit();
    return true;
}
