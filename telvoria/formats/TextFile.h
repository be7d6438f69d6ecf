#pragma once

// What the line-based text readers (actor and coordinate files) share: reading a small file
// whole, lines and blank-separated tokens, and the five length units.

#include <string>
#include <string_view>
#include <vector>

namespace telvo::files {

// open() for reading that never waits: a FIFO or a device named like a file would block it
// until someone writes. Callers still refuse whatever fstat does not call a regular file.
int OpenToRead(const char* path);

// The whole file when it is a regular file of at most maxSize bytes, without a leading UTF-8
// byte order mark; otherwise false and a short reason ("too large for <what>").
bool ReadSmallFile(const char* path, long maxSize, const char* what, std::string& text,
                   std::string& error);

// One line after another, LF or CR LF, counted from 1.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line);
    int Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int number_ = 0;
};

std::vector<std::string_view> Tokens(std::string_view line);

// A token fit to quote in a one-line message (" 'token'"), or nothing.
std::string Quoted(std::string_view token);

constexpr int UnitCount = 5;
// Inches per unit, in the order of GyroGetUnitName.
constexpr double InchesPer[UnitCount] = {1.0, 12.0, 1.0 / 25.4, 1.0 / 2.54, 1.0 / 0.0254};
// The unit a name gives in any case, or -1.
int UnitNamed(std::string_view name);

} // namespace telvo::files
