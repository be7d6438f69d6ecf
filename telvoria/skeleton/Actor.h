#pragma once

// The library's part of ActorData: the body measurements live in its first bytes as a tagged
// table of the 30 bone vectors.

#include "suitlib/SuitLib.h"
#include "telvoria/skeleton/Body.h"

#include <array>

namespace telvo::body {

// The default performer's complete record.
ActorData DefaultActor();

// The bone vectors an actor describes; missing or unusable entries take the default's.
std::array<Vector, NodeCount> ActorOffsets(const ActorData& actor);
void SetActorOffsets(ActorData& actor, const std::array<Vector, NodeCount>& offsets);

// Contact radii fit for the solver: anything not a sensible length counts as 0.
std::array<float, NodeCount> ActorRadii(const ActorData& actor);

// The node carrying the tracker marker, always a valid node number.
int MarkerNode(const ActorData& actor);

// Bone vectors read from a skeleton record, each checked like an actor's.
std::array<Vector, NodeCount> SkeletonOffsets(const Skeleton& skeleton);

// Back to the library's default foot geometry for BVH files.
void ResetFootGeometry();

} // namespace telvo::body
