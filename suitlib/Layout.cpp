// Compile-time checks of the boundary records' layout.
#include "SuitLib.h"

#include <type_traits>

#define CHECK_OFFSET(T, field, off) static_assert(offsetof(T, field) == (off), #T "::" #field)

static_assert(std::is_trivially_copyable_v<Frame>);
static_assert(sizeof(Frame) == 1064);
CHECK_OFFSET(Frame, Flags, 0);
CHECK_OFFSET(Frame, Reserved4, 4);
CHECK_OFFSET(Frame, RawMatrices, 12);
CHECK_OFFSET(Frame, RootPosition, 696);
CHECK_OFFSET(Frame, ContactMask, 708);
CHECK_OFFSET(Frame, Reserved712, 712);
CHECK_OFFSET(Frame, MarkerPositions, 952);
CHECK_OFFSET(Frame, ShadowMaskValid, 1000);
CHECK_OFFSET(Frame, Reserved1004, 1004);
CHECK_OFFSET(Frame, ShadowMask, 1024);
CHECK_OFFSET(Frame, Reserved1028, 1028);

static_assert(sizeof(SuitInfo) == 24);
CHECK_OFFSET(SuitInfo, Identity, 0);
CHECK_OFFSET(SuitInfo, Name, 4);
CHECK_OFFSET(SuitInfo, FrameDivider, 20);

static_assert(sizeof(ActorData) == 1952);
CHECK_OFFSET(ActorData, MarkerOffset, 736);
CHECK_OFFSET(ActorData, MarkerNode, 748);
CHECK_OFFSET(ActorData, UseTracker, 760);
CHECK_OFFSET(ActorData, FilterCoefficient, 764);
CHECK_OFFSET(ActorData, Relative, 768);
CHECK_OFFSET(ActorData, ContactRadius, 772);

// Field order as the library defines it; pointer-holding records take this platform's width.
constexpr std::size_t kPtr = sizeof(void*);
constexpr std::size_t RoundUp(std::size_t n, std::size_t a) {
    return (n + a - 1) / a * a;
}
CHECK_OFFSET(SkeletonNode, Offset, 4);
CHECK_OFFSET(SkeletonNode, ChildCount, 32);
CHECK_OFFSET(SkeletonNode, Children, RoundUp(36, kPtr));
CHECK_OFFSET(SkeletonNode, Position, RoundUp(36, kPtr) + 3 * kPtr);
CHECK_OFFSET(SkeletonNode, Orientation, RoundUp(36, kPtr) + 3 * kPtr + 12);
CHECK_OFFSET(SkeletonNode, Reserved96, RoundUp(36, kPtr) + 3 * kPtr + 48);
static_assert(sizeof(SkeletonNode) == RoundUp(RoundUp(36, kPtr) + 3 * kPtr + 52, kPtr));

CHECK_OFFSET(Skeleton, FramePeriod, 0);
CHECK_OFFSET(Skeleton, Nodes, RoundUp(4, kPtr));
CHECK_OFFSET(Skeleton, FrameCount, RoundUp(4, kPtr) + 30 * sizeof(SkeletonNode));
CHECK_OFFSET(Skeleton, Frames, RoundUp(RoundUp(4, kPtr) + 30 * sizeof(SkeletonNode) + 4, kPtr));

static_assert(sizeof(SuitDescriptorEx) >= 4976);
CHECK_OFFSET(SuitDescriptorEx, Version, 0);
CHECK_OFFSET(SuitDescriptorEx, FrameDivider, 4);
CHECK_OFFSET(SuitDescriptorEx, Actor, 8);
CHECK_OFFSET(SuitDescriptorEx, Skel, 1960);
CHECK_OFFSET(SuitDescriptorEx, Reserved, RoundUp(1960 + sizeof(Skeleton), 4));

#if UINTPTR_MAX == 0xffffffffffffffffu
// The 64-bit layout documented in the header.
static_assert(sizeof(SkeletonNode) == 120);
CHECK_OFFSET(SkeletonNode, Children, 40);
CHECK_OFFSET(SkeletonNode, Position, 64);
CHECK_OFFSET(SkeletonNode, Orientation, 76);
static_assert(sizeof(Skeleton) == 3624);
CHECK_OFFSET(Skeleton, FrameCount, 3608);
CHECK_OFFSET(Skeleton, Frames, 3616);
static_assert(sizeof(SuitDescriptorEx) == 5592);
CHECK_OFFSET(SuitDescriptorEx, Reserved, 5584);
#else
// The library's own 32-bit layout.
static_assert(sizeof(SkeletonNode) == 100);
static_assert(sizeof(Skeleton) == 3012);
CHECK_OFFSET(SuitDescriptorEx, Reserved, 4972);
#endif
