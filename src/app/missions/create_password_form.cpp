#include "app/missions/create_password_form.h"

#include "app/missions/mission_rows.h"
#include "app/records/pickers.h"
#include "app/shell/data_exporting_form.h"
#include "app/shell/key_io_options.h"
#include "app/shell/login_form.h"
#include "app/shell/settings_record.h"
#include "app/shell/shell_application.h"
#include "app/shell/window_routines.h"
#include "keyformats/access_code.h"
#include "workbook/access_code_report.h"
#include "workbook/export.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <set>
#include <stdexcept>

TCreatePassword_Form* CreatePassword_Form = nullptr;

namespace {

constexpr const char* kTemporaryType = "Temp";
constexpr const char* kOnceType = "Once";
constexpr const char* kAllZeroSerialId = "0000000000000000";
constexpr int kMaxCodesPerPeriod = 4; // versions 0-3
// A code runs 366.0 days at most.
constexpr auto kLongestPeriod = std::chrono::hours(366 * 24);
// The key keeps two BCD digits of the year.
const QDate kLastCodeDate(2099, 12, 31);

// Messages of the checks this window adds.
constexpr const char* kSerialIdError = "Lock Serial ID error: it must be 16 hexadecimal digits.";
constexpr const char* kTooManyCodes = "Too many codes selected: a Delete Code Key holds at most 76 codes.";
constexpr const char* kSeveralLocks = "The selected codes belong to more than one lock: a Delete Code Key is for one lock only.";

bool blank(const std::string& s) { return QString::fromStdString(s).trimmed().isEmpty(); }

DateTime dateTimeOf(const QDate& d, int hour)
{
    return db::makeDateTime(d.year(), d.month(), d.day(), hour);
}

std::chrono::year_month_day ymdOf(const QDate& d)
{
    return std::chrono::year { d.year() } / std::chrono::month { unsigned(d.month()) } / std::chrono::day { unsigned(d.day()) };
}

// Runs a handler from a Qt signal: an exception ends it with the standard error box.
template <typename F>
auto guarded(F f)
{
    return [f](auto&&...) {
        try {
            f();
        } catch (...) {
            showUncaughtException(std::current_exception());
        }
    };
}

// Draws the Selected column as a check box.
class CheckBoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &base, painter, option.widget);
        QStyleOptionButton box;
        box.state = QStyle::State_Enabled
            | (index.data(Qt::DisplayRole).toString() == "True" ? QStyle::State_On : QStyle::State_Off);
        const QRect r = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, option.widget);
        box.rect = QRect(option.rect.center() - QPoint(r.width() / 2, r.height() / 2), r.size());
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
    }
};

// Draws the Deleted column as its colour alone, selected or not.
class ColourCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QVariant colour = index.data(Qt::BackgroundRole);
        if (colour.canConvert<QColor>())
            painter->fillRect(option.rect, colour.value<QColor>());
        else
            QStyledItemDelegate::paint(painter, option, index);
    }
};

QDateTimeEdit* datePicker(QWidget* parent)
{
    auto* e = new QDateTimeEdit(parent);
    e->setCalendarPopup(true);
    e->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat)); // the system's short date
    return e;
}

// Grid columns in display order with their titles; the other fields are hidden.
struct GridColumn {
    const char* field;
    const char* title;
};
constexpr GridColumn kGridColumns[] = {
    { "LockName", "Lock Name" },   { "GuestFirstName", "First Name" }, { "GuestLastName", "Last Name" },
    { "CodeString", "Access Code" }, { "CodeType", "Code Type" },     { "Selected", " " },
    { "HasDeleted", "Deleted" },   { "StartDate", "Start Date" },      { "EndDate", "End Date" },
    { "DateCreated", "Date Created" }, { "CreatedBy", "Created By" },
};

} // namespace

std::filesystem::path accessCodeTemplatePath()
{
    const std::filesystem::path name(workbook::kAccessCodeTemplateFile);
    const std::filesystem::path here = std::filesystem::current_path() / name;
    if (std::filesystem::exists(here))
        return here;
    if (QCoreApplication::instance()) {
        const std::filesystem::path beside
            = std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / name;
        if (std::filesystem::exists(beside))
            return beside;
    }
    return here;
}

TCreatePassword_Form::TCreatePassword_Form(QWidget* parent, TDbConnection* db)
    : ShellForm(parent)
    , Query1(connectionOr(db))
    , Query2(connectionOr(db))
    , Table1(connectionOr(db), "AccessCode")
    , Query3(connectionOr(db))
    , Query4(connectionOr(db))
    , DataSource2(nullptr)
    , Query5(connectionOr(db))
    , Query6(connectionOr(db))
    , keyIo(settingsReaderPort(), kProgrammingCheck)
    , TemplateFile(accessCodeTemplatePath())
    , now([] { return localNow(); })
    , db_(connectionOr(db))
{
    setObjectName("CreatePassword_Form");
    setWindowTitle("Remote Code");
    CreatePassword_Form = this;
    keyIo.options = shellKeyIoOptions();
    resize(709, 608);
    Query1.Name = "Query1";
    Query2.Name = "Query2";
    Table1.Name = "Table1";
    Query3.Name = "Query3";
    Query4.Name = "Query4";
    Query5.Name = "Query5";
    Query6.Name = "Query6";
    for (TMemoryDataSet* ds : { static_cast<TMemoryDataSet*>(&Query1), static_cast<TMemoryDataSet*>(&Query2),
                                static_cast<TMemoryDataSet*>(&Table1), static_cast<TMemoryDataSet*>(&Query3),
                                static_cast<TMemoryDataSet*>(&Query4), static_cast<TMemoryDataSet*>(&Query5),
                                static_cast<TMemoryDataSet*>(&Query6) })
        ownDataSet(ds);

    // The grid's query: ticks are applied as they are made.
    Query4.SQL.Add("SELECT * FROM TempAccessCode");
    Query4.SetCachedUpdates(true);
    UpdateSQL1.Name = "UpdateSQL1";
    UpdateSQL1.ModifySQL.Clear();
    for (const char* line : { "update TempAccessCode", "set", "  Selected = :Selected", "where",
                              "  CodeString = :OLD_CodeString and", "  CodeType = :OLD_CodeType and",
                              "  DateCreated = :OLD_DateCreated" })
        UpdateSQL1.ModifySQL.Add(line);
    Query4.SetUpdateObject(&UpdateSQL1);
    Query4.AfterPost = [this](TMemoryDataSet&) { Query4AfterPost(); };
    Query4.OnUpdateRecord = [this](TMemoryDataSet&, TUpdateKind kind, TUpdateAction& action) {
        Query4UpdateRecord(kind, action);
    };
    Query4.OnUpdateError = OnUpdateErrorFail;
    for (const auto& c : kGridColumns)
        Query4.SetFieldDisplayLabel(c.field, c.title);

    PageControl1 = new QTabWidget(this);
    auto* createPage = new QWidget;
    auto* deletePage = new QWidget;
    PageControl1->addTab(createPage, "Create Code");
    PageControl1->addTab(deletePage, "Delete Code");
    buildCreatePage(createPage);
    buildDeletePage(deletePage);
    sbExit = new QPushButton("Close", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(sbExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });

    FormCreate();
}

TCreatePassword_Form::~TCreatePassword_Form()
{
    DataSource2.SetDataSet(nullptr);
    if (CreatePassword_Form == this)
        CreatePassword_Form = nullptr;
}

void TCreatePassword_Form::buildCreatePage(QWidget* page)
{
    auto* select = new QGroupBox("Select", page);
    Edit1 = new QLineEdit(select);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    ComboBox1 = new QComboBox(select);
    ComboBox1->addItems({ "Guest Temporary Code", "One Time Service Code" });
    Edit2 = new QLineEdit(select);
    Edit3 = new QLineEdit(select);
    MonthCalendar1 = new QCalendarWidget(select);
    MonthCalendar2 = new QCalendarWidget(select);
    ComboBox2 = new QComboBox(select);
    ComboBox3 = new QComboBox(select);
    for (int h = 0; h < 24; ++h) {
        const QString item = QString("%1:00").arg(h, 2, 10, QChar('0'));
        ComboBox2->addItem(item);
        ComboBox3->addItem(item);
    }
    auto* g = new QGridLayout(select);
    g->addWidget(new QLabel("Lock Name:"), 0, 0);
    g->addWidget(Edit1, 0, 1);
    g->addWidget(new QLabel("Code Type:"), 0, 2);
    g->addWidget(ComboBox1, 0, 3);
    g->addWidget(new QLabel("Guest First Name:"), 1, 0);
    g->addWidget(Edit2, 1, 1);
    g->addWidget(new QLabel("Guest Last Name:"), 1, 2);
    g->addWidget(Edit3, 1, 3);
    g->addWidget(new QLabel("Start Date:"), 2, 0, 1, 2);
    g->addWidget(new QLabel("End Date:"), 2, 2, 1, 2);
    g->addWidget(MonthCalendar1, 3, 0, 1, 2);
    g->addWidget(MonthCalendar2, 3, 2, 1, 2);
    g->addWidget(new QLabel("Start Time:"), 4, 0);
    g->addWidget(ComboBox2, 4, 1);
    g->addWidget(new QLabel("End Time:"), 4, 2);
    g->addWidget(ComboBox3, 4, 3);

    auto* result = new QGroupBox("Result", page);
    auto value = [result](bool blue) {
        auto* l = new QLabel(result);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (blue)
            l->setStyleSheet("color: blue;");
        return l;
    };
    lbLockName = value(false);
    lbAccessCode = value(true);
    lbFirstName = value(false);
    lbLastName = value(false);
    lbStartDate = value(false);
    lbEndDate = value(false);
    lbDateCreated = value(false);
    lbCreatedBy = value(false);
    auto* r = new QGridLayout(result);
    const std::pair<const char*, QLabel*> rows[] = {
        { "Lock Name:", lbLockName },   { "Access Code:", lbAccessCode }, { "Guest First Name:", lbFirstName },
        { "Guest Last Name:", lbLastName }, { "Start Date:", lbStartDate }, { "End Date:", lbEndDate },
        { "Date Created:", lbDateCreated }, { "Created By:", lbCreatedBy },
    };
    int row = 0;
    for (const auto& [caption, label] : rows) {
        auto* c = new QLabel(caption, result);
        if (label == lbAccessCode)
            c->setStyleSheet("color: blue;");
        r->addWidget(c, row / 2, (row % 2) * 2);
        r->addWidget(label, row / 2, (row % 2) * 2 + 1);
        ++row;
    }
    lbLockLocation = new QLabel(page);
    lbLockLocation->hide();

    lbVersion = new QLabel("Access Code Version:", page);
    sbMakeCard = new QPushButton("Create Code", page);
    BitBtn1 = new QPushButton("Print", page);
    BitBtn1->setEnabled(false);
    auto* actions = new QHBoxLayout;
    actions->addWidget(lbVersion);
    actions->addStretch();
    actions->addWidget(sbMakeCard);
    actions->addWidget(BitBtn1);
    auto* l = new QVBoxLayout(page);
    l->addWidget(select);
    l->addWidget(result);
    l->addLayout(actions);

    Edit1->installEventFilter(this);
    connect(sbMakeCard, &QPushButton::clicked, this, guarded([this] { sbMakeCardClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(MonthCalendar1, &QCalendarWidget::clicked, this, [this] { MonthCalendar1Click(); });
}

void TCreatePassword_Form::buildDeletePage(QWidget* page)
{
    DBGrid2 = new TDBGrid(page);
    DBGrid2->setObjectName("DBGrid2");
    tickDelegate_ = new CheckBoxDelegate(DBGrid2);
    colourDelegate_ = new ColourCellDelegate(DBGrid2);
    DBGrid2->setDataSource(&DataSource2);
    DBGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid2->sortOnTitleClick = true; // DBGrid2TitleClick
    DBGrid2->gridModel()->cellColour = [this](const TMemoryDataSet& ds, int row, const TDbField& field, CellColours& c) {
        paintDeletedCell(ds, row, field, c);
    };
    connect(DBGrid2->gridModel(), &QAbstractItemModel::modelReset, this, [this] { arrangeGridColumns(); });
    connect(DBGrid2, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        try {
            DBGrid2CellClick(index);
        } catch (...) {
            showUncaughtException(std::current_exception());
        }
    });
    connect(DBGrid2->selectionModel(), &QItemSelectionModel::currentColumnChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (previous.isValid() && isBooleanColumn(previous.column()))
                    DBGrid2ColExit();
                if (current.isValid() && isBooleanColumn(current.column()))
                    DBGrid2ColEnter();
            });
    DBGrid2->installEventFilter(this);

    CheckBox1 = new QCheckBox("Start Date:", page);
    CheckBox2 = new QCheckBox("End Date:", page);
    CheckBox3 = new QCheckBox("Date Created:", page);
    CheckBox4 = new QCheckBox("Code Type:", page);
    CheckBox5 = new QCheckBox("Lock Name:", page);
    CheckBox6 = new QCheckBox("Lock Location:", page);
    CheckBox7 = new QCheckBox("Created By:", page);
    DateTimePicker1 = datePicker(page);
    DateTimePicker2 = datePicker(page);
    DateTimePicker3 = datePicker(page);
    DateTimePicker4 = datePicker(page);
    DateTimePicker5 = datePicker(page);
    DateTimePicker6 = datePicker(page);
    ComboBox4 = new QComboBox(page);
    ComboBox4->addItems({ "One Time Code", "Temporary Code" });
    ComboBox5 = new QComboBox(page);
    ComboBox6 = new QComboBox(page);
    ComboBox7 = new QComboBox(page);
    sbQuery = new QPushButton("Search", page);
    BitBtn2 = new QPushButton("Issue Key", page);
    CheckBox8 = new QCheckBox("Clear Deleted Code Memory", page);
    CheckBox8->setStyleSheet("color: blue;");
    ProgressBar1 = new QProgressBar(page);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    auto* f = new QGridLayout;
    const std::tuple<QCheckBox*, QDateTimeEdit*, QDateTimeEdit*> dates[] = {
        { CheckBox1, DateTimePicker1, DateTimePicker2 },
        { CheckBox2, DateTimePicker3, DateTimePicker4 },
        { CheckBox3, DateTimePicker5, DateTimePicker6 },
    };
    int row = 0;
    for (const auto& [box, from, to] : dates) {
        f->addWidget(box, row, 0);
        f->addWidget(from, row, 1);
        f->addWidget(new QLabel("To", page), row, 2);
        f->addWidget(to, row, 3);
        ++row;
    }
    const std::pair<QCheckBox*, QComboBox*> lists[] = {
        { CheckBox4, ComboBox4 }, { CheckBox5, ComboBox5 }, { CheckBox6, ComboBox6 }, { CheckBox7, ComboBox7 }
    };
    row = 0;
    for (const auto& [box, list] : lists) {
        f->addWidget(box, row, 4);
        f->addWidget(list, row, 5);
        ++row;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox8);
    buttons->addStretch();
    buttons->addWidget(sbQuery);
    buttons->addWidget(BitBtn2);
    auto* l = new QVBoxLayout(page);
    l->addWidget(DBGrid2, 1);
    l->addLayout(f);
    l->addLayout(buttons);
    l->addWidget(ProgressBar1);

    connect(sbQuery, &QPushButton::clicked, this, guarded([this] { sbQueryClick(); }));
    connect(BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
}

void TCreatePassword_Form::FormCreate()
{
    const QDate today = QDate::currentDate();
    for (QCalendarWidget* c : { MonthCalendar1, MonthCalendar2 }) {
        c->setMinimumDate(today);
        c->setMaximumDate(kLastCodeDate);
        c->setSelectedDate(today);
    }
    const QDateTime current = QDateTime::currentDateTime();
    for (QDateTimeEdit* e : { DateTimePicker1, DateTimePicker2, DateTimePicker3, DateTimePicker4, DateTimePicker5,
                              DateTimePicker6 })
        e->setDateTime(current);

    // The search lists: distinct values that are not null, in the order read.
    auto fill = [](TDbQuery& q, const char* sql, const char* field, QComboBox* list) {
        q.Close();
        q.SQL.Clear();
        q.SQL.Add(sql);
        q.Open();
        std::set<std::string> seen;
        list->clear();
        for (q.First(); !q.Eof(); q.Next()) {
            const TDbField& v = q.FieldByName(field);
            if (!v.IsNull() && seen.insert(v.AsString()).second)
                list->addItem(QString::fromStdString(v.AsString()));
        }
        q.Close();
        list->setCurrentIndex(-1);
    };
    fill(Query1, "SELECT * FROM LockManagement", "LockName", ComboBox5);
    fill(Query1, "SELECT * FROM LockManagement", "LockLocation", ComboBox6);
    fill(Query1, "SELECT * FROM Admin", "UserName", ComboBox7);
}

void TCreatePassword_Form::FormClose()
{
    DataSource2.SetDataSet(nullptr);
    ShellForm::FormClose();
    if (CreatePassword_Form == this)
        CreatePassword_Form = nullptr;
}

bool TCreatePassword_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1) {
        // Entering the lock name (not the window getting the focus back) opens the picker.
        if (event->type() == QEvent::FocusIn) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason
                || reason == Qt::ShortcutFocusReason)
                QMetaObject::invokeMethod(this, guarded([this] { Edit1Enter(); }), Qt::QueuedConnection);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            QMetaObject::invokeMethod(this, guarded([this] { Edit1Enter(); }), Qt::QueuedConnection);
            return true;
        }
    } else if (watched == DBGrid2 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        try {
            DBGrid2KeyDown(key);
        } catch (...) {
            showUncaughtException(std::current_exception());
        }
        if (key == Qt::Key_Space)
            return true;
    }
    return ShellForm::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Create Code

void TCreatePassword_Form::Edit1Enter()
{
    if (picking_)
        return;
    picking_ = true;
    SettingsRecord.PickAccessCodeLocksOnly = 1;
    try {
        TWhichLock_Form picker(this, db_);
        if (showLockPicker)
            showLockPicker(picker);
        else
            picker.exec();
    } catch (...) {
        picking_ = false;
        SettingsRecord.PickAccessCodeLocksOnly = 0;
        throw;
    }
    picking_ = false;
    SettingsRecord.PickAccessCodeLocksOnly = 0;
    if (blank(SettingsRecord.PickedLockSerialID))
        return;
    Query1.Close();
    Query1.SQL.Clear();
    Query1.SQL.Add("SELECT * FROM LockManagement");
    Query1.SQL.Add("WHERE SerialID = :SerialID");
    Query1.ParamByName("SerialID").AsString(SettingsRecord.PickedLockSerialID);
    Query1.Open();
    if (!Query1.IsEmpty()) {
        Edit1->setText(QString::fromStdString(Query1.FieldByName("LockName").AsString()));
        lbLockLocation->setText(QString::fromStdString(Query1.FieldByName("LockLocation").AsString()));
    }
    Query1.Close();
}

void TCreatePassword_Form::sbMakeCardClick()
{
    const QDate startDay = MonthCalendar1->selectedDate();
    const QDate endDay = MonthCalendar2->selectedDate();
    const int startHour = std::max(0, ComboBox2->currentIndex());
    const int endHour = std::max(0, ComboBox3->currentIndex());
    const DateTime start = dateTimeOf(startDay, startHour);
    const DateTime end = dateTimeOf(endDay, endHour);
    if (start > end) {
        appDialogs().warning("Start Date should less than End Date.");
        return;
    }
    if (end - start > kLongestPeriod) {
        appDialogs().warning("The Date period should less than 365 day.");
        return;
    }
    if (Edit2->text().trimmed().isEmpty()) {
        appDialogs().information("Guest First Name field empty.");
        return;
    }
    if (Edit3->text().trimmed().isEmpty()) {
        appDialogs().information("Guest Last Name field empty.");
        return;
    }
    const std::string serialId = SettingsRecord.PickedLockSerialID;
    if (Edit1->text().trimmed().isEmpty() || blank(serialId)) {
        appDialogs().information("Lock Name field empty.");
        return;
    }
    // The serial ID is the cipher key: anything but 16 hex digits would give a code no lock accepts.
    if (!isAccessCodeSerialId(serialId)) {
        appDialogs().warning(kSerialIdError);
        return;
    }
    const bool temporary = ComboBox1->currentIndex() != 1;
    const std::string codeType = temporary ? kTemporaryType : kOnceType;

    Query2.Close();
    Query2.SQL.Clear();
    for (const char* line : { "SELECT * FROM AccessCode", "WHERE SerialID = :SerialID", "AND CodeType = :CodeType",
                              "AND StartDate = :StartDate", "AND EndDate = :EndDate" })
        Query2.SQL.Add(line);
    Query2.ParamByName("SerialID").AsString(serialId);
    Query2.ParamByName("CodeType").AsString(codeType);
    Query2.ParamByName("StartDate").AsDateTime(start);
    Query2.ParamByName("EndDate").AsDateTime(end);
    Query2.Open();
    const int issued = Query2.RecordCount();
    Query2.Close();
    if (issued >= kMaxCodesPerPeriod) {
        appDialogs().warning("Can not creat Access Code again, record number is more than 4 .");
        return;
    }
    const int version = issued;
    const std::string code
        = MakeAccessCode(serialId, temporary ? 2 : 1, ymdOf(startDay), startHour, ymdOf(endDay), endHour, version);

    // Stored first: a code is shown only once it is on record.
    const DateTime created = std::chrono::floor<std::chrono::seconds>(now());
    const std::string lockName = Edit1->text().toStdString();
    const QString operatorName = TLogin_Form::OperatorName;
    Table1.Close();
    if (Table1.SQL.Count() == 0)
        Table1.SQL.Add("SELECT * FROM AccessCode WHERE 0 = 1"); // appending needs none of the stored rows
    Table1.Open();
    try {
        Table1.Append();
        Table1.FieldByName("SerialID").AsString(serialId);
        Table1.FieldByName("LockName").AsString(lockName);
        Table1.FieldByName("GuestFirstName").AsString(Edit2->text().toStdString());
        Table1.FieldByName("GuestLastName").AsString(Edit3->text().toStdString());
        Table1.FieldByName("StartDate").AsDateTime(start);
        Table1.FieldByName("EndDate").AsDateTime(end);
        Table1.FieldByName("DateCreated").AsDateTime(created);
        Table1.FieldByName("CreatedBy").AsString(operatorName.toStdString());
        Table1.FieldByName("CodeType").AsString(codeType);
        Table1.FieldByName("LostTimes").AsInteger(version + 1);
        Table1.FieldByName("CodeString").AsString(code);
        Table1.FieldByName("HasDeleted").AsBoolean(false);
        Table1.Post();
    } catch (...) {
        if (Table1.State() == dsInsert)
            Table1.Cancel();
        Table1.Close();
        throw;
    }
    Table1.Close();

    // The day in the system's short date, the hour as its list item shows it, then the seconds.
    const QString startText = shell::dateText(startDay) + " " + ComboBox2->currentText() + ":00";
    const QString endText = shell::dateText(endDay) + " " + ComboBox3->currentText() + ":00";
    lbLockName->setText(Edit1->text());
    lbAccessCode->setText(QString::fromStdString(code));
    lbFirstName->setText(Edit2->text());
    lbLastName->setText(Edit3->text());
    lbStartDate->setText(startText);
    lbEndDate->setText(endText);
    lbDateCreated->setText(shell::dateTimeText(created));
    lbCreatedBy->setText(operatorName);
    lbVersion->setText("Access Code Version:     " + QString::number(version + 1));
    lastCode_ = CreatedCode { code, lockName, lbLockLocation->text().toStdString(), startText.toStdString(),
                              endText.toStdString() };
    BitBtn1->setEnabled(true);
}

void TCreatePassword_Form::BitBtn1Click()
{
    if (!lastCode_)
        return; // Print is disabled until a code was created
    workbook::AccessCodeReport report;
    report.accessCode = lastCode_->accessCode;
    report.lockName = lastCode_->lockName;
    report.lockLocation = lastCode_->lockLocation;
    report.startDate = lastCode_->startDate;
    report.endDate = lastCode_->endDate;
    std::string failure;
    {
        ExportingNotice notice(this);
        try {
            workbook::exportWorkbook(workbook::fillAccessCodeReport(TemplateFile, report), "Access Code Report");
        } catch (const workbook::WorkbookError& e) {
            failure = e.what();
        }
    }
    if (!failure.empty()) {
        MyError(failure);
        return;
    }
    appDialogs().information("Data has been exported successfully.");
}

// ---------------------------------------------------------------------------------------
// Delete Code: search and grid

void TCreatePassword_Form::sbQueryClick()
{
    Query4.Close();
    Query6.Close();
    Query6.SQL.Clear();
    Query6.SQL.Add("DELETE FROM TempAccessCode");
    Query6.ExecSQL();

    const std::tuple<QCheckBox*, QDateTimeEdit*, QDateTimeEdit*, const char*, const char*> dates[] = {
        { CheckBox1, DateTimePicker1, DateTimePicker2, "StartDate", "Start Date input error." },
        { CheckBox2, DateTimePicker3, DateTimePicker4, "EndDate", "End Date input error." },
        { CheckBox3, DateTimePicker5, DateTimePicker6, "DateCreated", "Date Created input error." },
    };
    for (const auto& [box, from, to, column, message] : dates)
        if (box->isChecked() && from->date() > to->date()) {
            MyError(message);
            return;
        }

    Query3.Close();
    Query3.SQL.Clear();
    Query3.SQL.Add("SELECT * FROM AccessCode");
    Query3.SQL.Add("WHERE SerialID <> :SerialID");
    for (const auto& [box, from, to, column, message] : dates)
        if (box->isChecked())
            Query3.SQL.Add(std::string("AND (") + column + " >= :" + column + "1 AND " + column + " < :" + column + "2)");
    if (CheckBox4->isChecked())
        Query3.SQL.Add("AND CodeType = :CodeType");
    if (CheckBox7->isChecked())
        Query3.SQL.Add("AND CreatedBy = :CreatedBy");
    if (CheckBox5->isChecked())
        Query3.SQL.Add("AND LockName = :LockName");
    if (CheckBox6->isChecked())
        Query3.SQL.Add("AND SerialID IN (SELECT SerialID FROM LockManagement WHERE LockLocation = :LockLocation)");
    Query3.SQL.Add("ORDER BY DateCreated,StartDate");

    Query3.ParamByName("SerialID").AsString(kAllZeroSerialId);
    for (const auto& [box, from, to, column, message] : dates)
        if (box->isChecked()) {
            const QDate first = from->date();
            const QDate afterLast = to->date().addDays(1);
            Query3.ParamByName(std::string(column) + "1").AsDate(dateTimeOf(first, 0));
            Query3.ParamByName(std::string(column) + "2").AsDate(dateTimeOf(afterLast, 0));
        }
    if (CheckBox4->isChecked())
        Query3.ParamByName("CodeType").AsString(ComboBox4->currentIndex() == 0 ? kOnceType : kTemporaryType);
    if (CheckBox7->isChecked())
        Query3.ParamByName("CreatedBy").AsString(ComboBox7->currentText().toStdString());
    if (CheckBox5->isChecked())
        Query3.ParamByName("LockName").AsString(ComboBox5->currentText().toStdString());
    if (CheckBox6->isChecked())
        Query3.ParamByName("LockLocation").AsString(ComboBox6->currentText().toStdString());
    Query3.Open();

    static const char* const kCopied[] = { "SerialID",  "LockName",    "GuestFirstName", "GuestLastName", "StartDate",
                                           "EndDate",   "DateCreated", "CreatedBy",      "CodeType",      "CodeString",
                                           "TimeGroup", "LostTimes",   "HasDeleted" };
    Query6.Close();
    Query6.SQL.Clear();
    std::string columns, values;
    for (const char* c : kCopied) {
        columns += std::string(columns.empty() ? "" : ", ") + c;
        values += std::string(values.empty() ? ":" : ", :") + c;
    }
    Query6.SQL.Add("INSERT INTO TempAccessCode (" + columns + ", Selected)");
    Query6.SQL.Add("VALUES (" + values + ", :Selected)");
    db_->StartTransaction();
    try {
        for (Query3.First(); !Query3.Eof(); Query3.Next()) {
            for (const char* c : kCopied)
                Query6.ParamByName(c).Value(Query3.FieldByName(c).Value());
            Query6.ParamByName("Selected").AsBoolean(false);
            Query6.ExecSQL();
        }
        db_->Commit();
    } catch (...) {
        db_->Rollback();
        Query3.Close();
        throw;
    }
    Query3.Close();

    Query4.Close();
    Query4.SQL.Clear();
    Query4.SQL.Add("SELECT * FROM TempAccessCode");
    Query4.Open();
    DataSource2.SetDataSet(&Query4);
    arrangeGridColumns();
}

void TCreatePassword_Form::arrangeGridColumns()
{
    TDbGridModel* model = DBGrid2->gridModel();
    QHeaderView* header = DBGrid2->horizontalHeader();
    if (!model || !model->dataSet())
        return;
    for (int c = 0; c < model->columnCount(); ++c) {
        DBGrid2->setColumnHidden(c, true);
        DBGrid2->setItemDelegateForColumn(c, nullptr);
    }
    int visual = 0;
    for (const auto& col : kGridColumns) {
        const int logical = model->columnOf(col.field);
        if (logical < 0)
            continue;
        DBGrid2->setColumnHidden(logical, false);
        header->moveSection(header->visualIndex(logical), visual++);
        if (std::string(col.field) == "Selected")
            DBGrid2->setItemDelegateForColumn(logical, tickDelegate_);
        else if (std::string(col.field) == "HasDeleted")
            DBGrid2->setItemDelegateForColumn(logical, colourDelegate_);
    }
}

bool TCreatePassword_Form::isBooleanColumn(int column) const
{
    const TDbField* f = DBGrid2->gridModel() ? DBGrid2->gridModel()->fieldAt(column) : nullptr;
    return f && (f->FieldName() == "Selected" || f->FieldName() == "HasDeleted");
}

void TCreatePassword_Form::paintDeletedCell(const TMemoryDataSet& ds, int row, const TDbField& field,
                                            CellColours& colours) const
{
    if (field.FieldName() != "HasDeleted")
        return;
    const QColor colour = ds.CellValue(row, field.Index()).toBool() ? QColor(0xFF, 0, 0) : QColor(0, 0x80, 0);
    colours.background = colour;
    colours.foreground = colour;
}

void TCreatePassword_Form::toggleBoolean(int row, int column)
{
    TDbField* field = DBGrid2->gridModel()->fieldAt(column);
    if (!field || !Query4.Active() || row < 0 || row >= Query4.RecordCount())
        return;
    if (Query4.RecNo() != row + 1)
        Query4.SetRecNo(row + 1);
    const bool value = field->AsBoolean();
    const bool wasReadOnly = field->ReadOnly;
    field->ReadOnly = false;
    Query4.Edit();
    field->AsBoolean(!value);
    field->ReadOnly = wasReadOnly;
    Query4.Post(); // AfterPost writes it
}

void TCreatePassword_Form::DBGrid2CellClick(const QModelIndex& index)
{
    if (index.isValid() && isBooleanColumn(index.column()))
        toggleBoolean(index.row(), index.column());
}

void TCreatePassword_Form::DBGrid2KeyDown(int key)
{
    const QModelIndex current = DBGrid2->currentIndex();
    if (!current.isValid() || !isBooleanColumn(current.column()))
        return;
    if (key == Qt::Key_Space)
        toggleBoolean(current.row(), current.column());
    else if (TDbField* f = DBGrid2->gridModel()->fieldAt(current.column()))
        f->ReadOnly = true; // no typing into the tick columns
}

void TCreatePassword_Form::DBGrid2ColEnter()
{
    if (booleanColumn_)
        return;
    booleanColumn_ = true;
    savedTriggers_ = DBGrid2->editTriggers();
    DBGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TCreatePassword_Form::DBGrid2ColExit()
{
    if (!booleanColumn_)
        return;
    booleanColumn_ = false;
    DBGrid2->setEditTriggers(savedTriggers_);
}

void TCreatePassword_Form::DBGrid2TitleClick(int column) { DBGrid2->titleClick(column); }

void TCreatePassword_Form::Query4AfterPost() { UpdateMasterData(Query4); }

void TCreatePassword_Form::Query4UpdateRecord(TUpdateKind kind, TUpdateAction& action)
{
    UpdateSQL1.ExecSQL(kind);
    action = uaApplied;
}

// ---------------------------------------------------------------------------------------
// Delete Code Key

void TCreatePassword_Form::BitBtn2Click()
{
    if (!programKeyReady(keyIo)) {
        ProgressBar1->setValue(0);
        return;
    }
    bool written = false;
    {
        const KeyWriteScope writing(*this);
        try {
            written = WriteMultipleMissionCard();
        } catch (...) {
            ProgressBar1->setValue(0);
            throw;
        }
    }
    if (written)
        appDialogs().information("Write Delete Code Key OK.");
    else
        MyError("Write Multi-Lock Key Error.");
    ProgressBar1->setValue(0);
}

bool TCreatePassword_Form::WriteMultipleMissionCard()
{
    keyIo.WriteResult = 0;
    selectedCodes_.clear();
    // Ticks count only from a search of this window: older scratch rows were never shown.
    if (DataSource2.DataSet() == nullptr) {
        appDialogs().information("There are no code to delete.");
        return false;
    }
    Query5.Close();
    Query5.SQL.Clear();
    Query5.SQL.Add("SELECT * FROM TempAccessCode");
    Query5.SQL.Add("WHERE Selected = :Selected");
    Query5.ParamByName("Selected").AsBoolean(true);
    Query5.Open();
    if (Query5.IsEmpty()) {
        Query5.Close();
        appDialogs().information("There are no code to delete.");
        return false;
    }
    Query5.First();
    LockSerialID = Query5.FieldByName("SerialID").AsString();
    // Every ticked code goes on the key and is marked deleted, so the key must hold them all
    // and they must be codes of the lock the key is for.
    if (Query5.RecordCount() > kDeleteCodeSlots) {
        Query5.Close();
        MyError(kTooManyCodes);
        return false;
    }
    for (; !Query5.Eof(); Query5.Next()) {
        if (Query5.FieldByName("SerialID").AsString() != LockSerialID) {
            Query5.Close();
            MyError(kSeveralLocks);
            return false;
        }
        DeletedCode c;
        c.start = Query5.FieldByName("StartDate").AsDateTime();
        c.end = Query5.FieldByName("EndDate").AsDateTime();
        c.codeType = Query5.FieldByName("CodeType").AsString();
        c.lostTimes = static_cast<int>(Query5.FieldByName("LostTimes").AsInteger());
        selectedCodes_.push_back(c);
    }
    if (!isAccessCodeSerialId(LockSerialID)) {
        Query5.Close();
        MyError(kSerialIdError);
        return false;
    }
    // Page 0 is blanked first: a key whose writing stops half way must not pass for the Delete
    // Code Key it held before, over pages of this mission. The marks are staged before page 0
    // goes on and committed after it: no key withdraws codes the database still shows.
    const bool written = writeKeyWithRows(
        keyIo, *db_,
        [this] {
            if (!WriteLockSetup())
                return false;
            markCodesDeleted();
            return true;
        },
        [] { return deleteCodeKeyHeader(SettingsRecord.FacilityCode); });
    Query5.Close();
    return written;
}

bool TCreatePassword_Form::WriteLockSetup()
{
    const auto lock = romIdFromText(LockSerialID);
    if (!lock)
        return false;
    if (!writePageImage(keyIo, kDeleteCodeSectionPage,
                   deleteCodeSection(*lock, CheckBox8->isChecked(), static_cast<int>(selectedCodes_.size()))))
        return false;
    ProgressBar1->setValue(10);
    const auto pages = deleteCodeEntryPages(selectedCodes_);
    ProgressBar1->setValue(20);
    for (int i = 1; i <= kDeleteCodeEntryPages; ++i) {
        if (!writePageImage(keyIo, kDeleteCodeSectionPage + i, pages[static_cast<std::size_t>(i - 1)]))
            return false;
        ProgressBar1->setValue(20 + 4 * i);
    }
    ProgressBar1->setValue(100);
    return true;
}

void TCreatePassword_Form::markCodesDeleted()
{
    // A stored code is the ticked one when it is the same code at the lock: its lock, digits,
    // type, start and end. Names, creator and creation time may have changed since the search
    // without changing what the key withdraws. The date-times are compared as values: a row
    // that another program stored as '2026-03-05 08:00', with a 'T' or with fractions of a
    // second is still the row the search copied as '2026-03-05 08:00:00'.
    // IS: a column left empty (Null) in an imported row matches the Null of its scratch copy.
    static const char* const kTexts[] = { "SerialID", "CodeType", "CodeString" };
    static const char* const kDateTimes[] = { "StartDate", "EndDate" };
    TDbQuery stored(db_);
    stored.SQL.Add("SELECT rowid AS StoredRow, StartDate, EndDate FROM AccessCode");
    for (const char* c : kTexts)
        stored.SQL.Add(std::string(c == kTexts[0] ? "WHERE " : "AND ") + c + " IS :" + c);
    Query6.Close();
    Query6.SQL.Clear();
    Query6.SQL.Add("UPDATE AccessCode");
    Query6.SQL.Add("SET HasDeleted = :HasDeleted");
    Query6.SQL.Add("WHERE rowid = :StoredRow");
    for (Query5.First(); !Query5.Eof(); Query5.Next()) {
        stored.Close();
        for (const char* c : kTexts)
            stored.ParamByName(c).Value(Query5.FieldByName(c).Value());
        stored.Open();
        // A code removed since the search leaves nothing to mark: the lock withdraws it all the same.
        for (stored.First(); !stored.Eof(); stored.Next()) {
            const bool same = std::all_of(std::begin(kDateTimes), std::end(kDateTimes),
                [&](const char* c) { return stored.FieldByName(c).Value() == Query5.FieldByName(c).Value(); });
            if (!same)
                continue;
            Query6.ParamByName("HasDeleted").AsBoolean(true);
            Query6.ParamByName("StoredRow").AsInteger(stored.FieldByName("StoredRow").AsInteger());
            Query6.ExecSQL();
        }
    }
    stored.Close();
}
