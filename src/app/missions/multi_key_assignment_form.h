#pragma once
// The Multi-Lock Programming window: up to eight locks on one DS1977 key, each with the
// users it is to accept and their groups. The mission lives in the scratch tables TempLock1
// (which lock on which page) and TempLockKey (each user's selection per lock).
#include "app/shell/db_grid.h"
#include "app/shell/shell_form.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/key_io.h"

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabBar;
class QTextEdit;

class TMultiKeyAssignment_Form : public ShellForm {
    Q_OBJECT
public:
    explicit TMultiKeyAssignment_Form(QWidget* parent = nullptr, TDbConnection* db = nullptr);
    ~TMultiKeyAssignment_Form() override;

    void FormCreate();
    void FormClose() override;
    void DisplayKeys();
    void TabControl1Change() { DisplayKeys(); }
    void Edit1Enter();
    void DBGrid2CellClick(int column);
    // True for the keys the grid swallows: they neither move the selection nor toggle a cell.
    static bool DBGrid2KeyDown(int key);
    void SaveBoolean(const std::string& fieldName);
    void DBGrid2DblClick(int column);
    void sbMakeCardClick();
    bool WriteMultipleMissionCard();
    bool WriteLockSetupCard_Time(int L);
    bool WriteLockSetup(int L);

    QTextEdit* RichEdit8 = nullptr;
    QTabBar* TabControl1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    TDBGrid* DBGrid2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* sbMakeCard = nullptr;
    QPushButton* sbExit = nullptr;
    QLabel* Label4 = nullptr; // remembered time-shift group id
    QLabel* Label5 = nullptr; // remembered activation/expiration group id

    TDbQuery KeyList_Query;
    TDbDataSource KeyList_DataSource;
    TDbUpdateSQL usMaster;
    TDbQuery Query1;
    TDbQuery Query2;

    int64_t CurrentLockID = 0;
    int64_t MissionLockID = 0;
    std::string MissionLockSerialID;
    int64_t MissionLockStatusID = 0;
    KeyIo keyIo; // PageBuffer, WriteResult and the key addressed

protected:
    // The modal pickers; tests replace them. Each leaves its result in SettingsRecord.
    virtual void runLockPicker();
    virtual void runTimeShiftPicker();
    virtual void runActExpPicker();
    TDbConnection* db_;

private:
    void setPageLock(const std::string& serial);
    void fillLockKeys(int64_t lockId);
    bool duplicateCheck(int64_t lockId);
    void replaceLockKeyManagement();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Edit1Enter once the asking event is done; after a click, the rest of its double click
    // does not reach the picker.
    void requestLockPicker(bool byMouse);
    bool pickerRequested_ = false;
    std::optional<ulong> pressTime_; // of the last press on Edit1
};

extern TMultiKeyAssignment_Form* MultiKeyAssignment_Form;

inline constexpr const char* kMultiLockProgrammingItem = "Multi-Lock Programming";
