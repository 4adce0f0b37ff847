// locksim: the door locks' side on key files, so a person can try the whole road without
// hardware: make blank keys and mission keys, keep simulated locks, and let a lock answer a
// key (fill an audit trail, add itself to a setup key).
#include "bytes/crc.h"
#include "locksim/lock_file.h"
#include "locksim/mission_headers.h"
#include "locksim/sim_lock.h"
#include "onewire/key_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace locksim;

namespace {

const char* kUsage = R"(usage:
  locksim blank FAMILY [--serial N] [--reader DIR]
      a blank key of the family (hex: 37 DS1977, 04 DS1994, 24 DS1904, any other: a user key)
  locksim mission KIND --facility DDDDDD [--records N] [--serial N] [--reader DIR] [--key FILE]
      page 0 (and page 1 where the program writes it) of a mission key, on a new DS1977 key
      or on FILE; KIND is one of: %s
  locksim clock FAMILY --time "YYYY-MM-DD HH:MM:SS" [--facility DDDDDD] [--serial N] [--reader DIR]
      a Set Time Key: family 04 (with its READ FDh page and facility code) or 24 (clock only)
  locksim lock new LOCKFILE --serial HEX16 --facility DDDDDD [--clock TIME] [--events N]
                            [--user HEX16]... [--code DIGITS]... [--guest-code DIGITS]... [--seed N]
                            [--force]
      a simulated lock with a generated audit log of N events: users' keys (--user) and codes
      (--code), guests' codes (--guest-code) and the lock's own events. The serial is the ROM
      id as the program shows it, its check byte (CRC-8) first; given as 14 digits, without
      that byte, the byte is computed. An existing LOCKFILE is replaced only with --force
  locksim visit LOCKFILE KEYFILE
      the lock answers the key: fills an audit trail or a Get Information key, or adds
      itself to a setup key; a programming key (Multi-Lock, Copy Lock Settings, Delete Code,
      firmware, ...) is named and not loaded
  locksim show KEYFILE
      page 0 and page 1 of a DS1977 key, in hex
DDDDDD is the site's facility code as Config.dat holds it (digits, or hexadecimal digits).
The reader folder defaults to $IOS_READER_DIR, else ./Reader.
)";

struct Args {
    std::vector<std::string> positional;
    std::multimap<std::string, std::string> options;

    std::string get(const std::string& name, const std::string& fallback = "") const
    {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    bool flag(const std::string& name) const { return options.count(name) != 0; }
    std::vector<std::string> all(const std::string& name) const
    {
        std::vector<std::string> v;
        auto [a, b] = options.equal_range(name);
        for (auto it = a; it != b; ++it)
            v.push_back(it->second);
        return v;
    }
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "locksim: %s\n", message.c_str());
    return 1;
}

fs::path readerFolder(const Args& a)
{
    if (auto r = a.get("--reader"); !r.empty())
        return r;
    if (const char* env = std::getenv("IOS_READER_DIR"); env && *env)
        return env;
    return "Reader";
}

uint64_t serialNumber(const Args& a)
{
    if (auto s = a.get("--serial"); !s.empty())
        return std::strtoull(s.c_str(), nullptr, 0);
    // A serial from the clock keeps keys made one after another apart.
    return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) & 0xFFFFFFFFFFFFull;
}

bool parseFamily(const std::string& text, uint8_t& family)
{
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end || v > 0xFF)
        return false;
    family = static_cast<uint8_t>(v);
    return true;
}

int saveNew(const fs::path& folder, const onewire::KeyFile& key)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path path = onewire::keyFilePath(folder, key.rom);
    std::string error;
    if (!onewire::saveKeyFile(path, key, &error))
        return fail(error);
    std::printf("%s\n", path.string().c_str());
    return 0;
}

Ds1977Memory toMemory(const onewire::KeyFile& key)
{
    Ds1977Memory m;
    m.rom = key.rom;
    for (int p = 0; p < kPages; ++p)
        if (auto page = onewire::ds1977Page(key, p))
            m.pages[p] = *page;
    return m;
}

int cmdBlank(const Args& a)
{
    uint8_t family;
    if (a.positional.size() != 2 || !parseFamily(a.positional[1], family))
        return fail("blank: give a family in hex");
    return saveNew(readerFolder(a), onewire::blankKey(onewire::makeRomId(family, serialNumber(a))));
}

int cmdMission(const Args& a)
{
    if (a.positional.size() != 2)
        return fail("mission: give a kind");
    const auto kind = missionKindByName(a.positional[1]);
    if (!kind)
        return fail("mission: unknown kind '" + a.positional[1] + "'");
    const auto fc = facilityFromText(a.get("--facility"));
    if (!fc)
        return fail("mission: --facility takes six digits");
    const int records = std::atoi(a.get("--records", "0").c_str());
    SetupOptions setup;
    setup.written = localNow();

    onewire::KeyFile key;
    fs::path path;
    if (auto file = a.get("--key"); !file.empty()) {
        auto loaded = onewire::loadKeyFile(file);
        if (!loaded.key)
            return fail(loaded.error);
        if (loaded.key->family() != onewire::kFamilyDS1977)
            return fail("mission: " + file + " is not a DS1977 key");
        key = *loaded.key;
        path = file;
    } else {
        key = onewire::blankDS1977(onewire::makeRomId(onewire::kFamilyDS1977, serialNumber(a)));
    }
    const Page p0 = missionHeader(*kind, *fc, records, setup);
    onewire::setDS1977Page(key, 0, p0);
    if (auto p1 = missionPage1(*kind))
        onewire::setDS1977Page(key, 1, *p1);
    if (path.empty())
        return saveNew(readerFolder(a), key);
    std::string error;
    if (!onewire::saveKeyFile(path, key, &error))
        return fail(error);
    std::printf("%s\n", path.string().c_str());
    return 0;
}

int cmdClock(const Args& a)
{
    uint8_t family;
    if (a.positional.size() != 2 || !parseFamily(a.positional[1], family)
        || (family != onewire::kFamilyDS1994 && family != onewire::kFamilyDS1904))
        return fail("clock: the family is 04 or 24");
    const auto t = parseTime(a.get("--time"));
    if (!t)
        return fail("clock: --time \"YYYY-MM-DD HH:MM:SS\"");
    // The key holds the seconds since 1970-01-01 00:00 of local time.
    const auto seconds = (*t - std::chrono::local_seconds {}).count();
    if (seconds < 0 || seconds > 0xFFFFFFFFll)
        return fail("clock: time out of the clock's range");
    onewire::KeyFile key = onewire::blankKey(onewire::makeRomId(family, serialNumber(a)));
    onewire::setClock(key, static_cast<uint32_t>(seconds), false, std::time(nullptr));
    if (family == onewire::kFamilyDS1994) {
        const auto fc = facilityFromText(a.get("--facility"));
        if (!fc)
            return fail("clock: a DS1994 Set Time Key needs --facility");
        std::vector<uint8_t> page(32, 0xFF);
        page[0] = 'R', page[1] = 'E', page[2] = 'A', page[3] = 'D', page[4] = 0xFD;
        std::copy(fc->begin(), fc->end(), page.begin() + 5);
        onewire::setDS1994Page(key, 0, page);
    }
    return saveNew(readerFolder(a), key);
}

int cmdLockNew(const Args& a)
{
    if (a.positional.size() != 3)
        return fail("lock new: give the lock file");
    const std::string serialText = a.get("--serial");
    const bool withoutCheckByte = serialText.size() == 14;
    auto serial = romIdFromText(withoutCheckByte ? "00" + serialText : serialText);
    if (!serial)
        return fail("lock new: --serial takes 16 hex digits (or 14, without the check byte)");
    RomId rom = *serial;
    const uint8_t checkByte = crc8(std::span<const uint8_t>(rom.data(), 7));
    if (withoutCheckByte)
        rom[7] = checkByte;
    else if (rom[7] != checkByte)
        return fail("lock new: the serial's check byte (its first two digits) is " + hexByte(rom[7])
                    + " but the CRC-8 of the other fourteen digits is " + hexByte(checkByte)
                    + ": the program would refuse this lock");
    const auto fc = facilityFromText(a.get("--facility"));
    if (!fc)
        return fail("lock new: --facility takes six digits");
    Time clock = localNow();
    if (auto c = a.get("--clock"); !c.empty()) {
        auto t = parseTime(c);
        if (!t)
            return fail("lock new: --clock \"YYYY-MM-DD HH:MM:SS\"");
        clock = *t;
    }
    Rom lockRom;
    std::copy(rom.begin(), rom.end(), lockRom.begin());
    SimLock lock(lockRom, *fc, clock);
    std::vector<Rom> users;
    for (const auto& u : a.all("--user")) {
        auto r = romIdFromText(u);
        if (!r)
            return fail("lock new: --user takes 16 hex digits");
        Rom k;
        std::copy(r->begin(), r->end(), k.begin());
        users.push_back(k);
    }
    generateEvents(lock, std::atoi(a.get("--events", "0").c_str()), users, a.all("--code"), a.all("--guest-code"),
                   static_cast<unsigned>(std::atoi(a.get("--seed", "1").c_str())));
    std::error_code ec;
    if (!a.flag("--force") && fs::exists(fs::symlink_status(a.positional[2], ec)))
        return fail("lock new: " + a.positional[2] + " exists already; give --force to replace it");
    std::string error;
    if (!saveLockFile(a.positional[2], lock, &error))
        return fail(error);
    std::printf("%s: %zu events\n", a.positional[2].c_str(), lock.log().size());
    return 0;
}

int cmdVisit(const Args& a)
{
    if (a.positional.size() != 3)
        return fail("visit: give the lock file and the key file");
    auto lock = loadLockFile(a.positional[1]);
    if (!lock.lock)
        return fail(lock.error);
    auto key = onewire::loadKeyFile(a.positional[2]);
    if (!key.key)
        return fail(key.error);
    if (key.key->family() != onewire::kFamilyDS1977)
        return fail("visit: the lock answers only DS1977 keys");
    std::vector<SimLock::PageWrite> writes;
    const VisitResult r = lock.lock->answer(toMemory(*key.key), writes);
    for (const auto& w : writes)
        onewire::setDS1977Page(*key.key, w.page, w.bytes);
    std::string error;
    if (r == VisitResult::Filled && !onewire::saveKeyFile(a.positional[2], *key.key, &error))
        return fail(error);
    if (!saveLockFile(a.positional[1], *lock.lock, &error))
        return fail(error);
    std::printf("%s (%zu pages written)\n", visitResultText(r), writes.size());
    return r == VisitResult::Filled ? 0 : 3;
}

int cmdShow(const Args& a)
{
    if (a.positional.size() != 2)
        return fail("show: give a key file");
    auto key = onewire::loadKeyFile(a.positional[1]);
    if (!key.key)
        return fail(key.error);
    std::printf("rom %s\n", romIdText(key.key->rom).c_str());
    for (int p = 0; p < 2; ++p) {
        auto page = onewire::ds1977Page(*key.key, p);
        if (!page)
            break;
        std::printf("page %d:", p);
        for (uint8_t b : *page)
            std::printf(" %02X", b);
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Args a;
    for (int i = 1; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--force") // an option without a value
            a.options.emplace(s, "");
        else if (s.rfind("--", 0) == 0 && i + 1 < argc)
            a.options.emplace(s, argv[++i]);
        else
            a.positional.push_back(s);
    }
    std::string kinds;
    for (const auto& n : missionKindNames())
        kinds += (kinds.empty() ? "" : ", ") + n;
    if (a.positional.empty()) {
        std::fprintf(stderr, kUsage, kinds.c_str());
        return 2;
    }
    const std::string& cmd = a.positional[0];
    if (cmd == "blank")
        return cmdBlank(a);
    if (cmd == "mission")
        return cmdMission(a);
    if (cmd == "clock")
        return cmdClock(a);
    if (cmd == "lock" && a.positional.size() >= 2 && a.positional[1] == "new")
        return cmdLockNew(a);
    if (cmd == "visit")
        return cmdVisit(a);
    if (cmd == "show")
        return cmdShow(a);
    std::fprintf(stderr, kUsage, kinds.c_str());
    return 2;
}
