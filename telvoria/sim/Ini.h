#pragma once

// A small reader for the simulation's INI file: sections, key=value lines, ';' and '#'
// comments. Names compare without regard to case. Anything it cannot read is skipped.

#include <map>
#include <optional>
#include <string>

namespace telvo::sim {

class Ini {
public:
    // An empty file when it cannot be read or is unreasonably large.
    static Ini Load(const std::string& path);
    static Ini Parse(const std::string& text);

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // The value as an integer in [min, max]; fallback when missing, not a number or out of range.
    long Integer(const std::string& section, const std::string& key, long fallback, long min,
                 long max) const;
    std::string Text(const std::string& section, const std::string& key,
                     const std::string& fallback) const;

private:
    std::map<std::string, std::string> values_; // "section\nkey", lower case
};

} // namespace telvo::sim
