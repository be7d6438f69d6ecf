#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace telvo {

// printf-style formatting that always writes numbers in the C format ("2.5"), whatever
// locale the user or the toolkit has set: texts and files must read the same everywhere.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...);

// Reads a float the way "%f" scans one (leading blanks, an optional sign, trailing text
// ignored), always with the C format's decimal point. None when no finite number starts the
// text.
std::optional<float> ParseFloat(std::string_view text);

// A box that must hold a number: as ParseFloat, but nothing other than blanks may follow it.
std::optional<float> ParseNumber(std::string_view text);

} // namespace telvo
