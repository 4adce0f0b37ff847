#include "app/missions/single_mission_card_form.h"

#include "app/shell/covering_button.h"
#include "app/shell/db_grid.h"
#include "app/shell/window_routines.h"
#include "dataaccess/db_error.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

#include <optional>

namespace {
const char* kPages[] = { "Set Parameter Key", "Set Time Key", "Get Information Key", "Load Time Table",
                         "Lockout Key", "One-off Key", "System Code Key", "One-off Code Key" };

// The character a key press types, as the keystroke filters see it: 0 for one outside ASCII
// (no filter passes it), none for a key that types nothing. Delete, Escape and the tab keys
// act as keys, not as typed characters, so no filter takes their meaning away.
std::optional<char> typedCharacter(const QKeyEvent& key)
{
    switch (key.key()) {
    case Qt::Key_Delete:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return std::nullopt;
    default:
        break;
    }
    const QString text = key.text();
    if (text.isEmpty())
        return std::nullopt;
    return text.size() == 1 && text[0].unicode() <= 0x7F ? static_cast<char>(text[0].unicode()) : '\0';
}

bool oneOffCodeDiscards(const QKeyEvent& key)
{
    const auto c = typedCharacter(key);
    return c && TSingleMissionCard_Form::DBGrid3KeyPress(*c) == 0;
}

// The one-off code cells' editor: what the grid's filter discards never reaches it (before the
// delegate's own handling, so a discarded Enter does not end the edit either).
class OneOffCodeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && oneOffCodeDiscards(*static_cast<QKeyEvent*>(event)))
            return true;
        return QStyledItemDelegate::eventFilter(editor, event);
    }
};
} // namespace

TSingleMissionCard_Form::TSingleMissionCard_Form(TDbConnection* connection, QWidget* parent)
    : ShellForm(parent)
    , OneOffCode_Table(connection, "OneOffCode")
{
    setWindowTitle("Lock Maintenance");
    ownDataSet(&OneOffCode_Table);

    PageControl1 = new QTabWidget(this);
    QWidget* pages[8];
    for (int i = 0; i < 8; ++i) {
        pages[i] = new QWidget;
        PageControl1->addTab(pages[i], kPages[i]);
    }
    loadTimeTablePage = 3;
    systemCodePage = 6;
    PageControl1->setTabVisible(loadTimeTablePage, false);
    PageControl1->setTabVisible(systemCodePage, false);

    // "Set Parameter Key": the options that the shortcuts show.
    Label3 = new QLabel("Motor Pulse Time:", pages[0]);
    Edit5 = new QLineEdit("1", pages[0]);
    Edit5->setMaxLength(4);
    Label4 = new QLabel("(0.1s ---- 25.5s)", pages[0]);
    CheckBox1 = new QCheckBox("Change Blink", pages[0]);
    RadioButton7 = new QRadioButton("Yes", pages[0]);
    RadioButton8 = new QRadioButton("No", pages[0]);
    RadioButton7->setChecked(true);
    CheckBox3 = new QCheckBox("Change Lock ID", pages[0]);
    ComboBox2 = new QComboBox(pages[0]);
    ComboBox2->setEditable(true);
    ComboBox2->lineEdit()->installEventFilter(this);
    CheckBox5 = new QCheckBox("Change Lock Level", pages[0]);
    ComboBox1 = new QComboBox(pages[0]);
    ComboBox1->addItems({ "Low", "Medium", "High" });
    auto* grid = new QGridLayout(pages[0]);
    grid->addWidget(Label3, 0, 0);
    grid->addWidget(Edit5, 0, 1);
    grid->addWidget(Label4, 0, 2);
    grid->addWidget(CheckBox1, 1, 0);
    grid->addWidget(RadioButton7, 1, 1);
    grid->addWidget(RadioButton8, 1, 2);
    grid->addWidget(CheckBox3, 2, 0);
    grid->addWidget(ComboBox2, 2, 1);
    grid->addWidget(CheckBox5, 3, 0);
    grid->addWidget(ComboBox1, 3, 1);
    grid->setRowStretch(4, 1);
    for (QWidget* w : std::initializer_list<QWidget*> { Label3, Edit5, Label4, RadioButton7, RadioButton8, CheckBox3,
                                                        ComboBox2, CheckBox5, ComboBox1 })
        w->setVisible(false);

    // "One-off Code Key": the code table, written at each post.
    OneOffCode_DataSource.SetDataSet(&OneOffCode_Table);
    DBGrid3 = new TDBGrid(pages[7]);
    DBGrid3->sortOnTitleClick = false;
    DBGrid3->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    DBGrid3->setItemDelegate(new OneOffCodeDelegate(DBGrid3));
    DBGrid3->installEventFilter(this);
    BitBtn3 = new QPushButton(" &Save", pages[7]);
    BitBtn6 = new QPushButton(" &Clear", pages[7]);
    auto* oneOff = new QVBoxLayout(pages[7]);
    oneOff->addWidget(DBGrid3, 1);
    auto* oneOffButtons = new QHBoxLayout;
    oneOffButtons->addStretch();
    oneOffButtons->addWidget(BitBtn3);
    oneOffButtons->addWidget(BitBtn6);
    oneOff->addLayout(oneOffButtons);

    // The key of each page is written by the windows that own those keys; here the button only
    // covers the small shortcut buttons.
    sbMakeCard = new QPushButton(" &Issue Key");
    sbMakeCard->setEnabled(false);
    auto* buttonArea = new CoveringButton(sbMakeCard, this);
    buttonArea->setFixedSize(110, 30);
    BitBtn1 = buttonArea->addBeneath(" &A", 13);
    BitBtn4 = buttonArea->addBeneath(" &R", 13);
    BitBtn5 = buttonArea->addBeneath(" &m", 13);
    BitBtn7 = buttonArea->addBeneath(" &S", 13);
    sbExit = new QPushButton(" &Close", this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonArea);
    buttons->addWidget(sbExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
    connect(CheckBox5, &QCheckBox::toggled, this, [this] { CheckBox5Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });

    OneOffCode_Table.SetFieldDisplayLabel("CodeNo", "Code NO");
    OneOffCode_Table.SetFieldDisplayLabel("OneOffCode", "One-off Code");
    OneOffCode_Table.AfterOpen = [](TMemoryDataSet& ds) {
        if (TDbField* f = ds.FindField("CodeNo"))
            f->ReadOnly = true;
    };
    OneOffCode_Table.Open();
    DBGrid3->setDataSource(&OneOffCode_DataSource);
}

TSingleMissionCard_Form::~TSingleMissionCard_Form() = default;

void TSingleMissionCard_Form::BitBtn1Click()
{
    const bool show = !Edit5->isVisibleTo(this);
    Label3->setVisible(show);
    Label4->setVisible(show);
    Edit5->setVisible(show);
}

void TSingleMissionCard_Form::BitBtn4Click()
{
    const bool show = !CheckBox3->isVisibleTo(this);
    CheckBox3->setVisible(show);
    if (!show)
        CheckBox3->setChecked(false); // hides the entry through CheckBox3Click
    CheckBox3Click();
}

void TSingleMissionCard_Form::BitBtn5Click()
{
    const bool show = !CheckBox5->isVisibleTo(this);
    CheckBox5->setVisible(show);
    if (!show)
        CheckBox5->setChecked(false);
    CheckBox5Click();
}

void TSingleMissionCard_Form::BitBtn7Click()
{
    PageControl1->setTabVisible(systemCodePage, !PageControl1->isTabVisible(systemCodePage));
}

void TSingleMissionCard_Form::CheckBox1Click()
{
    RadioButton7->setVisible(CheckBox1->isChecked());
    RadioButton8->setVisible(CheckBox1->isChecked());
}

void TSingleMissionCard_Form::CheckBox3Click() { ComboBox2->setVisible(CheckBox3->isChecked()); }

void TSingleMissionCard_Form::CheckBox5Click() { ComboBox1->setVisible(CheckBox5->isChecked()); }

char TSingleMissionCard_Form::ComboBox2KeyPress(char key)
{
    if (key == 0x08 || key == 0x07 || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F'))
        return key;
    if (key >= 'a' && key <= 'f')
        return static_cast<char>(key - 'a' + 'A');
    return 0;
}

char TSingleMissionCard_Form::DBGrid3KeyPress(char key)
{
    if (key == 0x08 || key == 0x07 || (key >= '0' && key <= '9'))
        return key;
    return 0;
}

bool TSingleMissionCard_Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return ShellForm::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == DBGrid3)
        return oneOffCodeDiscards(*key); // a character passed on starts the cell's editor
    const auto c = typedCharacter(*key);
    if (watched != ComboBox2->lineEdit() || !c)
        return false;
    const char passed = ComboBox2KeyPress(*c);
    if (passed == 0)
        return true;
    if (passed != *c) {
        ComboBox2->lineEdit()->insert(QString(QChar(passed)));
        return true;
    }
    return false;
}

void TSingleMissionCard_Form::postCurrentRow(bool clearCode)
{
    // The rows come with the database: with none there is no current row, and editing an
    // empty table would append one.
    DBGrid3->commitEdit();
    if (OneOffCode_Table.State() == dsBrowse && OneOffCode_Table.IsEmpty()) {
        OneOffCode_Table.Close();
        OneOffCode_Table.Open();
        return;
    }
    try {
        if (OneOffCode_Table.State() == dsBrowse)
            OneOffCode_Table.Edit();
        if (clearCode)
            OneOffCode_Table.FieldByName("OneOffCode").AsString("");
        OneOffCode_Table.Post();
    } catch (const EDatabaseError& e) {
        // The row keeps what the database holds; the operator sees the layer's message.
        OneOffCode_Table.Cancel();
        MyError(e.what());
    }
    OneOffCode_Table.Close();
    OneOffCode_Table.Open();
}

void TSingleMissionCard_Form::BitBtn3Click() { postCurrentRow(false); }

void TSingleMissionCard_Form::BitBtn6Click() { postCurrentRow(true); }
