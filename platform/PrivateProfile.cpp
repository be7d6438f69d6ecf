#include "PrivateProfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace telvo {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z') {
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        }
        if (cb >= 'A' && cb <= 'Z') {
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        }
        if (ca != cb) {
            return false;
        }
    }
    return true;
}

bool HasControlBytes(std::string_view s) {
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) {
            return true;
        }
    }
    return false;
}

std::string Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::string Clean(std::string_view v) {
    std::string out(v);
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) {
            c = ' ';
        }
    }
    return out;
}

} // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long value = 0;
    std::size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            return std::nullopt;
        }
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX || value < INT_MIN) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

PrivateProfile::PrivateProfile(std::filesystem::path file) : file_(std::move(file)) {}

bool PrivateProfile::Load() {
    sections_.clear();
    crlf_ = false;
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return !ec;
    }
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return false;
    }
    Parse(text.str());
    return true;
}

void PrivateProfile::Parse(std::string_view text) {
    sections_.clear();
    sections_.push_back(Section{});
    Section* current = &sections_.front();
    // The file's line-ending style is the one most of its kept lines use.
    int crlfLines = 0;
    int lfLines = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        bool cr = !line.empty() && line.back() == '\r';
        if (cr) {
            line.remove_suffix(1);
        }
        if (HasControlBytes(line)) {
            continue;
        }
        ++(cr ? crlfLines : lfLines);
        crlf_ = crlfLines > lfLines;
        std::string_view t = Trim(line);
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            current->lines.push_back(Entry{std::string(line), {}, {}});
            continue;
        }
        if (t.front() == '[') {
            std::size_t close = t.find(']');
            std::string_view name =
                close == std::string_view::npos ? std::string_view() : Trim(t.substr(1, close - 1));
            if (name.empty()) {
                continue;
            }
            current = FindSection(name);
            if (current == nullptr) {
                sections_.push_back(Section{std::string(line), std::string(name), {}});
                current = &sections_.back();
            }
            continue;
        }
        std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        std::string_view key = Trim(t.substr(0, eq));
        if (key.empty() || current->header.empty()) {
            // Entries before the first section are never found; keep them as they stand.
            if (!key.empty()) {
                current->lines.push_back(Entry{std::string(line), {}, {}});
            }
            continue;
        }
        bool repeated = false;
        for (const Entry& e : current->lines) {
            repeated = repeated || (!e.key.empty() && EqualNoCase(e.key, key));
        }
        if (!repeated) {
            current->lines.push_back(
                Entry{std::string(line), std::string(key), Unquote(Trim(t.substr(eq + 1)))});
        }
    }
}

PrivateProfile::Section* PrivateProfile::FindSection(std::string_view name) {
    for (Section& s : sections_) {
        if (!s.header.empty() && EqualNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

const PrivateProfile::Section* PrivateProfile::FindSection(std::string_view name) const {
    return const_cast<PrivateProfile*>(this)->FindSection(name);
}

std::optional<std::string> PrivateProfile::Find(std::string_view section,
                                                std::string_view key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) {
        return std::nullopt;
    }
    for (const Entry& e : s->lines) {
        if (!e.key.empty() && EqualNoCase(e.key, key)) {
            return e.value;
        }
    }
    return std::nullopt;
}

int PrivateProfile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::optional<std::string> v = Find(section, key);
    if (!v) {
        return defaultValue;
    }
    return ParseProfileInt(*v).value_or(defaultValue);
}

std::string PrivateProfile::GetString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue, std::size_t size) const {
    std::optional<std::string> v = Find(section, key);
    std::string out = v ? *v : std::string(defaultValue);
    if (size == 0) {
        return {};
    }
    if (out.size() > size - 1) {
        out.resize(size - 1);
    }
    return out;
}

void PrivateProfile::WriteString(std::string_view section, std::string_view key,
                                 std::string_view value) {
    if (sections_.empty()) {
        sections_.push_back(Section{});
    }
    std::string clean = Clean(value);
    std::string line = std::string(key) + "=" + clean;
    Section* s = FindSection(section);
    if (s == nullptr) {
        sections_.push_back(Section{"[" + std::string(section) + "]", std::string(section), {}});
        s = &sections_.back();
    }
    for (Entry& e : s->lines) {
        if (!e.key.empty() && EqualNoCase(e.key, key)) {
            e.raw = line;
            e.value = clean;
            return;
        }
    }
    // A new key goes after the section's last entry, ahead of any trailing blank lines.
    auto at = s->lines.end();
    while (at != s->lines.begin() && Trim((at - 1)->raw).empty()) {
        --at;
    }
    s->lines.insert(at, Entry{line, std::string(key), clean});
}

std::string PrivateProfile::Serialize() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out;
    for (const Section& s : sections_) {
        if (!s.header.empty()) {
            out += s.header;
            out += eol;
        }
        for (const Entry& e : s.lines) {
            out += e.raw;
            out += eol;
        }
    }
    return out;
}

bool PrivateProfile::Save() const {
    std::error_code ec;
    std::filesystem::path dir = file_.parent_path();
    if (!dir.empty()) {
        std::filesystem::create_directories(dir, ec);
    }
    std::random_device rd;
    std::filesystem::path tmp = file_;
    tmp += ".tmp" + std::to_string(rd());
    std::string text = Serialize();
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        std::filesystem::rename(tmp, file_, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(tmp, ec);
    }
    return ok;
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file) {
    PrivateProfile p(file);
    p.Load();
    return p.GetInt(section, key, defaultValue);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file) {
    PrivateProfile p(file);
    p.Load();
    return p.GetString(section, key, defaultValue, size);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file) {
    PrivateProfile p(file);
    if (!p.Load()) {
        return false;
    }
    p.WriteString(section, key, value);
    return p.Save();
}

} // namespace telvo
