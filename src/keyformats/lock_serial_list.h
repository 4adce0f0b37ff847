#pragma once
// The locks a WRITE key is meant for: eight ROM ids (ROM order) to a page from page 352.
#include "keyformats/mission_key.h"

#include "bytes/codec.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

inline constexpr int kLockSerialListFirstPage = 352;
inline constexpr std::size_t kLocksPerPage = 8;
inline constexpr std::size_t kMaxListedLocks = (kLastKeyPage - kLockSerialListFirstPage + 1) * kLocksPerPage; // 1,272

// A lock's SerialID text in ROM order (family code first); nullopt unless it is 16
// upper-case hex digits.
std::optional<RomId> lockRomFromSerialText(std::string_view serialId);

// The pages as a writer writes them from page 352: lock k (from 1) at page (k - 1) / 8,
// byte 8 * ((k - 1) % 8); the page being filled is written after the last lock, so a count
// that is a multiple of eight ends with a page of FFh (no locks: one page of FFh) - unless
// that page would lie past page 510. More than 1,272 locks: std::length_error. A lock
// whose serial text is not a ROM id keeps its eight bytes FFh.
std::vector<MissionKeyPage> LockSerialList(const std::vector<std::string>& serialIds);
