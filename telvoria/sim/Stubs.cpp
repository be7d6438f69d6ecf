// Placeholder definitions so that everything links while the simulation is written.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"

#include <cstring>

int GyroInit() {
    return 0;
}
void GyroFinish() {}
uint32_t GyroVersion() {
    return 3u | (2u << 16);
}
int GyroFindSuits() {
    return 0;
}
int GyroNumSuits() {
    return 0;
}
int GyroEnumerateSuitInfo(int, SuitInfo*) {
    return 0;
}
int GyroGetSuitInfo(GyroHandle, SuitInfo*) {
    return 0;
}
GyroHandle GyroOpen(const SuitInfo*, GyroFrameCallback, GyroTimeoutCallback) {
    return 0;
}
int GyroClose(GyroHandle) {
    return 0;
}
int GyroGetFlags(GyroHandle) {
    return SuitFlagJumping;
}
int GyroSetFlags(GyroHandle, int) {
    return 0;
}
float GyroGetFrameRate(GyroHandle) {
    return 120.0f;
}
int GyroSetNull(GyroHandle) {
    return 0;
}
int GyroSetNorth(GyroHandle) {
    return 0;
}
int GyroGetNorth(GyroHandle, Vector*) {
    return 0;
}
uint32_t GyroGetAux(GyroHandle) {
    return 0;
}
void GyroClearDropped(GyroHandle) {}
uint32_t GyroGetDropped(GyroHandle) {
    return 0;
}
int GyroJumping(GyroHandle) {
    return 0;
}
int GyroGetRaw(GyroHandle, Matrix*, int) {
    return 0;
}
int GyroSetMotorLEDs(uint8_t) {
    return 0;
}
const char* GyroGetUnitName(int) {
    return "";
}
void GyroInitSkeleton(Skeleton* skeleton) {
    if (skeleton != nullptr) {
        std::memset(static_cast<void*>(skeleton), 0, sizeof(Skeleton));
    }
}
int GyroAddFrame(Skeleton*) {
    return 0;
}
void GyroFreeSkeletonFrames(Skeleton* skeleton) {
    if (skeleton != nullptr) {
        skeleton->FrameCount = 0;
        skeleton->Frames = nullptr;
    }
}
int GyroApplyFrame(Skeleton*, const Frame*) {
    return 0;
}
const int* GyroGetContactPointIndexArray(int* count) {
    static const int none[1] = {0};
    if (count != nullptr) {
        *count = 0;
    }
    return none;
}
const char* GyroGetNodeName(int) {
    return "";
}
const char* GyroGetMarkerName(int) {
    return "";
}
int GyroEnableMarkerTracking(GyroHandle, int) {
    return 0;
}
uint32_t GyroGetTrackerStatus(GyroHandle) {
    return 0;
}
void GyroFinishTracking() {}
void GyroGetActorData(GyroHandle, ActorData* actor) {
    if (actor != nullptr) {
        std::memset(static_cast<void*>(actor), 0, sizeof(ActorData));
    }
}
void GyroSetActorData(GyroHandle, const ActorData*) {}
void GyroCopyActorToSkeleton(Skeleton*, const ActorData*) {}
void GyroPutSkeletonOnFloor(Skeleton*, Frame*, const ActorData*) {}
void GyroUpdateActorFromSkeleton(Skeleton*, ActorData*) {}
void GyroGetBVHFoot(float* footLength, float* heelWidth, float* ballWidth, float* shortenOutside) {
    if (footLength != nullptr) {
        *footLength = 10.0f;
    }
    if (heelWidth != nullptr) {
        *heelWidth = 2.5f;
    }
    if (ballWidth != nullptr) {
        *ballWidth = 3.5f;
    }
    if (shortenOutside != nullptr) {
        *shortenOutside = 1.0f;
    }
}
void GyroSetBVHFoot(float, float, float, float) {}

namespace telvo::sim {
void Reset() {}
void SetConfigFolder(const std::string&) {}
void UseConfigFile(bool) {}
void SetSuits(const std::vector<SuitSpec>&) {}
void SetTrackerPresent(bool) {}
void SetInitFails(bool) {}
void SetOpenFails(bool) {}
void SetManualClock(bool) {}
int Deliver(GyroHandle, int) {
    return 0;
}
void SetAux(GyroHandle, uint32_t) {}
void SetFrameFlags(GyroHandle, uint32_t, uint32_t) {}
void DropFrames(GyroHandle, uint32_t) {}
void SetSilent(GyroHandle, bool) {}
void SetTimeoutMs(int) {}
void SetRecordingLimit(uint32_t) {}
uint8_t MotorLedBits() {
    return 0;
}
int OpenSuitCount() {
    return 0;
}
uint64_t FramesDelivered(GyroHandle) {
    return 0;
}
uint64_t FrameSequence(const Frame&) {
    return 0;
}
int64_t FrameTimestampNs(const Frame&) {
    return 0;
}
uint64_t FrameSampleIndex(const Frame&) {
    return 0;
}
} // namespace telvo::sim
