#pragma once

// What the command-line tools share: their talk on standard error, usage errors, --help, and
// numbers read and written in the C format whatever the locale.

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::tool {

// One line of talk on standard error, after the tool's name: "telvoview-stream: ...".
inline void Say(const char* tool, const std::string& line) {
    const std::string text = std::string(tool) + ": " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Says why, then the usage; the exit status of bad usage.
inline int UsageError(const char* tool, const std::string& why, const char* usage) {
    Say(tool, why);
    std::fputs(usage, stderr);
    return 2;
}

// True when the arguments ask for help alone; the usage is then on standard output.
inline bool AskedForHelp(const std::vector<std::string_view>& args, const char* usage) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(usage, stdout);
        return true;
    }
    return false;
}

template <typename T> bool Number(std::string_view text, T& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

template <typename T> void Append(std::string& out, T value) {
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// With `digits` after the point (fixed) or significant digits (general).
inline void Append(std::string& out, double value, std::chars_format format, int digits) {
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, value, format, digits).ptr);
}

} // namespace telvo::tool
