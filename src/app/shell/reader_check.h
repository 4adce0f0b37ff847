#pragma once
// The start-up reader check: the reader's own id chip on the given port.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The family-01h devices on the port's bus (16 upper-case hex digits each, byte 7 first), in
// search order; empty when no reader answers.
std::vector<std::string> findIdChips(uint8_t portNum, uint8_t portType);

// The reader's id chip among them. A user's iButton is family 01h as well, so a chip that
// is a known user key (isUserKey) is passed over while another one answers; with only user
// keys the first chip is taken, as the reader would report it. Empty when none answers.
std::string findReaderRomId(uint8_t portNum, uint8_t portType, const std::function<bool(const std::string&)>& isUserKey = {});
