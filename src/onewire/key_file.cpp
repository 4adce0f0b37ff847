#include "onewire/key_file.h"

#include "bytes/crc.h"
#include "fileio/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace onewire {

namespace {

constexpr std::string_view kMagic = "ibutton-key";
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxMemLineBytes = 64;

std::size_t chunkSizeOf(uint8_t family)
{
    return family == kFamilyDS1994 ? kDS1994PageSize : kDS1977PageSize;
}

// Bytes of the address space that are not kept in mem lines.
bool isClockByte(uint8_t family, std::size_t address)
{
    return family == kFamilyDS1994 && address >= kDS1994ClockAddress && address < kDS1994ClockAddress + 5;
}

Bytes blankMemory(uint8_t family)
{
    Bytes m(memorySizeOf(family), 0xFF);
    if (family == kFamilyDS1994) {
        // Registers: alarms disabled (enables are active low), oscillator off, counters 0.
        std::fill(m.begin() + kDS1994StatusAddress, m.end(), 0x00);
        m[kDS1994StatusAddress] = 0x38;
    }
    return m;
}

std::vector<std::string_view> tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t')
            ++j;
        if (j > i)
            out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

template <typename T> bool parseNumber(std::string_view s, T& v, int base = 10)
{
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return ec == std::errc() && p == s.data() + s.size();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseHexBytes(std::string_view s, Bytes& out)
{
    if (s.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = hexValue(s[i]), lo = hexValue(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

KeyFileResult fail(std::size_t lineNo, const std::string& what)
{
    KeyFileResult r;
    if (lineNo) {
        r.error = "line ";
        r.error += std::to_string(lineNo);
        r.error += ": ";
    }
    r.error += what;
    return r;
}

} // namespace

RomId makeRomId(uint8_t family, uint64_t serial)
{
    RomId rom {};
    rom[0] = family;
    for (int i = 0; i < 6; ++i)
        rom[1 + i] = static_cast<uint8_t>(serial >> (8 * i));
    rom[7] = crc8(std::span<const uint8_t>(rom.data(), 7));
    return rom;
}

bool romIdValid(const RomId& rom)
{
    return crc8(rom) == 0;
}

std::size_t memorySizeOf(uint8_t family)
{
    switch (family) {
    case kFamilyDS1977:
        return kDS1977MemorySize;
    case kFamilyDS1994:
        return kDS1994MemorySize;
    default:
        return 0;
    }
}

KeyFile blankKey(const RomId& rom)
{
    KeyFile k;
    k.rom = rom;
    k.memory = blankMemory(rom[0]);
    return k;
}

KeyFile blankDS1977(const RomId& rom)
{
    RomId r = rom;
    r[0] = kFamilyDS1977;
    r[7] = crc8(std::span<const uint8_t>(r.data(), 7));
    return blankKey(r);
}

KeyFile blankDS1994(const RomId& rom)
{
    RomId r = rom;
    r[0] = kFamilyDS1994;
    r[7] = crc8(std::span<const uint8_t>(r.data(), 7));
    return blankKey(r);
}

KeyFile blankDS1904(const RomId& rom)
{
    RomId r = rom;
    r[0] = kFamilyDS1904;
    r[7] = crc8(std::span<const uint8_t>(r.data(), 7));
    return blankKey(r);
}

std::optional<Page> ds1977Page(const KeyFile& key, int page)
{
    if (key.family() != kFamilyDS1977 || page < 0 || page >= kDS1977UserPages
        || key.memory.size() != kDS1977MemorySize)
        return std::nullopt;
    Page p;
    std::copy_n(key.memory.begin() + page * kDS1977PageSize, kDS1977PageSize, p.begin());
    return p;
}

bool setDS1977Page(KeyFile& key, int page, std::span<const uint8_t, 64> bytes)
{
    if (key.family() != kFamilyDS1977 || page < 0 || page >= kDS1977UserPages
        || key.memory.size() != kDS1977MemorySize)
        return false;
    std::copy(bytes.begin(), bytes.end(), key.memory.begin() + page * kDS1977PageSize);
    return true;
}

void setDS1977Passwords(KeyFile& key, const std::array<uint8_t, 8>& readPassword,
                        const std::array<uint8_t, 8>& fullPassword, bool enabled)
{
    if (key.family() != kFamilyDS1977 || key.memory.size() != kDS1977MemorySize)
        return;
    std::copy(readPassword.begin(), readPassword.end(), key.memory.begin() + kDS1977ReadPasswordAddress);
    std::copy(fullPassword.begin(), fullPassword.end(), key.memory.begin() + kDS1977FullPasswordAddress);
    key.memory[kDS1977PasswordControlAddress] = enabled ? kDS1977PasswordsEnabled : 0x00;
}

bool ds1977PasswordsEnabled(const KeyFile& key)
{
    return key.family() == kFamilyDS1977 && key.memory.size() == kDS1977MemorySize
        && key.memory[kDS1977PasswordControlAddress] == kDS1977PasswordsEnabled;
}

bool setDS1994Page(KeyFile& key, int page, std::span<const uint8_t> bytes)
{
    if (key.family() != kFamilyDS1994 || page < 0 || page >= 16 || bytes.size() > kDS1994PageSize
        || key.memory.size() != kDS1994MemorySize)
        return false;
    std::copy(bytes.begin(), bytes.end(), key.memory.begin() + page * kDS1994PageSize);
    return true;
}

bool clockRunning(const KeyFile& key)
{
    if (key.family() == kFamilyDS1994 && key.memory.size() == kDS1994MemorySize)
        return (key.memory[kDS1994ControlAddress] & kDS1994OscillatorBit) != 0;
    if (key.family() == kFamilyDS1904)
        return (key.control & 0x0C) != 0; // bit 3 wins on a write; either set shows running
    return false;
}

void setClock(KeyFile& key, uint32_t seconds, bool running, int64_t now)
{
    key.clockSeconds = seconds;
    key.clockSetAt = now;
    if (key.family() == kFamilyDS1994 && key.memory.size() == kDS1994MemorySize) {
        uint8_t& c = key.memory[kDS1994ControlAddress];
        c = running ? (c | kDS1994OscillatorBit) : (c & ~kDS1994OscillatorBit);
    } else if (key.family() == kFamilyDS1904) {
        key.control = running ? (key.control | kDS1904Running) : (key.control & ~kDS1904Running);
    }
}

uint32_t clockAt(const KeyFile& key, int64_t now)
{
    if (!clockRunning(key) || now <= key.clockSetAt)
        return key.clockSeconds;
    // The difference may exceed int64_t (a file may give any reference time); unsigned
    // arithmetic gives it exactly, and the counter wraps at 32 bits as the part's does.
    const uint64_t elapsed = static_cast<uint64_t>(now) - static_cast<uint64_t>(key.clockSetAt);
    return static_cast<uint32_t>(key.clockSeconds + elapsed);
}

KeyFileResult parseKeyFile(std::string_view text)
{
    if (text.size() > kMaxKeyFileBytes)
        return fail(0, "file too large for a key file");
    bool sawMagic = false;
    std::optional<RomId> rom;
    std::optional<uint32_t> clockSeconds;
    int64_t clockSetAt = 0;
    std::optional<uint8_t> control;
    struct Mem {
        std::size_t line;
        std::size_t address;
        Bytes bytes;
    };
    std::vector<Mem> mems;

    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kMaxLine)
            return fail(lineNo, "line too long");
        const auto t = tokens(line);
        if (t.empty() || t[0][0] == '#')
            continue;
        if (!sawMagic) {
            if (t[0] != kMagic)
                return fail(lineNo, "not a key file (it must start with \"ibutton-key 1\")");
            int version = 0;
            if (t.size() != 2 || !parseNumber(t[1], version))
                return fail(lineNo, "bad version line");
            if (version != kKeyFileVersion)
                return fail(lineNo, "unsupported key file version " + std::string(t[1]));
            sawMagic = true;
            continue;
        }
        if (t[0] == "rom") {
            if (t.size() != 2 || rom)
                return fail(lineNo, "one \"rom <16 hex digits>\" line expected");
            rom = romIdFromText(t[1]);
            if (!rom)
                return fail(lineNo, "ROM id must be 16 hexadecimal digits");
            if (!romIdValid(*rom))
                return fail(lineNo, "ROM id has a bad CRC-8");
        } else if (t[0] == "clock") {
            uint32_t s = 0;
            if (clockSeconds || !(t.size() == 2 || (t.size() == 4 && t[2] == "at")) || !parseNumber(t[1], s))
                return fail(lineNo, "expected \"clock <seconds> [at <unix time>]\"");
            if (t.size() == 4 && !parseNumber(t[3], clockSetAt))
                return fail(lineNo, "bad clock reference time");
            clockSeconds = s;
        } else if (t[0] == "control") {
            uint8_t c = 0;
            if (control || t.size() != 2 || t[1].size() != 2 || !parseNumber(t[1], c, 16))
                return fail(lineNo, "expected \"control <2 hex digits>\"");
            control = c;
        } else if (t[0] == "mem") {
            std::size_t address = 0;
            Mem m { lineNo, 0, {} };
            if (t.size() < 3 || t[1].size() != 4 || !parseNumber(t[1], address, 16))
                return fail(lineNo, "expected \"mem <4 hex digit address> <hex bytes>\"");
            // The bytes may be split into groups by spaces.
            for (std::size_t i = 2; i < t.size(); ++i) {
                Bytes group;
                if (!parseHexBytes(t[i], group) || m.bytes.size() + group.size() > kMaxMemLineBytes)
                    return fail(lineNo, "a mem line carries 1 to 64 bytes as hex digit pairs");
                m.bytes.insert(m.bytes.end(), group.begin(), group.end());
            }
            if (m.bytes.empty())
                return fail(lineNo, "a mem line carries 1 to 64 bytes as hex digit pairs");
            m.address = address;
            mems.push_back(std::move(m));
        } else {
            return fail(lineNo, "unknown entry \"" + std::string(t[0].substr(0, 32)) + "\"");
        }
    }
    if (!sawMagic)
        return fail(0, "not a key file (empty)");
    if (!rom)
        return fail(0, "no rom line");

    KeyFile key = blankKey(*rom);
    const uint8_t family = key.family();
    if (clockSeconds) {
        if (family != kFamilyDS1994 && family != kFamilyDS1904)
            return fail(0, "a clock line on a key without a clock");
        key.clockSeconds = *clockSeconds;
        key.clockSetAt = clockSetAt;
    }
    if (control) {
        if (family != kFamilyDS1904)
            return fail(0, "a control line is only for family 24 keys");
        key.control = *control;
    }
    for (const Mem& m : mems) {
        if (key.memory.empty())
            return fail(m.line, "mem line on a key without memory");
        if (m.address >= key.memory.size() || m.bytes.size() > key.memory.size() - m.address)
            return fail(m.line, "mem line beyond the end of the key's memory");
        for (std::size_t i = 0; i < m.bytes.size(); ++i)
            if (!isClockByte(family, m.address + i))
                key.memory[m.address + i] = m.bytes[i];
    }
    KeyFileResult r;
    r.key = std::move(key);
    return r;
}

std::string formatKeyFile(const KeyFile& key)
{
    std::ostringstream out;
    const uint8_t family = key.family();
    out << "# iButton key file: one key of the emulated reader\n";
    out << kMagic << ' ' << kKeyFileVersion << '\n';
    out << "rom " << romIdText(key.rom) << '\n';
    if (family == kFamilyDS1994 || family == kFamilyDS1904)
        out << "clock " << key.clockSeconds << " at " << key.clockSetAt << '\n';
    if (family == kFamilyDS1904)
        out << "control " << hexByte(key.control) << '\n';
    const Bytes blank = blankMemory(family);
    if (key.memory.size() == blank.size()) { // saveKeyFile refuses any other size
        const std::size_t chunk = chunkSizeOf(family);
        for (std::size_t a = 0; a < key.memory.size(); a += chunk) {
            Bytes bytes(key.memory.begin() + a, key.memory.begin() + a + chunk);
            for (std::size_t i = 0; i < chunk; ++i)
                if (isClockByte(family, a + i))
                    bytes[i] = blank[a + i];
            if (std::equal(bytes.begin(), bytes.end(), blank.begin() + a))
                continue;
            char addr[24];
            std::snprintf(addr, sizeof addr, "%04zX", a);
            out << "mem " << addr << ' ';
            for (uint8_t b : bytes)
                out << hexByte(b);
            out << '\n';
        }
    }
    return out.str();
}

KeyFileResult loadKeyFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(0, "cannot open " + path.string());
    std::string text(kMaxKeyFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxKeyFileBytes)
        return fail(0, path.string() + ": file too large for a key file");
    KeyFileResult r = parseKeyFile(text);
    if (!r.key)
        r.error = path.string() + ": " + r.error;
    return r;
}

bool saveKeyFile(const std::filesystem::path& path, const KeyFile& key, std::string* error)
{
    auto setError = [&](const std::string& what) {
        if (error)
            *error = what;
        return false;
    };
    if (!romIdValid(key.rom))
        return setError(path.string() + ": the ROM id has a bad CRC-8");
    if (key.memory.size() != memorySizeOf(key.family()))
        return setError(path.string() + ": the memory does not fit a key of family " + hexByte(key.family()));
    try {
        fileio::writeFileReplacing(path, formatKeyFile(key));
    } catch (const fileio::FileError& e) {
        return setError(e.what());
    }
    return true;
}

std::filesystem::path keyFilePath(const std::filesystem::path& folder, const RomId& rom)
{
    return folder / (romIdText(rom) + std::string(kKeyFileExtension));
}

} // namespace onewire
