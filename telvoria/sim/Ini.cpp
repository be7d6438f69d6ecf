#include "telvoria/sim/Ini.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace telvo::sim {

namespace {

constexpr std::streamsize MaxFileSize = 1 << 20;

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

} // namespace

Ini Ini::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(static_cast<std::size_t>(MaxFileSize) + 1, '\0');
    in.read(text.data(), MaxFileSize + 1);
    if (in.gcount() > MaxFileSize) {
        return {};
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(text);
}

Ini Ini::Parse(const std::string& text) {
    Ini ini;
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            std::size_t close = line.find(']');
            if (close != std::string::npos) {
                section = Lower(Trim(line.substr(1, close - 1)));
            }
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            continue;
        }
        std::string key = Lower(Trim(line.substr(0, eq)));
        ini.values_[section + '\n' + key] = Trim(line.substr(eq + 1));
    }
    return ini;
}

std::optional<std::string> Ini::Get(const std::string& section, const std::string& key) const {
    auto it = values_.find(Lower(section) + '\n' + Lower(key));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

long Ini::Integer(const std::string& section, const std::string& key, long fallback, long min,
                  long max) const {
    auto text = Get(section, key);
    if (!text || text->empty()) {
        return fallback;
    }
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 10);
    if (errno != 0 || end == text->c_str() || *end != '\0' || v < min || v > max) {
        return fallback;
    }
    return v;
}

std::string Ini::Text(const std::string& section, const std::string& key,
                      const std::string& fallback) const {
    auto text = Get(section, key);
    return text ? *text : fallback;
}

} // namespace telvo::sim
