#pragma once
// The emulated iButton reader: its own family-01h id chip plus one device per key file in
// its folder. The folder is scanned each time a session opens, so keys can be put in and
// taken out between reads; a changed file is reloaded, a damaged or foreign one is skipped
// with a message. A page written to a key reaches its file before the write reports success.
#include "onewire/key_file.h"
#include "onewire/microlan.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace onewire {

// Folder of the emulated reader: $IOS_READER_DIR when set and not empty, else "Reader" in
// the current folder.
inline constexpr const char* kReaderFolderEnv = "IOS_READER_DIR";
inline constexpr const char* kDefaultReaderFolder = "Reader";
std::filesystem::path readerFolder();

// The reader's own id chip (family 01h); fixed for every emulated reader.
RomId emulatedReaderRomId();

// Where messages about skipped files go (stderr by default).
void setReaderDiagnostics(std::function<void(const std::string&)> sink);

class EmulatedReader : public MicroLan {
public:
    explicit EmulatedReader(std::filesystem::path folder);
    ~EmulatedReader() override;

    const std::filesystem::path& folder() const { return folder_; }
    void beginSession() override;
    // Messages of the last scan for files that were skipped (one per file).
    const std::vector<std::string>& skipped() const { return skipped_; }
    std::vector<std::string> keysNotLoaded() const override { return skipped_; }

    // Rescans now (beginSession does this).
    void rescan();

private:
    struct Entry {
        std::filesystem::file_time_type mtime;
        std::uintmax_t size = 0;
        RomId rom {};
        bool ok = false;
        bool damaged = false;                // unreadable: not tried again until it changes
        std::string message;                 // why it was skipped
        std::shared_ptr<Device> device;
    };
    std::filesystem::path folder_;
    std::map<std::filesystem::path, Entry> files_;
    std::vector<std::string> skipped_;
};

} // namespace onewire
