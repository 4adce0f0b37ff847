#pragma once
// The Copy Lock Settings window: one lock's schedule and users copied to the locks marked in
// a list, first onto a WRITE kind 2 key that the operator touches to each of them, then in
// the database.
#include "app/shell/db_grid.h"
#include "app/shell/shell_form.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/key_io.h"
#include "keyformats/time_table_image.h"

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;

class TMultiTimeAssignment_Form : public ShellForm {
    Q_OBJECT
public:
    explicit TMultiTimeAssignment_Form(QWidget* parent = nullptr, TDbConnection* db = nullptr);
    ~TMultiTimeAssignment_Form() override;

    void FormCreate() { DisplayLocks(); }
    void FormClose() override;
    void DisplayLocks();
    void Edit1DblClick();
    void DBGrid2CellClick(int column);
    void SaveBoolean();
    void sbMakeCardClick();
    bool WriteLockSetupCard();

    QTextEdit* RichEdit7 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label6 = nullptr;
    QCheckBox* CheckBox1 = nullptr; // "Copy User List"
    QCheckBox* CheckBox2 = nullptr; // "Copy Lock Schedule"
    TDBGrid* DBGrid2 = nullptr;
    QPushButton* sbMakeCard = nullptr;
    QPushButton* sbExit = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    TDbTable Table1;
    TDbQuery Query1;
    TDbQuery Query2;
    TDbQuery LockList_Query;
    TDbDataSource LockList_DataSource;
    TDbUpdateSQL usMaster;

    int64_t ModelLockID = 0;
    int64_t ModelLockStatusID = 0;
    KeyIo keyIo; // the page buffer, the write result and the key addressed
    TimeTableImageBytes TimeTable {};

protected:
    virtual void runLockPicker(); // tests replace it; the result is in SettingsRecord
    TDbConnection* db_;

private:
    struct CopyTarget {
        int64_t lockId;
        std::string serial;
    };
    // Stages the copy to the target locks in the open transaction, as the key carries it.
    void copyToTargets(const std::vector<CopyTarget>& targets, bool schedule, bool users);
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TMultiTimeAssignment_Form* MultiTimeAssignment_Form;

inline constexpr const char* kCopyLockSettingsItem = "Copy Lock Settings";
