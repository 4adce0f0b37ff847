#include "locksim/sim_lock.h"

#include "bytes/crc.h"

#include <algorithm>
#include <cstring>

namespace locksim {

namespace {
uint8_t bcd(int v) { return static_cast<uint8_t>(((v / 10) % 10) * 16 + v % 10); }

struct Civil {
    int year, month, day, hour, minute, second;
};

Civil civil(Time t)
{
    using namespace std::chrono;
    const auto days = floor<std::chrono::days>(t);
    const year_month_day ymd { days };
    const hh_mm_ss hms { t - days };
    return { int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(hms.hours().count()),
             int(hms.minutes().count()), int(hms.seconds().count()) };
}

bool startsWith(const Page& p, const char* marker)
{
    return std::memcmp(p.data(), marker, std::strlen(marker)) == 0;
}

// Keys that carry data into a lock: lockout, key-list (single lock and Copy Lock Settings),
// Multi-Lock, Delete Code and time-table keys, set-parameter and one-off keys, and the firmware
// image key (no marker: a version digit, '.', a digit at 12-14 and the CRC-8 of bytes 0-16 at
// 17). A lock loads them; the simulator does not.
bool programmingKey(const Page& p)
{
    if (startsWith(p, "READ"))
        return p[4] == 0xE0 || p[4] == 0xFC || p[4] == 0xFE || p[4] == 0xFF;
    if (startsWith(p, "WRITE"))
        return p[5] >= 1 && p[5] <= 3;
    auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    return digit(p[12]) && p[13] == '.' && digit(p[14]) && crc8(std::span<const uint8_t>(p.data(), 18)) == 0;
}

// Where each kind carries the site's facility code on page 0.
int facilityOffset(const Page& p)
{
    if (startsWith(p, "READ"))
        return 5;
    if (startsWith(p, "WRITE")) {
        switch (p[5]) {
        case 0: return 8;
        case 1:
        case 2: return 6;
        case 3: return 7;
        default: return -1;
        }
    }
    return -1;
}
} // namespace

AuditEvent AuditEvent::withKey(const Rom& key, uint8_t eventCode, Time t)
{
    AuditEvent e;
    std::copy(key.begin(), key.end(), e.who.begin());
    e.eventCode = eventCode;
    e.time = t;
    return e;
}

AuditEvent AuditEvent::withCode(const std::string& digits, uint8_t kind, uint8_t event, Time t)
{
    AuditEvent e;
    e.who.fill(0x00);
    e.who[0] = 0xFF;
    const size_t n = std::min<size_t>(digits.size(), 12);
    e.who[1] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t d = static_cast<uint8_t>(digits[i] - '0') & 0x0F;
        e.who[2 + i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(d << 4) : d;
    }
    e.eventCode = static_cast<uint8_t>((kind << 4) | (event & 0x0F));
    e.time = t;
    return e;
}

AuditEvent AuditEvent::ofLock(uint8_t what, Time t)
{
    AuditEvent e;
    e.who.fill(0x00);
    e.who[7] = what;
    e.eventCode = 0;
    e.time = t;
    return e;
}

AuditEvent AuditEvent::empty()
{
    AuditEvent e;
    e.emptySlot = true;
    return e;
}

std::array<uint8_t, 16> AuditEvent::encode() const
{
    std::array<uint8_t, 16> r;
    r.fill(0xFF);
    if (emptySlot)
        return r;
    std::copy(who.begin(), who.end(), r.begin());
    const Civil c = civil(time);
    r[8] = bcd(c.year - 2000);
    r[9] = bcd(c.month);
    r[10] = 0x00;
    r[11] = bcd(c.day);
    r[12] = bcd(c.hour);
    r[13] = bcd(c.minute);
    r[14] = bcd(c.second);
    r[15] = eventCode;
    return r;
}

const char* visitResultText(VisitResult r)
{
    switch (r) {
    case VisitResult::Filled: return "filled";
    case VisitResult::WrongFacility: return "refused: the key belongs to another site";
    case VisitResult::NotForThisLock: return "ignored: nothing for this lock to write";
    case VisitResult::KeyFull: return "refused: the key is full";
    case VisitResult::UnknownKey: return "ignored: not a key this lock answers";
    case VisitResult::ProgrammingKey: return "a programming key: the simulator does not load it";
    }
    return "";
}

SimLock::SimLock(Rom serial, std::array<uint8_t, 3> facility, Time clock)
    : serial_(serial)
    , facility_(facility)
    , clock_(clock)
{
}

void SimLock::writeClock(uint8_t* at) const
{
    const Civil c = civil(clock_);
    at[0] = bcd(c.year - 2000);
    at[1] = bcd(c.month);
    at[2] = 0x00;
    at[3] = bcd(c.day);
    at[4] = bcd(c.hour);
    at[5] = bcd(c.minute);
    at[6] = bcd(c.second);
}

Page& SimLock::touch(Ds1977Memory& key, int page)
{
    if (touched_.empty() || touched_.back() != page) {
        touched_.erase(std::remove(touched_.begin(), touched_.end(), page), touched_.end());
        touched_.push_back(page);
    }
    return key.pages[page];
}

void SimLock::writeRecords(Ds1977Memory& key, int firstPage, size_t from, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const int page = firstPage + static_cast<int>(i / 4);
        if (page > 510)
            return;
        const auto bytes = log_[from + i].encode();
        std::copy(bytes.begin(), bytes.end(), touch(key, page).begin() + 16 * (i % 4));
    }
}

VisitResult SimLock::answer(const Ds1977Memory& key, std::vector<PageWrite>& writes)
{
    writes.clear();
    touched_.clear();
    Ds1977Memory work = key;
    const VisitResult r = visit(work);
    if (r != VisitResult::Filled)
        touched_.clear();
    for (int page : touched_)
        writes.push_back({ page, work.pages[page] });
    touched_.clear();
    return r;
}

VisitResult SimLock::visit(Ds1977Memory& key)
{
    touched_.clear();
    const Page& p0 = key.pages[0];
    if (programmingKey(p0))
        return VisitResult::ProgrammingKey;
    const int fc = facilityOffset(p0);
    if (fc < 0)
        return VisitResult::UnknownKey;
    if (!std::equal(facility_.begin(), facility_.end(), p0.begin() + fc))
        return VisitResult::WrongFacility;
    if (startsWith(p0, "READ")) {
        switch (p0[4]) {
        case 0x01:
        case 0x02:
        case 0x03: return fillSingleTrail(key, p0[4]);
        case 0xFB: return fillMultiLockTrail(key);
        case 0x00: return fillInformationKey(key);
        default: return VisitResult::NotForThisLock;
        }
    }
    return addToSetupKey(key); // WRITE 0: the other WRITE kinds are programming keys
}

VisitResult SimLock::fillSingleTrail(Ds1977Memory& key, uint8_t kind)
{
    size_t from = 0, count = 0;
    const size_t held = log_.size();
    if (kind == 0x01) {
        size_t capacity = (size_t(key.pages[0][8]) << 8) | key.pages[0][9];
        if (capacity == 0 || capacity > kRecordsPerKey)
            capacity = kRecordsPerKey;
        count = std::min(held, capacity);
        from = held - count;
        pendingSecond_.reset();
    } else if (kind == 0x02) {
        // The first key takes the older part of the trail; the lock keeps the rest for the second.
        const size_t total = std::min<size_t>(held, 2 * kRecordsPerKey);
        from = held - total;
        count = std::min<size_t>(total, kRecordsPerKey);
        pendingSecond_ = Pending { from + count, total - count };
    } else {
        if (!pendingSecond_)
            return VisitResult::NotForThisLock;
        from = pendingSecond_->from;
        count = pendingSecond_->count;
        pendingSecond_.reset();
    }
    // Records first, then the counts and clock, then the lock's id: a key pulled early never
    // carries an id over records that are not there.
    writeRecords(key, 2, from, count);
    Page& p1 = touch(key, 1);
    const size_t heldShown = std::min<size_t>(held, 0xFFFF);
    p1[0] = static_cast<uint8_t>(heldShown >> 8);
    p1[1] = static_cast<uint8_t>(heldShown);
    p1[2] = static_cast<uint8_t>(count >> 8);
    p1[3] = static_cast<uint8_t>(count);
    writeClock(&p1[4]);
    std::copy(serial_.begin(), serial_.end(), touch(key, 0).begin() + 10);
    return VisitResult::Filled;
}

VisitResult SimLock::fillMultiLockTrail(Ds1977Memory& key)
{
    const int perLock = (key.pages[0][8] << 8) | key.pages[0][9];
    static constexpr int kChoices[] = { 25, 50, 100, 200, 400, 1000 };
    if (std::find(std::begin(kChoices), std::end(kChoices), perLock) == std::end(kChoices))
        return VisitResult::UnknownKey;
    const int pagesPerBlock = 1 + (perLock + 3) / 4;
    const int blocks = key.pages[1][0] == 0xFF ? 0 : key.pages[1][0];
    const int header = 2 + blocks * pagesPerBlock;
    if (header + pagesPerBlock - 1 > 510)
        return VisitResult::KeyFull;
    const size_t count = std::min<size_t>(log_.size(), perLock);
    const size_t from = log_.size() - count;
    writeRecords(key, header + 1, from, count);
    Page& h = touch(key, header);
    h.fill(0xFF);
    const size_t heldShown = std::min<size_t>(log_.size(), 0xFFFF);
    h[0] = static_cast<uint8_t>(heldShown >> 8);
    h[1] = static_cast<uint8_t>(heldShown);
    h[2] = static_cast<uint8_t>(count >> 8);
    h[3] = static_cast<uint8_t>(count);
    std::copy(serial_.begin(), serial_.end(), h.begin() + 4);
    touch(key, 1)[0] = static_cast<uint8_t>(blocks + 1); // the count last
    return VisitResult::Filled;
}

VisitResult SimLock::addToSetupKey(Ds1977Memory& key)
{
    const int added = key.pages[1][0] == 0xFF ? 0 : key.pages[1][0];
    // The count must not reach FFh: the next lock would take that for a fresh key and write
    // over the first entry.
    if (added + 1 >= 0xFF || 2 + added > 510)
        return VisitResult::KeyFull;
    Page& entry = touch(key, 2 + added);
    std::copy(serial_.begin(), serial_.end(), entry.begin());
    entry[8] = 'Z';
    touch(key, 1)[0] = static_cast<uint8_t>(added + 1);
    return VisitResult::Filled;
}

VisitResult SimLock::fillInformationKey(Ds1977Memory& key)
{
    const LockState& st = state_;
    const size_t n = std::min<size_t>(st.keys.size(), kMaxKeysReported);
    // The key list and the settings first, the version page, then page 1 with the lock's id:
    // a key pulled early never looks as if it had been at a lock.
    for (size_t i = 0; i < n; ++i) {
        const LockKeyEntry& k = st.keys[i];
        Page& page = touch(key, kKeyListFirstPage + int(i / 2));
        uint8_t* e = page.data() + 32 * (i % 2);
        std::fill(e, e + 32, 0xFF);
        if (!k.code.empty()) {
            const size_t digits = std::min<size_t>(k.code.size(), 12);
            e[0] = static_cast<uint8_t>(digits);
            std::fill(e + 1, e + 7, 0x00);
            for (size_t d = 0; d < digits; ++d) {
                const uint8_t v = static_cast<uint8_t>(k.code[d] - '0') & 0x0F;
                e[1 + d / 2] |= (d % 2 == 0) ? static_cast<uint8_t>(v << 4) : v;
            }
        }
        if (k.key)
            std::copy(k.key->begin(), k.key->begin() + 7, e + 8);
        e[16] = k.timeShiftGroup <= 1 ? 0xFF : static_cast<uint8_t>(k.timeShiftGroup - 1);
        const uint8_t actExp = k.actExpGroup <= 1 ? 0x0F : static_cast<uint8_t>((k.actExpGroup - 1) & 0x0F);
        e[17] = static_cast<uint8_t>((k.holidays ? 0x00 : 0xF0) | actExp);
    }
    for (int p = 0; p < 16; ++p)
        std::copy(st.settingsImage.begin() + 64 * p, st.settingsImage.begin() + 64 * (p + 1),
                  touch(key, kSettingsImageFirstPage + p).begin());

    Page& version = touch(key, 2);
    const size_t held = std::min<size_t>(log_.size(), 0xFFFF);
    version[0] = static_cast<uint8_t>(held >> 8);
    version[1] = static_cast<uint8_t>(held);
    version[24] = st.battery;
    version[25] = st.level;

    Page& info = touch(key, 1);
    info[0] = st.keyListEnabled ? 'Z' : 0x00;
    info[1] = st.manualSetupEnabled ? 0x00 : 'Z';
    info[14] = st.daylightSavingFunction ? 'Z' : 0x00;
    info[15] = st.daylightSavingInForce ? 'Z' : 0x00;
    std::copy(serial_.begin(), serial_.end(), info.begin() + 16);
    info[24] = st.blink ? 'Z' : 0x00;
    info[25] = st.classroom ? 'Z' : 0x00;
    info[44] = static_cast<uint8_t>(st.hardwareVersion >> 8);
    info[45] = static_cast<uint8_t>(st.hardwareVersion);
    for (int c = 0; c < 3; ++c)
        info[46 + c] = c < int(st.softwareVersion.size()) ? static_cast<uint8_t>(st.softwareVersion[c]) : ' ';
    info[49] = static_cast<uint8_t>(n >> 8);
    info[50] = static_cast<uint8_t>(n);
    uint8_t clock[7];
    writeClock(clock); // YY MM 00 DD hh mm ss
    info[57] = clock[0];
    info[58] = clock[1];
    info[59] = 0x00;
    std::copy(clock + 3, clock + 7, info.begin() + 60);
    return VisitResult::Filled;
}

} // namespace locksim
