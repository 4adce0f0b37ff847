#include "locksim/lock_file.h"

#include "fileio/atomic_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace locksim {

namespace {
std::string hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool unhex(std::string_view text, uint8_t* out, size_t n)
{
    if (text.size() != 2 * n)
        return false;
    auto val = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < n; ++i) {
        const int hi = val(text[2 * i]), lo = val(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

// The serial is kept as it is shown: 16 hex digits, CRC byte first.
std::string serialText(const Rom& r)
{
    std::string s;
    for (int i = 7; i >= 0; --i)
        s += hex(&r[i], 1);
    return s;
}

std::optional<Rom> serialFromText(std::string_view t)
{
    Rom r {};
    uint8_t shown[8];
    if (!unhex(t, shown, 8))
        return std::nullopt;
    for (int i = 0; i < 8; ++i)
        r[i] = shown[7 - i];
    return r;
}
} // namespace

std::optional<Time> parseTime(std::string_view text)
{
    int y, mo, d, h, mi, s;
    char sep;
    const std::string t(text);
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &sep, &h, &mi, &s) != 7)
        return std::nullopt;
    if (sep != ' ' && sep != 'T')
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day ymd { year { y }, month { unsigned(mo) }, day { unsigned(d) } };
    if (!ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    return local_days { ymd } + hours { h } + minutes { mi } + seconds { s };
}

std::string formatTime(Time t)
{
    using namespace std::chrono;
    const auto days = floor<std::chrono::days>(t);
    const year_month_day ymd { days };
    const hh_mm_ss hms { t - days };
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(hms.hours().count()), int(hms.minutes().count()),
                  int(hms.seconds().count()));
    return buf;
}

Time localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    using namespace std::chrono;
    const year_month_day ymd { year { tm.tm_year + 1900 }, month { unsigned(tm.tm_mon + 1) }, day { unsigned(tm.tm_mday) } };
    return local_days { ymd } + hours { tm.tm_hour } + minutes { tm.tm_min } + seconds { tm.tm_sec };
}

LockFileResult loadLockFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    if (!in)
        return { std::nullopt, "cannot read " + path.string() };
    std::optional<Rom> serial;
    std::optional<std::array<uint8_t, 3>> facility;
    std::optional<Time> clock;
    std::optional<SimLock::Pending> pending;
    std::vector<AuditEvent> log;
    LockState state;
    std::string line;
    int n = 0;
    bool header = false;
    while (std::getline(in, line)) {
        ++n;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ls(line);
        std::string word;
        ls >> word;
        auto fail = [&](const std::string& why) { return LockFileResult { std::nullopt, path.string() + ": line " + std::to_string(n) + ": " + why }; };
        if (!header) {
            if (word != "sim-lock")
                return fail("not a lock file");
            header = true;
        } else if (word == "serial") {
            std::string t;
            ls >> t;
            serial = serialFromText(t);
            if (!serial)
                return fail("bad serial");
        } else if (word == "facility") {
            std::string t;
            ls >> t;
            std::array<uint8_t, 3> fc;
            if (!unhex(t, fc.data(), 3))
                return fail("bad facility code");
            facility = fc;
        } else if (word == "clock") {
            std::string rest;
            std::getline(ls >> std::ws, rest);
            clock = parseTime(rest);
            if (!clock)
                return fail("bad clock");
        } else if (word == "pending-second") {
            SimLock::Pending p;
            if (!(ls >> p.from >> p.count))
                return fail("bad pending-second");
            pending = p;
        } else if (word == "state") {
            std::string name;
            std::string value;
            ls >> name >> value;
            const bool on = value == "1";
            if (name == "key-list")
                state.keyListEnabled = on;
            else if (name == "manual-setup")
                state.manualSetupEnabled = on;
            else if (name == "daylight-saving")
                state.daylightSavingFunction = on;
            else if (name == "daylight-saving-now")
                state.daylightSavingInForce = on;
            else if (name == "blink")
                state.blink = on;
            else if (name == "classroom")
                state.classroom = on;
            else if (name == "hardware" || name == "battery" || name == "level") {
                char* end = nullptr;
                const unsigned long v = std::strtoul(value.c_str(), &end, name == "hardware" ? 16 : 10);
                if (value.empty() || *end || v > (name == "hardware" ? 0xFFFFul : 0xFFul))
                    return fail("bad " + name);
                if (name == "hardware")
                    state.hardwareVersion = static_cast<uint16_t>(v);
                else if (name == "battery")
                    state.battery = static_cast<uint8_t>(v);
                else
                    state.level = static_cast<uint8_t>(v);
            }
            else if (name == "software")
                state.softwareVersion = value;
            else
                return fail("unknown state '" + name + "'");
        } else if (word == "settings") {
            std::string bytes;
            ls >> bytes;
            if (!unhex(bytes, state.settingsImage.data(), state.settingsImage.size()))
                return fail("bad settings image");
        } else if (word == "key") {
            std::string code, rom;
            LockKeyEntry k;
            int holidays = 0;
            if (!(ls >> code >> rom >> k.timeShiftGroup >> k.actExpGroup >> holidays))
                return fail("bad key entry");
            if (code != "-")
                k.code = code;
            if (rom != "-") {
                k.key = serialFromText(rom);
                if (!k.key)
                    return fail("bad key entry");
            }
            k.holidays = holidays != 0;
            state.keys.push_back(k);
        } else if (word == "event") {
            std::string bytes;
            ls >> bytes;
            uint8_t r[16];
            if (!unhex(bytes, r, 16))
                return fail("bad event");
            AuditEvent e;
            if (std::all_of(r, r + 16, [](uint8_t b) { return b == 0xFF; })) {
                log.push_back(AuditEvent::empty());
                continue;
            }
            std::copy(r, r + 8, e.who.begin());
            // A byte that is not two decimal digits, or a time past 23:59:59, would be written
            // back as another time: refuse it instead.
            auto dec = [](uint8_t b) { return ((b >> 4) > 9 || (b & 15) > 9) ? -1 : (b >> 4) * 10 + (b & 15); };
            using namespace std::chrono;
            for (int i : { 8, 9, 11, 12, 13, 14 })
                if (dec(r[i]) < 0)
                    return fail("bad event time");
            const year_month_day ymd { year { 2000 + dec(r[8]) }, month { unsigned(dec(r[9])) }, day { unsigned(dec(r[11])) } };
            if (!ymd.ok() || dec(r[12]) > 23 || dec(r[13]) > 59 || dec(r[14]) > 59)
                return fail("bad event time");
            e.time = local_days { ymd } + hours { dec(r[12]) } + minutes { dec(r[13]) } + seconds { dec(r[14]) };
            e.eventCode = r[15];
            log.push_back(e);
        } else {
            return fail("unknown entry '" + word + "'");
        }
    }
    if (!header || !serial || !facility || !clock)
        return { std::nullopt, path.string() + ": serial, facility and clock are required" };
    SimLock lock(*serial, *facility, *clock);
    for (const auto& e : log)
        lock.record(e);
    lock.state() = std::move(state);
    if (pending && pending->from + pending->count <= lock.log().size())
        lock.setPendingSecond(pending);
    return { lock, "" };
}

bool saveLockFile(const std::filesystem::path& path, const SimLock& lock, std::string* error)
{
    std::ostringstream out;
    {
        out << "sim-lock 1\n";
        out << "serial " << serialText(lock.serial()) << "\n";
        out << "facility " << hex(lock.facility().data(), 3) << "\n";
        out << "clock " << formatTime(lock.clock()) << "\n";
        const LockState& st = lock.state();
        out << "state key-list " << st.keyListEnabled << "\n";
        out << "state manual-setup " << st.manualSetupEnabled << "\n";
        out << "state daylight-saving " << st.daylightSavingFunction << "\n";
        out << "state daylight-saving-now " << st.daylightSavingInForce << "\n";
        out << "state blink " << st.blink << "\n";
        out << "state classroom " << st.classroom << "\n";
        const uint8_t hw[2] = { uint8_t(st.hardwareVersion >> 8), uint8_t(st.hardwareVersion) };
        out << "state hardware " << hex(hw, 2) << "\n";
        out << "state software " << st.softwareVersion << "\n";
        out << "state battery " << int(st.battery) << "\n";
        out << "state level " << int(st.level) << "\n";
        out << "settings " << hex(st.settingsImage.data(), st.settingsImage.size()) << "\n";
        for (const auto& k : st.keys)
            out << "key " << (k.code.empty() ? "-" : k.code) << " " << (k.key ? serialText(*k.key) : "-") << " "
                << k.timeShiftGroup << " " << k.actExpGroup << " " << (k.holidays ? 1 : 0) << "\n";
        if (lock.pendingSecond())
            out << "pending-second " << lock.pendingSecond()->from << " " << lock.pendingSecond()->count << "\n";
        for (const auto& e : lock.log()) {
            const auto b = e.encode();
            out << "event " << hex(b.data(), 16) << "\n";
        }
    }
    try {
        fileio::writeFileReplacing(path, out.str());
    } catch (const fileio::FileError& e) {
        if (error)
            *error = e.what();
        return false;
    }
    return true;
}

void generateEvents(SimLock& lock, int count, const std::vector<Rom>& userKeys, const std::vector<std::string>& userCodes,
                    const std::vector<std::string>& guestCodes, unsigned seed)
{
    // Code kinds as the locks record them: a user's permanent code, a guest's one-time code.
    constexpr uint8_t kUserCode = 1, kGuestCode = 4;
    std::mt19937 rng(seed);
    std::vector<AuditEvent> events;
    Time t = lock.clock();
    for (int i = 0; i < count; ++i) {
        t -= std::chrono::seconds { 600 + rng() % 7200 };
        const unsigned pick = rng() % 20;
        const uint8_t openOrClose = static_cast<uint8_t>(rng() % 3); // storehouse, classroom, close
        if (pick < 8 && !userKeys.empty()) {
            const uint8_t ev = (pick == 7) ? 0x05 : openOrClose; // now and then out of its time shift
            events.push_back(AuditEvent::withKey(userKeys[rng() % userKeys.size()], ev, t));
        } else if (pick < 11 && !userCodes.empty()) {
            events.push_back(AuditEvent::withCode(userCodes[rng() % userCodes.size()], kUserCode, openOrClose, t));
        } else if (pick < 13 && !guestCodes.empty()) {
            events.push_back(AuditEvent::withCode(guestCodes[rng() % guestCodes.size()], kGuestCode, openOrClose, t));
        } else if (pick < 18) {
            events.push_back(AuditEvent::ofLock(static_cast<uint8_t>(1 + rng() % 3), t));
        } else {
            // A key the lock does not know: recorded without its family code, as an invalid key.
            AuditEvent e = AuditEvent::ofLock(0, t);
            e.who = { 0x00, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0, 0, 0, uint8_t(rng()) };
            e.eventCode = 0x03;
            events.push_back(e);
        }
    }
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        lock.record(*it);
}

} // namespace locksim
