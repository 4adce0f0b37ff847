#pragma once
// The audit decoder's look-ups of users, key codes and guest codes, on the database.
#include "dataaccess/dataaccess.h"
#include "keyformats/audit_records.h"

#include <chrono>

namespace keyreading {

class DbAuditLookup : public AuditLookup {
public:
    explicit DbAuditLookup(TDbConnection* connection);
    std::optional<AuditKeyUser> userBySerialId(const std::string& serialId) override;
    std::optional<AuditKeyUser> userByKeyCode(const std::string& keyCode) override;
    std::optional<AuditGuest> guestByCodeString(const std::string& codeString) override;

    std::chrono::nanoseconds elapsed {}; // time spent in the look-ups

private:
    TDbQuery bySerial_, byCode_, guest_;
};

} // namespace keyreading
