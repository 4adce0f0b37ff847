#pragma once
// The login window: it owns the program's one database connection and keeps who is logged in.
#include "dataaccess/db_connection.h"

#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;

class TLogin_Form : public QDialog {
    Q_OBJECT
public:
    // Opens DbConnection1 on the database file (EDatabaseError when it cannot).
    explicit TLogin_Form(const std::string& databaseFile = "iOstrivaneDB.db", QWidget* parent = nullptr);
    ~TLogin_Form() override;

    TDbConnection DbConnection1;
    static inline QString OperatorName;
    static inline int OperatorLevel = 0; // 0 before login, 1 Operator, 2 Administrator

    static constexpr int kMaxAttempts = 3;
    int failedAttempts() const { return failures_; }

    QLineEdit* Edit1 = nullptr; // user name
    QLineEdit* Edit2 = nullptr; // password
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // Cancel

    void BitBtn1Click();
    void BitBtn2Click();

private:
    int failures_ = 0;
};

extern TLogin_Form* Login_Form;

// The given connection, else the login window's; std::logic_error when there is neither.
TDbConnection* connectionOr(TDbConnection* db);

// The level of the Admin row with this name and password, or nothing.
std::optional<int> checkOperator(TDbConnection& db, const std::string& name, const std::string& password);
