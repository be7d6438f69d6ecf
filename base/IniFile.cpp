#include "base/IniFile.h"

#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>

namespace telvo {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsComment(char c) {
    return c == ';' || c == '#';
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return TrimRight(s);
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

bool IsControl(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
}

bool HasControlBytes(std::string_view s) {
    for (char c : s) {
        if (IsControl(c)) {
            return true;
        }
    }
    return false;
}

std::string Clean(std::string_view v) {
    std::string out(v);
    for (char& c : out) {
        if (IsControl(c)) {
            c = ' ';
        }
    }
    return out;
}

struct Value {
    std::string text;
    std::string comment;
};

// What follows '=' on an entry line (the line's own trailing blanks already gone): the value,
// and the trailing comment with the blanks before it.
Value SplitValue(std::string_view r) {
    std::size_t start = 0;
    while (start < r.size() && IsBlank(r[start])) {
        ++start;
    }
    if (start < r.size() && IsQuote(r[start])) {
        for (std::size_t c = start + 1; c < r.size(); ++c) {
            if (r[c] != r[start]) {
                continue;
            }
            std::size_t next = c + 1;
            while (next < r.size() && IsBlank(r[next])) {
                ++next;
            }
            if (next == r.size() || (next > c + 1 && IsComment(r[next]))) {
                return {std::string(r.substr(start + 1, c - start - 1)),
                        std::string(r.substr(c + 1))};
            }
        }
    }
    std::size_t comment = std::string_view::npos;
    for (std::size_t i = 1; i < r.size() && comment == std::string_view::npos; ++i) {
        if (IsComment(r[i]) && IsBlank(r[i - 1])) {
            comment = i;
        }
    }
    std::string_view text = TrimRight(r.substr(0, comment));
    if (comment == std::string_view::npos) {
        return {std::string(Trim(text)), {}};
    }
    return {std::string(Trim(text)), std::string(r.substr(text.size()))};
}

// The first spelling of a value, with the comment when it can stay, that reads back as the
// value. Only a value that holds both a '"' and a '\'' followed by blanks and a comment
// character has none; it is written in quotes and reads back cut.
std::string SpellValue(const std::string& value, const std::string& comment) {
    // The quote the value does not hold first: it reads better.
    const char first = value.find('"') == std::string::npos ? '"' : '\'';
    const char second = first == '"' ? '\'' : '"';
    const std::string quoted[] = {value, first + value + first, second + value + second};
    for (const std::string* tail : {&comment, static_cast<const std::string*>(nullptr)}) {
        for (const std::string& text : quoted) {
            std::string line = tail ? text + *tail : text;
            Value back = SplitValue(line);
            if (back.text == value && (tail == nullptr || back.comment == *tail)) {
                return line;
            }
        }
    }
    return quoted[1];
}

} // namespace

std::optional<int> ParseIniInt(std::string_view text) {
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

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {}

bool IniFile::Load() {
    sections_.clear();
    crlf_ = false;
    // Non-blocking so that a FIFO in the file's place is refused rather than waited on.
    int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno == ENOENT;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::size_t>(info.st_size) <= MaxBytes;
    std::string text;
    while (ok) {
        char buffer[65536];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        ok = text.size() <= MaxBytes; // it may have grown since fstat
    }
    ::close(fd);
    if (ok) {
        Parse(text);
    }
    return ok;
}

void IniFile::Parse(std::string_view text) {
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
        if (t.empty() || IsComment(t.front())) {
            current->lines.push_back(Entry{std::string(line), {}, {}, {}});
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
                current->lines.push_back(Entry{std::string(line), {}, {}, {}});
            }
            continue;
        }
        bool repeated = false;
        for (const Entry& e : current->lines) {
            repeated = repeated || (!e.key.empty() && EqualNoCase(e.key, key));
        }
        if (!repeated) {
            Value v = SplitValue(t.substr(eq + 1));
            current->lines.push_back(Entry{std::string(line), std::string(key), std::move(v.text),
                                           std::move(v.comment)});
        }
    }
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (Section& s : sections_) {
        if (!s.header.empty() && EqualNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    return const_cast<IniFile*>(this)->FindSection(name);
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
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

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::optional<std::string> v = Find(section, key);
    if (!v) {
        return defaultValue;
    }
    return ParseIniInt(*v).value_or(defaultValue);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
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

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (sections_.empty()) {
        sections_.push_back(Section{});
    }
    std::string clean = Clean(value);
    Section* s = FindSection(section);
    if (s == nullptr) {
        sections_.push_back(Section{"[" + std::string(section) + "]", std::string(section), {}});
        s = &sections_.back();
    }
    for (Entry& e : s->lines) {
        if (!e.key.empty() && EqualNoCase(e.key, key)) {
            e.raw = std::string(key) + "=" + SpellValue(clean, e.comment);
            e.comment = SplitValue(e.raw.substr(key.size() + 1)).comment;
            e.value = clean;
            return;
        }
    }
    // A new key goes after the section's last entry, ahead of any trailing blank lines.
    auto at = s->lines.end();
    while (at != s->lines.begin() && Trim((at - 1)->raw).empty()) {
        --at;
    }
    s->lines.insert(
        at, Entry{std::string(key) + "=" + SpellValue(clean, {}), std::string(key), clean, {}});
}

std::string IniFile::Serialize() const {
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

bool IniFile::Save() const {
    std::error_code ec;
    std::filesystem::path dir = file_.parent_path();
    if (!dir.empty()) {
        std::filesystem::create_directories(dir, ec);
    }
    SafeFile out(file_.string());
    return out.Write(Serialize()) && out.Commit();
}

} // namespace telvo
