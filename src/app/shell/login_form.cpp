#include "app/shell/login_form.h"

#include "app/shell/window_routines.h"
#include "dataaccess/dataaccess.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdexcept>

TLogin_Form* Login_Form = nullptr;

TDbConnection* connectionOr(TDbConnection* db)
{
    if (db)
        return db;
    if (Login_Form)
        return &Login_Form->DbConnection1;
    throw std::logic_error("No database connection");
}

TLogin_Form::TLogin_Form(const std::string& databaseFile, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Login_Form"));
    setWindowTitle(QStringLiteral("Login"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setEchoMode(QLineEdit::Password);
    BitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("&Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User Name:"), Edit1);
    form->addRow(QStringLiteral("Password:"), Edit2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TLogin_Form::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TLogin_Form::BitBtn2Click);

    OperatorName.clear();
    OperatorLevel = 0;
    DbConnection1.Open(databaseFile);
    Login_Form = this;
}

TLogin_Form::~TLogin_Form()
{
    if (Login_Form == this)
        Login_Form = nullptr;
    DbConnection1.Close();
}

void TLogin_Form::BitBtn1Click()
{
    const std::string name = Edit1->text().trimmed().toStdString();
    const std::optional<int> level = checkOperator(DbConnection1, name, Edit2->text().toStdString());
    if (level) {
        OperatorName = QString::fromStdString(name);
        OperatorLevel = *level;
        accept();
        return;
    }
    ++failures_;
    if (failures_ >= kMaxAttempts) {
        MyError("Login failed three times, the program will end.");
        reject();
        return;
    }
    MyError("Wrong user name or password, please try again.");
    Edit2->clear();
    Edit2->setFocus();
}

void TLogin_Form::BitBtn2Click() { reject(); }

std::optional<int> checkOperator(TDbConnection& db, const std::string& name, const std::string& password)
{
    if (name.empty())
        return std::nullopt;
    TDbQuery q(&db);
    q.SQL = { "SELECT Level FROM Admin", "WHERE UserName = :UserName AND Password = :Password" };
    q.ParamByName("UserName").AsString(name);
    q.ParamByName("Password").AsString(password);
    q.Open();
    if (q.RecordCount() == 0)
        return std::nullopt;
    const int level = static_cast<int>(q.FieldByName("Level").AsInteger());
    if (level < 1 || level > 2)
        return std::nullopt;
    return level;
}
