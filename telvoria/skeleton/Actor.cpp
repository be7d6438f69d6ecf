#include "telvoria/skeleton/Actor.h"

#include "telvoria/skeleton/Math.h"

#include <cmath>
#include <cstring>

namespace telvo::body {

namespace {

constexpr uint32_t ActorMagic = 0x44415654; // "TVAD"
constexpr uint32_t ActorVersion = 1;
constexpr std::size_t OffsetsAt = 8;
// Longer than any human bone, short enough to keep every pose on the stage.
constexpr float MaxBone = 120.0f;
constexpr float MaxRadius = 20.0f;

static_assert(OffsetsAt + NodeCount * sizeof(Vector) <= sizeof(ActorData::Reserved0));

bool Usable(const Vector& v) {
    return math::Finite(v) && math::Length(v) <= MaxBone;
}

} // namespace

ActorData DefaultActor() {
    ActorData a;
    std::memset(static_cast<void*>(&a), 0, sizeof a);
    SetActorOffsets(a, DefaultOffsets());
    a.MarkerOffset = {0.0f, 0.0f, 4.0f};
    a.MarkerNode = static_cast<float>(Head);
    a.UseTracker = 0.0f;
    a.FilterCoefficient = 0.5f;
    a.Relative = 0.0f;
    const auto& radii = DefaultContactRadii();
    for (int i = 0; i < NodeCount; ++i) {
        a.ContactRadius[i] = radii[i];
    }
    return a;
}

std::array<Vector, NodeCount> ActorOffsets(const ActorData& actor) {
    std::array<Vector, NodeCount> offsets = DefaultOffsets();
    uint32_t magic = 0;
    uint32_t version = 0;
    std::memcpy(&magic, actor.Reserved0, 4);
    std::memcpy(&version, actor.Reserved0 + 4, 4);
    if (magic != ActorMagic || version != ActorVersion) {
        return offsets;
    }
    for (int i = 0; i < NodeCount; ++i) {
        Vector v;
        std::memcpy(&v, actor.Reserved0 + OffsetsAt + i * sizeof(Vector), sizeof v);
        if (Usable(v)) {
            offsets[i] = v;
        }
    }
    return offsets;
}

void SetActorOffsets(ActorData& actor, const std::array<Vector, NodeCount>& offsets) {
    std::memcpy(actor.Reserved0, &ActorMagic, 4);
    std::memcpy(actor.Reserved0 + 4, &ActorVersion, 4);
    const auto& defaults = DefaultOffsets();
    for (int i = 0; i < NodeCount; ++i) {
        Vector v = Usable(offsets[i]) ? offsets[i] : defaults[i];
        std::memcpy(actor.Reserved0 + OffsetsAt + i * sizeof(Vector), &v, sizeof v);
    }
}

std::array<float, NodeCount> ActorRadii(const ActorData& actor) {
    std::array<float, NodeCount> r{};
    for (int i = 0; i < NodeCount; ++i) {
        float v = actor.ContactRadius[i];
        r[i] = std::isfinite(v) && v > 0.0f ? std::fmin(v, MaxRadius) : 0.0f;
    }
    return r;
}

int MarkerNode(const ActorData& actor) {
    float n = actor.MarkerNode;
    if (!std::isfinite(n) || n < 0.0f || n >= static_cast<float>(NodeCount)) {
        return Head;
    }
    return static_cast<int>(n);
}

std::array<Vector, NodeCount> SkeletonOffsets(const Skeleton& skeleton) {
    std::array<Vector, NodeCount> offsets = DefaultOffsets();
    for (int i = 0; i < NodeCount; ++i) {
        const Vector& v = skeleton.Nodes[i].Offset;
        if (Usable(v)) {
            offsets[i] = v;
        }
    }
    return offsets;
}

} // namespace telvo::body
