// Any bytes as a recording file: the read fails cleanly or gives a recording that writes and
// reads back byte for byte. Each input is also tried with a correct checksum, so the fuzzer
// reaches past it.
#include "fuzz/Fuzz.h"
#include "suitlib/SuitLib.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

using telvo::fuzz::Require;

void Try(const std::string& path) {
    Skeleton skeleton{};
    ActorData actor{};
    const ActorData untouched = actor;
    if (GyroReadTL(path.c_str(), &skeleton, &actor) == 0) {
        // A failed read changes nothing.
        Require(skeleton.Frames == nullptr && std::memcmp(&actor, &untouched, sizeof actor) == 0);
        return;
    }
    Skeleton again{};
    ActorData againActor{};
    const telvo::fuzz::Scratch copy("copy.tl");
    Require(GyroWriteTL(copy.path.c_str(), &skeleton, &actor) != 0 &&
            GyroReadTL(copy.path.c_str(), &again, &againActor) != 0 &&
            again.FrameCount == skeleton.FrameCount && again.FramePeriod == skeleton.FramePeriod &&
            std::memcmp(&againActor, &actor, sizeof actor) == 0 &&
            (skeleton.FrameCount == 0 ||
             std::memcmp(again.Frames, skeleton.Frames, skeleton.FrameCount * sizeof(Frame)) == 0));
    GyroFreeSkeletonFrames(&again);
    GyroFreeSkeletonFrames(&skeleton);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Try(telvo::fuzz::HoldInput(data, size));
    if (size >= 4) {
        std::vector<uint8_t> summed(data, data + size);
        uint32_t crc = static_cast<uint32_t>(crc32(0, summed.data(), static_cast<uInt>(size - 4)));
        std::memcpy(summed.data() + size - 4, &crc, 4);
        Try(telvo::fuzz::HoldInput(summed.data(), size));
    }
    return 0;
}
