#include "locksim/sim_lock.h"

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
        default: return VisitResult::NotForThisLock;
        }
    }
    if (p0[5] == 0)
        return addToSetupKey(key);
    return VisitResult::NotForThisLock;
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
    if (2 + added > 510)
        return VisitResult::KeyFull;
    Page& entry = touch(key, 2 + added);
    std::copy(serial_.begin(), serial_.end(), entry.begin());
    entry[8] = 'Z';
    touch(key, 1)[0] = static_cast<uint8_t>(added + 1);
    return VisitResult::Filled;
}

} // namespace locksim
