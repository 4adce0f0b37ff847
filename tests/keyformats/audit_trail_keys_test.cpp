// Audit-trail program keys: the page images of every choice byte by byte, the choice table
// against the block arithmetic, and the write order.
#include "keyformats/audit_trail_keys.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace {

const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };

// The keys a choice writes, one a line, each write as "page:" and its bytes in hex up to the
// FFh that fill the rest of the page.
std::string writesOf(const AuditTrailChoice& c, const FacilityCodeBytes& site)
{
    std::string out;
    for (const auto& key : auditTrailKeyWrites(c, site)) {
        for (const auto& w : key) {
            size_t end = w.image.size();
            while (end > 0 && w.image[end - 1] == 0xFF)
                --end;
            out += (out.empty() || out.back() == '\n' ? "" : " ") + std::to_string(w.page) + ":";
            for (size_t i = 0; i < end; ++i) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", w.image[i]);
                out += hex;
            }
        }
        out += "\n";
    }
    return out;
}

} // namespace

TEST(AuditTrailKeys, PageImagesOfEveryChoiceInWriteOrder)
{
    struct Row {
        std::string_view item, writes;
        int pagesPerBlock; // 0: not a multi-lock key
        std::string_view locksLabel;
    };
    // Multi-lock keys: page 1 (no lock audited yet) goes first, then page 0 with the records per
    // lock; the shown lock count is the number of whole blocks in pages 2-510.
    const Row rows[] = {
        { "25", "1:00 0:52454144FB1234560019\n", 8, "63" },
        { "50", "1:00 0:52454144FB1234560032\n", 14, "36" },
        { "100", "1:00 0:52454144FB1234560064\n", 26, "19" },
        { "200", "1:00 0:52454144FB12345600C8\n", 51, "9" },
        { "400", "1:00 0:52454144FB1234560190\n", 101, "5" },
        { "1000", "1:00 0:52454144FB12345603E8\n", 251, "2" },
        { "2000", "0:524541440112345607D0\n", 0, "1" },
        { "3000+", "0:52454144021234560000\n0:52454144031234560000\n", 0, "1" },
    };
    ASSERT_EQ(std::size(kAuditTrailChoices), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& c = kAuditTrailChoices[i];
        const auto& r = rows[i];
        SCOPED_TRACE(std::string(r.item));
        EXPECT_EQ(c.itemText, r.item);
        EXPECT_EQ(c.locksPerKeyLabel, r.locksLabel);
        EXPECT_EQ(writesOf(c, kSite), r.writes);
        EXPECT_EQ(c.kind == AuditTrailKeyKind::MultiLock, r.pagesPerBlock > 0);
        if (r.pagesPerBlock) {
            EXPECT_EQ(pagesPerLockBlock(c.recordsPerLock), r.pagesPerBlock);
            EXPECT_EQ(std::to_string(lockBlocksThatFit(r.pagesPerBlock)), c.locksPerKeyLabel);
            EXPECT_EQ(multiLockChoice(c.recordsPerLock), &c);
        }
        // What the program writes, it identifies again, with the site's facility code.
        for (const auto& key : auditTrailKeyWrites(c, kSite))
            for (const auto& w : key) {
                if (w.page != 0)
                    continue;
                const auto id = identifyMissionKey(w.image);
                EXPECT_EQ(id.type,
                    r.pagesPerBlock ? MissionKeyType::MultiLockAuditTrail : MissionKeyType::GetAuditTrail);
                EXPECT_TRUE(id.header.facilityCodeMatches(w.image, kSite));
                EXPECT_FALSE(id.header.facilityCodeMatches(w.image, { 0x12, 0x34, 0x57 }));
            }
    }
    // The facility code is copied as stored, even when it is not packed BCD.
    EXPECT_EQ(writesOf(kAuditTrailChoices[6], { 0xFF, 0x00, 0xAB }), "0:5245414401FF00AB07D0\n");
    EXPECT_EQ((std::vector { lockBlocksThatFit(0), lockBlocksThatFit(509), lockBlocksThatFit(510) }),
        (std::vector { 0, 1, 0 }));
}
