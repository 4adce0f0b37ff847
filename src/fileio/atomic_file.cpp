#include "fileio/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& p) { return "\"" + p.string() + "\""; }

std::string reason(int error) { return std::strerror(error); }

fs::path folderOf(const fs::path& file)
{
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

std::function<std::string()>& namePartSource()
{
    static std::function<std::string()> next;
    return next;
}

std::string randomPart()
{
    if (namePartSource())
        return namePartSource()();
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static thread_local std::mt19937_64 engine { std::random_device {}() ^ static_cast<uint64_t>(::getpid()) };
    std::string s(6, 'X');
    for (char& c : s)
        c = kAlphabet[engine() % (sizeof kAlphabet - 1)];
    return s;
}

// The rename itself reaches the disk only with its folder. Some file systems cannot flush a
// folder; the file is in place by then, so that is not reported.
void flushFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// rename(2) that never replaces: 0, or the errno (EEXIST when something is in the way).
int renameNoReplace(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) { // a file system without the no-replace move
        std::error_code ec;
        if (fs::exists(fs::symlink_status(to, ec)))
            return EEXIST;
        if (std::rename(from.c_str(), to.c_str()) == 0)
            return 0;
        error = errno;
    }
    return error;
}

} // namespace

TemporaryNamePart::TemporaryNamePart(std::function<std::string()> next) { namePartSource() = std::move(next); }
TemporaryNamePart::~TemporaryNamePart() { namePartSource() = nullptr; }

TemporaryFile::TemporaryFile(const fs::path& folder, std::string_view name)
    : folder_(folder.empty() ? fs::path(".") : folder), intended_(folder_ / std::string(name))
{
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        const fs::path candidate = folder_ / ("." + std::string(name) + "." + randomPart() + ".tmp");
        // O_EXCL with O_CREAT never follows a link: a name that exists in any form is skipped.
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            path_ = candidate;
            return;
        }
        error = errno;
    }
    throw FileError("Cannot write into the folder " + quoted(folder_) + ": " + reason(error) + ".");
}

TemporaryFile::~TemporaryFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!path_.empty())
        ::unlink(path_.c_str());
}

void TemporaryFile::write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = fd_ < 0 ? -1 : ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError("Cannot write the file " + quoted(intended_) + ": " + reason(fd_ < 0 ? EBADF : errno) + ".");
        }
        done += static_cast<std::size_t>(n);
    }
}

void TemporaryFile::prepareCommit(const fs::path& target)
{
    if (fd_ < 0)
        return; // flushed and checked by an earlier attempt
    auto failure = [&](int error) {
        return FileError("Cannot write the file " + quoted(target) + ": " + reason(error) + ".");
    };
    // A writer that opened the file by name must have written this very file.
    struct stat mine {}, named {};
    if (::fstat(fd_, &mine) != 0)
        throw failure(errno);
    if (::lstat(path_.c_str(), &named) != 0)
        throw failure(errno);
    if (mine.st_dev != named.st_dev || mine.st_ino != named.st_ino || !S_ISREG(named.st_mode))
        throw failure(EEXIST);
    if (::fsync(fd_) != 0)
        throw failure(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        throw failure(errno);
}

void TemporaryFile::finishCommit(const fs::path& target)
{
    path_.clear();
    flushFolder(folderOf(target));
}

void TemporaryFile::replace(const fs::path& target)
{
    prepareCommit(target);
    if (std::rename(path_.c_str(), target.c_str()) != 0)
        throw FileError("Cannot write the file " + quoted(target) + ": " + reason(errno) + ".");
    finishCommit(target);
}

bool TemporaryFile::moveToFreeName(const fs::path& target)
{
    prepareCommit(target);
    const int error = renameNoReplace(path_, target);
    if (error == EEXIST)
        return false;
    if (error != 0)
        throw FileError("Cannot write the file " + quoted(target) + ": " + reason(error) + ".");
    finishCommit(target);
    return true;
}

void writeFileReplacing(const fs::path& file, std::string_view bytes)
{
    TemporaryFile temporary(folderOf(file), file.filename().string());
    temporary.write(bytes);
    temporary.replace(file);
}

fs::path keepAside(const fs::path& file, std::string_view suffix)
{
    for (int n = 1; n <= 1000; ++n) {
        fs::path aside = file;
        aside += std::string(suffix);
        if (n > 1)
            aside += "." + std::to_string(n);
        const int error = renameNoReplace(file, aside);
        if (error == EEXIST)
            continue;
        if (error != 0)
            throw FileError("Cannot move the file " + quoted(file) + " to " + quoted(aside) + ": " + reason(error) + ".");
        flushFolder(folderOf(file));
        return aside;
    }
    throw FileError("Cannot find a free name to move the file " + quoted(file) + " to.");
}

} // namespace fileio
