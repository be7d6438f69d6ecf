#pragma once

// The BVH grammar: a hierarchy of joints with offsets and channels, then one line of channel
// values per frame. The reader works on the whole text in memory, checks every count against
// the bytes that are there before anything is allocated, and streams the frames so that a
// caller can turn each into its own record without a second copy of the motion.

#include "geometry/Vector.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace telvo::bvh {

enum class Channel : uint8_t { XPosition, YPosition, ZPosition, XRotation, YRotation, ZRotation };

struct Joint {
    std::string name; // empty for an End Site
    int parent = -1;
    int line = 0;
    Vector offset{};
    int channelCount = 0;
    int firstChannel = 0; // index of its first value in a frame
    std::array<Channel, 6> channels{};
    bool endSite = false;
};

// Deeper than any figure; keeps the nesting bounded whatever the file says.
constexpr int MaxDepth = 256;
constexpr int MaxJoints = 10000;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text), at_(text.data()) {}

    // Reads everything up to and including the frame time; false with an error otherwise.
    bool ReadHeader();
    const std::vector<Joint>& Joints() const { return joints_; }
    int ChannelCount() const { return channelCount_; }
    uint32_t FrameCount() const { return frameCount_; }
    double FrameTime() const { return frameTime_; }

    // Reads the next frame's ChannelCount() values; false with an error when the file ends
    // early or a line does not hold exactly one frame of finite numbers.
    bool NextFrame(float* values);

    // A reader for the frames that follow a line end near the middle of the text still to be
    // read, so that two threads can read the halves side by side; `before` is how many frames
    // this one reads first. False when there is no such place to cut.
    bool SplitFrames(Reader& rest, uint32_t& before) const;

    int ErrorLine() const { return errorLine_; }
    // The line the last frame read stood on.
    int FrameLine() const { return frameLine_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(int line, std::string reason);
    bool SkipSpace();         // all blanks and line ends; false at the end of the text
    std::string_view Token(); // the next word on any line
    std::string_view RestOfLine();
    bool Expect(std::string_view word);
    bool Number(float& value);
    // A joint or End Site whose closing brace is still to come.
    struct OpenJoint {
        int joint;
        bool offset;
        bool channels;
    };
    bool ReadHierarchy();
    bool BeginJoint(std::vector<OpenJoint>& open, bool endSite);
    bool ReadJointName(Joint& j, bool& braceOnLine);
    bool ReadChannels(Joint& j);
    bool ReadMotionHeader();

    std::string_view text_;
    const char* at_;
    int line_ = 1;
    std::vector<Joint> joints_;
    int channelCount_ = 0;
    uint32_t frameCount_ = 0;
    uint32_t framesRead_ = 0;
    double frameTime_ = 0.0;
    int errorLine_ = 0;
    int frameLine_ = 0;
    std::string error_;
};

// A short, printable quotation of what the file holds at a failure.
std::string Quote(std::string_view token);

} // namespace telvo::bvh
