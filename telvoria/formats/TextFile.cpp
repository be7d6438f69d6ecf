#include "telvoria/formats/TextFile.h"

#include "suitlib/SuitLib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace telvo::files {

int OpenToRead(const char* path) {
    return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

bool ReadSmallFile(const char* path, long maxSize, const char* what, std::string& text,
                   std::string& error) {
    int fd = OpenToRead(path);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        error = std::string("cannot open the file: ") + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    bool ok = false;
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
    } else if (info.st_size > maxSize) {
        error = std::string("too large for ") + what;
    } else {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::read(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ok = done == text.size();
        if (!ok) {
            error = "the file ended early";
        }
    }
    ::close(fd);
    // Editors on some systems start a text file with a byte order mark.
    if (ok && text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    return ok;
}

bool LineReader::Next(std::string_view& line) {
    if (at_ >= text_.size()) {
        return false;
    }
    std::size_t end = std::min(text_.find('\n', at_), text_.size());
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
    ++number_;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return true;
}

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) {
            break;
        }
        std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        tokens.push_back(line.substr(at, end - at));
        at = end;
    }
    return tokens;
}

std::string Quoted(std::string_view token) {
    if (token.size() > 40) {
        return "";
    }
    for (char c : token) {
        if (c < 0x20 || c > 0x7e) {
            return "";
        }
    }
    return " '" + std::string(token) + "'";
}

int UnitNamed(std::string_view name) {
    for (int u = 0; u < UnitCount; ++u) {
        std::string_view known = GyroGetUnitName(u);
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(),
                       [](char a, char b) { return (a | 0x20) == (b | 0x20); })) {
            return u;
        }
    }
    return -1;
}

} // namespace telvo::files
