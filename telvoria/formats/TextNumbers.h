#pragma once

// Numbers in text files, always in the C format whatever the locale: the shortest text that
// reads back to the same value, and reading that takes a whole token or nothing.

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>

namespace telvo::files {

template <typename T> void AppendNumber(std::string& out, T value) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

// False unless the whole token is one finite number.
template <typename T> bool ParseNumber(std::string_view token, T& value) {
    T v{};
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

} // namespace telvo::files
