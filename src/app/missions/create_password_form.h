#pragma once
// The Remote Code window: issues remote access codes for a lock ("Create Code") and withdraws
// issued codes with a Delete Code Key ("Delete Code").
#include "app/shell/db_grid.h"
#include "app/shell/shell_form.h"
#include "dataaccess/dataaccess.h"
#include "keyaccess/key_io.h"
#include "keyformats/delete_code_key.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class TWhichLock_Form;

class TCreatePassword_Form : public ShellForm {
    Q_OBJECT
public:
    // db: the connection to work on; null takes the login window's.
    explicit TCreatePassword_Form(QWidget* parent = nullptr, TDbConnection* db = nullptr);
    ~TCreatePassword_Form() override;

    void FormCreate();
    void Edit1Enter();
    void sbMakeCardClick();
    void BitBtn1Click();
    void sbQueryClick();
    void DBGrid2CellClick(const QModelIndex& index);
    void DBGrid2KeyDown(int key);
    void DBGrid2ColEnter();
    void DBGrid2ColExit();
    void DBGrid2TitleClick(int column);
    void Query4AfterPost();
    void Query4UpdateRecord(TUpdateKind kind, TUpdateAction& action);
    void BitBtn2Click();
    bool WriteMultipleMissionCard();
    bool WriteLockSetup();
    void MonthCalendar1Click() {}
    void FormClose() override;

    // Page "Create Code".
    QTabWidget* PageControl1 = nullptr;
    QLineEdit* Edit1 = nullptr;     // lock name (read-only)
    QComboBox* ComboBox1 = nullptr; // code type
    QLineEdit* Edit2 = nullptr;     // guest first name
    QLineEdit* Edit3 = nullptr;     // guest last name
    QCalendarWidget* MonthCalendar1 = nullptr; // start date
    QCalendarWidget* MonthCalendar2 = nullptr; // end date
    QComboBox* ComboBox2 = nullptr; // start time
    QComboBox* ComboBox3 = nullptr; // end time
    QLabel* lbLockName = nullptr;
    QLabel* lbAccessCode = nullptr;
    QLabel* lbFirstName = nullptr;
    QLabel* lbLastName = nullptr;
    QLabel* lbStartDate = nullptr;
    QLabel* lbEndDate = nullptr;
    QLabel* lbDateCreated = nullptr;
    QLabel* lbCreatedBy = nullptr;
    QLabel* lbVersion = nullptr;       // "Access Code Version:"
    QLabel* lbLockLocation = nullptr;  // hidden: the picked lock's location for Print
    QPushButton* sbMakeCard = nullptr; // "Create Code"
    QPushButton* BitBtn1 = nullptr;    // "Print"

    // Page "Delete Code".
    TDBGrid* DBGrid2 = nullptr;
    QCheckBox* CheckBox1 = nullptr; // Start Date
    QCheckBox* CheckBox2 = nullptr; // End Date
    QCheckBox* CheckBox3 = nullptr; // Date Created
    QCheckBox* CheckBox4 = nullptr; // Code Type
    QCheckBox* CheckBox5 = nullptr; // Lock Name
    QCheckBox* CheckBox6 = nullptr; // Lock Location
    QCheckBox* CheckBox7 = nullptr; // Created By
    QDateTimeEdit* DateTimePicker1 = nullptr; // start date from / to
    QDateTimeEdit* DateTimePicker2 = nullptr;
    QDateTimeEdit* DateTimePicker3 = nullptr; // end date from / to
    QDateTimeEdit* DateTimePicker4 = nullptr;
    QDateTimeEdit* DateTimePicker5 = nullptr; // date created from / to
    QDateTimeEdit* DateTimePicker6 = nullptr;
    QComboBox* ComboBox4 = nullptr; // "One Time Code", "Temporary Code"
    QComboBox* ComboBox5 = nullptr; // lock names
    QComboBox* ComboBox6 = nullptr; // lock locations
    QComboBox* ComboBox7 = nullptr; // operators
    QPushButton* sbQuery = nullptr; // "Search"
    QPushButton* BitBtn2 = nullptr; // "Issue Key"
    QCheckBox* CheckBox8 = nullptr; // "Clear Deleted Code Memory"
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* sbExit = nullptr;  // "Close"

    TDbQuery Query1;  // the picked lock
    TDbQuery Query2;  // codes already issued for a lock, type and period
    TDbTable Table1;  // AccessCode, appended to
    TDbQuery Query3;  // the search
    TDbQuery Query4;  // the grid over TempAccessCode (cached updates)
    TDbUpdateSQL UpdateSQL1;
    TDbDataSource DataSource2;
    TDbQuery Query5;  // scratch rows ticked for the key
    TDbQuery Query6;  // scratch table writes and the deleted marks

    // The page buffer, write result and key addressed of the page writer.
    KeyIo keyIo;
    std::string LockSerialID; // the lock the Delete Code Key is written for

    // How the lock picker is shown (modally by default); tests act on it instead.
    std::function<void(TWhichLock_Form&)> showLockPicker;
    // The Print template: the shipped "AccessCodeReport.xlsx" in the current folder, else
    // beside the program.
    std::filesystem::path TemplateFile;
    // The current date-time (tests fix it).
    std::function<DateTime()> now;

private:
    struct CreatedCode {
        std::string accessCode, lockName, lockLocation, startDate, endDate;
    };
    std::optional<CreatedCode> lastCode_;
    std::vector<DeletedCode> selectedCodes_;
    bool picking_ = false;
    QAbstractItemView::EditTriggers savedTriggers_ {};
    bool booleanColumn_ = false;
    QAbstractItemDelegate* tickDelegate_ = nullptr;   // Selected: a check box
    QAbstractItemDelegate* colourDelegate_ = nullptr; // HasDeleted: its colour only

    TDbConnection* db_;
    void buildCreatePage(QWidget* page);
    void buildDeletePage(QWidget* page);
    void arrangeGridColumns();
    bool isBooleanColumn(int column) const;
    void toggleBoolean(int row, int column);
    void paintDeletedCell(const TMemoryDataSet& ds, int row, const TDbField& field, CellColours& colours) const;
    void markCodesDeleted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern TCreatePassword_Form* CreatePassword_Form;

// The caption of its menu item and tool button.
inline constexpr const char* kRemoteCodeItem = "Remote Code";

// The template file the Print button fills, looked for in the current folder, then in the
// program's folder; the current folder's path when it is in neither.
std::filesystem::path accessCodeTemplatePath();
