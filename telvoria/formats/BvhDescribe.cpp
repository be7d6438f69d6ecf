// What a BVH file holds, whether or not its figure can be mapped onto the body.
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhFigure.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/formats/BvhRead.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace telvo::files {

namespace {

// The hierarchy's first levels are enough to recognise a rig; deeper joints are counted.
constexpr int ShownLevels = 3;

void Outline(const std::vector<bvh::Joint>& joints, BvhOutline& outline) {
    std::vector<int> depth(joints.size(), 0);
    std::vector<int> below(joints.size(), 0);
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const bvh::Joint& j = joints[i];
        if (j.parent >= 0) {
            depth[i] = depth[static_cast<std::size_t>(j.parent)] + 1;
        }
        if (j.endSite) {
            ++outline.endSites;
            continue;
        }
        ++outline.joints;
        outline.depth = std::max(outline.depth, depth[i]);
    }
    for (std::size_t i = joints.size(); i-- > 0;) {
        int p = joints[i].parent;
        if (p >= 0 && !joints[i].endSite) {
            below[static_cast<std::size_t>(p)] += 1 + below[i];
        }
    }
    for (std::size_t i = 0; i < joints.size(); ++i) {
        if (joints[i].endSite || depth[i] >= ShownLevels) {
            continue;
        }
        std::string line(static_cast<std::size_t>(2 * depth[i]), ' ');
        line += joints[i].name;
        if (depth[i] + 1 == ShownLevels && below[i] > 0) {
            line += " (" + std::to_string(below[i]) + (below[i] == 1 ? " joint" : " joints") +
                    " below)";
        }
        outline.levels.push_back(std::move(line));
    }
}

} // namespace

bool DescribeBvh(const char* path, BvhOutline& outline) {
    outline = BvhOutline{};
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    std::string why;
    if (path == nullptr || !bvh::ReadWhole(path, text, size, why)) {
        SetProblem(0, path == nullptr ? "no file name" : why);
        return false;
    }
    bvh::Reader reader(std::string_view(text.get(), size));
    std::unique_ptr<float[]> values;
    if (!bvh::ReadMotion(reader, values, nullptr)) {
        return false;
    }
    outline.frames = reader.FrameCount();
    outline.frameTime = reader.FrameTime();
    outline.channels = reader.ChannelCount();
    Outline(reader.Joints(), outline);
    bvh::Figure figure;
    outline.human = bvh::BuildFigure(reader.Joints(), values.get(), reader.FrameCount(),
                                     reader.ChannelCount(), figure, outline.refusal);
    if (outline.human) {
        outline.source = bvh::SourceOf(figure);
    }
    ClearProblem();
    return true;
}

} // namespace telvo::files
