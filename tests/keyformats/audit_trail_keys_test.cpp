// Audit-trail program keys: the page images of every choice byte by byte, the choice table
// against the block arithmetic, and the write order.
#include "keyformats/audit_trail_keys.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };

MissionKeyPage pageOf(std::vector<uint8_t> head)
{
    MissionKeyPage p;
    p.fill(0xFF);
    std::memcpy(p.data(), head.data(), head.size());
    return p;
}

const AuditTrailChoice& choice(std::string_view item)
{
    for (const auto& c : kAuditTrailChoices)
        if (c.itemText == item)
            return c;
    throw std::out_of_range("no such item");
}

} // namespace

TEST(AuditTrailKeys, ChoiceListInOrder)
{
    std::vector<std::string_view> items;
    for (const auto& c : kAuditTrailChoices)
        items.push_back(c.itemText);
    EXPECT_EQ(
        items, (std::vector<std::string_view> { "25", "50", "100", "200", "400", "1000", "2000", "3000+" }));
    EXPECT_EQ(choice("2000").locksPerKeyLabel, "1");
    EXPECT_EQ(choice("3000+").locksPerKeyLabel, "1");
    EXPECT_EQ(kAuditTrailChoices[0].locksPerKeyLabel, "63") << "the label the window opens with";
}

TEST(AuditTrailKeys, MultiLockPageImagesForEveryChoice)
{
    struct Row {
        std::string_view item;
        uint8_t hi, lo;
        int pagesPerBlock;
    };
    const Row rows[] = { { "25", 0x00, 0x19, 8 }, { "50", 0x00, 0x32, 14 }, { "100", 0x00, 0x64, 26 },
        { "200", 0x00, 0xC8, 51 }, { "400", 0x01, 0x90, 101 }, { "1000", 0x03, 0xE8, 251 } };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.item));
        const auto& c = choice(r.item);
        ASSERT_EQ(c.kind, AuditTrailKeyKind::MultiLock);
        const auto writes = auditTrailKeyWrites(c, kSite);
        ASSERT_EQ(writes.size(), 1u);
        ASSERT_EQ(writes[0].size(), 2u);
        EXPECT_EQ(writes[0][0].page, 1) << "page 1 goes first";
        EXPECT_EQ(writes[0][0].image, pageOf({ 0x00 }));
        EXPECT_EQ(writes[0][1].page, 0);
        EXPECT_EQ(writes[0][1].image, pageOf({ 0x52, 0x45, 0x41, 0x44, 0xFB, 0x12, 0x34, 0x56, r.hi, r.lo }));

        // The shown lock count is the number of whole blocks in pages 2-510.
        EXPECT_EQ(pagesPerLockBlock(c.recordsPerLock), r.pagesPerBlock);
        EXPECT_EQ(std::to_string(lockBlocksThatFit(r.pagesPerBlock)), c.locksPerKeyLabel);
        EXPECT_EQ(multiLockChoice(c.recordsPerLock), &c);
    }
}

TEST(AuditTrailKeys, GetAuditTrailAndTwoKeyImages)
{
    auto writes = auditTrailKeyWrites(choice("2000"), kSite);
    ASSERT_EQ(writes.size(), 1u);
    ASSERT_EQ(writes[0].size(), 1u);
    EXPECT_EQ(writes[0][0].page, 0);
    EXPECT_EQ(writes[0][0].image, pageOf({ 0x52, 0x45, 0x41, 0x44, 0x01, 0x12, 0x34, 0x56, 0x07, 0xD0 }));
    // the facility code is copied as stored, even when it is not packed BCD
    writes = auditTrailKeyWrites(choice("3000+"), { 0xFF, 0x00, 0xAB });
    ASSERT_EQ(writes.size(), 2u);
    for (uint8_t kind : { 0x02, 0x03 }) {
        const auto& key = writes[kind - 2];
        ASSERT_EQ(key.size(), 1u);
        EXPECT_EQ(key[0].page, 0);
        EXPECT_EQ(key[0].image, pageOf({ 0x52, 0x45, 0x41, 0x44, kind, 0xFF, 0x00, 0xAB, 0x00, 0x00 }));
    }
}

TEST(AuditTrailKeys, OnlyTheSixMultiLockCountsHaveABlockSize)
{
    for (int n : { 0, 1, 24, 26, 2000, 3000, 65535, -25 }) {
        EXPECT_FALSE(pagesPerLockBlock(n).has_value()) << n;
        EXPECT_EQ(multiLockChoice(n), nullptr) << n;
    }
    EXPECT_EQ(lockBlocksThatFit(0), 0);
    EXPECT_EQ(lockBlocksThatFit(509), 1);
    EXPECT_EQ(lockBlocksThatFit(510), 0);
}

TEST(AuditTrailKeys, WrittenKeysIdentifyAsTheirKinds)
{
    for (const auto& c : kAuditTrailChoices) {
        for (const auto& key : auditTrailKeyWrites(c, kSite)) {
            for (const auto& w : key) {
                if (w.page != 0)
                    continue;
                const auto id = identifyMissionKey(w.image);
                EXPECT_EQ(id.type,
                    c.kind == AuditTrailKeyKind::MultiLock ? MissionKeyType::MultiLockAuditTrail
                                                           : MissionKeyType::GetAuditTrail);
                EXPECT_TRUE(id.header.facilityCodeMatches(w.image, kSite));
                EXPECT_FALSE(id.header.facilityCodeMatches(w.image, { 0x12, 0x34, 0x57 }));
            }
        }
    }
}
