// The skeleton calls of the suit library: set-up, posing, names, actor measurements, floor.
#include "suitlib/SuitLib.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Recording.h"
#include "telvoria/skeleton/Solver.h"

#include <cmath>
#include <cstring>
#include <mutex>

namespace {

using namespace telvo;

void LinkChildren(Skeleton& skeleton) {
    for (auto& node : skeleton.Nodes) {
        node.ChildCount = 0;
        node.Children[0] = node.Children[1] = node.Children[2] = nullptr;
    }
    for (int i = 1; i < body::NodeCount; ++i) {
        SkeletonNode& parent = skeleton.Nodes[body::Parent[i]];
        parent.Children[parent.ChildCount++] = &skeleton.Nodes[i];
    }
}

void SetOffsets(Skeleton& skeleton, const std::array<Vector, body::NodeCount>& offsets) {
    for (int i = 0; i < body::NodeCount; ++i) {
        skeleton.Nodes[i].Offset = offsets[i];
    }
}

void WritePose(Skeleton& skeleton, const body::Pose& pose) {
    for (int i = 0; i < body::NodeCount; ++i) {
        skeleton.Nodes[i].Position = pose.position[i];
        skeleton.Nodes[i].Orientation = pose.orientation[i];
    }
}

// The null pose standing on the floor, for a skeleton that has seen no frame yet.
void StandInNullPose(Skeleton& skeleton) {
    auto offsets = body::SkeletonOffsets(skeleton);
    Matrix sensors[body::SensorCount];
    for (auto& m : sensors) {
        m = math::Identity();
    }
    body::Pose pose;
    body::Solve(offsets, sensors, offsets[body::Hips], pose);
    WritePose(skeleton, pose);
}

struct Foot {
    float length = 10.0f;
    float heelWidth = 2.5f;
    float ballWidth = 3.75f;
    float shortenOutside = 1.0f;
};

std::mutex footMutex;
Foot foot;

float Sane(float v, float fallback) {
    return std::isfinite(v) && v >= 0.0f ? v : fallback;
}

} // namespace

namespace telvo::body {
void ResetFootGeometry() {
    std::lock_guard lock(footMutex);
    foot = Foot{};
}
} // namespace telvo::body

void GyroInitSkeleton(Skeleton* skeleton) {
    if (skeleton == nullptr) {
        return;
    }
    if (recording::Owned(*skeleton)) {
        recording::Release(*skeleton);
    }
    std::memset(static_cast<void*>(skeleton), 0, sizeof(Skeleton));
    skeleton->FramePeriod = 1.0f / 120.0f;
    SetOffsets(*skeleton, body::DefaultOffsets());
    LinkChildren(*skeleton);
    StandInNullPose(*skeleton);
}

int GyroApplyFrame(Skeleton* skeleton, const Frame* frame) {
    if (skeleton == nullptr || frame == nullptr) {
        return 0;
    }
    std::array<Vector, body::NodeCount> offsets;
    const auto& defaults = body::DefaultOffsets();
    for (int i = 0; i < body::NodeCount; ++i) {
        const Vector& v = skeleton->Nodes[i].Offset;
        bool usable = math::Finite(v) && math::Dot(v, v) <= 120.0f * 120.0f;
        offsets[i] = usable ? v : defaults[i];
    }
    Matrix sensors[body::SensorCount];
    std::memcpy(static_cast<void*>(sensors), frame->RawMatrices, sizeof sensors);
    body::Pose pose;
    body::Solve(offsets, sensors, frame->RootPosition, pose);
    WritePose(*skeleton, pose);
    LinkChildren(*skeleton);
    return 1;
}

const int* GyroGetContactPointIndexArray(int* count) {
    if (count != nullptr) {
        *count = body::ContactPointCount;
    }
    return body::ContactNodes.data();
}

const char* GyroGetNodeName(int node) {
    if (node < 0 || node >= body::NodeCount) {
        return "";
    }
    return body::NodeNames[node];
}

void GyroCopyActorToSkeleton(Skeleton* skeleton, const ActorData* actor) {
    if (skeleton == nullptr) {
        return;
    }
    SetOffsets(*skeleton, actor != nullptr ? body::ActorOffsets(*actor) : body::DefaultOffsets());
    LinkChildren(*skeleton);
}

void GyroUpdateActorFromSkeleton(Skeleton* skeleton, ActorData* actor) {
    if (skeleton == nullptr || actor == nullptr) {
        return;
    }
    body::SetActorOffsets(*actor, body::SkeletonOffsets(*skeleton));
}

// Lifts or lowers the whole motion so that its lowest contact sphere just touches the floor;
// jumps and crouches keep their heights relative to each other.
void GyroPutSkeletonOnFloor(Skeleton* skeleton, Frame* frames, const ActorData* actor) {
    if (skeleton == nullptr || frames == nullptr || skeleton->FrameCount == 0) {
        return;
    }
    auto offsets = body::SkeletonOffsets(*skeleton);
    auto radii = actor != nullptr ? body::ActorRadii(*actor) : body::DefaultContactRadii();
    float lowest = 0.0f;
    bool any = false;
    body::Pose pose;
    for (uint32_t f = 0; f < skeleton->FrameCount; ++f) {
        // The solver stands a damaged root at the origin: such a frame says nothing of the
        // floor, and its feet below it would lift every other frame.
        if (!math::Finite(frames[f].RootPosition)) {
            continue;
        }
        Matrix sensors[body::SensorCount];
        std::memcpy(static_cast<void*>(sensors), frames[f].RawMatrices, sizeof sensors);
        body::Solve(offsets, sensors, frames[f].RootPosition, pose);
        float low = body::LowestContact(pose, radii);
        if (std::isfinite(low) && (!any || low < lowest)) {
            lowest = low;
            any = true;
        }
    }
    if (!any) {
        return;
    }
    for (uint32_t f = 0; f < skeleton->FrameCount; ++f) {
        if (std::isfinite(frames[f].RootPosition.z)) {
            frames[f].RootPosition.z -= lowest;
        }
    }
}

void GyroGetBVHFoot(float* footLength, float* heelWidth, float* ballWidth, float* shortenOutside) {
    std::lock_guard lock(footMutex);
    if (footLength != nullptr) {
        *footLength = foot.length;
    }
    if (heelWidth != nullptr) {
        *heelWidth = foot.heelWidth;
    }
    if (ballWidth != nullptr) {
        *ballWidth = foot.ballWidth;
    }
    if (shortenOutside != nullptr) {
        *shortenOutside = foot.shortenOutside;
    }
}

void GyroSetBVHFoot(float footLength, float heelWidth, float ballWidth, float shortenOutside) {
    std::lock_guard lock(footMutex);
    const Foot defaults;
    foot.length = Sane(footLength, defaults.length);
    foot.heelWidth = Sane(heelWidth, defaults.heelWidth);
    foot.ballWidth = Sane(ballWidth, defaults.ballWidth);
    foot.shortenOutside = Sane(shortenOutside, defaults.shortenOutside);
}
