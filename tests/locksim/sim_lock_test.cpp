#include "bytes/codec.h"
#include "locksim/lock_file.h"
#include "locksim/mission_headers.h"
#include "locksim/sim_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace locksim;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {
const std::array<uint8_t, 3> kSite { 0x12, 0x34, 0x56 };
const Rom kLockSerial { 0x37, 1, 2, 3, 4, 5, 6, 0x99 };
const Rom kUserKey { 0x01, 0xAA, 0xBB, 0xCC, 0, 0, 0, 0x42 };

Time at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return local_days { year { y } / mo / d } + hours { h } + minutes { mi } + seconds { s };
}

template <class Bytes> std::string hex(const Bytes& b, size_t from = 0, size_t n = 16)
{
    std::string s;
    for (size_t i = from; i < from + n; ++i)
        s += hexByte(b[i]);
    return s;
}

int be16(const Page& p, int at) { return (p[at] << 8) | p[at + 1]; }

SimLock lockWithEvents(size_t n)
{
    SimLock lock(kLockSerial, kSite, at(2026, 12, 6, 10, 20, 30));
    for (size_t i = 0; i < n; ++i)
        lock.record(AuditEvent::withKey(kUserKey, 0x00, at(2026, 1, 1) + seconds { i }));
    return lock;
}

Ds1977Memory keyOf(MissionKind kind, int perLock = 0, std::array<uint8_t, 3> fc = kSite)
{
    Ds1977Memory key;
    key.pages[0] = missionHeader(kind, fc, perLock);
    if (auto p1 = missionPage1(kind))
        key.pages[1] = *p1;
    return key;
}

// Lets the lock fill the key; returns the pages in the order the lock wrote them.
std::vector<int> fill(SimLock& lock, Ds1977Memory& key)
{
    std::vector<SimLock::PageWrite> writes;
    EXPECT_EQ(lock.answer(key, writes), VisitResult::Filled);
    std::vector<int> pages;
    for (const auto& w : writes) {
        key.pages[w.page] = w.bytes;
        pages.push_back(w.page);
    }
    return pages;
}
} // namespace

TEST(SimLockRecords, EachEventKindEncodesAsTheLockWritesIt)
{
    EXPECT_EQ(hex(AuditEvent::withKey(kUserKey, 0x02, at(2026, 12, 31, 23, 59, 58)).encode()),
              "01AABBCC00000042" "26120031235958" "02");
    EXPECT_EQ(hex(AuditEvent::withCode("1234567890", 4, 1, at(2026, 1, 2)).encode()),
              "FF0A123456789000" "26010002000000" "41");
    EXPECT_EQ(hex(AuditEvent::ofLock(2, at(2026, 1, 2)).encode()), "0000000000000002" "26010002000000" "00");
    EXPECT_EQ(hex(AuditEvent::empty().encode()), std::string(32, 'F'));
}

TEST(SimLockRecords, FacilityCodesAreSixHexDigits)
{
    EXPECT_EQ(facilityFromText("123456"), kSite);
    EXPECT_EQ(facilityFromText("1a2B3C"), (std::array<uint8_t, 3> { 0x1A, 0x2B, 0x3C })); // as a Config.dat may hold it
    EXPECT_FALSE(facilityFromText("12345G"));
    EXPECT_FALSE(facilityFromText("12345"));
}

// The facility code stands where each kind of mission header carries it.
TEST(SimLockRecords, MissionHeadersCarryTheSiteWhereTheirKindKeepsIt)
{
    const auto fc = kSite;
    EXPECT_EQ(missionHeader(MissionKind::NewLockSetup, fc)[8], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::Lockout, fc)[6], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::MultiLock, fc)[7], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::SetTimeTable, fc)[63], 0xAA);
    EXPECT_EQ(hex(missionHeader(MissionKind::GetAuditTrail, fc), 0, 11), "52454144011234560" "7D0FF");
}

TEST(SimLockRecords, EveryMissionKindIsFoundByItsName)
{
    for (const auto& name : missionKindNames())
        EXPECT_TRUE(missionKindByName(name));
}

TEST(SimLockAuditKeys, OneKeyTakesTheLatestRecordsThenTheCountsThenTheLockId)
{
    SimLock lock = lockWithEvents(2100);
    Ds1977Memory key = keyOf(MissionKind::GetAuditTrail);
    const auto pages = fill(lock, key);
    ASSERT_EQ(pages.size(), 500u + 2);
    EXPECT_EQ(pages.front(), 2);
    EXPECT_EQ(std::vector<int>(pages.end() - 2, pages.end()), (std::vector<int> { 1, 0 }));

    EXPECT_EQ(be16(key.pages[1], 0), 2100);
    EXPECT_EQ(be16(key.pages[1], 2), 2000);
    EXPECT_EQ(hex(key.pages[1], 4, 7), "26120006102030"); // the lock's clock
    EXPECT_EQ(hex(key.pages[0], 10, 8), hex(kLockSerial, 0, 8));
    // The oldest record on the key is the 101st of the lock's log: 00:01:40.
    EXPECT_EQ(hex(key.pages[2], 11, 4), "01000140");
    EXPECT_EQ(key.pages[502][0], 0xFF);
}

TEST(SimLockAuditKeys, AKeyOfAnotherSiteIsRefusedAndLeftAsItWas)
{
    SimLock lock = lockWithEvents(2100);
    Ds1977Memory other = keyOf(MissionKind::GetAuditTrail, 0, { 0x99, 0x99, 0x99 });
    const Ds1977Memory before = other;
    EXPECT_EQ(lock.visit(other), VisitResult::WrongFacility);
    EXPECT_EQ(other.pages, before.pages);
}

TEST(SimLockAuditKeys, TwoKeysSplitALongerTrail)
{
    SimLock longer = lockWithEvents(3000);
    Ds1977Memory second = keyOf(MissionKind::TrailSecond);
    EXPECT_EQ(longer.visit(second), VisitResult::NotForThisLock);

    Ds1977Memory first = keyOf(MissionKind::TrailFirst);
    fill(longer, first);
    EXPECT_TRUE(longer.secondKeyPending());
    EXPECT_EQ(be16(first.pages[1], 2), kRecordsPerKey);
    fill(longer, second);
    EXPECT_FALSE(longer.secondKeyPending());
    EXPECT_EQ(be16(second.pages[1], 2), 3000 - kRecordsPerKey);
    EXPECT_EQ(hex(second.pages[0], 10, 8), hex(kLockSerial, 0, 8));
}

TEST(SimLockAuditKeys, AMultiLockKeyTakesOneBlockPerLockUntilNoneFits)
{
    SimLock a = lockWithEvents(40);
    Rom otherSerial = kLockSerial;
    otherSerial[1] = 9;
    SimLock b(otherSerial, kSite, at(2026, 12, 6));
    b.record(AuditEvent::ofLock(1, at(2026, 12, 5)));

    Ds1977Memory key = keyOf(MissionKind::MultiLockAuditTrail, 25);
    const auto pages = fill(a, key);
    // The block header after its records, the count of blocks last.
    EXPECT_EQ(std::vector<int>(pages.end() - 2, pages.end()), (std::vector<int> { 2, 1 }));
    fill(b, key);
    EXPECT_EQ(key.pages[1][0], 2);
    EXPECT_EQ(be16(key.pages[2], 2), 25);
    EXPECT_EQ(be16(key.pages[10], 2), 1);
    EXPECT_EQ(hex(key.pages[10], 4, 8), hex(otherSerial, 0, 8));
    EXPECT_EQ(hex(key.pages[11]), "0000000000000001" "26120005000000" "00");

    SimLock lock = lockWithEvents(5);
    Ds1977Memory big = keyOf(MissionKind::MultiLockAuditTrail, 1000);
    fill(lock, big);
    fill(lock, big);
    EXPECT_EQ(big.pages[253][4], kLockSerial[0]);
    EXPECT_EQ(lock.visit(big), VisitResult::KeyFull);
    EXPECT_EQ(big.pages[1][0], 2);

    Ds1977Memory odd = keyOf(MissionKind::MultiLockAuditTrail, 30);
    EXPECT_EQ(lock.visit(odd), VisitResult::UnknownKey);
}

TEST(SimLockSetupKey, EachLockAddsItselfOnceAndAFullCountIsNeverTakenForAFreshKey)
{
    SimLock lock = lockWithEvents(0);
    Ds1977Memory key = keyOf(MissionKind::NewLockSetup);
    fill(lock, key);
    EXPECT_EQ(key.pages[1][0], 1);
    EXPECT_EQ(hex(key.pages[2], 0, 9), hex(kLockSerial, 0, 8) + "5A");

    key = keyOf(MissionKind::NewLockSetup);
    key.pages[1][0] = 0xFD;
    fill(lock, key);
    EXPECT_EQ(key.pages[1][0], 0xFE);
    EXPECT_EQ(key.pages[2 + 0xFD][8], 'Z');
    const Page first = key.pages[2];
    EXPECT_EQ(lock.visit(key), VisitResult::KeyFull);
    EXPECT_EQ(key.pages[1][0], 0xFE);
    EXPECT_EQ(key.pages[2], first);
}

TEST(SimLockRecords, AFullLogKeepsTheLatestRecords)
{
    SimLock lock = lockWithEvents(kLockMemory + 5);
    ASSERT_EQ(lock.log().size(), kLockMemory);
    // The oldest five went: the first record kept is the sixth, 5 s after midnight.
    EXPECT_EQ(lock.log().front().encode()[14], 0x05);
}

TEST(SimLockInformationKey, ReportsStateKeyListAndSettingsWithPage1Last)
{
    SimLock lock = lockWithEvents(kLockMemory + 5);
    LockState& st = lock.state();
    st.blink = true;
    st.manualSetupEnabled = false;
    st.hardwareVersion = 0x2122;
    st.softwareVersion = "2.3";
    st.level = 3;
    st.settingsImage[0] = 0x08;
    st.settingsImage[1023] = 0x77;
    st.keys.push_back({ "123456", std::nullopt, 1, 1, false });
    st.keys.push_back({ "", kUserKey, 3, 2, true });
    st.keys.push_back({ "42", kUserKey, 1, 16, false });

    Ds1977Memory key = keyOf(MissionKind::GetInformation);
    EXPECT_EQ(fill(lock, key).back(), 1);
    const Page& info = key.pages[1];
    EXPECT_EQ(hex(info, 0, 2), "5A5A");
    EXPECT_EQ(hex(info, 16, 9), hex(kLockSerial, 0, 8) + "5A");
    EXPECT_EQ(hex(info, 44, 7), "2122322E330003"); // hardware, software, key count
    EXPECT_EQ(hex(info, 57, 1) + hex(info, 61, 1), "2610");
    // The record count stays within what the reader takes as written.
    EXPECT_EQ(hex(key.pages[2], 0, 2) + hex(key.pages[2], 25, 1), "0D0003");

    // Entry 0: a code only; entry 1: an iButton with groups; entry 2 on the next page.
    const Page& list = key.pages[3];
    EXPECT_EQ(hex(list, 0, 4) + hex(list, 8, 1) + hex(list, 16, 2) + hex(list, 32, 1), "06123456" "FF" "FFFF" "FF");
    EXPECT_EQ(hex(list, 40, 10), hex(kUserKey, 0, 7) + "FF0201");
    EXPECT_EQ(hex(key.pages[4], 0, 1) + hex(key.pages[4], 17, 1), "02FF");
    EXPECT_EQ(hex(key.pages[285], 0, 1) + hex(key.pages[300], 63, 1), "0877"); // the settings image
}

namespace {
// A lock file of this process's own, and what loading a given text gives.
struct LockFile : ::testing::Test {
    const fs::path file = fs::temp_directory_path() / ("lockfile-" + std::to_string(::getpid()) + ".txt");
    void TearDown() override { fs::remove(file); }
    LockFileResult loadText(const std::string& text)
    {
        std::ofstream(file) << text;
        return loadLockFile(file);
    }
};
} // namespace

TEST_F(LockFile, ALockLoadsBackAsItWasSaved)
{
    SimLock lock = lockWithEvents(5);
    lock.record(AuditEvent::withCode("9876", 4, 2, at(2026, 2, 2)));
    lock.state().blink = true;
    lock.state().hardwareVersion = 0x2020;
    lock.state().settingsImage[5] = 0x42;
    lock.state().keys.push_back({ "1234", kUserKey, 2, 3, true });
    Ds1977Memory first = keyOf(MissionKind::TrailFirst);
    fill(lock, first);
    ASSERT_TRUE(saveLockFile(file, lock));

    auto loaded = loadLockFile(file);
    ASSERT_TRUE(loaded.lock) << loaded.error;
    const SimLock& back = *loaded.lock;
    EXPECT_EQ(back.serial(), lock.serial());
    EXPECT_EQ(back.clock(), lock.clock());
    ASSERT_EQ(back.log().size(), 6u);
    EXPECT_EQ(back.log()[5].encode(), lock.log()[5].encode());
    EXPECT_TRUE(back.secondKeyPending() && back.state().blink);
    EXPECT_EQ(back.state().hardwareVersion, 0x2020);
    EXPECT_EQ(back.state().settingsImage, lock.state().settingsImage);
    ASSERT_EQ(back.state().keys.size(), 1u);
    EXPECT_EQ(std::tie(back.state().keys[0].code, back.state().keys[0].key, back.state().keys[0].actExpGroup),
              std::tie(lock.state().keys[0].code, lock.state().keys[0].key, lock.state().keys[0].actExpGroup));
}

TEST_F(LockFile, RefusesWhatItCouldNotWriteBack)
{
    EXPECT_FALSE(loadText("sim-lock 1\nserial nothex\n").lock);
    const std::string head = "sim-lock 1\nserial 9906050403020137\nfacility 123456\nclock 2026-12-06 10:20:30\n"
                             "event 01AABBCC00000042";
    auto good = loadText(head + "2612000623595900\n");
    ASSERT_TRUE(good.lock) << good.error;
    EXPECT_EQ(good.lock->log().at(0).encode()[12], 0x23);
    // Times it could not write back unchanged.
    for (const char* when : { "2612000624000000", "2612000623600000", "2612000623596000", "2612001A10000000" }) {
        auto bad = loadText(head + when + "\n");
        EXPECT_FALSE(bad.lock) << when;
        EXPECT_NE(bad.error.find("bad event time"), std::string::npos) << when;
    }
}
