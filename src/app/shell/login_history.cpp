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

int startLoginHistory(TDbConnection& db, const std::string& operatorName)
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
        q.SQL = { "INSERT INTO LoginHistory (ID, UserName, LoginTime)", "VALUES (:ID, :UserName, :LoginTime)" };
        q.ParamByName("ID").AsInteger(id);
        q.ParamByName("UserName").AsString(operatorName);
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
