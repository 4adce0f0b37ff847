// Key identification from page 0: marker, kind, title and where the facility code is checked.
#include "keyformats/mission_key.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {
MissionKeyPage startingWith(std::string_view head)
{
    MissionKeyPage p = blankMissionKeyPage();
    std::copy(head.begin(), head.end(), p.begin());
    return p;
}
MissionKeyPage writeKey(uint8_t kind, uint8_t byte63 = 0xFF)
{
    MissionKeyPage p = startingWith("WRITE");
    p[5] = kind;
    p[63] = byte63;
    return p;
}
MissionKeyPage readKey(uint8_t kind)
{
    MissionKeyPage p = blankMissionKeyPage();
    putReadHeader(p, kind, { 1, 2, 3 });
    return p;
}
} // namespace

TEST(MissionKeyHeader, IdentificationTable)
{
    struct Row {
        MissionKeyPage page;
        MissionKeyType type;
        std::optional<std::size_t> fc;
        std::string_view title;
    };
    const Row rows[] = {
        { writeKey(0), MissionKeyType::NewLockSetup, 8, "New Lock Setup Mission Key" },
        { writeKey(1), MissionKeyType::Lockout, 6, "Lockout Key" },
        { writeKey(2), MissionKeyType::KeyManagement, 6, "Key Management Mission Key" },
        { writeKey(3, 0xAA), MissionKeyType::SetTimeTable, 7, "Set Time Table Key" },
        { writeKey(3, 0xAB), MissionKeyType::MultiLock, 7, "Multi-Lock Key" },
        { writeKey(4), MissionKeyType::Unnamed, std::nullopt, "" },
        { writeKey(5), MissionKeyType::Unnamed, std::nullopt, "" },
        { readKey(0x00), MissionKeyType::GetInformation, 5, "Get Information Key" },
        { readKey(0x01), MissionKeyType::GetAuditTrail, 5, "Get Audit Trail Key" },
        { readKey(0x02), MissionKeyType::GetAuditTrail, 5, "Get Audit Trail Key" },
        { readKey(0x03), MissionKeyType::GetAuditTrail, 5, "Get Audit Trail Key" },
        { readKey(0xFB), MissionKeyType::MultiLockAuditTrail, 5, "Multi-Lock Audit Trail Key" },
        { readKey(0xFE), MissionKeyType::SetParameter, 5, "Set Parameter Key" },
        { readKey(0xFF), MissionKeyType::IRStarter, 5, "IR Starter Key" },
        { readKey(0xE0), MissionKeyType::Unnamed, std::nullopt, "" },
        { readKey(0xFC), MissionKeyType::Unnamed, std::nullopt, "" },
        { readKey(0xFD), MissionKeyType::Unnamed, std::nullopt, "" },
        { readKey(0x04), MissionKeyType::Unnamed, std::nullopt, "" },
        // markers are exact
        { blankMissionKeyPage(), MissionKeyType::NotMissionKey, std::nullopt, "" },
        { startingWith("write"), MissionKeyType::NotMissionKey, std::nullopt, "" },
        { startingWith("REA\x01"), MissionKeyType::NotMissionKey, std::nullopt, "" },
    };
    for (auto r : rows) {
        const auto id = identifyMissionKey(r.page);
        SCOPED_TRACE(int(id.header.kind));
        EXPECT_EQ(id.type, r.type);
        EXPECT_EQ(id.facilityCodeOffset, r.fc);
        EXPECT_EQ(id.title, r.title);
        // The facility code is compared at the kind's offset; a kind without one never matches.
        const size_t at = r.fc.value_or(8);
        std::copy_n(std::array<uint8_t, 3> { 0x12, 0x34, 0x56 }.begin(), 3, r.page.begin() + at);
        const auto header = MissionKeyHeader::fromPage(r.page);
        EXPECT_EQ(header.facilityCodeMatches(r.page, { 0x12, 0x34, 0x56 }), r.fc.has_value());
        for (FacilityCodeBytes other :
            { FacilityCodeBytes { 0x12, 0x34, 0x57 }, FacilityCodeBytes { 0xFF, 0xFF, 0xFF } })
            EXPECT_FALSE(header.facilityCodeMatches(r.page, other));
    }
    // The READ form always carries the facility code at 5-7, also for kinds not named.
    const auto h = MissionKeyHeader::fromPage(readKey(0x42));
    EXPECT_TRUE(h.marker == MissionKeyMarker::Read && h.kind == 0x42);
    EXPECT_EQ(h.facilityCodeOffset(), 5u);
}
