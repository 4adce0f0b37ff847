// Decoding a full single-lock key (2,036 records on pages 2-510) with an in-memory look-up:
// the decoder's own share of a read, without key I/O or database.
#include "keyformats/audit_records.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <vector>

namespace {

class MapLookup : public AuditLookup {
public:
    std::map<std::string, AuditKeyUser> users;
    std::optional<AuditKeyUser> userBySerialId(const std::string& s) override
    {
        auto it = users.find(s);
        return it == users.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<AuditKeyUser> userByKeyCode(const std::string&) override { return std::nullopt; }
    std::optional<AuditGuest> guestByCodeString(const std::string&) override { return AuditGuest { "G", "H" }; }
};

} // namespace

static void BM_DecodeFullSingleLockKey(benchmark::State& state)
{
    const bool smoke = std::getenv("IOS_BENCH_SMOKE") != nullptr;
    const int records = smoke ? 64 : kMaxRecordsOnKey;
    const RecordPagePlan plan = planSingleLockRecords(records);
    std::vector<MissionKeyPage> pages(static_cast<size_t>(plan.pageCount()), blankMissionKeyPage());
    MapLookup lookup;
    for (int i = 0; i < records; ++i) {
        uint8_t who[8] = { 0x01, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 0, 0, 0, 0x42 };
        if (i % 3 == 1) // a code
            who[0] = 0xFF, who[1] = 8;
        auto& p = pages[static_cast<size_t>(i / 4)];
        uint8_t* r = p.data() + 16 * (i % 4);
        std::copy(who, who + 8, r);
        const uint8_t t[8] = { 0x26, 0x06, 0x00, 0x15, 0x10, 0x30, 0x45, static_cast<uint8_t>(i % 3 == 1 ? 0x41 : 0x01) };
        std::copy(t, t + 8, r + 8);
        if (i % 3 == 0) {
            RomId rom;
            std::copy(who, who + 8, rom.begin());
            lookup.users[romIdText(rom)] = { "A", "B", "Active", std::nullopt };
        }
    }
    const AuditLockInfo lock { "Room", "Wing" };
    for (auto _ : state) {
        int trail = 0;
        size_t rows = 0;
        for (int pi = 0; pi < plan.pageCount(); ++pi)
            rows += decodeRecordPage(pages[static_cast<size_t>(pi)], plan, pi, lock, lookup, trail).size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * records,
                                                     benchmark::Counter::kIsRate);
    state.counters["s/page"] = benchmark::Counter(static_cast<double>(state.iterations()) * plan.pageCount(),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DecodeFullSingleLockKey)->Unit(benchmark::kMillisecond);
