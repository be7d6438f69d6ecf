#pragma once

#include <cstdint>

struct Skeleton;

namespace telvo {

class Platform;

// Button and key state that comes with a mouse event.
enum MouseFlag : unsigned {
    MouseLeft = 0x1,
    MouseRight = 0x2,
    MouseShift = 0x4,
    MouseControl = 0x8,
    MouseMiddle = 0x10,
};

struct MouseEvent {
    int x = 0; // drawing-area pixels
    int y = 0;
    int screenX = 0; // the same point in screen pixels
    int screenY = 0;
    unsigned flags = 0; // MouseFlag bits
};

// Mouse handlers of the view: a left or right press starts a drag, a move applies it (turn,
// roll, pan or zoom by the flags), a release of either button ends it.
void OnViewButtonDown(Platform& platform, const MouseEvent& event);
void OnViewButtonUp(Platform& platform);
void OnViewMouseMove(Platform& platform, const MouseEvent& event);

// The view commands.
void OnFrontView(Platform& platform);
void OnRightSideView(Platform& platform);
void OnTopView(Platform& platform);
void OnCenterView(Platform& platform);     // fits the frame shown now
void OnCenterSequence(Platform& platform); // fits every recorded frame

// Chooses the frame to show (the recorded frame at PlaybackIndex when nothing is recording and
// the program is not live or is playing back, otherwise the live DisplayFrame), applies Follow
// Character, poses Engine.Skeleton and keeps the frame in View.ShownFrame. 0 when there is
// nothing to show.
int PreparePose();

// The view's bounds of the posed nodes in unscaled view units, y downwards.
struct ViewExtent {
    float minX = 0.0f;
    float minY = 0.0f;
    float maxX = 0.0f;
    float maxY = 0.0f;
};
// Starts the extent from node 0 when `first`, then widens it by every node.
void WidenExtent(ViewExtent& extent, const Skeleton& skeleton, bool first);
// Scales and centres the extent into 75 % of the drawing area; the rotation stays.
void FitExtent(Platform& platform, const ViewExtent& extent);

} // namespace telvo
