#include "app/shell/login_history.h"

#include "dataaccess/dataaccess.h"

#include <ctime>

namespace {
DateTime now()
{
    const std::time_t t = std::time(nullptr);
    std::tm lt {};
    localtime_r(&t, &lt);
    return db::makeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
}
} // namespace

int startLoginHistory(TDbConnection& db, const std::string& operatorName, int operatorLevel)
{
    db.StartTransaction();
    try {
        TDbQuery q(&db);
        q.SQL = "UPDATE LoginHistory SET LogoutTime = LoginTime WHERE LogoutTime IS NULL";
        q.ExecSQL();
        q.SQL = "SELECT MAX(ID) AS MaxID FROM LoginHistory";
        q.Open();
        const int id = static_cast<int>(q.FieldByName("MaxID").AsInteger()) + 1;
        q.Close();
        q.SQL = { "INSERT INTO LoginHistory (ID, UserName, Level, LoginTime)", "VALUES (:ID, :UserName, :Level, :LoginTime)" };
        q.ParamByName("ID").AsInteger(id);
        q.ParamByName("UserName").AsString(operatorName);
        q.ParamByName("Level").AsInteger(operatorLevel);
        q.ParamByName("LoginTime").AsDateTime(now());
        q.ExecSQL();
        db.Commit();
        return id;
    } catch (...) {
        db.Rollback();
        throw;
    }
}

void endLoginHistory(TDbConnection& db, int historyId)
{
    TDbQuery q(&db);
    q.SQL = "UPDATE LoginHistory SET LogoutTime = :LogoutTime WHERE ID = :ID";
    q.ParamByName("LogoutTime").AsDateTime(now());
    q.ParamByName("ID").AsInteger(historyId);
    q.ExecSQL();
}

std::string mainWindowTitle(TDbConnection& db)
{
    TDbQuery q(&db);
    q.SQL = "SELECT TitleName FROM TitleName";
    q.Open();
    const std::string title = q.RecordCount() > 0 ? q.FieldByName("TitleName").AsString() : std::string();
    return title.empty() ? std::string("iOstrivane") : title;
}

bool isUserKeySerial(TDbConnection& db, const std::string& romId)
{
    TDbQuery q(&db);
    q.SQL = "SELECT KeyID FROM KeyManagement WHERE SerialID = :SerialID";
    q.ParamByName("SerialID").AsString(romId);
    q.Open();
    return q.RecordCount() > 0;
}
