#pragma once

// A take recorded live from the simulated suit, frame by frame on the manual clock, the way
// the program records one: the suit's actor data, its rate, every delivered frame. Tests and
// benchmarks share it.

#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"

namespace telvo {

class LiveTake {
public:
    explicit LiveTake(int frames) {
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        GyroInitSkeleton(&skeleton);
        GyroInit();
        current_ = this;
        const GyroHandle suit = GyroOpen(nullptr, OnFrame, nullptr);
        GyroGetActorData(suit, &actor);
        GyroCopyActorToSkeleton(&skeleton, &actor);
        skeleton.FramePeriod = 1.0f / GyroGetFrameRate(suit);
        GyroSetNull(suit);
        sim::Deliver(suit, frames);
        GyroClose(suit);
        GyroFinish();
        current_ = nullptr;
        sim::Reset();
    }
    ~LiveTake() { GyroFreeSkeletonFrames(&skeleton); }
    LiveTake(const LiveTake&) = delete;
    LiveTake& operator=(const LiveTake&) = delete;

    Skeleton skeleton{};
    ActorData actor{};

private:
    static void OnFrame(const Frame* frame, SuitInfo*) {
        Skeleton& s = current_->skeleton;
        if (GyroAddFrame(&s) != 0) {
            s.Frames[s.FrameCount - 1] = *frame;
        }
    }
    static inline LiveTake* current_ = nullptr;
};

} // namespace telvo
