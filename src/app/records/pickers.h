#pragma once
// The pickers other windows open modally: the lock picker and the pick modes of the lock
// schedule, time-shift and activation/expiration windows. Each is created by the caller,
// shown modally and freed by the caller; what was picked is left in SettingsRecord.
#include "app/shell/db_grid.h"
#include "dataaccess/dataaccess.h"

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

// The grid of rows to choose from, with Select and Close; a double click selects.
class TPickerForm : public QDialog {
    Q_OBJECT
public:
    TPickerForm(QWidget* owner, TDbConnection* db);

    TDbQuery Query1;
    TDbDataSource DataSource1;
    TDBGrid* DBGrid1 = nullptr;
    QPushButton* BitBtn1 = nullptr; // " &Select"
    QPushButton* BitBtn2 = nullptr; // " &Close"

    virtual void BitBtn1Click() = 0; // Select
    virtual void BitBtn2Click();     // Close
    void DBGrid1DblClick() { BitBtn1Click(); }

protected:
    QWidget* body_ = nullptr; // filters and detail grids go here
    TDbConnection* db_;
};

class TWhichLock_Form : public TPickerForm {
    Q_OBJECT
public:
    explicit TWhichLock_Form(QWidget* owner = nullptr, TDbConnection* db = nullptr);

    QLineEdit* Edit1 = nullptr;     // lock name filter
    QLineEdit* Edit2 = nullptr;     // location filter
    QComboBox* ComboBox1 = nullptr; // type filter: "All", "iButton", "Access Code"

    void FilterChange(); // reopens the list with the filters
    void BitBtn1Click() override;
    void BitBtn2Click() override;
    void done(int result) override;
};

// A picker whose rows each have lines: DBGrid2 shows the lines of Query1's current row,
// Query2 selecting them by the parameter named like Query1's key field.
class TDetailPickerForm : public TPickerForm {
    Q_OBJECT
public:
    TDetailPickerForm(QWidget* owner, TDbConnection* db, std::string keyField);
    TDbQuery Query2;
    TDbDataSource DataSource2;
    TDBGrid* DBGrid2 = nullptr;
    void Query1AfterScroll();

protected:
    bool picked_ = false;

private:
    std::string keyField_;
};

// The lock schedule window in pick mode (PickLockStatusMode = 1): the schedules and their
// LockStatusST lines; Select hands over PickedLockStatusID and PickedLockStatusName.
class TLockModeSetting_Form : public TDetailPickerForm {
    Q_OBJECT
public:
    explicit TLockModeSetting_Form(QWidget* owner = nullptr, TDbConnection* db = nullptr);
    void BitBtn1Click() override;
    void done(int result) override;
};

// The time-shift window in pick mode (PickTimeShiftMode = 1): the groups and their
// TimeShift rows.
class TTimeShiftSetting_Form : public TDetailPickerForm {
    Q_OBJECT
public:
    explicit TTimeShiftSetting_Form(QWidget* owner = nullptr, TDbConnection* db = nullptr);
    void BitBtn1Click() override;
    void done(int result) override;
};

// The activation/expiration window in pick mode (PickActExpMode = 1).
class TActExpDateSetting_Form : public TPickerForm {
    Q_OBJECT
public:
    explicit TActExpDateSetting_Form(QWidget* owner = nullptr, TDbConnection* db = nullptr);
    void BitBtn1Click() override;
    void done(int result) override;

private:
    bool picked_ = false;
};

// The lock setup window's Read Key button: the Read Key window, owned by owner, run as a
// modal window until it is closed, then freed. False when no Read Key window is registered.
bool runReadKeyWindowUnder(QWidget* owner);
