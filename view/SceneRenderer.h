#pragma once

#include "Surface.h"
#include "geometry/Vector.h"

#include <cstdint>

struct Frame;
struct Skeleton;

namespace telvo {

enum DrawItemKind : int32_t { BoneItem = 0, PointItem = 1 };

// Depth tie-break: at equal depth lower classes are drawn first.
enum DrawOrderClass : int32_t {
    OrderBone = 0,
    OrderNode = 1,
    OrderContactRadius = 2,
    OrderContactPoint = 3,
    OrderMarker = 4,
};

// One entry of the depth-sorted draw list: a bone (pos to end, with its solid-body ring) or a
// point (circle and label).
struct DrawItem {
    int32_t kind = PointItem;
    int32_t OrderClass = OrderNode;
    Vector pos{0.0f, 0.0f, 0.0f}; // bone: the parent joint; point: the point

    // Bone items.
    Vector end{0.0f, 0.0f, 0.0f}; // the child joint
    Vector ring[3] = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};

    // Point items.
    int32_t radius = 0; // pixels; 0 = no circle
    Rgb colour{};
    const char* label = nullptr; // the suit library's text; null = no label
    int32_t labelDx = 0;
    int32_t labelDy = 0;
    int32_t shadow = 0; // n > 0: a black copy of the label first, offset by (n, n)
};

inline constexpr int DrawListCapacity = 181;

// A fixed list: items beyond its capacity are dropped.
struct DrawList {
    DrawItem Items[DrawListCapacity];
    int Count = 0;

    bool Add(const DrawItem& item) {
        if (Count >= DrawListCapacity) {
            return false;
        }
        Items[Count++] = item;
        return true;
    }
};

// Pixels per world unit of the grid, axes and north arrow, whatever the zoom.
inline constexpr float GridScale = 100.0f;
// A contact point lower than this above its radius casts a floor shadow.
inline constexpr float ShadowHeight = 12.0f;

// One picture of the 3D view on a surface already cleared to grey.
void DrawScene(Surface& surface);

// World point to window pixels with the view state, at the view's scale or a given one.
Point ProjectToScreen(const Vector& p);
Point ProjectToScreen(const Vector& p, float scale);

// qsort comparator: by depth along the view axis (farthest first), then by OrderClass.
int CompareDrawItems(const void* a, const void* b);

// What DrawScene draws once a pose is ready, from a given skeleton and frame, pass by pass as
// the settings ask.
void DrawPosedScene(Surface& surface, const Skeleton& skeleton, const Frame& frame);
// The passes, each drawn whatever the settings say.
void DrawGrid(Surface& surface);
void DrawAxes(Surface& surface);
void DrawNorth(Surface& surface);
void DrawContactShadows(Surface& surface, const Skeleton& skeleton, const Frame& frame);
void DrawTrackerStatus(Surface& surface);
void BuildDrawList(DrawList& list, const Skeleton& skeleton, const Frame& frame);
void SortDrawList(DrawList& list);
void DrawDrawList(Surface& surface, const DrawList& list);

} // namespace telvo
