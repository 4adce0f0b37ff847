#include "locksim/lock_file.h"
#include "locksim/mission_headers.h"
#include "locksim/sim_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace locksim;
using namespace std::chrono;

namespace {
const std::array<uint8_t, 3> kSite { 0x12, 0x34, 0x56 };
const Rom kLockSerial { 0x37, 1, 2, 3, 4, 5, 6, 0x99 };
const Rom kUserKey { 0x01, 0xAA, 0xBB, 0xCC, 0, 0, 0, 0x42 };

Time at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return local_days { year { y } / mo / d } + hours { h } + minutes { mi } + seconds { s };
}

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
} // namespace

TEST(SimLockRecords, EncodesKeyCodeAndLockEvents)
{
    const auto key = AuditEvent::withKey(kUserKey, 0x02, at(2026, 12, 31, 23, 59, 58)).encode();
    EXPECT_EQ(key[0], 0x01);
    EXPECT_EQ(key[7], 0x42);
    EXPECT_EQ(key[8], 0x26);
    EXPECT_EQ(key[9], 0x12);
    EXPECT_EQ(key[10], 0x00);
    EXPECT_EQ(key[11], 0x31);
    EXPECT_EQ(key[12], 0x23);
    EXPECT_EQ(key[13], 0x59);
    EXPECT_EQ(key[14], 0x58);
    EXPECT_EQ(key[15], 0x02);

    const auto code = AuditEvent::withCode("1234567890", 4, 1, at(2026, 1, 2)).encode();
    EXPECT_EQ(code[0], 0xFF);
    EXPECT_EQ(code[1], 10);
    EXPECT_EQ(code[2], 0x12);
    EXPECT_EQ(code[6], 0x90);
    EXPECT_EQ(code[7], 0x00);
    EXPECT_EQ(code[15], 0x41);

    const auto closed = AuditEvent::ofLock(2, at(2026, 1, 2)).encode();
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(closed[i], 0x00);
    EXPECT_EQ(closed[7], 0x02);

    const auto empty = AuditEvent::empty().encode();
    for (uint8_t b : empty)
        EXPECT_EQ(b, 0xFF);
}

TEST(SimLockSingleTrail, WritesLatestRecordsThenCountsThenLockId)
{
    SimLock lock = lockWithEvents(2100);
    Ds1977Memory key = keyOf(MissionKind::GetAuditTrail);
    std::vector<SimLock::PageWrite> writes;
    ASSERT_EQ(lock.answer(key, writes), VisitResult::Filled);
    ASSERT_EQ(writes.size(), 500u + 2);
    EXPECT_EQ(writes.front().page, 2);
    EXPECT_EQ(writes[writes.size() - 2].page, 1);
    EXPECT_EQ(writes.back().page, 0);

    for (const auto& w : writes)
        key.pages[w.page] = w.bytes;
    EXPECT_EQ((key.pages[1][0] << 8) | key.pages[1][1], 2100);
    EXPECT_EQ((key.pages[1][2] << 8) | key.pages[1][3], 2000);
    EXPECT_EQ(key.pages[1][4], 0x26);
    EXPECT_EQ(key.pages[1][7], 0x06);
    EXPECT_EQ(key.pages[1][10], 0x30);
    EXPECT_TRUE(std::equal(kLockSerial.begin(), kLockSerial.end(), key.pages[0].begin() + 10));
    // The oldest record on the key is the 101st of the lock's log.
    EXPECT_EQ(key.pages[2][14], 0x40); // 100 s after midnight: 00:01:40
    EXPECT_EQ(key.pages[502][0], 0xFF);
}

TEST(SimLockSingleTrail, RefusesAnotherSiteAndLeavesTheKey)
{
    SimLock lock = lockWithEvents(3);
    Ds1977Memory key = keyOf(MissionKind::GetAuditTrail, 0, { 0x99, 0x99, 0x99 });
    const Ds1977Memory before = key;
    EXPECT_EQ(lock.visit(key), VisitResult::WrongFacility);
    EXPECT_EQ(key.pages, before.pages);
}

TEST(SimLockTwoKeyTrail, SplitsTheTrailAcrossBothKeys)
{
    SimLock lock = lockWithEvents(3000);
    Ds1977Memory second = keyOf(MissionKind::TrailSecond);
    EXPECT_EQ(lock.visit(second), VisitResult::NotForThisLock);

    Ds1977Memory first = keyOf(MissionKind::TrailFirst);
    ASSERT_EQ(lock.visit(first), VisitResult::Filled);
    EXPECT_TRUE(lock.secondKeyPending());
    EXPECT_EQ((first.pages[1][2] << 8) | first.pages[1][3], kRecordsPerKey);
    ASSERT_EQ(lock.visit(second), VisitResult::Filled);
    EXPECT_FALSE(lock.secondKeyPending());
    EXPECT_EQ((second.pages[1][2] << 8) | second.pages[1][3], 3000 - kRecordsPerKey);
    EXPECT_TRUE(std::equal(kLockSerial.begin(), kLockSerial.end(), second.pages[0].begin() + 10));
}

TEST(SimLockMultiLockTrail, AppendsOneBlockPerLockAndCountsLast)
{
    SimLock a = lockWithEvents(40);
    Rom otherSerial = kLockSerial;
    otherSerial[1] = 9;
    SimLock b(otherSerial, kSite, at(2026, 12, 6));
    b.record(AuditEvent::ofLock(1, at(2026, 12, 5)));

    Ds1977Memory key = keyOf(MissionKind::MultiLockAuditTrail, 25);
    std::vector<SimLock::PageWrite> writes;
    ASSERT_EQ(a.answer(key, writes), VisitResult::Filled);
    EXPECT_EQ(writes.back().page, 1);
    EXPECT_EQ(writes[writes.size() - 2].page, 2); // block header after its records
    for (const auto& w : writes)
        key.pages[w.page] = w.bytes;
    ASSERT_EQ(b.visit(key), VisitResult::Filled);

    EXPECT_EQ(key.pages[1][0], 2);
    EXPECT_EQ((key.pages[2][2] << 8) | key.pages[2][3], 25);
    EXPECT_EQ((key.pages[10][2] << 8) | key.pages[10][3], 1);
    EXPECT_TRUE(std::equal(otherSerial.begin(), otherSerial.end(), key.pages[10].begin() + 4));
    EXPECT_EQ(key.pages[11][15], 0x00);
    EXPECT_EQ(key.pages[11][7], 0x01);
}

TEST(SimLockMultiLockTrail, StopsWhenNoBlockFits)
{
    SimLock lock = lockWithEvents(5);
    Ds1977Memory key = keyOf(MissionKind::MultiLockAuditTrail, 1000);
    EXPECT_EQ(lock.visit(key), VisitResult::Filled);
    EXPECT_EQ(lock.visit(key), VisitResult::Filled);
    EXPECT_EQ(key.pages[253][4], kLockSerial[0]);
    EXPECT_EQ(lock.visit(key), VisitResult::KeyFull);
    EXPECT_EQ(key.pages[1][0], 2);

    Ds1977Memory odd = keyOf(MissionKind::MultiLockAuditTrail, 30);
    EXPECT_EQ(lock.visit(odd), VisitResult::UnknownKey);
}

TEST(SimLockSetupKey, EachLockAddsItselfOnce)
{
    SimLock lock = lockWithEvents(0);
    Ds1977Memory key = keyOf(MissionKind::NewLockSetup);
    ASSERT_EQ(lock.visit(key), VisitResult::Filled);
    EXPECT_EQ(key.pages[1][0], 1);
    EXPECT_TRUE(std::equal(kLockSerial.begin(), kLockSerial.end(), key.pages[2].begin()));
    EXPECT_EQ(key.pages[2][8], 'Z');
}

TEST(SimLockSetupKey, AFullCountIsNeverTakenForAFreshKey)
{
    SimLock lock = lockWithEvents(0);
    Ds1977Memory key = keyOf(MissionKind::NewLockSetup);
    key.pages[1][0] = 0xFD;
    ASSERT_EQ(lock.visit(key), VisitResult::Filled);
    EXPECT_EQ(key.pages[1][0], 0xFE);
    EXPECT_EQ(key.pages[2 + 0xFD][8], 'Z');
    const Page first = key.pages[2];
    EXPECT_EQ(lock.visit(key), VisitResult::KeyFull);
    EXPECT_EQ(key.pages[1][0], 0xFE);
    EXPECT_EQ(key.pages[2], first);
}

TEST(MissionHeaders, FacilityCodeStandsWhereEachKindCarriesIt)
{
    const auto fc = *facilityFromText("123456");
    EXPECT_EQ(fc, kSite);
    EXPECT_FALSE(facilityFromText("12345a"));
    EXPECT_EQ(missionHeader(MissionKind::NewLockSetup, fc)[8], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::Lockout, fc)[6], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::MultiLock, fc)[7], 0x12);
    EXPECT_EQ(missionHeader(MissionKind::SetTimeTable, fc)[63], 0xAA);
    const Page audit = missionHeader(MissionKind::GetAuditTrail, fc);
    const uint8_t expected[] = { 'R', 'E', 'A', 'D', 0x01, 0x12, 0x34, 0x56, 0x07, 0xD0, 0xFF };
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), audit.begin()));
    for (const auto& name : missionKindNames())
        EXPECT_TRUE(missionKindByName(name));
}

TEST(SimLockInformationKey, ReportsStateKeyListAndSettingsWithTheIdLast)
{
    SimLock lock = lockWithEvents(3328);
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
    std::vector<SimLock::PageWrite> writes;
    ASSERT_EQ(lock.answer(key, writes), VisitResult::Filled);
    EXPECT_EQ(writes.back().page, 1);
    for (const auto& w : writes)
        key.pages[w.page] = w.bytes;

    const Page& info = key.pages[1];
    EXPECT_EQ(info[0], 'Z');
    EXPECT_EQ(info[1], 'Z');
    EXPECT_TRUE(std::equal(kLockSerial.begin(), kLockSerial.end(), info.begin() + 16));
    EXPECT_EQ(info[24], 'Z');
    EXPECT_EQ(info[44], 0x21);
    EXPECT_EQ(info[45], 0x22);
    EXPECT_EQ(info[46], '2');
    EXPECT_EQ(info[48], '3');
    EXPECT_EQ((info[49] << 8) | info[50], 3);
    EXPECT_EQ(info[57], 0x26);
    EXPECT_EQ(info[61], 0x10);
    EXPECT_EQ(key.pages[2][0], 0x0D);
    EXPECT_EQ(key.pages[2][1], 0x00);
    EXPECT_EQ(key.pages[2][25], 3);

    // Entry 0: a code only; entry 1: an iButton with groups; entry 2 on the next page.
    const Page& list = key.pages[3];
    EXPECT_EQ(list[0], 6);
    EXPECT_EQ(list[1], 0x12);
    EXPECT_EQ(list[3], 0x56);
    EXPECT_EQ(list[8], 0xFF);
    EXPECT_EQ(list[16], 0xFF);
    EXPECT_EQ(list[17], 0xFF);
    EXPECT_EQ(list[32], 0xFF);
    EXPECT_EQ(list[40], kUserKey[0]);
    EXPECT_EQ(list[46], kUserKey[6]);
    EXPECT_EQ(list[48], 2);
    EXPECT_EQ(list[49], 0x01);
    EXPECT_EQ(key.pages[4][0], 2);
    EXPECT_EQ(key.pages[4][17], 0xFF);
    EXPECT_EQ(key.pages[285][0], 0x08);
    EXPECT_EQ(key.pages[300][63], 0x77);
}

TEST(LockFile, KeepsLogStateAndPendingSecondKey)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("lockfile-" + std::to_string(::getpid()) + ".txt");
    SimLock lock = lockWithEvents(5);
    lock.record(AuditEvent::withCode("9876", 4, 2, at(2026, 2, 2)));
    lock.state().blink = true;
    lock.state().hardwareVersion = 0x2020;
    lock.state().settingsImage[5] = 0x42;
    lock.state().keys.push_back({ "1234", kUserKey, 2, 3, true });
    Ds1977Memory first = keyOf(MissionKind::TrailFirst);
    ASSERT_EQ(lock.visit(first), VisitResult::Filled);
    ASSERT_TRUE(saveLockFile(file, lock));

    auto loaded = loadLockFile(file);
    fs::remove(file);
    ASSERT_TRUE(loaded.lock) << loaded.error;
    const SimLock& back = *loaded.lock;
    EXPECT_EQ(back.serial(), lock.serial());
    EXPECT_EQ(back.clock(), lock.clock());
    ASSERT_EQ(back.log().size(), 6u);
    EXPECT_EQ(back.log()[5].encode(), lock.log()[5].encode());
    EXPECT_TRUE(back.secondKeyPending());
    EXPECT_TRUE(back.state().blink);
    EXPECT_EQ(back.state().hardwareVersion, 0x2020);
    EXPECT_EQ(back.state().settingsImage[5], 0x42);
    ASSERT_EQ(back.state().keys.size(), 1u);
    EXPECT_EQ(back.state().keys[0].code, "1234");
    EXPECT_EQ(back.state().keys[0].key, kUserKey);
    EXPECT_EQ(back.state().keys[0].actExpGroup, 3);

    std::ofstream(file) << "sim-lock 1\nserial nothex\n";
    EXPECT_FALSE(loadLockFile(file).lock);
    fs::remove(file);
}

TEST(LockFile, RefusesAnEventTimeItCouldNotWriteBackUnchanged)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("lockfile-bad-" + std::to_string(::getpid()) + ".txt");
    auto loadWithEvent = [&](const std::string& event) {
        std::ofstream(file) << "sim-lock 1\nserial 9906050403020137\nfacility 123456\nclock 2026-12-06 10:20:30\n"
                            << "event " << event << "\n";
        auto r = loadLockFile(file);
        fs::remove(file);
        return r;
    };
    const std::string who = "01AABBCC00000042";
    auto good = loadWithEvent(who + "2612000623595900");
    ASSERT_TRUE(good.lock) << good.error;
    EXPECT_EQ(good.lock->log().at(0).encode()[12], 0x23);
    for (const char* when : { "2612000624000000", "2612000623600000", "2612000623596000", "2612001A10000000" }) {
        auto bad = loadWithEvent(who + when);
        EXPECT_FALSE(bad.lock) << when;
        EXPECT_NE(bad.error.find("bad event time"), std::string::npos) << when;
    }
}

TEST(SimLockRecords, ALockKeepsItsLatestRecordsOnly)
{
    SimLock lock = lockWithEvents(kLockMemory + 5);
    ASSERT_EQ(lock.log().size(), kLockMemory);
    // The oldest five went: the first record kept is the sixth, 5 s after midnight.
    EXPECT_EQ(lock.log().front().encode()[14], 0x05);

    // Its Get Information count stays within what the reader takes as written.
    Ds1977Memory key = keyOf(MissionKind::GetInformation);
    ASSERT_EQ(lock.visit(key), VisitResult::Filled);
    EXPECT_EQ(key.pages[2][0], 0x0D);
    EXPECT_EQ(key.pages[2][1], 0x00);
}
