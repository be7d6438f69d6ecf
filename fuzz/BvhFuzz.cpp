// Any bytes as a BVH file: the read either fails cleanly or gives a figure that poses to
// finite places on every frame, and describing the file never fails where reading succeeds.
#include "fuzz/FuzzFiles.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhRead.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

bool Finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Skeleton skeleton = [] {
        Skeleton s;
        GyroInitSkeleton(&s);
        return s;
    }();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    telvo::files::BvhOutline outline;
    const bool described =
        telvo::files::DescribeBvh(telvo::fuzz::HoldInput(data, size).c_str(), outline);
    if (telvo::bvh::ReadText(text, &skeleton) == 0) {
        return 0;
    }
    if (!described || !outline.human) {
        __builtin_trap();
    }
    for (uint32_t f = 0; f < skeleton.FrameCount; ++f) {
        GyroApplyFrame(&skeleton, &skeleton.Frames[f]);
        for (const SkeletonNode& n : skeleton.Nodes) {
            if (!Finite(n.Position) || !Finite(n.Offset)) {
                __builtin_trap();
            }
        }
    }
    GyroFreeSkeletonFrames(&skeleton);
    return 0;
}
