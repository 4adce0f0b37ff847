#pragma once
// Writing a file so that it appears under its final name complete or not at all. The bytes go
// into a temporary file created exclusively beside the target (never through a link planted
// under its name), the file is flushed to the disk, moved over the target, and the move is
// flushed with the folder. On any failure the target is as it was and no temporary is left.
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fileio {

// Every failure of these routines: a readable sentence naming the file and the system's reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A new, empty file "<folder>/.<name>.XXXXXX.tmp" with a fresh random part, created with
// O_CREAT|O_EXCL|O_NOFOLLOW and the mode any new file of the user gets. It is removed again
// when the object goes without having been committed.
class TemporaryFile {
public:
    TemporaryFile(const std::filesystem::path& folder, std::string_view name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // For writers that open a file by its name (libraries that take a path).
    const std::filesystem::path& path() const { return path_; }
    // Appends through the descriptor it was created with.
    void write(std::string_view bytes);

    // Flushes the file, moves it over target and flushes the folder.
    void replace(const std::filesystem::path& target);
    // The same, but only when nothing stands under target yet: false (and still uncommitted)
    // when something does.
    bool moveToFreeName(const std::filesystem::path& target);

private:
    void prepareCommit(const std::filesystem::path& target);
    void finishCommit(const std::filesystem::path& target);

    std::filesystem::path folder_;
    std::filesystem::path intended_; // the name the file is written for, for messages
    std::filesystem::path path_;
    int fd_ = -1;
};

// The whole file in one call: bytes through a temporary in the file's folder.
void writeFileReplacing(const std::filesystem::path& file, std::string_view bytes);

// For tests: while this lives, the random part of the temporaries' names comes from `next`,
// so that a test can plant something under a name before a writer takes it. Going out of scope
// (a failed assertion included) gives the names back to chance.
class TemporaryNamePart {
public:
    explicit TemporaryNamePart(std::function<std::string()> next);
    ~TemporaryNamePart();
    TemporaryNamePart(const TemporaryNamePart&) = delete;
    TemporaryNamePart& operator=(const TemporaryNamePart&) = delete;
};

// Moves file out of the way to the first free name of "<file><suffix>", "<file><suffix>.2", ...,
// never replacing anything, and returns the name used.
std::filesystem::path keepAside(const std::filesystem::path& file, std::string_view suffix);

} // namespace fileio
