#pragma once
// Page 0 of each mission key as the program's writers lay it out, so that the tool can
// make keys of every kind without the program (demos, and reading tests of the Read Key window).
#include "locksim/sim_lock.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace locksim {

enum class MissionKind {
    NewLockSetup, // WRITE 0
    Lockout, // WRITE 1
    KeyManagement, // WRITE 2
    MultiLock, // WRITE 3
    SetTimeTable, // WRITE 3, byte 63 AAh
    GetInformation, // READ 00h
    GetAuditTrail, // READ 01h
    TrailFirst, // READ 02h
    TrailSecond, // READ 03h
    MultiLockAuditTrail, // READ FBh
    SetParameter, // READ FEh
    IrStarter, // READ FFh
};

struct SetupOptions {
    uint8_t motorPulse = 10; // tenths of a second
    uint8_t lockBack = 50;
    bool daylightSaving = false;
    bool blink = false;
    bool classroom = false;
    Time written {};
};

// Page 0 of a key of that kind. recordsPerLock is used by the audit-trail kinds.
Page missionHeader(MissionKind kind, const std::array<uint8_t, 3>& facility, int recordsPerLock = 0,
                   const SetupOptions& setup = {});

// Page 1 as the writer leaves it (only the kinds that write one), else nullopt.
std::optional<Page> missionPage1(MissionKind kind);

// Names used by the command-line tool ("get-audit-trail", ...).
std::optional<MissionKind> missionKindByName(std::string_view name);
std::vector<std::string> missionKindNames();

// The six digits of a facility code to its three bytes: "123456" to 12h 34h 56h. A site's
// code is taken as its Config.dat holds it, so hexadecimal digits are taken too.
std::optional<std::array<uint8_t, 3>> facilityFromText(std::string_view digits);

} // namespace locksim
