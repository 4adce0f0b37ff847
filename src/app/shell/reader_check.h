#pragma once
// The start-up reader check: the reader's own id chip on the given port.
#include <cstdint>
#include <string>

// The id chip's ROM id as 16 upper-case hex digits (byte 7 first), or empty when no reader
// answers on the port.
std::string findReaderRomId(uint8_t portNum, uint8_t portType);
