// Any bytes as a BVH file: the read either fails cleanly or gives a figure that poses to
// finite places on every frame, and describing the file never fails where reading succeeds.
#include "fuzz/Fuzz.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhRead.h"
#include "telvoria/skeleton/Math.h"

using telvo::fuzz::Require;
using telvo::math::Finite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Skeleton skeleton = [] {
        Skeleton s;
        GyroInitSkeleton(&s);
        return s;
    }();
    telvo::files::BvhOutline outline;
    const bool described =
        telvo::files::DescribeBvh(telvo::fuzz::HoldInput(data, size).c_str(), outline);
    if (telvo::bvh::ReadText({reinterpret_cast<const char*>(data), size}, &skeleton) == 0) {
        return 0;
    }
    Require(described && outline.human);
    for (uint32_t f = 0; f < skeleton.FrameCount; ++f) {
        GyroApplyFrame(&skeleton, &skeleton.Frames[f]);
        for (const SkeletonNode& n : skeleton.Nodes) {
            Require(Finite(n.Position) && Finite(n.Offset));
        }
    }
    GyroFreeSkeletonFrames(&skeleton);
    return 0;
}
