// Reading a full audit-trail key in the Read Key window from the emulated reader: time per
// page, and how the time splits between key I/O, decoding and the database.
#include "app/keyreading/read_card_form.h"
#include "app/shell/settings_record.h"
#include "keyaccess/dialog_layer.h"
#include "keyaccess/key_io.h"
#include "keyformats/audit_trail_keys.h"
#include "locksim/sim_lock.h"
#include "onewire/emulated_reader.h"
#include "onewire/key_file.h"
#include "onewire/ports.h"

#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;
using namespace std::chrono;

const FacilityCodeBytes kSite { 0x12, 0x34, 0x56 };

void BM_ReadFullAuditKey(benchmark::State& state)
{
    const bool smoke = std::getenv("IOS_BENCH_SMOKE") != nullptr;
    const int records = smoke ? 64 : locksim::kRecordsPerKey; // 2,036: pages 2-510 full
    const fs::path dir = fs::temp_directory_path() / ("ios_bench_readkey_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Reader");
    fs::copy_file(IOS_BINARY_DIR "/iOstrivaneDB.db", dir / "db.db");
    {
        TDbConnection db;
        db.Open((dir / "db.db").string());
        const RomId lock = onewire::makeRomId(0x29, 1);
        db.ExecSQL("INSERT INTO LockManagement (LockID,SerialID,LockName,LockLocation) VALUES (1,'"
            + romIdText(lock) + "','Store','Wing')");
        for (int u = 0; u < 200; ++u)
            db.ExecSQL("INSERT INTO KeyManagement (KeyID,SerialID,KeyCode,FirstName,LastName,Status) VALUES ("
                + std::to_string(u + 1) + ",'" + romIdText(onewire::makeRomId(0x01, uint64_t(u))) + "','"
                + std::to_string(1000 + u) + "','F','L','Active')");
        // A key the program wrote, filled by a lock with a full log of keys and codes.
        locksim::SimLock sim(lock, kSite, local_days { year { 2026 } / 12 / 6 });
        for (int i = 0; i < records; ++i) {
            const auto t = local_days { year { 2026 } / 1 / 1 } + minutes(i);
            if (i % 4 == 3)
                sim.record(locksim::AuditEvent::withCode(std::to_string(1000 + i % 300), 1, 0, t));
            else
                sim.record(locksim::AuditEvent::withKey(
                    onewire::makeRomId(0x01, uint64_t(i % 300)), uint8_t(i % 3), t));
        }
        locksim::Ds1977Memory m;
        m.rom = onewire::makeRomId(0x37, 9);
        m.pages[0] = auditTrailHeaderPage(ReadKind::GetAuditTrail, uint16_t(records), kSite);
        sim.visit(m);
        auto key = onewire::blankDS1977(m.rom);
        onewire::setDS1977Passwords(key, keyPassword(), keyPassword(), true);
        for (int p = 0; p < locksim::kPages; ++p)
            onewire::setDS1977Page(key, p, m.pages[size_t(p)]);
        onewire::saveKeyFile(onewire::keyFilePath(dir / "Reader", key.rom), key);
    }

    TDbConnection db;
    db.Open((dir / "db.db").string());
    auto bus = std::make_shared<onewire::EmulatedReader>(dir / "Reader");
    onewire::ScopedPort port(onewire::kEmulatedReaderPortNum, onewire::kEmulatedReaderPortType, bus);
    SettingsRecord.PortNum = onewire::kEmulatedReaderPortNum;
    SettingsRecord.PortType = onewire::kEmulatedReaderPortType;
    SettingsRecord.ReaderRomId = romIdText(onewire::emulatedReaderRomId());
    SettingsRecord.FacilityCode = kSite;
    ScriptedDialogs dialogs;
    ScopedAppDialogs scoped(dialogs);
    {
        TReadCard_Form form(&db);
        form.Timer1->stop();
        keyreading::ReadTimings total;
        nanoseconds wall {};
        for (auto _ : state) {
            form.timings.clear();
            const auto start = steady_clock::now();
            form.sbReadCardClick();
            wall += steady_clock::now() - start;
            total.keyIo += form.timings.keyIo;
            total.decoding += form.timings.decoding;
            total.database += form.timings.database;
            total.pagesRead += form.timings.pagesRead;
        }
        if (!dialogs.boxes.empty())
            state.SkipWithError(dialogs.boxes.front().text.c_str());
        const double w = double(wall.count());
        state.counters["pages"] = double(total.pagesRead) / double(state.iterations());
        state.counters["ms/page"] = w / 1e6 / std::max(1, total.pagesRead);
        state.counters["io%"] = 100.0 * double(total.keyIo.count()) / w;
        state.counters["decode%"] = 100.0 * double(total.decoding.count()) / w;
        state.counters["db%"] = 100.0 * double(total.database.count()) / w;
        state.counters["other%"]
            = 100.0 * double((wall - total.keyIo - total.decoding - total.database).count()) / w;
        state.counters["rows"] = double(form.TempRecord_Query.RecordCount());
    }
    db.Close();
    fs::remove_all(dir);
}
BENCHMARK(BM_ReadFullAuditKey)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
