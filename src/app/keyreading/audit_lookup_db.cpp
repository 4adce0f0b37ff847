#include "app/keyreading/audit_lookup_db.h"

namespace keyreading {

namespace {
class Timed {
public:
    explicit Timed(std::chrono::nanoseconds& total)
        : total_(total)
        , start_(std::chrono::steady_clock::now())
    { }
    ~Timed() { total_ += std::chrono::steady_clock::now() - start_; }

private:
    std::chrono::nanoseconds& total_;
    std::chrono::steady_clock::time_point start_;
};

std::string text(const TDbField& f)
{
    return f.IsNull() ? std::string() : f.AsString();
}

AuditKeyUser userOf(TDbQuery& q)
{
    AuditKeyUser u;
    u.FirstName = text(q.FieldByName("FirstName"));
    u.LastName = text(q.FieldByName("LastName"));
    u.Status = text(q.FieldByName("Status"));
    if (!q.FieldByName("Department").IsNull())
        u.Department = q.FieldByName("Department").AsString();
    return u;
}
} // namespace

DbAuditLookup::DbAuditLookup(TDbConnection* connection)
    : bySerial_(connection)
    , byCode_(connection)
    , guest_(connection)
{
    bySerial_.SQL = { "SELECT A.SerialID,A.FirstName,A.LastName,A.Status,A.Department,A.KeyID",
        "FROM KeyManagement AS A", "WHERE A.SerialID = :SerialID1" };
    byCode_.SQL = { "SELECT * FROM KeyManagement", "WHERE KeyCode = :KeyCode" };
    guest_.SQL = { "SELECT * FROM AccessCode", "WHERE CodeString = :CodeString" };
}

std::optional<AuditKeyUser> DbAuditLookup::userBySerialId(const std::string& serialId)
{
    Timed timed(elapsed);
    bySerial_.Close();
    bySerial_.ParamByName("SerialID1").AsString(serialId);
    bySerial_.Open();
    if (bySerial_.IsEmpty())
        return std::nullopt;
    return userOf(bySerial_);
}

std::optional<AuditKeyUser> DbAuditLookup::userByKeyCode(const std::string& keyCode)
{
    Timed timed(elapsed);
    if (keyCode.empty()) // an empty code must never match a user without one
        return std::nullopt;
    byCode_.Close();
    byCode_.ParamByName("KeyCode").AsString(keyCode);
    byCode_.Open();
    if (byCode_.IsEmpty())
        return std::nullopt;
    return userOf(byCode_);
}

std::optional<AuditGuest> DbAuditLookup::guestByCodeString(const std::string& codeString)
{
    Timed timed(elapsed);
    if (codeString.empty())
        return std::nullopt;
    guest_.Close();
    guest_.ParamByName("CodeString").AsString(codeString);
    guest_.Open();
    if (guest_.IsEmpty())
        return std::nullopt;
    return AuditGuest { text(guest_.FieldByName("GuestFirstName")),
        text(guest_.FieldByName("GuestLastName")) };
}

} // namespace keyreading
