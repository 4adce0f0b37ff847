#pragma once
// The Lock Maintenance window, as far as its parameter options and its one-off code table go:
// the hidden option controls that keyboard shortcuts show, the keystroke filters of the new
// lock id and of the one-off code grid, and saving and clearing one-off codes.
#include "app/shell/shell_form.h"
#include "dataaccess/db_dataset.h"
#include "dataaccess/db_datasource.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TDBGrid;

class TSingleMissionCard_Form : public ShellForm {
    Q_OBJECT
public:
    explicit TSingleMissionCard_Form(TDbConnection* connection, QWidget* parent = nullptr);
    ~TSingleMissionCard_Form() override;

    void BitBtn1Click(); // Alt+A: motor pulse time
    void BitBtn4Click(); // Alt+R: change lock id
    void BitBtn5Click(); // Alt+M: change lock level
    void BitBtn7Click(); // Alt+S: the System Code Key page
    void CheckBox1Click();
    void CheckBox3Click();
    void CheckBox5Click();
    void BitBtn3Click(); // Save
    void BitBtn6Click(); // Clear

    // The keystroke filters: the character to pass on (possibly changed), or 0 to discard it.
    static char ComboBox2KeyPress(char key);
    static char DBGrid3KeyPress(char key);

    QTabWidget* PageControl1 = nullptr;
    int systemCodePage = -1;
    int loadTimeTablePage = -1;

    QLabel* Label3 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QRadioButton* RadioButton7 = nullptr;
    QRadioButton* RadioButton8 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QComboBox* ComboBox1 = nullptr;

    QPushButton* sbMakeCard = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QPushButton* sbExit = nullptr;

    TDbTable OneOffCode_Table;
    TDbDataSource OneOffCode_DataSource;
    TDBGrid* DBGrid3 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn6 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void postCurrentRow(bool clearCode);
};
