#pragma once
// The Read Key window: reads whatever key is in the reader, names it by its family code and
// page 0, and hands it to the decoder of its kind, which fills the scratch tables and the
// result panel of that kind.
#include "app/keyreading/audit_lookup_db.h"
#include "app/shell/db_grid.h"
#include "app/shell/shell_form.h"
#include "app/shell/window_routines.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/key_io.h"
#include "keyformats/audit_records.h"

#include <QPointer>
#include <QTime>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class TDownloading_Form;
namespace workbook {
class Sheet;
}

namespace keyreading {
class InputBlock;

// Where a read spends its time (the decode benchmark reports the shares).
struct ReadTimings {
    std::chrono::nanoseconds keyIo {}, decoding {}, database {};
    int pagesRead = 0;
    void clear() { *this = {}; }
};
} // namespace keyreading

class TReadCard_Form : public ShellForm {
    Q_OBJECT
public:
    // connection: the login window's DbConnection1 when null.
    explicit TReadCard_Form(TDbConnection* connection = nullptr, QWidget* parent = nullptr);
    ~TReadCard_Form() override;

    // Runs a new window modally under owner until it is closed, then frees it (the lock
    // setup window's Read Key button).
    static void runModal(QWidget* owner, TDbConnection* connection = nullptr);

    void FormCreate();
    void Timer1Timer();
    void sbReadCardClick();
    void DisplayPanel(int n);
    void BitBtn7Click(); // "&P"
    void BitBtn8Click(); // "&W"
    void BitBtn6Click(); // "&A": the key dump
    void BitBtn1Click(); // both " &Save to Audit Trail History" buttons
    bool FormCloseQuery() override;

    // Decoders, one per kind; each works on the page buffer and the state below.
    bool ReadRecordCard();
    bool MLReadRecordCard(int lockIndex);
    bool ReadGetLockSetupCard(); // settings image and key list of a Get Information key
    bool ReadSysSetupCard(); // lock serial ids of a New Lock Setup key

    // Grid handlers of the lock settings panel.
    void TimeGroup_QueryAfterScroll();
    void LockStatusInLock_QueryAfterOpen();
    void LockStatusInDB_QueryAfterOpen();
    void TimeShiftInLock_QueryAfterOpen();
    void TimeShiftInDB_QueryAfterOpen();

    // ---- State kept for the life of the window ----
    KeyIo keyIo; // CurrentKeyRom, PageBuffer and PageReadOk live here
    int RecordsOnKey = 0;
    int TrailEntryCount = 0;
    bool SecondKeyExpected = false;
    bool AppendToTrail = false;
    int RecordsPerLock = 0;
    int LocksAudited = 0;
    int PagesPerLockBlock = 0;
    int LockID = 0;
    int LockStatusID = 0;

    bool reading() const { return busy_ > 0; }
    int currentPanel() const { return panel_; }
    keyreading::ReadTimings timings;

    // ---- Components (the names the handlers use) ----
    TDbConnection* conn;
    TDbQuery Query1, Query2, Query3;
    TDbQuery TempRecord_Query, TempRecord_Insert;
    TDbQuery KeyInfor_Query, LockInfor_Query, TimeShift_Query;
    TDbQuery LockSerialID_Query;
    TDbQuery TimeGroup_Query, TimeShiftInLock_Query, TimeShiftInDB_Query;
    TDbQuery LockStatusInLock_Query, LockStatusInDB_Query;
    TDbQuery ActExpInLock_Query, ActExpInDB_Query, ExceptionInLock_Query, ExceptionInDB_Query;
    TDbQuery KeyInforInLock_Query, KeyInforInDB_Query;
    TDbDataSource TempRecord_Source, LockInfor_Source, TimeShift_Source, LockSerialID_Source;
    TDbDataSource TimeGroup_Source, TimeShiftInLock_Source, TimeShiftInDB_Source;
    TDbDataSource LockStatusInLock_Source, LockStatusInDB_Source;
    TDbDataSource ActExpInLock_Source, ActExpInDB_Source, ExceptionInLock_Source, ExceptionInDB_Source;
    TDbDataSource KeyInforInLock_Source, KeyInforInDB_Source;

    QTimer* Timer1 = nullptr;
    QLabel* Label4 = nullptr; // Key Serial ID
    QLabel* Label6 = nullptr; // Key Type
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* sbReadCard = nullptr;
    QPushButton* sbExit = nullptr;
    QPushButton* BitBtn2 = nullptr; // " &Export Data"
    QPushButton* BitBtn6 = nullptr; // "&A"
    QPushButton* BitBtn7 = nullptr; // "&P"
    QPushButton* BitBtn8 = nullptr; // "&W"
    std::vector<QWidget*> panels; // index = panel number; 3 and 5 stay empty

    // Panel 0
    QLabel* Image1 = nullptr;
    // Panel 1: user key
    QLineEdit *FirstNameEdit = nullptr, *LastNameEdit = nullptr, *DepartmentEdit = nullptr,
              *TitleEdit = nullptr, *AddressEdit = nullptr, *ContactInforEdit = nullptr,
              *StatusEdit = nullptr;
    QLabel *ActExpDateLabel = nullptr, *ExceptionDateLabel = nullptr;
    TDBGrid *TimeShiftGrid = nullptr, *LockInforGrid = nullptr;
    // Panel 2: setup key
    QCheckBox* CheckBox1 = nullptr; // "Blink"
    QLabel* Label31 = nullptr; // Time In Lock
    QLabel *PulseTimeLabel = nullptr, *LockBackLabel = nullptr; // hidden
    TDBGrid* LockSerialIDGrid = nullptr;
    QPushButton *BitBtn3 = nullptr, *BitBtn4 = nullptr; // " &Add Lock", " &Save"
    QLineEdit *Edit4 = nullptr, *Edit5 = nullptr, *Edit7 = nullptr; // serial, name, status
    QComboBox *ComboBox1 = nullptr, *ComboBox2 = nullptr; // location, lock type
    QLabel* StartNumberLabel = nullptr;
    QLineEdit* StartNumberEdit = nullptr;
    QPushButton* ExportToExcelButton = nullptr;
    // ---- Setup registration, key dump and firmware ----
    uint8_t SetupClassroomFlag = 0; // page 0 byte 28 of the last New Lock Setup key ('Z': classroom)
    int NewLockStatusID = 0; // the schedule shown in "Lock Status:" (Edit7)
    void LockSerialID_QueryAfterScroll();
    void BitBtn3Click(); // " &Add Lock"
    void BitBtn4Click(); // " &Save"
    void Edit7Enter(); // "Lock Status:" entered or double-clicked
    void rebuildLocationList();
    // The lock schedule window in pick mode; tests may put a stand-in here.
    std::function<void()> runLockStatusPicker;
    class ServiceBlock; // a service function running: no read, no close, buttons off
    void wireServiceHandlers(); // the setup panel's, the key dump's and the firmware group's
    void wireSetupPanel();
    void Button1Click(); // "Export To Excel": the lock list of the setup key
    std::filesystem::path KeyDumpFile { "Information.Txt" }; // relative: the current folder
    std::filesystem::path LastLockListExport; // the workbook the last lock list export wrote
    // "Upgrade Lock Program" (UpgradeGroup): a lock program image written onto a DS1977.
    QLineEdit *Edit8 = nullptr, *Edit9 = nullptr, *Edit10 = nullptr; // start, end, version
    QLabel *Label96 = nullptr, *Label92 = nullptr; // upgrade file name, "File Name:"
    QPushButton *Button2 = nullptr, *Button3 = nullptr; // "Load File", "Write File"
    std::string FirmwarePath;
    std::unique_ptr<std::array<std::array<uint8_t, 64>, 511>> FirmwareImage; // of the last Write File
    void Button2Click();
    void Button3Click();
    void buildUpgradeGroup();
    // The hardware and software versions the Lock Information tab shows.
    QString lockHardwareVersionText() const;
    QString lockSoftwareVersionText() const;
    // The file dialog of Load File: (preset file name, filter, folder) -> chosen path, empty
    // when cancelled. Tests put a stand-in here.
    std::function<QString(const QString&, const QString&, const QString&)> chooseFirmwareFile;
    // Panel 4: lock settings
    QTabWidget* PageControl1 = nullptr;
    QGroupBox* UpgradeGroup = nullptr; // "Upgrade Lock Program"
    TDBGrid *TimeGroupGrid = nullptr, *DBGrid7 = nullptr, *DBGrid6 = nullptr;
    // ---- Get Information report and export ----
    QLabel* Label17 = nullptr; // the "Lock Serial ID:" value of the Lock Information tab
    QLabel *LockStatusNameInLock = nullptr, *LockStatusNameInDB = nullptr; // schedule name captions
    QLabel* lockInfoLabel(const QString& caption) const; // a value label of the Lock Information tab
    void BitBtn2Click(); // " &Export Data"
    // Weekday colours of DBGrid7 and DBGrid6 (DBGrid7DrawColumnCell, DBGrid6DrawColumnCell).
    static void lockStatusCellColour(const TMemoryDataSet& ds, int row, const TDbField& field, CellColours& c);
    void setUpGetInformation();
    bool showLockInformationPages();
    void openLockSettingsQueries();
    void showModeInForce();
    void writeAuditReport(workbook::Sheet& sheet);
    void writeGetInformationReport(workbook::Sheet& sheet);
    std::map<QString, QLabel*> lockInfoLabels_;
    std::optional<DateTime> getInfoLockTime_;
    // Panel 6: single-lock audit
    QLabel *Label40 = nullptr, *Label42 = nullptr, *Label44 = nullptr, *Label46 = nullptr, *Label48 = nullptr,
           *Label50 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    TDBGrid* DBGrid16 = nullptr;
    // Panel 7: clock key
    QLabel* Label53 = nullptr; // Time In Key
    // Panel 8: multi-lock audit
    QLabel *Label65 = nullptr, *Label67 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    TDBGrid* DBGrid18 = nullptr;

    // Seams for the decoders of later issues.
    void runGetInformationReport(); // after the Get Information title

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class keyreading::InputBlock;
    void buildLayout();
    QWidget* buildUserPanel();
    QWidget* buildSetupPanel();
    QWidget* buildLockSettingsPanel();
    QWidget* buildAuditPanel();
    QWidget* buildMultiLockPanel();
    void readSteps();
    void readClockKey(const std::string& family);
    void readUserKey(const std::string& serialId);
    void readMissionKey();
    void readAuditKey(const MissionKeyPage& page0);
    void readMultiLockAuditKey(const MissionKeyPage& page0);
    void showNewLockSetup(const MissionKeyPage& page0);
    bool readPage(int page, MissionKeyPage& out);
    bool facilityMatches(const MissionKeyPage& page0, std::size_t offset) const;
    void reopenTempRecords();
    void showNoAuditRows(int panel);
    void appendRows(const std::vector<AuditRow>& rows);
    std::vector<AuditRow> decodePage(const MissionKeyPage& page, const RecordPagePlan& plan, int pageIndex,
        const AuditLockInfo& lock, int& trailEntryCount);
    void setButtonsEnabled(bool on);
    void userLockChanged();
    void saveAuditRows();

    int busy_ = 0;
    int panel_ = -1;
    std::unique_ptr<keyreading::DbAuditLookup> lookup_;
};

extern TReadCard_Form* ReadCard_Form;

namespace keyreading {
// The system's date-time text, for every date-time the window shows or exports.
using shell::dateTimeText;
using shell::timeText;
} // namespace keyreading
