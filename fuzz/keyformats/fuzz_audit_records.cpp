// Audit-trail keys as hostile bytes: the input is a run of 64-byte pages (page 0, page 1, then
// record pages). Every header and record decoder runs over them; the plans must stay in pages
// 2-510 and every row must carry a known event text.
#include "keyformats/audit_records.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

// Registers whatever ids and codes the key itself names, so every class is reached.
class EchoLookup : public AuditLookup {
public:
    uint8_t salt = 0;
    std::optional<AuditKeyUser> userBySerialId(const std::string& s) override
    {
        if (s.empty() || (s.back() + salt) % 3 != 0)
            return std::nullopt;
        return AuditKeyUser { s, "L", "Active", (salt & 1) ? std::optional<std::string>("D") : std::nullopt };
    }
    std::optional<AuditKeyUser> userByKeyCode(const std::string& c) override
    {
        require(!c.empty());
        return AuditKeyUser { c, "K", "Active", std::nullopt };
    }
    std::optional<AuditGuest> guestByCodeString(const std::string& c) override
    {
        require(!c.empty());
        return AuditGuest { c, "G" };
    }
};

MissionKeyPage pageAt(const uint8_t* data, size_t size, size_t index)
{
    MissionKeyPage p;
    p.fill(0xFF);
    const size_t at = index * 64;
    if (at < size)
        std::copy_n(data + at, std::min<size_t>(64, size - at), p.begin());
    return p;
}

void checkRows(const std::vector<AuditRow>& rows)
{
    static const std::set<std::string_view> known(openLockTypeVocabulary().begin(), openLockTypeVocabulary().end());
    for (const auto& r : rows) {
        require(known.count(r.OpenLockType) == 1);
        require(r.No >= 1);
        require(r.SerialID.size() <= 16);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t pages = (size + 63) / 64;
    const MissionKeyPage page0 = pageAt(data, size, 0), page1 = pageAt(data, size, 1);
    EchoLookup lookup;
    lookup.salt = size ? data[0] : 0;
    const AuditLockInfo lock { "L", "Loc" };

    identifyMissionKey(page0);
    if (auto h = decodeAuditKeyHeader(page0))
        require(h->lockSerialText().size() == (h->lockRom ? 16u : 0u));
    const AuditKeyCounts counts = decodeAuditKeyCounts(page1);
    const RecordPagePlan single = planSingleLockRecords(counts.recordsOnKey);
    require(single.recordCount <= kMaxRecordsOnKey);
    require(single.pageCount() == 0 || single.page(single.pageCount() - 1) <= kLastKeyPage);
    int trail = 0;
    for (int pi = 0; pi < single.pageCount() && static_cast<size_t>(2 + pi) < std::max<size_t>(pages, 3); ++pi)
        checkRows(decodeRecordPage(pageAt(data, size, 2 + pi), single, pi, lock, lookup, trail));

    // The same bytes read as a multi-lock key, whatever its kind byte says.
    MultiLockAuditHeader ml;
    ml.recordsPerLock = static_cast<uint16_t>((page0[8] << 8) | page0[9]);
    if (page0[8] == 0xFF) // reach the six sizes often
        ml.recordsPerLock = kAuditTrailChoices[page0[9] % 6].recordsPerLock;
    ml.pagesPerLockBlock = pagesPerLockBlock(ml.recordsPerLock);
    decodeMultiLockAuditHeader(page0);
    if (auto plan = planMultiLockAudit(ml, page1)) {
        require(plan->locksToRead <= plan->locksAudited);
        for (int k = 0; k < plan->locksToRead; ++k) {
            const int headerPage = plan->headerPage(k);
            require(headerPage >= 2 && headerPage <= kLastKeyPage);
            const auto block = decodeAuditLockBlockHeader(pageAt(data, size, static_cast<size_t>(headerPage % 8)));
            const RecordPagePlan records = planLockBlockRecords(*plan, k, block.recordCount);
            require(records.recordCount <= plan->recordsPerLock);
            for (int pi = 0; pi < records.pageCount(); ++pi) {
                require(records.page(pi) > headerPage && records.page(pi) <= kLastKeyPage);
                if (pi < 4) // the rows themselves were checked above; keep the run short
                    checkRows(decodeRecordPage(pageAt(data, size, 2 + static_cast<size_t>(pi)), records, pi, lock,
                                               lookup, trail));
            }
        }
    }
    return 0;
}
