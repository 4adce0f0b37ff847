#pragma once
// The key dump: every page of a DS1977 as hexadecimal text, three CR LF lines a page.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::string_view kKeyDumpFileName = "Information.Txt";

// "Page <p>", bytes 0-31 and bytes 32-63 of the page, each byte as two upper-case hex digits
// and a blank; every line ends in CR LF.
std::string keyDumpPageText(int page, std::span<const uint8_t, 64> bytes);
