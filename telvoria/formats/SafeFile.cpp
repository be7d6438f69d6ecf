#include "telvoria/formats/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace telvo::files {

namespace {
constexpr std::size_t BufferSize = std::size_t{1} << 20;
} // namespace

SafeFile::SafeFile(std::string target) : target_(std::move(target)) {
    if (target_.empty()) {
        error_ = "no file name";
        return;
    }
    struct stat existing {};
    bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target_.c_str(), W_OK) != 0)) {
        error_ = S_ISREG(existing.st_mode) ? "the file is read-only" : "not a regular file";
        return;
    }
    temporary_ = target_ + ".partial-XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
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

bool SafeFile::WriteAll(const char* data, std::size_t size) {
    while (size > 0 && !failed_) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("cannot write");
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
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
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size <= BufferSize) {
        buffer_.append(bytes, size);
        return true;
    }
    // Large blocks go straight to the file rather than through the buffer.
    return Flush() && (size >= BufferSize ? WriteAll(bytes, size)
                                          : (buffer_.append(bytes, size), true));
}

bool SafeFile::Commit() {
    if (fd_ < 0 || !Flush()) {
        return false;
    }
    if (::fsync(fd_) != 0) {
        Fail("cannot write");
        return false;
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        Fail("cannot write");
        return false;
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail("cannot replace the file");
        return false;
    }
    temporary_.clear();
    return true;
}

} // namespace telvo::files
