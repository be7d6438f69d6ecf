#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// An INI file with the semantics of the Windows private-profile calls: section and key names
// match without regard to case, a missing key gives the caller's default, and a write changes
// one key while keeping the file's other sections, keys, comments and their order.
//
// Lines that are neither a section, an entry, a comment nor blank (garbage, binary bytes) are
// ignored on reading and left out on saving; so are repeated keys after the first. A section
// that appears twice is read and written as one, at its first place.
class PrivateProfile {
public:
    PrivateProfile() = default;
    explicit PrivateProfile(std::filesystem::path file);

    // Reads the file; a missing file is an empty profile. False only when it exists but
    // cannot be read.
    bool Load();
    // Writes the whole profile to a temporary file beside it, then renames it over the old one.
    bool Save() const;

    // The value of a key as stored, quotes removed; nothing when the key or section is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // Leading decimal number of the value, or the default when there is none or it does not
    // fit in 32 bits.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    // At most size - 1 characters of the value, or of the default when the key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t size) const;
    // Sets a key, adding the section or the key at the end when they are missing. Line breaks
    // and control characters in the value are replaced by blanks so the file stays readable.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    const std::filesystem::path& File() const { return file_; }
    void Parse(std::string_view text);
    std::string Serialize() const;

private:
    struct Entry {
        std::string raw;   // the line as read, kept when unchanged
        std::string key;   // empty for a comment or blank line
        std::string value; // unquoted value
    };
    struct Section {
        std::string header; // the header line as read; empty for the lines before any section
        std::string name;
        std::vector<Entry> lines;
    };

    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    std::filesystem::path file_;
    std::vector<Section> sections_;
    bool crlf_ = false;
};

// Parses the leading decimal number of a profile value (optional sign, then digits).
std::optional<int> ParseProfileInt(std::string_view text);

// One-shot calls on a file, reading it at each call and writing it at once.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file);
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file);
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file);

} // namespace telvo
