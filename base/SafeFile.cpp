#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace telvo {

namespace {

constexpr std::size_t BufferSize = std::size_t{1} << 20;
constexpr std::size_t WritebackStep = std::size_t{8} << 20;
constexpr std::string_view TemporarySuffix = ".tmp-XXXXXX";

// Replacing a symbolic link would cut it: write where it points instead.
std::string Resolved(const std::string& target) {
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            std::string path(real);
            std::free(real);
            return path;
        }
    }
    return target;
}

// A hidden name beside the target, short enough for the file system's name limit.
std::string TemporaryName(const std::string& target) {
    std::size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    constexpr std::size_t room = NAME_MAX - 1 - TemporarySuffix.size();
    if (name.size() > room) {
        name.resize(room);
    }
    return folder + "." + name + std::string(TemporarySuffix);
}

bool Writable(const struct stat& file, const std::string& path) {
    // access() answers yes to root for any file; the mode bits say what the owner meant.
    return (file.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
}

} // namespace

SafeFile::SafeFile(std::string target) : target_(std::move(target)) {
    if (target_.empty()) {
        error_ = "no file name";
        return;
    }
    target_ = Resolved(target_);
    struct stat existing {};
    bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error_ = "not a regular file";
        return;
    }
    if (exists && !Writable(existing, target_)) {
        error_ = "the file is read-only";
        return;
    }
    temporary_ = TemporaryName(target_);
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        Fail("cannot create a file in its folder");
        temporary_.clear();
        return;
    }
    // mkstemp makes the file private; the new file gets the old one's mode, or the usual one.
    mode_t mode = 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
    buffer_.reserve(BufferSize);
}

SafeFile::~SafeFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
}

void SafeFile::Fail(const char* what) {
    if (!failed_) {
        failed_ = true;
        error_ = std::string(what) + ": " + std::strerror(errno);
    }
}

// Every byte at the file's position, or at `offset` when given; false after a failure.
bool SafeFile::WriteOut(const char* data, std::size_t size, std::uint64_t* offset) {
    while (size > 0 && !failed_) {
        ssize_t n = offset ? ::pwrite(fd_, data, size, static_cast<off_t>(*offset))
                           : ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            Fail("cannot write");
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        if (offset) {
            *offset += static_cast<std::uint64_t>(n);
            placed_ += static_cast<std::size_t>(n);
        } else {
            written_ += static_cast<std::size_t>(n);
        }
    }
    return !failed_;
}

bool SafeFile::WriteAll(const char* data, std::size_t size) {
    WriteOut(data, size, nullptr);
    // Start the disk on what is written so far: the final sync then has little left to wait
    // for, and the writing overlaps with the caller's own work.
    if (!failed_ && written_ - started_ >= WritebackStep) {
        ::sync_file_range(fd_, static_cast<off_t>(started_),
                          static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
        started_ = written_;
    }
    return !failed_;
}

bool SafeFile::Flush() {
    bool ok = WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

bool SafeFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0 || failed_) {
        return false;
    }
    synced_ = false;
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size <= BufferSize) {
        buffer_.append(bytes, size);
        return true;
    }
    // Large blocks go straight to the file rather than through the buffer.
    return Flush() &&
           (size >= BufferSize ? WriteAll(bytes, size) : (buffer_.append(bytes, size), true));
}

bool SafeFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0 || !Flush()) {
        return false;
    }
    synced_ = false;
    if (!WriteOut(static_cast<const char*>(data), size, &offset)) {
        return false;
    }
    if (placed_ >= WritebackStep) {
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE); // to the end, wherever they lie
        placed_ = 0;
    }
    return true;
}

bool SafeFile::Sync() {
    if (fd_ < 0 || !Flush()) {
        return false;
    }
    if (!synced_ && ::fsync(fd_) != 0) {
        Fail("cannot write");
        return false;
    }
    synced_ = true;
    return true;
}

bool SafeFile::Commit() {
    if (!Sync()) {
        return false;
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        Fail("cannot write");
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail("cannot replace the file");
        return false;
    }
    temporary_.clear();
    // The rename lasts through a power cut only once the folder is on the disk too.
    std::size_t slash = target_.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace telvo
