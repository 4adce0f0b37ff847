#pragma once
// A simulated lock kept in a small text file between runs of the command-line tool: its
// serial, site, clock, audit log and what it remembers between the two keys of a long trail.
#include "locksim/sim_lock.h"

#include <filesystem>
#include <optional>
#include <string>

namespace locksim {

struct LockFileResult {
    std::optional<SimLock> lock;
    std::string error;
};

LockFileResult loadLockFile(const std::filesystem::path& path);
bool saveLockFile(const std::filesystem::path& path, const SimLock& lock, std::string* error = nullptr);

// "2026-12-06 10:20:30" (or with a T); nullopt for anything else.
std::optional<Time> parseTime(std::string_view text);
std::string formatTime(Time t);

// The host's local time now, whole seconds.
Time localNow();

// A plausible day-to-day log ending at the lock's clock: keys and codes opening and closing,
// the lock closing itself, now and then a refused access.
void generateEvents(SimLock& lock, int count, const std::vector<Rom>& userKeys,
                    const std::vector<std::string>& codes, unsigned seed);

} // namespace locksim
