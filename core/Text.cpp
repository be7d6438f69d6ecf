#include "core/Text.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

namespace telvo {

namespace {

// uselocale() switches only the calling thread, so no other thread's texts change meanwhile.
class CNumericScope {
public:
    CNumericScope() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
        if (c != locale_t{}) {
            previous_ = uselocale(c);
        }
    }
    ~CNumericScope() {
        if (previous_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    locale_t previous_{};
};

} // namespace

std::string Format(const char* format, ...) {
    CNumericScope scope;
    char buffer[512];
    std::va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    // Paths make some texts long; format again into a buffer of the right size.
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

namespace {
constexpr const char* Blanks = " \t\n\v\f\r";
}

std::optional<float> ParseFloat(std::string_view text) {
    std::size_t i = text.find_first_not_of(Blanks);
    if (i == std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars takes a minus but not a plus.
    if (text[i] == '+' && i + 1 < text.size() && text[i + 1] != '-') {
        ++i;
    }
    float f = 0.0f;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), f);
    if (error != std::errc() || !std::isfinite(f)) {
        return std::nullopt;
    }
    return f;
}

std::optional<float> ParseNumber(std::string_view text) {
    const std::size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(Blanks) - first + 1);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
        text.remove_prefix(1);
    }
    float f = 0.0f;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), f);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(f)) {
        return std::nullopt;
    }
    return f;
}

} // namespace telvo
