#include "app/keyreading/read_card_form.h"

#include "app/keyreading/audit_save.h"
#include "app/keyreading/wait_forms.h"
#include "app/shell/covering_button.h"
#include "app/shell/login_form.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_record.h"
#include "app/shell/window_routines.h"
#include "bytes/codec.h"
#include "keyformats/mission_key.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

TReadCard_Form* ReadCard_Form = nullptr;

namespace {
using Clock = std::chrono::steady_clock;

const char* const kWrongKey = "Wrong key please insert program key.";
const char* const kReadErrorClock = "Read key error, please try it again.";
const char* const kReadErrorAudit = "Read key error,Please try it again.";
const char* const kLockNotFound = "Can not find information of this key in database.";
constexpr int kServiceButtonSide = 17;

void inform(const std::string& text)
{
    appDialogs().information(text);
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string textOf(const TDbField& f)
{
    return f.IsNull() ? std::string() : f.AsString();
}

// Adds up the time spent in a scope.
class Stopwatch {
public:
    explicit Stopwatch(std::chrono::nanoseconds& total)
        : total_(total)
        , start_(Clock::now())
    { }
    ~Stopwatch() { total_ += Clock::now() - start_; }

private:
    std::chrono::nanoseconds& total_;
    Clock::time_point start_;
};

QLabel* valueLabel(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

// A panel's layout: the window's own margins already frame the panels.
QVBoxLayout* panelLayout(QWidget* panel)
{
    auto* v = new QVBoxLayout(panel);
    v->setContentsMargins(0, 0, 0, 0);
    return v;
}

TDBGrid* grid(QWidget* parent, TDbDataSource& source)
{
    auto* g = new TDBGrid(parent);
    g->setDataSource(&source);
    return g;
}

QWidget* sideBySide(QWidget* parent, const QString& title, QWidget* inLock, QWidget* inDb)
{
    auto* page = new QWidget(parent);
    page->setObjectName(title);
    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(0, 0, 0, 0); // the tab page has its own
    auto* a = new QGroupBox(QStringLiteral("Setting In Lock"), page);
    (new QVBoxLayout(a))->addWidget(inLock);
    auto* b = new QGroupBox(QStringLiteral("Setting In Database"), page);
    (new QVBoxLayout(b))->addWidget(inDb);
    h->addWidget(a);
    h->addWidget(b);
    return page;
}

// The audit grids draw the selected row on silver in the row's own event colour.
class AuditRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->palette.setColor(QPalette::Highlight, QColor(0xC0, 0xC0, 0xC0));
        const QVariant fg = index.data(Qt::ForegroundRole);
        if (fg.canConvert<QColor>())
            option->palette.setColor(QPalette::HighlightedText, fg.value<QColor>());
    }
};

void setUpAuditGrid(TDBGrid* g)
{
    g->sortOnTitleClick = false;
    g->setWordWrap(false);
    g->setItemDelegate(new AuditRowDelegate(g));
    g->setLayoutWidths({ { "OpenLockType", 200 } });
    g->setKeepWithinView(true); // every column in sight, "Code Type" too
}

// Event colours of the audit grids, by the row's event text.
QColor eventColour(const std::string& text)
{
    static const std::vector<std::pair<std::vector<std::string_view>, QColor>> table {
        { { "Open Lock With Key(Classroom Mode)", "Open Lock With Key(Storehouse Mode)", "Lock Auto Opened",
              "Open Lock By Push Button", "Open Lock With Code(Classroom Mode)",
              "Open Lock With Code(Storehouse Mode)", "iButton Access(Complex Type Step One)" },
            QColor(0x00, 0x80, 0x00) },
        { { "Close Lock With Key", "Lock Auto Closed", "Close Lock With Code", "Close Lock By Push Button" },
            QColor(0, 0, 0) },
        { { "Setup Master Code", "Setup Slave Code" }, QColor(0x00, 0xFF, 0x00) },
        { { "Forbidden Key(Access During Lockout Mode)", "Invalid Access(Time Shift Setting)",
              "Invalid Access(Act/Exp Date Setting)", "Invalid Access(Exception Date Setting)", "Invalid Key",
              "Forbidden Code(Access During Lockout Mode)" },
            QColor(0xFF, 0, 0) },
        { { "Setup Key Short Circuit", "Setup Key Open Circuit", "Download Lock Information",
              "Download Lock Audit Trial", "Initialize Lock", "Key List Enable", "Single-Lock Programming",
              "Multi-Lock Programming", "Set Parameter Key" },
            QColor(0, 0, 0xFF) },
    };
    for (const auto& [texts, colour] : table)
        if (std::find(texts.begin(), texts.end(), text) != texts.end())
            return colour;
    return QColor(0x80, 0x00, 0x80);
}
} // namespace

namespace keyreading {

// While a read or a save runs: the window's buttons and the main window's tool buttons are
// off, and no mouse, key or close reaches the window or the main window, so a read cannot be
// entered twice and the window cannot be freed under it. Boxes shown meanwhile still work.
class InputBlock : public QObject {
public:
    InputBlock(TReadCard_Form& form, bool read)
        : form_(form)
    {
        ++form_.busy_;
        form_.setButtonsEnabled(false);
        if (read)
            form_.BitBtn2->hide();
        if (Main_Form)
            Main_Form->setToolButtonsEnabled(false);
        qApp->installEventFilter(this);
    }
    ~InputBlock() override
    {
        qApp->removeEventFilter(this);
        if (Main_Form)
            Main_Form->setToolButtonsEnabled(true);
        form_.setButtonsEnabled(true);
        --form_.busy_;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w) // a shortcut goes to its action: judge by the widget that holds the action
            w = qobject_cast<QWidget*>(watched->parent());
        if (!w)
            return false;
        QWidget* top = w->window();
        const bool guarded = top == form_.window() || (Main_Form && top == Main_Form);
        if (!guarded)
            return false;
        if (event->type() == QEvent::Close)
            event->ignore();
        else if (event->type() == QEvent::ShortcutOverride)
            event->accept(); // the key stays with the (blocked) widget: no shortcut fires
        return true;
    }

private:
    TReadCard_Form& form_;
};

} // namespace keyreading

using keyreading::dateTimeText;

TReadCard_Form::TReadCard_Form(TDbConnection* connection, QWidget* parent)
    : ShellForm(parent)
    , keyIo(ReaderPort { SettingsRecord.PortNum, SettingsRecord.PortType }, kReadKeyCheck)
    , conn(connection ? connection : (Login_Form ? &Login_Form->DbConnection1 : nullptr))
    , Query1(conn)
    , Query2(conn)
    , Query3(conn)
    , TempRecord_Query(conn)
    , TempRecord_Insert(conn)
    , KeyInfor_Query(conn)
    , LockInfor_Query(conn)
    , TimeShift_Query(conn)
    , LockSerialID_Query(conn)
    , TimeGroup_Query(conn)
    , TimeShiftInLock_Query(conn)
    , TimeShiftInDB_Query(conn)
    , LockStatusInLock_Query(conn)
    , LockStatusInDB_Query(conn)
    , ActExpInLock_Query(conn)
    , ActExpInDB_Query(conn)
    , ExceptionInLock_Query(conn)
    , ExceptionInDB_Query(conn)
    , KeyInforInLock_Query(conn)
    , KeyInforInDB_Query(conn)
    , TempRecord_Source(&TempRecord_Query)
    , LockInfor_Source(&LockInfor_Query)
    , TimeShift_Source(&TimeShift_Query)
    , LockSerialID_Source(&LockSerialID_Query)
    , TimeGroup_Source(&TimeGroup_Query)
    , TimeShiftInLock_Source(&TimeShiftInLock_Query)
    , TimeShiftInDB_Source(&TimeShiftInDB_Query)
    , LockStatusInLock_Source(&LockStatusInLock_Query)
    , LockStatusInDB_Source(&LockStatusInDB_Query)
    , ActExpInLock_Source(&ActExpInLock_Query)
    , ActExpInDB_Source(&ActExpInDB_Query)
    , ExceptionInLock_Source(&ExceptionInLock_Query)
    , ExceptionInDB_Source(&ExceptionInDB_Query)
    , KeyInforInLock_Source(&KeyInforInLock_Query)
    , KeyInforInDB_Source(&KeyInforInDB_Query)
{
    if (!conn)
        throw EDatabaseError("The Read Key window needs the database connection");
    setObjectName(QStringLiteral("ReadCard_Form"));
    setWindowTitle(QStringLiteral("Read Key"));
    setWindowFlags(windowFlags() & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint));
    keyIo.options.processPendingMessages = [] { QCoreApplication::processEvents(); };
    lookup_ = std::make_unique<keyreading::DbAuditLookup>(conn);

    for (TDbQuery* qy : { &Query1, &Query2, &Query3, &TempRecord_Query, &TempRecord_Insert, &KeyInfor_Query,
             &LockInfor_Query, &TimeShift_Query, &LockSerialID_Query, &TimeGroup_Query,
             &TimeShiftInLock_Query, &TimeShiftInDB_Query, &LockStatusInLock_Query, &LockStatusInDB_Query,
             &ActExpInLock_Query, &ActExpInDB_Query, &ExceptionInLock_Query, &ExceptionInDB_Query,
             &KeyInforInLock_Query, &KeyInforInDB_Query })
        ownDataSet(qy);
    TempRecord_Query.Name = "TempRecord_Query";
    TempRecord_Insert.SQL
        = { "INSERT INTO TempRecord (No,SerialID,FirstName,LastName,Status,Department,LockName,"
            "LockLocation,OpenLockType,OpenLockTime,CodeType)",
              "VALUES (:No,:SerialID,:FirstName,:LastName,:Status,:Department,:LockName,:LockLocation,"
              ":OpenLockType,:OpenLockTime,:CodeType)" };
    TempRecord_Query.AfterOpen = [](TMemoryDataSet& ds) {
        const std::pair<const char*, const char*> labels[]
            = { { "FirstName", "First Name" }, { "LastName", "Last Name" }, { "OpenLockType", "Lock Action" },
                  { "OpenLockTime", "Lock Time" }, { "SerialID", "Serial ID" }, { "CodeType", "Code Type" } };
        for (auto [f, l] : labels)
            ds.SetFieldDisplayLabel(f, l);
        for (const char* hidden : { "No", "Status", "Department" })
            if (TDbField* f = ds.FindField(hidden))
                f->Visible = false;
    };
    LockInfor_Query.AfterScroll = [this](TMemoryDataSet&) { userLockChanged(); };
    LockInfor_Query.AfterOpen = [](TMemoryDataSet& ds) {
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields[i].Visible = false;
        for (auto [f, l] : { std::pair { "SerialID", "Serial ID" }, std::pair { "LockName", "Lock Name" },
                 std::pair { "LockLocation", "Lock Location" } }) {
            ds.FieldByName(f).Visible = true;
            ds.SetFieldDisplayLabel(f, l);
        }
    };
    TimeShift_Query.AfterOpen = [](TMemoryDataSet& ds) {
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields[i].Visible = false;
        for (auto [f, l] : { std::pair { "BeginTime", "Begin Time" }, std::pair { "EndTime", "End Time" },
                 std::pair { "DayOfWeek", "Day Of Week" } }) {
            ds.FieldByName(f).Visible = true;
            ds.SetFieldDisplayLabel(f, l);
        }
        ds.SetFieldDisplayFormat("BeginTime", "hh:nn");
        ds.SetFieldDisplayFormat("EndTime", "hh:nn");
    };
    TimeGroup_Query.AfterScroll = [this](TMemoryDataSet&) { TimeGroup_QueryAfterScroll(); };
    LockStatusInLock_Query.AfterOpen = [this](TMemoryDataSet&) { LockStatusInLock_QueryAfterOpen(); };
    LockStatusInDB_Query.AfterOpen = [this](TMemoryDataSet&) { LockStatusInDB_QueryAfterOpen(); };
    TimeShiftInLock_Query.AfterOpen = [this](TMemoryDataSet&) { TimeShiftInLock_QueryAfterOpen(); };
    TimeShiftInDB_Query.AfterOpen = [this](TMemoryDataSet&) { TimeShiftInDB_QueryAfterOpen(); };

    buildLayout();
    wireServiceHandlers();
    ReadCard_Form = this;
    FormCreate();
}

TReadCard_Form::~TReadCard_Form()
{
    // The grids watch the data sources and queries below: free them while those still live.
    Timer1 = nullptr;
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
    if (ReadCard_Form == this)
        ReadCard_Form = nullptr;
}

void TReadCard_Form::runModal(QWidget* owner, TDbConnection* connection)
{
    // The caller owns the window: it is freed here, once, after the modal run.
    std::unique_ptr<TReadCard_Form> form(new TReadCard_Form(connection));
    runModalUnder(owner, form.get());
}

// ---------------------------------------------------------------------------------------
// Layout

void TReadCard_Form::buildLayout()
{
    auto* root = new QVBoxLayout(this);

    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(QStringLiteral("Key Serial ID:"), this));
    Label4 = valueLabel(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    header->addWidget(Label4, 1);
    header->addWidget(new QLabel(QStringLiteral("Key Type:"), this));
    Label6 = valueLabel(this);
    Label6->setObjectName(QStringLiteral("Label6"));
    header->addWidget(Label6, 1);
    root->addLayout(header);

    panels.assign(9, nullptr);
    Image1 = new QLabel(this);
    Image1->setAlignment(Qt::AlignCenter);
    panels[0] = Image1;
    panels[1] = buildUserPanel();
    panels[2] = buildSetupPanel();
    panels[4] = buildLockSettingsPanel();
    panels[6] = buildAuditPanel();
    auto* clock = new QWidget(this);
    {
        auto* f = new QFormLayout(clock);
        Label53 = valueLabel(clock);
        f->addRow(QStringLiteral("Time In Key:"), Label53);
    }
    panels[7] = clock;
    panels[8] = buildMultiLockPanel();
    for (QWidget* p : panels)
        if (p) {
            root->addWidget(p, 1);
            p->hide();
        }

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    root->addWidget(ProgressBar1);

    // One row: " &Read Key" over "&A" and "&P", " &Export Data", " &Close" over "&W".
    auto* buttons = new QHBoxLayout;
    sbReadCard = new QPushButton(QStringLiteral(" &Read Key"));
    auto* readArea = new CoveringButton(sbReadCard, this);
    BitBtn6 = readArea->addBeneath(QStringLiteral("&A"), kServiceButtonSide);
    BitBtn7 = readArea->addBeneath(QStringLiteral("&P"), kServiceButtonSide);
    buttons->addWidget(readArea);
    BitBtn2 = new QPushButton(QStringLiteral(" &Export Data"), this);
    BitBtn2->hide();
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    sbExit = new QPushButton(QStringLiteral(" &Close"));
    auto* closeArea = new CoveringButton(sbExit, this);
    BitBtn8 = closeArea->addBeneath(QStringLiteral("&W"), kServiceButtonSide);
    buttons->addWidget(closeArea);
    root->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setInterval(200);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(sbReadCard, &QPushButton::clicked, this, [this] { sbReadCardClick(); });
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(BitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    setUpGetInformation();
}

QWidget* TReadCard_Form::buildUserPanel()
{
    auto* panel = new QWidget(this);
    auto* v = panelLayout(panel);
    auto* info = new QGroupBox(QStringLiteral("Key Information"), panel);
    auto* form = new QFormLayout(info);
    auto edit = [&](const char* caption) {
        auto* e = new QLineEdit(info);
        e->setReadOnly(true);
        form->addRow(QString::fromLatin1(caption), e);
        return e;
    };
    FirstNameEdit = edit("First Name:");
    LastNameEdit = edit("Last Name:");
    DepartmentEdit = edit("Department:");
    TitleEdit = edit("Title:");
    AddressEdit = edit("Address:");
    ContactInforEdit = edit("ContactInfor:");
    StatusEdit = edit("Status:");
    ActExpDateLabel = valueLabel(info);
    form->addRow(QStringLiteral("Activation / Expiration Date Setting:"), ActExpDateLabel);
    ExceptionDateLabel = valueLabel(info);
    form->addRow(QStringLiteral("Exception Date Setting:"), ExceptionDateLabel);
    TimeShiftGrid = grid(info, TimeShift_Source);
    form->addRow(QStringLiteral("Time Shift Setting:"), TimeShiftGrid);
    v->addWidget(info);
    auto* locks = new QGroupBox(QStringLiteral("Associate Lock Information"), panel);
    LockInforGrid = grid(locks, LockInfor_Source);
    (new QVBoxLayout(locks))->addWidget(LockInforGrid);
    v->addWidget(locks);
    return panel;
}

QWidget* TReadCard_Form::buildSetupPanel()
{
    auto* panel = new QWidget(this);
    auto* v = panelLayout(panel);
    auto* top = new QFormLayout;
    CheckBox1 = new QCheckBox(QStringLiteral("Blink"), panel);
    CheckBox1->setEnabled(false);
    top->addRow(CheckBox1);
    Label31 = valueLabel(panel);
    top->addRow(QStringLiteral("Time In Lock:"), Label31);
    PulseTimeLabel = valueLabel(panel);
    LockBackLabel = valueLabel(panel);
    PulseTimeLabel->hide();
    LockBackLabel->hide();
    v->addLayout(top);
    auto* group = new QGroupBox(QStringLiteral("Serial ID Got Back From Lock"), panel);
    auto* g = new QVBoxLayout(group);
    LockSerialIDGrid = grid(group, LockSerialID_Source);
    g->addWidget(LockSerialIDGrid);
    BitBtn3 = new QPushButton(QStringLiteral(" &Add Lock"), group);
    // Alt+A is the key dump's ("&A") on every panel: two buttons with one shortcut would press
    // neither. Add Lock keeps its caption and is pressed by a click or from the keyboard focus.
    BitBtn3->setShortcut(QKeySequence());
    g->addWidget(BitBtn3);
    auto* reg = new QFormLayout;
    Edit4 = new QLineEdit(group);
    Edit5 = new QLineEdit(group);
    ComboBox1 = new QComboBox(group);
    ComboBox1->setEditable(true);
    Edit7 = new QLineEdit(group);
    Edit7->setReadOnly(true);
    ComboBox2 = new QComboBox(group);
    ComboBox2->addItems({ QStringLiteral("iButton"), QStringLiteral("Access Code") });
    reg->addRow(QStringLiteral("Serial ID:"), Edit4);
    reg->addRow(QStringLiteral("Lock Name:"), Edit5);
    reg->addRow(QStringLiteral("Lock Location:"), ComboBox1);
    reg->addRow(QStringLiteral("Lock Status:"), Edit7);
    reg->addRow(QStringLiteral("Lock Type:"), ComboBox2);
    g->addLayout(reg);
    BitBtn4 = new QPushButton(QStringLiteral(" &Save"), group);
    g->addWidget(BitBtn4);
    for (QWidget* w : std::initializer_list<QWidget*> { Edit4, Edit5, ComboBox1, Edit7, ComboBox2, BitBtn4 })
        w->setEnabled(false);
    auto* exportRow = new QHBoxLayout;
    StartNumberLabel = new QLabel(QStringLiteral("StartNumber:"), group);
    StartNumberEdit = new QLineEdit(group);
    ExportToExcelButton = new QPushButton(QStringLiteral("Export To Excel"), group);
    exportRow->addWidget(StartNumberLabel);
    exportRow->addWidget(StartNumberEdit);
    exportRow->addWidget(ExportToExcelButton);
    StartNumberLabel->hide();
    StartNumberEdit->hide();
    ExportToExcelButton->hide();
    g->addLayout(exportRow);
    v->addWidget(group);
    return panel;
}

QWidget* TReadCard_Form::buildLockSettingsPanel()
{
    auto* panel = new QWidget(this);
    auto* v = panelLayout(panel);
    PageControl1 = new QTabWidget(panel);

    auto* timeShift = new QWidget(PageControl1);
    {
        auto* h = new QHBoxLayout(timeShift);
        TimeGroupGrid = grid(timeShift, TimeGroup_Source);
        // As wide as its two columns: the shifts of lock and database take the rest.
        TimeGroupGrid->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
        TimeGroupGrid->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Expanding);
        h->addWidget(TimeGroupGrid);
        h->addWidget(sideBySide(timeShift, QStringLiteral("TimeShiftSides"),
                         grid(timeShift, TimeShiftInLock_Source), grid(timeShift, TimeShiftInDB_Source)),
            2);
    }
    PageControl1->addTab(timeShift, QStringLiteral("Time Shift Setting"));
    DBGrid7 = grid(panel, LockStatusInLock_Source);
    DBGrid6 = grid(panel, LockStatusInDB_Source);
    PageControl1->addTab(sideBySide(PageControl1, QStringLiteral("LockStatusSides"), DBGrid7, DBGrid6),
        QStringLiteral("Lock Status Setting"));
    PageControl1->addTab(sideBySide(PageControl1, QStringLiteral("ActExpSides"),
                             grid(panel, ActExpInLock_Source), grid(panel, ActExpInDB_Source)),
        QStringLiteral("Activation/Expiration Date Setting"));
    PageControl1->addTab(sideBySide(PageControl1, QStringLiteral("HolidaySides"),
                             grid(panel, ExceptionInLock_Source), grid(panel, ExceptionInDB_Source)),
        QStringLiteral("Holiday Setting"));
    PageControl1->addTab(sideBySide(PageControl1, QStringLiteral("KeyListSides"),
                             grid(panel, KeyInforInLock_Source), grid(panel, KeyInforInDB_Source)),
        QStringLiteral("Key List"));

    auto* info = new QWidget(PageControl1);
    {
        auto* f = new QFormLayout(info);
        for (const char* caption : { "Lock Serial ID:", "Lock Name:", "Lock Location:", "Key List Status:",
                 "Manual Setup Status:", "DayLight Saving Status:", "DayLight Saving:", "Blink:",
                 "Lock Mode:", "Lock Hardware Version:", "Lock Software Version:", "User Number:",
                 "Time In Lock:", "Audit Trial Number:", "Battery Voltage:", "Lock Level:" })
            f->addRow(QString::fromLatin1(caption), valueLabel(info));
        UpgradeGroup = new QGroupBox(QStringLiteral("Upgrade Lock Program"), info);
        UpgradeGroup->hide();
        f->addRow(UpgradeGroup);
    }
    PageControl1->addTab(info, QStringLiteral("Lock Information"));
    v->addWidget(PageControl1);
    return panel;
}

QWidget* TReadCard_Form::buildAuditPanel()
{
    auto* panel = new QWidget(this);
    auto* v = panelLayout(panel);
    auto* f = new QFormLayout;
    Label40 = valueLabel(panel);
    Label42 = valueLabel(panel);
    Label44 = valueLabel(panel);
    Label46 = valueLabel(panel);
    Label48 = valueLabel(panel);
    Label50 = valueLabel(panel);
    f->addRow(QStringLiteral("Lock Serial ID:"), Label40);
    f->addRow(QStringLiteral("Lock Name:"), Label42);
    f->addRow(QStringLiteral("Lock Location:"), Label44);
    f->addRow(QStringLiteral("Records In Key:"), Label46);
    f->addRow(QStringLiteral("Time In Lock:"), Label48);
    f->addRow(QStringLiteral("Record In Lock:"), Label50);
    v->addLayout(f);
    BitBtn1 = new QPushButton(QStringLiteral(" &Save to Audit Trail History"), panel);
    BitBtn1->hide();
    v->addWidget(BitBtn1);
    DBGrid16 = grid(panel, TempRecord_Source);
    setUpAuditGrid(DBGrid16);
    DBGrid16->gridModel()->cellColour
        = [](const TMemoryDataSet& ds, int row, const TDbField&, CellColours& c) {
              const TDbField* f = ds.FindField("OpenLockType");
              c.foreground = eventColour(f ? ds.CellText(row, f->Index()) : std::string());
          };
    v->addWidget(DBGrid16, 1);
    return panel;
}

QWidget* TReadCard_Form::buildMultiLockPanel()
{
    auto* panel = new QWidget(this);
    auto* v = panelLayout(panel);
    auto* f = new QFormLayout;
    Label65 = valueLabel(panel);
    Label67 = valueLabel(panel);
    f->addRow(QStringLiteral("Number of records from each lock:"), Label65);
    f->addRow(QStringLiteral("Number of locks has been audited:"), Label67);
    v->addLayout(f);
    BitBtn5 = new QPushButton(QStringLiteral(" &Save to Audit Trail History"), panel);
    BitBtn5->hide();
    v->addWidget(BitBtn5);
    DBGrid18 = grid(panel, TempRecord_Source);
    setUpAuditGrid(DBGrid18);
    DBGrid18->gridModel()->cellColour = DBGrid16->gridModel()->cellColour;
    v->addWidget(DBGrid18, 1);
    return panel;
}

// ---------------------------------------------------------------------------------------
// Start-up, panels, buttons

void TReadCard_Form::FormCreate()
{
    if (SettingsRecord.ReaderRomId.empty())
        sbReadCard->setEnabled(false);
    QPixmap logo(QStringLiteral("logo.bmp"));
    if (!logo.isNull())
        Image1->setPixmap(logo);
    ComboBox1->clear();
    Query1.Close();
    Query1.SQL = "SELECT * FROM LockManagement";
    Query1.Open();
    for (Query1.First(); !Query1.Eof(); Query1.Next()) {
        const QString location = q(textOf(Query1.FieldByName("LockLocation")));
        if (ComboBox1->findText(location, Qt::MatchExactly) < 0)
            ComboBox1->addItem(location);
    }
    Query1.Close();
    DisplayPanel(0);
    Timer1->start();
}

void TReadCard_Form::Timer1Timer()
{
    Timer1->stop();
    sbReadCardClick();
}

void TReadCard_Form::DisplayPanel(int n)
{
    for (QWidget* p : panels)
        if (p)
            p->hide();
    BitBtn2->hide();
    if (n >= 0 && n < int(panels.size()) && panels[size_t(n)])
        panels[size_t(n)]->show();
    if (n == 6 || n == 8) { // the audit panels: export shown, save hidden until records are decoded
        BitBtn2->show();
        (n == 6 ? BitBtn1 : BitBtn5)->hide();
    }
    panel_ = n;
}

void TReadCard_Form::setButtonsEnabled(bool on)
{
    for (QPushButton* b : { sbReadCard, sbExit, BitBtn2, BitBtn6, BitBtn7, BitBtn8, BitBtn1, BitBtn5 })
        b->setEnabled(on);
}

void TReadCard_Form::BitBtn7Click()
{
    if (busy_)
        return;
    const bool show = StartNumberLabel->isHidden();
    StartNumberLabel->setVisible(show);
    StartNumberEdit->setVisible(show);
    ExportToExcelButton->setVisible(show);
}

bool TReadCard_Form::FormCloseQuery()
{
    if (busy_)
        return false;
    return ShellForm::FormCloseQuery();
}

void TReadCard_Form::closeEvent(QCloseEvent* event)
{
    if (busy_) {
        event->ignore();
        return;
    }
    ShellForm::closeEvent(event);
    if (event->isAccepted() && ReadCard_Form == this)
        ReadCard_Form = nullptr;
}

// ---------------------------------------------------------------------------------------
// The read

void TReadCard_Form::sbReadCardClick()
{
    if (busy_)
        return;
    keyreading::InputBlock block(*this, true); // steps 1 and 9
    try {
        readSteps();
    } catch (const std::exception& e) {
        // What an audit panel showed belongs to an earlier key, or to half of this one.
        if (currentPanel() == 6 || currentPanel() == 8)
            showNoAuditRows(currentPanel());
        appDialogs().error(e.what());
    }
}

bool TReadCard_Form::readPage(int page, MissionKeyPage& out)
{
    Stopwatch sw(timings.keyIo);
    for (int attempt = 0; attempt < 3; ++attempt) {
        keyIo.PageReadOk = 0;
        keyIo.ReadDS1977Data(page);
        if (keyIo.PageReadOk == 1) {
            std::copy_n(keyIo.PageBuffer.begin(), out.size(), out.begin());
            ++timings.pagesRead;
            return true;
        }
    }
    return false;
}

bool TReadCard_Form::facilityMatches(const MissionKeyPage& page0, std::size_t offset) const
{
    return offset + 3 <= page0.size()
        && std::equal(SettingsRecord.FacilityCode.begin(), SettingsRecord.FacilityCode.end(),
            page0.begin() + long(offset));
}

void TReadCard_Form::readSteps()
{
    std::string id;
    int found = 0;
    {
        Stopwatch sw(timings.keyIo);
        found = keyIo.ReadButtonID(SettingsRecord.ReaderRomId, id);
    }
    if (found != 1) {
        Label4->clear();
        DisplayPanel(0);
        if (found != kSeveralKeys) // several keys: the key routine has asked for one
            inform(messageAfterKeyCheck(keyIo.options.port, KeyCheckResult::NoKey, "Key not found."));
        return;
    }
    Label4->setText(q(id));
    const std::string family = id.size() == 16 ? id.substr(14, 2) : std::string();
    if (family == "37")
        readMissionKey();
    else if (family == "04" || family == "24")
        readClockKey(family);
    else
        readUserKey(id);
}

void TReadCard_Form::readClockKey(const std::string& family)
{
    DisplayPanel(7);
    const std::string id = Label4->text().toStdString();
    for (int i = 0; i < 8; ++i)
        keyIo.CurrentKeyRom[size_t(i)]
            = uint16_t(Change(id[size_t(14 - 2 * i)]) * 16 + Change(id[size_t(15 - 2 * i)]));
    keyIo.PageReadOk = 0;
    const auto& b = keyIo.PageBuffer;
    uint32_t seconds = 0;
    if (family == "04") {
        keyIo.ReadTimeCard();
        if (keyIo.PageReadOk != 1) {
            inform(kReadErrorClock);
            return;
        }
        if (!std::equal(
                SettingsRecord.FacilityCode.begin(), SettingsRecord.FacilityCode.end(), b.begin() + 5)) {
            inform(kWrongKey);
            return;
        }
        seconds = uint32_t(b[32]) | uint32_t(b[33]) << 8 | uint32_t(b[34]) << 16 | uint32_t(b[35]) << 24;
    } else {
        keyIo.ReadTimeCard1();
        if (keyIo.PageReadOk != 1) {
            inform(kReadErrorClock);
            return;
        }
        seconds = uint32_t(b[1]) | uint32_t(b[2]) << 8 | uint32_t(b[3]) << 16 | uint32_t(b[4]) << 24;
    }
    Label6->setText(QStringLiteral("Set Time Key"));
    Label53->setText(dateTimeText(DateTime { std::chrono::seconds(seconds) }));
}

void TReadCard_Form::readUserKey(const std::string& serialId)
{
    KeyInfor_Query.Close();
    KeyInfor_Query.SQL = { "SELECT * FROM KeyManagement", "WHERE SerialID = :SerialID" };
    KeyInfor_Query.ParamByName("SerialID").AsString(serialId);
    KeyInfor_Query.Open();
    if (KeyInfor_Query.IsEmpty()) {
        inform(kWrongKey);
        return;
    }
    DisplayPanel(1);
    const std::pair<QLineEdit*, const char*> fields[] = { { FirstNameEdit, "FirstName" },
        { LastNameEdit, "LastName" }, { DepartmentEdit, "Department" }, { TitleEdit, "Title" },
        { AddressEdit, "Address" }, { ContactInforEdit, "ContactInfor" }, { StatusEdit, "Status" } };
    for (auto [edit, name] : fields)
        edit->setText(q(textOf(KeyInfor_Query.FieldByName(name))));
    ActExpDateLabel->clear();
    ExceptionDateLabel->clear();
    TimeShift_Query.Close();
    LockInfor_Query.Close();
    LockInfor_Query.SQL = { "SELECT A.LockID,A.KeyID,B.LockID,B.SerialID,B.LockName,B.LockLocation",
        "FROM LockKeyManagement AS A,LockManagement AS B", "WHERE A.LockID = B.LockID",
        "AND A.KeyID = :KeyID" };
    LockInfor_Query.ParamByName("KeyID").AsInteger(KeyInfor_Query.FieldByName("KeyID").AsInteger());
    LockInfor_Query.Open();
    LockInfor_Source.SetEnabled(false);
    LockInfor_Source.SetEnabled(true);
    LockInfor_Query.First();
    Label6->setText(QStringLiteral("User Key"));
}

void TReadCard_Form::userLockChanged()
{
    // The key's settings in the lock chosen in the lock list.
    if (!LockInfor_Query.Active() || LockInfor_Query.IsEmpty()
        || LockInfor_Query.FieldByName("LockID").IsNull())
        return;
    const int64_t lockId = LockInfor_Query.FieldByName("LockID").AsInteger();
    const int64_t keyId = LockInfor_Query.FieldByName("KeyID").AsInteger();
    TimeShift_Query.Close();
    TimeShift_Query.SQL
        = { "SELECT B.LockID,B.KeyID,B.TimeShiftID,A.GroupID,A.BeginTime,A.EndTime,A.DayOfWeek",
              "FROM TimeShift AS A, LockKeyManagement AS B", "WHERE A.GroupID = B.TimeShiftID",
              "AND B.LockID = :LockID", "AND B.KeyID = :KeyID" };
    TimeShift_Query.ParamByName("LockID").AsInteger(lockId);
    TimeShift_Query.ParamByName("KeyID").AsInteger(keyId);
    TimeShift_Query.Open();
    TimeShift_Source.SetEnabled(false); // the grid takes the columns chosen after opening
    TimeShift_Source.SetEnabled(true);

    auto period = [&](const char* select, const char* table, const char* groupColumn, const char* from,
                      const char* to) {
        Query2.Close();
        Query2.SQL = { select, std::string("FROM ") + table + " AS A, LockKeyManagement AS B",
            std::string("WHERE A.GroupID = B.") + groupColumn, "AND B.LockID = :LockID",
            "AND B.KeyID = :KeyID" };
        Query2.ParamByName("LockID").AsInteger(lockId);
        Query2.ParamByName("KeyID").AsInteger(keyId);
        Query2.Open();
        QString text; // a group number without its row shows nothing
        if (!Query2.IsEmpty()) {
            if (Query2.FieldByName("GroupID").AsInteger() == 1)
                text = QStringLiteral("No Limit");
            else if (!Query2.FieldByName(from).IsNull() && !Query2.FieldByName(to).IsNull())
                text = dateTimeText(Query2.FieldByName(from).AsDateTime()) + QStringLiteral(" To ")
                    + dateTimeText(Query2.FieldByName(to).AsDateTime());
        }
        Query2.Close();
        return text;
    };
    ActExpDateLabel->setText(
        period("SELECT B.LockID,B.KeyID,B.ActExpDateID,A.GroupID,A.ActivationDate,A.ExpirationDate",
            "ActExpDateST", "ActExpDateID", "ActivationDate", "ExpirationDate"));
    ExceptionDateLabel->setText(
        period("SELECT B.LockID,B.KeyID,B.ExpDateID,A.GroupID,A.ExceptionDateFrom,A.ExceptionDateTo",
            "ExceptionDateST", "ExpDateID", "ExceptionDateFrom", "ExceptionDateTo"));
}

void TReadCard_Form::readMissionKey()
{
    MissionKeyPage page0 {};
    if (!readPage(0, page0)) {
        inform(kReadErrorClock);
        return;
    }
    const MissionKeyIdentity key = identifyMissionKey(page0);
    if (key.type == MissionKeyType::NotMissionKey) {
        inform(kWrongKey);
        return;
    }
    if (key.type == MissionKeyType::Unnamed)
        return;
    if (key.type == MissionKeyType::GetAuditTrail) {
        readAuditKey(page0);
        return;
    }
    if (key.type == MissionKeyType::MultiLockAuditTrail) {
        readMultiLockAuditKey(page0);
        return;
    }
    if (key.facilityCodeOffset && !facilityMatches(page0, *key.facilityCodeOffset)) {
        inform(kWrongKey);
        return;
    }
    Label6->setText(q(std::string(key.title)));
    switch (key.type) {
    case MissionKeyType::NewLockSetup:
        showNewLockSetup(page0);
        break;
    case MissionKeyType::SetTimeTable:
    case MissionKeyType::SetParameter:
    case MissionKeyType::IRStarter:
        DisplayPanel(0);
        break;
    case MissionKeyType::GetInformation:
        runGetInformationReport();
        break;
    default: // Lockout, Key Management and Multi-Lock keys: the title only
        break;
    }
}

void TReadCard_Form::showNewLockSetup(const MissionKeyPage& page0)
{
    // The lock setup window keeps its blink choice at byte 27 (byte 19 is daylight saving).
    CheckBox1->setChecked(page0[27] == 'Z');
    PulseTimeLabel->setText(QString::number(page0[6] * 0.1, 'f', 1));
    LockBackLabel->setText(QString::number(page0[7] * 0.1, 'f', 1));
    SetupClassroomFlag = page0[28];
    const auto t = lockClockTime(page0[20], page0[21], page0[23], page0[24], page0[25], page0[26]);
    Label31->setText(t ? dateTimeText(*t) : q(std::string(kInvalidLockTimeText)));
    if (ReadSysSetupCard()) {
        DisplayPanel(2);
        ProgressBar1->setValue(ProgressBar1->maximum());
        LockSerialID_Query.Close();
        LockSerialID_Query.SQL = "SELECT * FROM LockSerialID";
        LockSerialID_Query.Open();
        ProgressBar1->setValue(0);
    } else {
        inform("Read lock serial id error, please try it again.");
    }
}

bool TReadCard_Form::ReadSysSetupCard()
{
    // The serial ids the locks added, each listed once, marked when LockManagement has it.
    Query3.Close();
    Query3.SQL = "DELETE FROM LockSerialID";
    Query3.ExecSQL();
    MissionKeyPage page {};
    if (!readPage(1, page))
        return false;
    const int count = page[0];
    ProgressBar1->setRange(0, std::max(count, 1));
    TDbQuery find(conn), insert(conn), known(conn);
    find.SQL = { "SELECT * FROM LockManagement", "WHERE SerialID = :SerialID" };
    known.SQL = { "SELECT SerialID FROM LockSerialID", "WHERE SerialID = :SerialID" };
    insert.SQL
        = { "INSERT INTO LockSerialID (SerialID,Exist,LockName)", "VALUES (:SerialID,:Exist,:LockName)" };
    for (int i = 0; i < count; ++i) {
        if (2 + i > kLastKeyPage || !readPage(2 + i, page))
            return false;
        if (page[8] == 'Z') {
            RomId rom {};
            std::copy_n(page.begin(), 8, rom.begin());
            const std::string serial = romIdText(rom);
            known.Close();
            known.ParamByName("SerialID").AsString(serial);
            known.Open();
            if (known.IsEmpty()) {
                find.Close();
                find.ParamByName("SerialID").AsString(serial);
                find.Open();
                insert.ParamByName("SerialID").AsString(serial);
                insert.ParamByName("Exist").AsBoolean(!find.IsEmpty());
                insert.ParamByName("LockName")
                    .AsString(find.IsEmpty() ? std::string() : textOf(find.FieldByName("LockName")));
                insert.ExecSQL();
            }
            known.Close();
        }
        ProgressBar1->setValue(i + 1);
        QCoreApplication::processEvents();
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Audit trails

void TReadCard_Form::appendRows(const std::vector<AuditRow>& rows)
{
    Stopwatch sw(timings.database);
    for (const AuditRow& r : rows) {
        TempRecord_Insert.ParamByName("No").AsInteger(r.No);
        TempRecord_Insert.ParamByName("SerialID").AsString(r.SerialID);
        TempRecord_Insert.ParamByName("FirstName").AsString(r.FirstName);
        TempRecord_Insert.ParamByName("LastName").AsString(r.LastName);
        TempRecord_Insert.ParamByName("Status").AsString(r.Status);
        TempRecord_Insert.ParamByName("Department").AsString(r.Department);
        TempRecord_Insert.ParamByName("LockName").AsString(r.LockName);
        TempRecord_Insert.ParamByName("LockLocation").AsString(r.LockLocation);
        TempRecord_Insert.ParamByName("OpenLockType").AsString(r.OpenLockType);
        TempRecord_Insert.ParamByName("OpenLockTime").AsDateTime(r.OpenLockTime);
        if (r.CodeType)
            TempRecord_Insert.ParamByName("CodeType").AsString(*r.CodeType);
        else
            TempRecord_Insert.ParamByName("CodeType").Clear();
        TempRecord_Insert.ExecSQL();
    }
}

std::vector<AuditRow> TReadCard_Form::decodePage(const MissionKeyPage& page, const RecordPagePlan& plan,
    int pageIndex, const AuditLockInfo& lock, int& trailEntryCount)
{
    const auto lookupsBefore = lookup_->elapsed;
    const auto start = Clock::now();
    auto rows = decodeRecordPage(page, plan, pageIndex, lock, *lookup_, trailEntryCount);
    const auto lookups = lookup_->elapsed - lookupsBefore;
    timings.decoding += (Clock::now() - start) - lookups;
    timings.database += lookups;
    return rows;
}

void TReadCard_Form::reopenTempRecords()
{
    Stopwatch sw(timings.database);
    // The grids are detached while the query reopens.
    TempRecord_Source.SetEnabled(false);
    TempRecord_Query.Close();
    // The grid's column order; No, Status and Department are kept for the save but not shown.
    TempRecord_Query.SQL
        = { "SELECT FirstName,LastName,OpenLockType,OpenLockTime,LockName,LockLocation,SerialID,"
            "CodeType,No,Status,Department FROM TempRecord",
              "ORDER BY OpenLockTime DESC" };
    TempRecord_Query.Open();
    TempRecord_Source.SetEnabled(true);
}

void TReadCard_Form::showNoAuditRows(int panel)
{
    // Nothing decoded: the panel shows no rows nor counts of an earlier key and offers nothing
    // to export or save (TempRecord keeps its rows).
    DisplayPanel(panel);
    for (QLabel* l : { Label40, Label42, Label44, Label46, Label48, Label50, Label65, Label67 })
        l->clear();
    TempRecord_Source.SetEnabled(false);
    TempRecord_Query.Close();
    TempRecord_Source.SetEnabled(true);
    BitBtn2->hide();
}

void TReadCard_Form::readAuditKey(const MissionKeyPage& page0)
{
    const uint8_t kind = page0[4];
    if (kind == ReadKind::AuditTrailSecondKey) {
        if (!SecondKeyExpected) {
            inform("Insert the first audit trail program key.");
            return;
        }
        SecondKeyExpected = false;
        AppendToTrail = true;
    } else {
        AppendToTrail = false;
        TrailEntryCount = 0;
        SecondKeyExpected = kind == ReadKind::AuditTrailFirstKey;
    }
    if (!facilityMatches(page0, 5)) {
        inform(kWrongKey);
        return;
    }
    Label6->setText(QStringLiteral("Get Audit Trail Key"));
    const auto header = decodeAuditKeyHeader(page0);
    if (!header || !header->lockRom) {
        showNoAuditRows(6);
        return;
    }
    const QString serial = q(header->lockSerialText());
    if (kind == ReadKind::AuditTrailSecondKey) {
        if (serial != Label40->text()) {
            inform("The lock name in second key is diffrent from first one.");
            return;
        }
    } else {
        Label40->setText(serial);
    }
    {
        Stopwatch sw(timings.database);
        Query1.Close();
        Query1.SQL = { "SELECT * FROM LockManagement", "WHERE SerialID = :SerialID" };
        Query1.ParamByName("SerialID").AsString(serial.toStdString());
        Query1.Open();
    }
    if (Query1.IsEmpty()) {
        Query1.Close();
        inform(kLockNotFound);
        return;
    }
    Label42->setText(q(textOf(Query1.FieldByName("LockName"))));
    Label44->setText(q(textOf(Query1.FieldByName("LockLocation"))));
    Query1.Close();

    MissionKeyPage page1 {};
    if (!readPage(1, page1)) {
        inform(kReadErrorAudit);
        return;
    }
    const AuditKeyCounts counts = decodeAuditKeyCounts(page1);
    RecordsOnKey = std::min<int>(counts.recordsOnKey, kMaxRecordsOnKey);
    Label46->setText(QString::number(counts.recordsOnKey));
    Label50->setText(QString::number(counts.recordsInLock));
    Label48->setText(
        counts.lockTime ? dateTimeText(*counts.lockTime) : q(std::string(kInvalidLockTimeText)));

    const bool ok = ReadRecordCard();
    DisplayPanel(6);
    reopenTempRecords();
    if (ok) {
        ProgressBar1->setValue(std::min(RecordsOnKey / 4, ProgressBar1->maximum()));
        BitBtn1->show();
        if (kind == ReadKind::AuditTrailFirstKey)
            inform("Please plug second key into PC iButton Reader,then click \"Read Key\".");
    } else {
        if (kind == ReadKind::AuditTrailSecondKey)
            BitBtn1->show();
        inform(kReadErrorAudit);
    }
}

bool TReadCard_Form::ReadRecordCard()
{
    db::CommitWhatWasWritten tx(*conn);
    if (!AppendToTrail) {
        Stopwatch sw(timings.database);
        conn->ExecSQL("DELETE FROM TempRecord");
    }
    const RecordPagePlan plan = planSingleLockRecords(RecordsOnKey);
    ProgressBar1->setRange(0, std::max(RecordsOnKey / 4, 1));
    const AuditLockInfo lock { Label42->text().toStdString(), Label44->text().toStdString() };
    MissionKeyPage page {};
    for (int p = 0; p < plan.pageCount(); ++p) {
        QCoreApplication::processEvents();
        if (!readPage(plan.page(p), page))
            return false;
        ProgressBar1->setValue(std::min(plan.page(p), ProgressBar1->maximum()));
        std::vector<AuditRow> rows;
        rows = decodePage(page, plan, p, lock, TrailEntryCount);
        appendRows(rows);
    }
    tx.commit();
    return true;
}

void TReadCard_Form::readMultiLockAuditKey(const MissionKeyPage& page0)
{
    // A multi-lock key ends any two-key trail in progress.
    SecondKeyExpected = false;
    AppendToTrail = false;
    if (!facilityMatches(page0, 5)) {
        inform(kWrongKey);
        return;
    }
    DisplayPanel(8);
    Label6->setText(QStringLiteral("Multi-Lock Audit Trail Key"));
    const auto header = decodeMultiLockAuditHeader(page0);
    RecordsPerLock = header ? header->recordsPerLock : 0;
    MissionKeyPage page1 {};
    const bool read = header && readPage(1, page1);
    const auto plan = read ? planMultiLockAudit(*header, page1) : std::nullopt;
    if (!plan) { // page 1 unreadable, or records per lock none of the six choices
        showNoAuditRows(8);
        inform(kReadErrorAudit);
        return;
    }
    LocksAudited = plan->locksAudited;
    if (LocksAudited > 0) {
        Label65->setText(QString::number(RecordsPerLock));
        Label67->setText(QString::number(LocksAudited));
        PagesPerLockBlock = plan->pagesPerLockBlock;
    }
    std::vector<int> failed;
    {
        db::CommitWhatWasWritten tx(*conn);
        conn->ExecSQL("DELETE FROM TempRecord");
        QPointer<TDownloading_Form> wait = new TDownloading_Form(this);
        wait->showNow();
        ProgressBar1->setRange(0, std::max(plan->locksToRead, 1));
        try {
            for (int k = 0; k < plan->locksToRead; ++k) {
                QCoreApplication::processEvents();
                if (!MLReadRecordCard(k))
                    failed.push_back(k + 1);
                ProgressBar1->setValue(k + 1);
            }
        } catch (...) {
            delete wait.data();
            throw;
        }
        if (wait) {
            wait->hide();
            delete wait.data();
        }
        tx.commit();
    }
    reopenTempRecords();
    BitBtn5->show();
    if (!failed.empty()) {
        std::string text = std::string(kReadErrorAudit) + " Lock blocks not read:";
        for (size_t i = 0; i < failed.size(); ++i)
            text += (i ? ", " : " ") + std::to_string(failed[i]);
        inform(text + ".");
    }
}

bool TReadCard_Form::MLReadRecordCard(int lockIndex)
{
    MultiLockAuditPlan plan;
    plan.recordsPerLock = RecordsPerLock;
    plan.pagesPerLockBlock = PagesPerLockBlock;
    plan.locksAudited = LocksAudited;
    plan.locksToRead = PagesPerLockBlock > 0 ? lockBlocksThatFit(PagesPerLockBlock) : 0;
    if (lockIndex < 0 || lockIndex >= plan.locksToRead)
        return false;
    MissionKeyPage page {};
    if (!readPage(plan.headerPage(lockIndex), page))
        return false;
    const AuditLockBlockHeader block = decodeAuditLockBlockHeader(page);
    AuditLockInfo lock;
    {
        Stopwatch sw(timings.database);
        Query1.Close();
        Query1.SQL = { "SELECT * FROM LockManagement", "WHERE SerialID = :SerialID" };
        Query1.ParamByName("SerialID").AsString(block.lockSerialText());
        Query1.Open();
        if (!Query1.IsEmpty())
            lock = { textOf(Query1.FieldByName("LockName")), textOf(Query1.FieldByName("LockLocation")) };
    }
    const bool found = !Query1.IsEmpty();
    Query1.Close();
    if (!found)
        inform(kLockNotFound);
    const RecordPagePlan records = planLockBlockRecords(plan, lockIndex, block.recordCount);
    int unused = 0;
    for (int p = 0; p < records.pageCount(); ++p) {
        QCoreApplication::processEvents();
        if (!readPage(records.page(p), page))
            return false;
        std::vector<AuditRow> rows;
        rows = decodePage(page, records, p, lock, unused);
        appendRows(rows);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Saving

void TReadCard_Form::BitBtn1Click()
{
    if (busy_)
        return;
    keyreading::InputBlock block(*this, false);
    saveAuditRows();
}

void TReadCard_Form::saveAuditRows()
{
    try {
        const auto rows = keyreading::rowsOf(TempRecord_Query);
        keyreading::saveToHistory(*conn, rows, [] { QCoreApplication::processEvents(); });
    } catch (const std::exception&) {
        appDialogs().error("Write database error,please try again.");
        return;
    }
    inform("Save Data OK.");
    BitBtn5->hide();
    BitBtn1->hide();
}

// ---------------------------------------------------------------------------------------
// Lock settings panel

void TReadCard_Form::TimeGroup_QueryAfterScroll()
{
    if (!TimeGroup_Query.Active() || TimeGroup_Query.IsEmpty())
        return;
    const int64_t group = TimeGroup_Query.FieldByName("GroupID").AsInteger();
    TimeShiftInLock_Query.Close();
    TimeShiftInLock_Query.SQL
        = { "SELECT * FROM TimeShift1", "WHERE GroupID = :GroupID", "ORDER BY BeginTime" };
    TimeShiftInLock_Query.ParamByName("GroupID").AsInteger(group);
    TimeShiftInLock_Query.Open();
    TimeShiftInDB_Query.Close();
    TimeShiftInDB_Query.SQL = { "SELECT * FROM TimeShift", "WHERE GroupID = :GroupID", "ORDER BY BeginTime" };
    TimeShiftInDB_Query.ParamByName("GroupID").AsInteger(group);
    TimeShiftInDB_Query.Open();
}

void TReadCard_Form::LockStatusInLock_QueryAfterOpen()
{
    LockStatusInLock_Query.SetFieldDisplayFormat("BeginTime", "hh:nn");
}
void TReadCard_Form::LockStatusInDB_QueryAfterOpen()
{
    LockStatusInDB_Query.SetFieldDisplayFormat("BeginTime", "hh:nn");
}
void TReadCard_Form::TimeShiftInLock_QueryAfterOpen()
{
    TimeShiftInLock_Query.SetFieldDisplayFormat("BeginTime", "hh:nn");
    TimeShiftInLock_Query.SetFieldDisplayFormat("EndTime", "hh:nn");
}
void TReadCard_Form::TimeShiftInDB_QueryAfterOpen()
{
    TimeShiftInDB_Query.SetFieldDisplayFormat("BeginTime", "hh:nn");
    TimeShiftInDB_Query.SetFieldDisplayFormat("EndTime", "hh:nn");
}
