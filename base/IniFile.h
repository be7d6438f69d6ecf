#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// An INI file with the semantics of the Windows private-profile calls: section and key names
// match without regard to case, the first of a repeated key counts, a missing key gives the
// caller's default, and a write changes one key while keeping the file's other sections, keys,
// comments, their order and its line endings.
//
// A line whose first non-blank character is ';' or '#' is a comment. After a value, a ';' or
// '#' with a blank or TAB before it starts a trailing comment, which is not part of the value.
// A value in quotes ("..." or '...') ends at the first such quote that nothing or blanks and a
// comment follow; the quotes are not part of it and nothing inside them is a comment.
//
// Lines that are neither a section, an entry, a comment nor blank (garbage, binary bytes) are
// ignored on reading and left out on saving; so are repeated keys after the first. A section
// that appears twice is read and written as one, at its first place.
class IniFile {
public:
    // Files beyond this are refused rather than read.
    static constexpr std::size_t MaxBytes = std::size_t{1} << 20;

    IniFile() = default;
    explicit IniFile(std::filesystem::path file);

    // Reads the file; a missing file is an empty profile. False, with an empty profile, when it
    // exists but cannot be read, is not a regular file or is larger than MaxBytes.
    bool Load();
    // Writes the whole profile through SafeFile, making the folder when it is missing.
    bool Save() const;

    // The value of a key, without its quotes or comment; nothing when the key or section is
    // missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // Leading decimal number of the value, or the default when there is none or it does not
    // fit in 32 bits.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    // At most size - 1 characters of the value, or of the default when the key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t size) const;
    // Sets a key, adding the section or the key at the end when they are missing. Line breaks
    // and control characters in the value are replaced by blanks so the file stays readable;
    // the value is quoted when it would not read back as written. The line's trailing comment
    // stays.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    const std::filesystem::path& File() const { return file_; }
    void Parse(std::string_view text);
    std::string Serialize() const;

private:
    struct Entry {
        std::string raw;     // the line as read, kept when unchanged
        std::string key;     // empty for a comment or blank line
        std::string value;   // without quotes and comment
        std::string comment; // the trailing comment with the blanks before it
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

// Parses the leading decimal number of a value (optional blanks and sign, then digits).
std::optional<int> ParseIniInt(std::string_view text);

} // namespace telvo
