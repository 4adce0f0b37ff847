#pragma once
// The Multi-Lock Audit Trail window: writes the program keys on which locks deposit their
// audit trails (a multi-lock key, a one-lock key, or the two keys of a long trail).
#include "app/shell/shell_form.h"
#include "keyaccess/key_io.h"
#include "keyformats/audit_trail_keys.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;

class TMultiAuditTrail_Form : public ShellForm {
    Q_OBJECT
public:
    explicit TMultiAuditTrail_Form(QWidget* parent = nullptr);
    ~TMultiAuditTrail_Form() override;

    void FormCreate();
    void FormClose() override;
    void ComboBox1Change();
    void sbMakeCardClick();
    bool WriteMultiLockAuditCard();
    bool WriteGetAuditTrailCard();

    QComboBox* ComboBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QTextEdit* RichEdit4 = nullptr;
    QPushButton* sbMakeCard = nullptr;
    QPushButton* sbExit = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    // The window's page buffer, write result and the key addressed, shared with the writer.
    KeyIo keyIo;

private:
    const AuditTrailChoice& currentChoice() const;
    bool writeKey(const std::vector<AuditKeyPageWrite>& pages);
    bool waitForSecondKey(const KeyRom& firstKey);
};

extern TMultiAuditTrail_Form* MultiAuditTrail_Form;

// The caption of its menu item and tool button.
inline constexpr const char* kGetAuditTrailItem = "Get Audit Trail";
