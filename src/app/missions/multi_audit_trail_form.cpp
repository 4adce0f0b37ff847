#include "app/missions/multi_audit_trail_form.h"

#include "app/missions/mission_rows.h"
#include "app/shell/settings_record.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

TMultiAuditTrail_Form* MultiAuditTrail_Form = nullptr;

namespace {
const char* kInstructions
    = "This function downloads the access history from one lock or from several locks.\n\n"
      "Audit trails of more than 2000 records need two DS1977 program keys.\n\n"
      "1. Choose the number of records from each lock.\n"
      "2. Insert the program key into the PC iButton reader and press \"Issue Key\".\n"
      "3. Touch the key to the locks to be audited.\n"
      "4. Put the key back into the reader and choose \"Read Key\".";
} // namespace

TMultiAuditTrail_Form::TMultiAuditTrail_Form(QWidget* parent)
    : ShellForm(parent)
    , keyIo(ReaderPort { SettingsRecord.PortNum, SettingsRecord.PortType }, kAuditTrailCheck)
{
    setWindowTitle("Multi-Lock Audit Trail");
    MultiAuditTrail_Form = this;
    keyIo.options.processPendingMessages = [] { QCoreApplication::processEvents(); };

    Label1 = new QLabel("Number of Records from each lock", this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    for (const auto& c : kAuditTrailChoices)
        ComboBox1->addItem(QString::fromUtf8(c.itemText.data(), int(c.itemText.size())));
    Label2 = new QLabel("Number of locks will be audited up to ", this);
    Label3 = new QLabel("63", this);
    Label3->setStyleSheet("color: blue;");
    RichEdit4 = new QTextEdit(this);
    RichEdit4->setReadOnly(true);
    RichEdit4->setPlainText(kInstructions);
    sbMakeCard = new QPushButton(" &Issue Key", this);
    sbExit = new QPushButton(" &Close", this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ComboBox1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Label3, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(sbMakeCard);
    buttons->addWidget(sbExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(RichEdit4, 1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
    connect(sbMakeCard, &QPushButton::clicked, this, [this] { sbMakeCardClick(); });
    connect(sbExit, &QPushButton::clicked, this, [this] { sbExitClick(); });
    FormCreate();
}

TMultiAuditTrail_Form::~TMultiAuditTrail_Form()
{
    if (MultiAuditTrail_Form == this)
        MultiAuditTrail_Form = nullptr;
}

void TMultiAuditTrail_Form::FormClose()
{
    ShellForm::FormClose();
    if (MultiAuditTrail_Form == this)
        MultiAuditTrail_Form = nullptr;
}

void TMultiAuditTrail_Form::FormCreate()
{
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(0); // the label keeps its layout value, which is item 0's
}

void TMultiAuditTrail_Form::ComboBox1Change()
{
    const auto& label = currentChoice().locksPerKeyLabel;
    Label3->setText(QString::fromUtf8(label.data(), int(label.size())));
}

const AuditTrailChoice& TMultiAuditTrail_Form::currentChoice() const
{
    const int i = ComboBox1->currentIndex();
    return kAuditTrailChoices[(i >= 0 && i < int(kAuditTrailChoices.size())) ? i : 0];
}

bool TMultiAuditTrail_Form::writeKey(const std::vector<AuditKeyPageWrite>& pages)
{
    for (const auto& w : pages)
        if (!writePageImage(keyIo, w.page, w.image))
            return false;
    return true;
}

bool TMultiAuditTrail_Form::WriteMultiLockAuditCard()
{
    const auto keys = auditTrailKeyWrites(currentChoice(), SettingsRecord.FacilityCode);
    return !keys.empty() && writeKey(keys.front());
}

bool TMultiAuditTrail_Form::waitForSecondKey(const KeyRom& firstKey)
{
    // The second key must be another key: the first one is never overwritten.
    for (;;) {
        if (!keyIo.IsOneWirePortOK())
            return false;
        if (keyIo.CurrentKeyRom != firstKey)
            return true;
        if (appDialogs().show(BoxType::Confirmation,
                              "This is the first program key. Please plug in the second program key and press ok.",
                              BoxButtons::OkCancel)
            != BoxResult::Ok)
            return false;
    }
}

bool TMultiAuditTrail_Form::WriteGetAuditTrailCard()
{
    const auto keys = auditTrailKeyWrites(currentChoice(), SettingsRecord.FacilityCode);
    if (keys.empty() || !writeKey(keys.front()))
        return false;
    if (keys.size() == 1)
        return true;
    const KeyRom firstKey = keyIo.CurrentKeyRom;
    ProgressBar1->setValue(100);
    appDialogs().information("Complete the first program key. Please plug in the second program key and press ok.");
    if (!waitForSecondKey(firstKey))
        return false;
    return writeKey(keys[1]);
}

void TMultiAuditTrail_Form::sbMakeCardClick()
{
    if (!programKeyReady(keyIo))
        return;
    ProgressBar1->setValue(0);
    const KeyWriteScope writing(*this); // no second issue inside this one
    if (currentChoice().kind == AuditTrailKeyKind::MultiLock) {
        if (WriteMultiLockAuditCard()) {
            ProgressBar1->setValue(100);
            appDialogs().information("Write Multi-Lock Audit Trail Key OK.");
        } else {
            appDialogs().error("Write Multi-Lock Audit Trail Key Error.");
        }
    } else {
        if (WriteGetAuditTrailCard()) {
            ProgressBar1->setValue(100);
            appDialogs().information("Write Get Audit Trail Key OK.");
        } else {
            appDialogs().error("Write Get Audit Trail Key Error.");
        }
    }
    ProgressBar1->setValue(0);
}
