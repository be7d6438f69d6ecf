#pragma once

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "suitlib/SuitLib.h"

#include <cstdint>

namespace telvo {

// Rows are the screen-right, screen-up and depth (towards the viewer) directions in world
// coordinates.
inline constexpr Matrix FrontViewRotation{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, -1.0f, 0.0f};
inline constexpr Matrix SideViewRotation{0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
inline constexpr Matrix TopViewRotation{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};

inline constexpr float DragSensitivity = 8.0f; // radians, or zoom factor, per screen dragged
inline constexpr float PresetScale = 6.0f;
inline constexpr float PresetHeight = 36.0f; // world units above the origin at the view centre
inline constexpr float MinimumDragScale = 0.1f;
inline constexpr float FitFraction = 0.75f;
inline constexpr float FollowLift = 0.05f; // of the view height, above the centre

// The 3D view's state: camera, drag, the frame last posed and the display rate. Window thread
// only.
struct ViewState {
    Matrix ViewRotation = FrontViewRotation;
    float ViewScale = 6.0f; // pixels per world unit
    float ViewPanX = 0.0f;  // pixels, positive to the right
    float ViewPanY = 0.0f;  // pixels, positive downwards
    int ViewWidth = 0;
    int ViewHeight = 0;

    int DragActive = 0;
    int DragStartX = 0; // screen pixels
    int DragStartY = 0;
    Matrix DragStartRotation = FrontViewRotation;
    float DragStartScale = 6.0f;
    float DragStartPanX = 0.0f;
    float DragStartPanY = 0.0f;

    uint32_t ContactMask = 0;
    // The copy of DisplayFrame that the last PreparePose posed; the renderer draws from it, so
    // a frame written by the frame callback meanwhile never shows half.
    Frame ShownFrame{};

    Vector NorthVector{0.0f, -1.0f, 0.0f}; // the library's north, halved
    int PaintCount = 0;
    uint32_t PaintRateStart = 0; // 0: no sample yet
    float DisplayRate = 0.0f;

    // Back to the values that hold at process start.
    void Reset();
};

extern ViewState View;

} // namespace telvo
