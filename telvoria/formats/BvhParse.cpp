#include "telvoria/formats/BvhParse.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace telvo::bvh {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}
bool IsSpace(char c) {
    return IsBlank(c) || c == '\n' || c == '\r';
}

// Less text is read sooner than a second thread starts.
constexpr std::size_t SplitBytes = std::size_t{1} << 16;

std::size_t Size(const char* from, const char* to) {
    return static_cast<std::size_t>(to - from);
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The rare forms: a leading '+', and values too small for a float, which become zero.
const char* ParseFloatSlow(const char* p, const char* end, float& value, bool& finite) {
    const char* start = p;
    if (p != end && *p == '+' && p + 1 != end && *(p + 1) != '-' && *(p + 1) != '+') {
        ++p;
    }
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec == std::errc::result_out_of_range) {
        double wide = 0.0;
        auto [wideNext, wideEc] = std::from_chars(p, end, wide);
        if (wideEc != std::errc() || !(std::fabs(wide) < 1.0)) {
            finite = false;
            return wideEc == std::errc() ? wideNext : start;
        }
        value = static_cast<float>(wide);
        next = wideNext;
    } else if (ec != std::errc()) {
        return start;
    }
    finite = std::isfinite(value);
    return next;
}

// One value as the C locale writes it.
inline const char* ParseFloat(const char* p, const char* end, float& value, bool& finite) {
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec == std::errc()) {
        finite = std::isfinite(value);
        return next;
    }
    return ParseFloatSlow(p, end, value, finite);
}

std::optional<Channel> ChannelNamed(std::string_view word) {
    static constexpr std::string_view names[] = {"Xposition", "Yposition", "Zposition",
                                                 "Xrotation", "Yrotation", "Zrotation"};
    for (int i = 0; i < 6; ++i) {
        if (SameWord(word, names[i])) {
            return static_cast<Channel>(i);
        }
    }
    return std::nullopt;
}

} // namespace

std::string Quote(std::string_view token) {
    constexpr std::size_t Max = 24;
    std::string out = "\"";
    for (std::size_t i = 0; i < token.size() && i < Max; ++i) {
        unsigned char c = static_cast<unsigned char>(token[i]);
        out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (token.size() > Max) {
        out += "...";
    }
    return out + "\"";
}

bool Reader::Fail(int line, std::string reason) {
    if (error_.empty()) {
        errorLine_ = line;
        error_ = std::move(reason);
    }
    return false;
}

bool Reader::SkipSpace() {
    const char* end = text_.data() + text_.size();
    while (at_ != end && IsSpace(*at_)) {
        if (*at_ == '\n' || (*at_ == '\r' && (at_ + 1 == end || at_[1] != '\n'))) {
            ++line_;
        }
        ++at_;
    }
    return at_ != end;
}

std::string_view Reader::Token() {
    if (!SkipSpace()) {
        return {};
    }
    const char* end = text_.data() + text_.size();
    const char* start = at_;
    while (at_ != end && !IsSpace(*at_)) {
        ++at_;
    }
    return {start, static_cast<std::size_t>(at_ - start)};
}

std::string_view Reader::RestOfLine() {
    const char* end = text_.data() + text_.size();
    while (at_ != end && IsBlank(*at_)) {
        ++at_;
    }
    const char* start = at_;
    while (at_ != end && *at_ != '\n' && *at_ != '\r') {
        ++at_;
    }
    const char* last = at_;
    while (last != start && IsBlank(*(last - 1))) {
        --last;
    }
    return {start, static_cast<std::size_t>(last - start)};
}

bool Reader::Expect(std::string_view word) {
    std::string_view t = Token();
    if (t.empty()) {
        return Fail(line_, "the file ends where " + std::string(word) + " was expected");
    }
    if (!SameWord(t, word)) {
        return Fail(line_, std::string(word) + " expected, found " + Quote(t));
    }
    return true;
}

bool Reader::Number(float& value) {
    std::string_view t = Token();
    if (t.empty()) {
        return Fail(line_, "the file ends where a number was expected");
    }
    bool finite = true;
    const char* next = ParseFloat(t.data(), t.data() + t.size(), value, finite);
    if (next != t.data() + t.size()) {
        return Fail(line_, Quote(t) + " is not a number");
    }
    if (!finite) {
        return Fail(line_, Quote(t) + " is not a finite number");
    }
    return true;
}

bool Reader::ReadJointName(Joint& j, bool& braceOnLine) {
    std::string_view name = RestOfLine();
    if (!name.empty() && name.back() == '{') {
        braceOnLine = true;
        name.remove_suffix(1);
        while (!name.empty() && IsBlank(name.back())) {
            name.remove_suffix(1);
        }
    }
    if (name.empty()) {
        return Fail(line_, "a joint without a name");
    }
    if (name.size() > 256) {
        return Fail(line_, "a joint name longer than 256 characters");
    }
    j.name = std::string(name);
    return true;
}

bool Reader::BeginJoint(std::vector<OpenJoint>& open, bool endSite) {
    if (static_cast<int>(joints_.size()) >= MaxJoints) {
        return Fail(line_, "more than " + std::to_string(MaxJoints) + " joints");
    }
    if (static_cast<int>(open.size()) >= MaxDepth) {
        return Fail(line_, "joints nested deeper than " + std::to_string(MaxDepth) + " levels");
    }
    Joint j;
    j.parent = open.empty() ? -1 : open.back().joint;
    j.line = line_;
    j.endSite = endSite;
    bool braceOnLine = false;
    if (!endSite && !ReadJointName(j, braceOnLine)) {
        return false;
    }
    joints_.push_back(std::move(j));
    open.push_back({static_cast<int>(joints_.size()) - 1, false, false});
    return braceOnLine || Expect("{");
}

bool Reader::ReadChannels(Joint& j) {
    std::string_view n = Token();
    int count = -1;
    auto [next, ec] = std::from_chars(n.data(), n.data() + n.size(), count);
    if (ec != std::errc() || next != n.data() + n.size() || count < 1 || count > 6) {
        return Fail(line_, "a channel count of " + Quote(n) + "; 1 to 6 expected");
    }
    unsigned seen = 0;
    for (int i = 0; i < count; ++i) {
        std::string_view w = Token();
        auto c = ChannelNamed(w);
        if (!c) {
            return Fail(line_, Quote(w) + " is not a channel name");
        }
        unsigned bit = 1u << static_cast<int>(*c);
        if ((seen & bit) != 0) {
            return Fail(line_, "the channel " + std::string(w) + " twice for one joint");
        }
        seen |= bit;
        j.channels[static_cast<std::size_t>(i)] = *c;
    }
    j.channelCount = count;
    j.firstChannel = channelCount_;
    channelCount_ += count;
    return true;
}

bool Reader::ReadHierarchy() {
    if (!Expect("HIERARCHY") || !Expect("ROOT")) {
        return false;
    }
    std::vector<OpenJoint> open;
    if (!BeginJoint(open, false)) {
        return false;
    }
    while (!open.empty()) {
        std::string_view t = Token();
        OpenJoint& o = open.back();
        Joint& j = joints_[static_cast<std::size_t>(o.joint)];
        if (t.empty()) {
            return Fail(line_, "the file ends inside the hierarchy");
        }
        if (t == "}") {
            if (!o.offset) {
                return Fail(line_, "a joint without OFFSET");
            }
            open.pop_back();
        } else if (SameWord(t, "OFFSET")) {
            if (o.offset) {
                return Fail(line_, "a second OFFSET for one joint");
            }
            o.offset = true;
            if (!Number(j.offset.x) || !Number(j.offset.y) || !Number(j.offset.z)) {
                return false;
            }
        } else if (SameWord(t, "CHANNELS")) {
            if (j.endSite) {
                return Fail(line_, "an End Site with channels");
            }
            if (o.channels) {
                return Fail(line_, "a second CHANNELS for one joint");
            }
            o.channels = true;
            if (!ReadChannels(j)) {
                return false;
            }
        } else if (SameWord(t, "JOINT")) {
            if (j.endSite) {
                return Fail(line_, "a joint inside an End Site");
            }
            if (!BeginJoint(open, false)) {
                return false;
            }
        } else if (SameWord(t, "End")) {
            if (j.endSite) {
                return Fail(line_, "an End Site inside an End Site");
            }
            if (!Expect("Site") || !BeginJoint(open, true)) {
                return false;
            }
        } else if (SameWord(t, "ROOT")) {
            return Fail(line_, "ROOT inside a joint");
        } else {
            return Fail(line_, "unexpected " + Quote(t) + " in the hierarchy");
        }
    }
    return true;
}

bool Reader::ReadMotionHeader() {
    std::string_view t = Token();
    if (SameWord(t, "ROOT")) {
        return Fail(line_, "a second ROOT; one figure per file is read");
    }
    if (!SameWord(t, "MOTION")) {
        return Fail(line_, t.empty() ? "the file ends before MOTION"
                                     : "MOTION expected, found " + Quote(t));
    }
    // "Frames:" and "Frame Time:" with or without a blank before the colon.
    auto label = [&](std::string_view word) {
        std::string_view w = Token();
        if (w.size() == word.size() + 1 && w.back() == ':' &&
            SameWord(w.substr(0, word.size()), word)) {
            return true;
        }
        if (SameWord(w, word)) {
            return Expect(":");
        }
        return Fail(line_, w.empty() ? "the file ends where " + std::string(word) + ": was expected"
                                     : std::string(word) + ": expected, found " + Quote(w));
    };
    if (!label("Frames")) {
        return false;
    }
    std::string_view n = Token();
    uint64_t frames = 0;
    auto [next, ec] = std::from_chars(n.data(), n.data() + n.size(), frames);
    if (n.empty() || ec != std::errc() || next != n.data() + n.size() ||
        frames >= std::numeric_limits<uint32_t>::max()) {
        return Fail(line_, "a frame count of " + Quote(n));
    }
    if (!Expect("Frame") || !label("Time")) {
        return false;
    }
    std::string_view p = Token();
    bool finite = true;
    double wide = 0.0;
    auto [pNext, pEc] = std::from_chars(p.data(), p.data() + p.size(), wide);
    finite = pEc == std::errc() && std::isfinite(wide);
    if (p.empty() || pNext != p.data() + p.size() || !finite) {
        return Fail(line_, "a frame time of " + Quote(p));
    }
    if (!(wide > 0.0) || wide > 3600.0) {
        return Fail(line_,
                    "a frame time of " + std::string(p) + "; above 0 and at most 3600 s expected");
    }
    frameTime_ = wide;
    // Every value takes at least one character and one separator: a count the remaining bytes
    // cannot hold is refused before anything is allocated for it.
    uint64_t remaining = static_cast<uint64_t>(text_.data() + text_.size() - at_);
    if (frames > 0 && channelCount_ == 0) {
        return Fail(line_, "frames for a hierarchy without channels");
    }
    if (frames * static_cast<uint64_t>(channelCount_) > remaining / 2 + 1) {
        return Fail(line_, "the file claims " + std::to_string(frames) +
                               " frames but the rest of the file is too short for them");
    }
    frameCount_ = static_cast<uint32_t>(frames);
    // The frame time's line ends here; frames start on the next one.
    RestOfLine();
    return true;
}

bool Reader::ReadHeader() {
    if (text_.size() >= 3 && std::memcmp(text_.data(), "\xEF\xBB\xBF", 3) == 0) {
        at_ += 3; // a byte-order mark some editors add
    }
    return ReadHierarchy() && ReadMotionHeader();
}

bool Reader::SplitFrames(Reader& rest, uint32_t& before) const {
    const char* end = text_.data() + text_.size();
    if (Size(at_, end) < SplitBytes) {
        return false;
    }
    const char* cut = at_ + (end - at_) / 2;
    while (cut != end && *cut != '\n' && *cut != '\r') {
        ++cut;
    }
    if (cut == end) {
        return false;
    }
    cut += (*cut == '\r' && cut + 1 != end && cut[1] == '\n') ? 2 : 1;
    // Frames and line ends before the cut, counted as NextFrame counts them: every line that
    // holds more than blanks is a frame.
    uint32_t frames = 0;
    int lines = 0;
    for (const char* p = at_; p != cut; ++lines) {
        while (p != cut && IsBlank(*p)) {
            ++p;
        }
        frames += (p != cut && *p != '\n' && *p != '\r') ? 1 : 0;
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', Size(p, cut)));
        lf = lf != nullptr ? lf : cut;
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', Size(p, lf)));
        if (cr == nullptr || cr + 1 == lf) {
            p = lf == cut ? cut : lf + 1; // LF or CRLF
        } else {
            p = cr + 1; // a CR alone
        }
    }
    if (frames == 0 || framesRead_ + frames >= frameCount_) {
        return false;
    }
    rest = *this;
    rest.at_ = cut;
    rest.line_ = line_ + lines;
    rest.framesRead_ = framesRead_ + frames;
    before = frames;
    return true;
}

bool Reader::NextFrame(float* values) {
    const char* end = text_.data() + text_.size();
    const char* p = at_;
    // Blank lines between frames are allowed.
    for (;;) {
        while (p != end && IsBlank(*p)) {
            ++p;
        }
        if (p == end) {
            at_ = p;
            return Fail(line_, "the file ends after " + std::to_string(framesRead_) + " of " +
                                   std::to_string(frameCount_) + " frames");
        }
        if (*p == '\n' || *p == '\r') {
            p += (*p == '\r' && p + 1 != end && p[1] == '\n') ? 2 : 1;
            ++line_;
            continue;
        }
        break;
    }
    frameLine_ = line_;
    for (int i = 0; i < channelCount_; ++i) {
        while (p != end && IsBlank(*p)) {
            ++p;
        }
        if (p == end || *p == '\n' || *p == '\r') {
            at_ = p;
            return Fail(line_, std::to_string(i) + " values where " +
                                   std::to_string(channelCount_) + " were expected");
        }
        bool finite = true;
        const char* next = ParseFloat(p, end, values[i], finite);
        if (next == p || (next != end && !IsSpace(*next))) {
            const char* stop = p;
            while (stop != end && !IsSpace(*stop)) {
                ++stop;
            }
            at_ = p;
            return Fail(line_, Quote({p, static_cast<std::size_t>(stop - p)}) + " is not a number");
        }
        if (!finite) {
            at_ = p;
            return Fail(line_,
                        Quote({p, static_cast<std::size_t>(next - p)}) + " is not a finite number");
        }
        p = next;
    }
    while (p != end && IsBlank(*p)) {
        ++p;
    }
    if (p != end && *p != '\n' && *p != '\r') {
        at_ = p;
        return Fail(line_,
                    "more than " + std::to_string(channelCount_) + " values on a frame line");
    }
    if (p != end) {
        p += (*p == '\r' && p + 1 != end && p[1] == '\n') ? 2 : 1;
        ++line_;
    }
    at_ = p;
    ++framesRead_;
    return true;
}

} // namespace telvo::bvh
