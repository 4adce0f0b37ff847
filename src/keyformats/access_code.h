#pragma once
// Remote access codes: the digits a guest types on a lock's keypad, enciphered with the lock's
// serial ID as the key. Nothing is carried to the lock; it recomputes the block itself.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// Digits 10 (short form) or 12 (long form). The caller has validated the inputs (end not before
// start, span at most 366 days, version 0-3); out-of-range values are cut to their field widths
// and never read or write out of bounds. See AccessCodeRegisters::loadKey for serial text rules.
std::string MakeAccessCode(std::string_view serialId, int codeType, std::chrono::year_month_day startDate,
                           int startHour, std::chrono::year_month_day endDate, int endHour, int version);

// The three byte registers of the cipher (byte 0 most significant in each).
struct AccessCodeRegisters {
    std::array<uint8_t, 5> CsrInput {}; // plain block: 4 bytes (short) or 5 (long)
    std::array<uint8_t, 6> Csr {}; // cipher output, then the check byte
    std::array<uint8_t, 8> KeyRegister {}; // the 64-bit key, ROM order (family code first)

    // Byte k = hex digits 15-2k and 16-2k of the 16-digit serial text. A digit that is missing
    // (short text) or not a hex digit counts as 0; lower-case a-f count as upper case.
    void loadKey(std::string_view serialId);

    void Decryp1(); // CsrInput[0..3] -> Csr[0..3], 32-bit block
    void Decryp2(); // CsrInput[0..4] -> Csr[0..4], 40-bit block
    void LeftCsr(); // rotate Csr[0..3] left by one bit
    void LeftCsr2(); // rotate Csr[0..4] left by one bit
    void LeftPassword(); // rotate KeyRegister left by one bit
};

// The inputs reduced to the plain block, before any cipher.
struct AccessCodeBlock {
    bool longForm = false;
    std::array<uint8_t, 5> plain {}; // 4 bytes used by the short form
    int startYear = 0; // years since 2000, kept to 8 bits
    int endYear = 0;
};
AccessCodeBlock accessCodeBlock(int codeType, std::chrono::year_month_day startDate, int startHour,
                                std::chrono::year_month_day endDate, int endHour, int version);

// The coded bytes (5 short, 6 long) before they are turned into digits, computed on the caller's
// registers as the Remote Code window holds them. KeyRegister is left as loaded.
struct AccessCodeBytes {
    std::array<uint8_t, 6> bytes {};
    int count = 0;
};
AccessCodeBytes accessCodeBytes(AccessCodeRegisters& regs, std::string_view serialId, const AccessCodeBlock& block);

// Two digits per byte, high nibble first; nibbles 10-15 give 0-5.
std::string accessCodeDigits(const AccessCodeBytes& coded);

// The Remote Code window's check on a lock serial ID: exactly 16 hex digits.
bool isAccessCodeSerialId(std::string_view serialId);
