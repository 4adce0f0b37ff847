#include "onewire/emulated_reader.h"

#include "onewire/devices.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <system_error>

namespace onewire {

namespace {
std::function<void(const std::string&)>& diagnostics()
{
    static std::function<void(const std::string&)> sink;
    return sink;
}

void report(const std::string& message)
{
    if (diagnostics())
        diagnostics()(message);
    else
        std::cerr << message << '\n';
}
} // namespace

std::filesystem::path readerFolder()
{
    const char* env = std::getenv(kReaderFolderEnv);
    std::filesystem::path p = (env && *env) ? std::filesystem::path(env) : std::filesystem::path(kDefaultReaderFolder);
    std::error_code ec;
    auto abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal();
}

RomId emulatedReaderRomId()
{
    // Its serial has only the top bit set, so a search finds it before any other family-01h
    // device: the start-up check takes the first id chip it finds for the reader's own.
    static const RomId rom = makeRomId(kFamilyIdChip, 0x8000'0000'0000);
    return rom;
}

void setReaderDiagnostics(std::function<void(const std::string&)> sink)
{
    diagnostics() = std::move(sink);
}

EmulatedReader::EmulatedReader(std::filesystem::path folder) : folder_(std::move(folder))
{
    attach(std::make_shared<SerialNumberDevice>(blankKey(emulatedReaderRomId())));
}

EmulatedReader::~EmulatedReader() = default;

void EmulatedReader::beginSession()
{
    rescan();
}

void EmulatedReader::rescan()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::error_code e2;
        if (p.extension() == kKeyFileExtension && it->is_regular_file(e2))
            found.push_back(p);
    }
    std::sort(found.begin(), found.end());

    // Files that went away take their keys with them.
    for (auto it = files_.begin(); it != files_.end();) {
        if (!std::binary_search(found.begin(), found.end(), it->first)) {
            if (it->second.ok && find(it->second.rom) == it->second.device)
                detach(it->second.rom);
            it = files_.erase(it);
        } else {
            ++it;
        }
    }

    std::map<RomId, fs::path> owners;
    skipped_.clear();
    for (const fs::path& p : found) {
        std::error_code e1, e2;
        const auto mtime = fs::last_write_time(p, e1);
        const auto size = fs::file_size(p, e2);
        if (e1 || e2)
            continue;
        auto old = files_.find(p);
        const bool unchanged = old != files_.end() && old->second.mtime == mtime && old->second.size == size;
        if (unchanged && !old->second.ok && old->second.damaged) {
            skipped_.push_back(old->second.message);
            continue;
        }
        if (unchanged && old->second.ok && !owners.count(old->second.rom)) {
            owners[old->second.rom] = p;
            if (!find(old->second.rom) && !faults().takenAway.count(old->second.rom) && old->second.device)
                attach(old->second.device);
            continue;
        }
        std::string previousMessage;
        if (old != files_.end()) {
            if (old->second.ok && find(old->second.rom) == old->second.device)
                detach(old->second.rom);
            previousMessage = old->second.message;
        }

        Entry e;
        e.mtime = mtime;
        e.size = size;
        KeyFileResult r = loadKeyFile(p);
        std::string problem;
        if (!r.key)
            problem = r.error;
        else if (r.key->rom == emulatedReaderRomId())
            problem = p.string() + ": has the reader's own id chip ROM id";
        else if (owners.count(r.key->rom))
            problem = p.string() + ": same ROM id as " + owners[r.key->rom].filename().string();
        if (!problem.empty()) {
            e.damaged = !r.key;
            e.message = "Reader: key file skipped: " + problem;
            if (e.message != previousMessage)
                report(e.message);
            skipped_.push_back(e.message);
            files_[p] = e;
            continue;
        }
        e.ok = true;
        e.rom = r.key->rom;
        owners[e.rom] = p;
        auto device = makeDevice(std::move(*r.key));
        device->setPersist([this, p](const KeyFile& key) {
            std::string error;
            if (!saveKeyFile(p, key, &error)) {
                report("Reader: key not saved: " + error);
                return false;
            }
            std::error_code x1, x2;
            auto& entry = files_[p];
            entry.mtime = fs::last_write_time(p, x1);
            entry.size = fs::file_size(p, x2);
            return true;
        });
        e.device = device;
        files_[p] = e;
        if (!faults().takenAway.count(e.rom))
            attach(device);
    }
}

} // namespace onewire
