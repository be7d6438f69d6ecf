#include "SceneRenderer.h"

#include "Camera.h"
#include "RawSensors.h"
#include "SolidBody.h"
#include "ViewMath.h"
#include "ViewState.h"
#include "core/Settings.h"
#include "engine/EngineState.h"
#include "suitlib/SuitLib.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>

namespace telvo {

namespace {

inline constexpr Pen GridPen{2, Black};
inline constexpr Pen AxisPen{2, Yellow};
inline constexpr Pen NorthPen{2, Green};
inline constexpr Pen ShadowPen{2, Blue};
inline constexpr Pen BoneUnderPen{4, Grey};
inline constexpr Pen BoneOverPen{2, White};
inline constexpr Pen OutlinePen{1, Black};

inline constexpr int MaxGridLines = 201; // in each direction: -100 to 100 world units

bool Enabled(const std::atomic<int>& setting) {
    return setting.load(std::memory_order_relaxed) != 0;
}

// A contact point's node, or -1 when the library's index names no node.
int ContactNode(int contact) {
    if (Engine.ContactPointIndices == nullptr) {
        return -1;
    }
    int node = Engine.ContactPointIndices[contact];
    return node >= 0 && node < SkeletonNodeCount ? node : -1;
}

int ContactCount() {
    return Engine.ContactPointIndices == nullptr ? 0 : Engine.ContactPointCount;
}

bool Bit(uint32_t word, int bit) {
    return bit >= 0 && bit < 32 && (word & (uint32_t{1} << bit)) != 0;
}

// A child record of this skeleton, or -1: a pointer outside the node array is never followed.
int ChildIndex(const Skeleton& skeleton, const SkeletonNode* child) {
    std::less<const SkeletonNode*> before;
    if (child == nullptr || before(child, &skeleton.Nodes[0]) ||
        !before(child, &skeleton.Nodes[0] + SkeletonNodeCount)) {
        return -1;
    }
    return static_cast<int>(child - &skeleton.Nodes[0]);
}

float ClampGrid(float v, bool upper) {
    constexpr float limit = 100.0f;
    if (upper) {
        return v <= limit ? v : limit; // NaN too
    }
    return v >= -limit ? v : -limit;
}

float DepthOf(const DrawItem& item) {
    Vector key = item.pos;
    if (item.kind == BoneItem) {
        key = {(item.end.x + item.pos.x) * 0.5f, (item.end.y + item.pos.y) * 0.5f,
               (item.end.z + item.pos.z) * 0.5f};
    }
    return View.ViewRotation.RowZ() * key;
}

void DrawPointItem(Surface& surface, const DrawItem& item, bool labels) {
    Point p = ProjectToScreen(item.pos);
    int r = item.radius;
    if (r != 0) {
        surface.SetPen({2, item.colour});
        surface.Ellipse(p.x - r, p.y - r, p.x + r, p.y + r);
    }
    if (item.label != nullptr && labels) {
        int x = p.x + item.labelDx;
        int y = p.y + item.labelDy;
        if (item.shadow != 0) {
            surface.SetTextColor(Black);
            surface.Text(x + item.shadow, y + item.shadow, item.label);
        }
        surface.SetTextColor(item.colour);
        surface.Text(x, y, item.label);
    }
}

void DrawWireBone(Surface& surface, const DrawItem& item) {
    Point a = ProjectToScreen(item.pos);
    Point b = ProjectToScreen(item.end);
    surface.SetPen(BoneUnderPen);
    surface.Line(a, b);
    surface.SetPen(BoneOverPen);
    surface.Line(a, b);
}

} // namespace

Point ProjectToScreen(const Vector& p, float scale) {
    double a = DotD(View.ViewRotation.RowX(), p);
    double b = DotD(View.ViewRotation.RowY(), p);
    auto tx = static_cast<float>(a * scale + View.ViewPanX);
    auto ty = static_cast<float>(View.ViewPanY - b * scale);
    return {(View.ViewWidth >> 1) + RoundPixel(tx), (View.ViewHeight >> 1) + RoundPixel(ty)};
}

Point ProjectToScreen(const Vector& p) {
    return ProjectToScreen(p, View.ViewScale);
}

int CompareDrawItems(const void* a, const void* b) {
    const auto& x = *static_cast<const DrawItem*>(a);
    const auto& y = *static_cast<const DrawItem*>(b);
    float dx = DepthOf(x);
    float dy = DepthOf(y);
    if (dx < dy) {
        return -1;
    }
    if (dx > dy) {
        return 1;
    }
    return (x.OrderClass > y.OrderClass) - (x.OrderClass < y.OrderClass);
}

void DrawGrid(Surface& surface) {
    const Matrix& m = View.ViewRotation;
    surface.SetPen(GridPen);
    float d = m.m00 * m.m11 - m.m01 * m.m10;
    if (d == 0.0f) {
        // The floor seen edge-on: one horizon line.
        Vector e{0.0f, 100.0f, 0.0f};
        if (m.m00 * m.m00 + m.m10 * m.m10 > m.m01 * m.m01 + m.m11 * m.m11) {
            e = {100.0f, 0.0f, 0.0f};
        }
        surface.Line(ProjectToScreen({-e.x, -e.y, -e.z}, GridScale), ProjectToScreen(e, GridScale));
        return;
    }
    // The floor rectangle under the drawing area's corners; double precision, so a nearly
    // edge-on floor gives huge numbers rather than infinities.
    double k = 1.0 / (static_cast<double>(GridScale) * d);
    double halfW = View.ViewWidth * 0.5;
    double halfH = View.ViewHeight * 0.5;
    const double corners[4][2] = {
        {halfW, halfH}, {-halfW, halfH}, {-halfW, -halfH}, {halfW, -halfH}};
    float xmin = 0.0f, xmax = 0.0f, ymin = 0.0f, ymax = 0.0f;
    for (int c = 0; c < 4; ++c) {
        double U = (corners[c][0] - View.ViewPanX) * k;
        double V = (corners[c][1] + View.ViewPanY) * k;
        auto x = static_cast<float>(std::fmax(std::fmin(U * m.m11 - V * m.m01, 1e30), -1e30));
        auto y = static_cast<float>(std::fmax(std::fmin(V * m.m00 - U * m.m10, 1e30), -1e30));
        if (c == 0) {
            xmin = xmax = x;
            ymin = ymax = y;
            continue;
        }
        xmin = std::fmin(xmin, x);
        xmax = std::fmax(xmax, x);
        ymin = std::fmin(ymin, y);
        ymax = std::fmax(ymax, y);
    }
    xmax = std::ceil(ClampGrid(xmax, true));
    xmin = std::floor(ClampGrid(xmin, false));
    ymax = std::ceil(ClampGrid(ymax, true));
    ymin = std::floor(ClampGrid(ymin, false));
    Segment lines[2 * MaxGridLines];
    int count = 0;
    int across = 0;
    for (float x = xmin; x <= xmax && across < MaxGridLines; x += 1.0f, ++across) {
        lines[count++] = {ProjectToScreen({x, ymin, 0.0f}, GridScale),
                          ProjectToScreen({x, ymax, 0.0f}, GridScale)};
    }
    across = 0;
    for (float y = ymin; y <= ymax && across < MaxGridLines; y += 1.0f, ++across) {
        lines[count++] = {ProjectToScreen({xmin, y, 0.0f}, GridScale),
                          ProjectToScreen({xmax, y, 0.0f}, GridScale)};
    }
    surface.Lines(lines, count);
}

void DrawAxes(Surface& surface) {
    static constexpr struct {
        Vector tip;
        const char* label;
    } axes[] = {{{1.0f, 0.0f, 0.0f}, "X"}, {{0.0f, 1.0f, 0.0f}, "Y"}, {{0.0f, 0.0f, 1.0f}, "Z"}};
    Point o = ProjectToScreen({0.0f, 0.0f, 0.0f}, GridScale);
    surface.SetPen(AxisPen);
    surface.SetTextColor(Red);
    for (const auto& axis : axes) {
        Point tip = ProjectToScreen(axis.tip, GridScale);
        surface.Line(o, tip);
        surface.Text(tip.x, tip.y, axis.label);
    }
}

void DrawNorth(Surface& surface) {
    Point o = ProjectToScreen({0.0f, 0.0f, 0.0f}, GridScale);
    Point tip = ProjectToScreen(View.NorthVector, GridScale);
    surface.SetPen(NorthPen);
    surface.SetTextColor(Black);
    surface.Line(o, tip);
    surface.Text(tip.x, tip.y, "N");
}

void DrawContactShadows(Surface& surface, const Skeleton& skeleton, const Frame& frame) {
    surface.SetPen(ShadowPen);
    int count = ContactCount();
    for (int i = 0; i < count; ++i) {
        if (frame.ShadowMaskValid != 0 && !Bit(frame.ShadowMask, i)) {
            continue;
        }
        int n = ContactNode(i);
        if (n < 0) {
            continue;
        }
        const Vector& p = skeleton.Nodes[n].Position;
        if (p.z - Engine.ActorData.ContactRadius[n] < ShadowHeight) {
            Point s = ProjectToScreen({p.x, p.y, 0.0f});
            surface.Ellipse(s.x - 4, s.y - 4, s.x + 4, s.y + 4);
        }
    }
}

void DrawTrackerStatus(Surface& surface) {
    uint32_t status = GyroGetTrackerStatus(Engine.SuitHandle.load());
    if ((status & TrackerTracking) != 0) {
        surface.SetTextColor(Yellow);
        surface.Text(66, 2, "Tracking");
    }
    if (Enabled(Settings.EnableTracking)) {
        if ((status & TrackerWaitingForNull) != 0) {
            surface.SetTextColor(Red);
            surface.Text(2, 22, "Waiting for Null...");
        } else if ((status & TrackerSynchronized) != 0) {
            surface.SetTextColor(White);
            surface.Text(2, 22, "Tracker Synchronized");
        } else {
            surface.SetTextColor(Red);
            surface.Text(2, 22, "Synchronizing...");
        }
    }
}

namespace {

void AddBones(DrawList& list, const Skeleton& skeleton) {
    const RenderType render = CurrentRender();
    if (render != RenderType::Nothing) {
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            const SkeletonNode& node = skeleton.Nodes[i];
            int children = node.ChildCount < 0 ? 0 : (node.ChildCount > 3 ? 3 : node.ChildCount);
            for (int j = 0; j < children; ++j) {
                int c = ChildIndex(skeleton, node.Children[j]);
                if (c < 0) {
                    continue;
                }
                DrawItem bone;
                bone.kind = BoneItem;
                bone.OrderClass = OrderBone;
                bone.pos = node.Position;
                bone.end = skeleton.Nodes[c].Position;
                if (render == RenderType::Solid &&
                    !ComputeRingPoints(node, skeleton.Nodes[c], bone)) {
                    continue; // a zero-length bone has no solid
                }
                list.Add(bone);
            }
        }
    }
}

void AddNodes(DrawList& list, const Skeleton& skeleton) {
    bool showNodes = Enabled(Settings.ShowNodes);
    bool showNames = Enabled(Settings.ShowNodeNames);
    if (showNodes || showNames) {
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            DrawItem item;
            item.OrderClass = OrderNode;
            item.pos = skeleton.Nodes[i].Position;
            item.colour = Green;
            item.radius = showNodes ? 6 : 0;
            item.label = showNames ? GyroGetNodeName(i) : nullptr;
            item.labelDx = 8;
            item.labelDy = i == 15 ? 8 : 0;
            item.shadow = 2;
            list.Add(item);
        }
    }
}

void AddContacts(DrawList& list, const Skeleton& skeleton) {
    int contacts = ContactCount();
    auto contactRadius = [](int node) {
        return RoundPixel(static_cast<double>(View.ViewScale) *
                          Engine.ActorData.ContactRadius[node]);
    };
    if (Enabled(Settings.ShowContactPointRadii)) {
        for (int i = 0; i < contacts; ++i) {
            int n = ContactNode(i);
            if (n < 0) {
                continue;
            }
            int r = contactRadius(n);
            if (r >= 1) {
                DrawItem item;
                item.OrderClass = OrderContactRadius;
                item.pos = skeleton.Nodes[n].Position;
                item.colour = White;
                item.radius = r;
                list.Add(item);
            }
        }
    }
    if (Enabled(Settings.ShowContactPoints)) {
        for (int i = 0; i < contacts; ++i) {
            int n = ContactNode(i);
            if (n < 0 || !Bit(View.ContactMask, i)) {
                continue;
            }
            int r = contactRadius(n);
            DrawItem item;
            item.OrderClass = OrderContactPoint;
            item.pos = skeleton.Nodes[n].Position;
            item.colour = Red;
            item.radius = r < 4 ? 4 : r;
            list.Add(item);
        }
    }
}

void AddMarkers(DrawList& list, const Frame& frame) {
    if (Enabled(Settings.ShowMarkers)) {
        static constexpr struct {
            Rgb colour;
            int radius;
            int labelDy;
        } markers[3] = {{Yellow, 8, -8}, {Green, 4, 0}, {White, 4, 8}};
        bool names = Enabled(Settings.ShowMarkerNames);
        for (int m = 0; m < 3; ++m) {
            if (m == 2 && (frame.Flags & FrameThirdMarkerInUse) == 0) {
                continue;
            }
            if (!Bit(frame.Flags, m)) {
                continue;
            }
            DrawItem item;
            item.OrderClass = OrderMarker;
            item.pos = frame.MarkerPositions[m];
            item.colour = markers[m].colour;
            item.radius = markers[m].radius;
            item.label = names ? GyroGetMarkerName(m) : nullptr;
            item.labelDx = 8;
            item.labelDy = markers[m].labelDy;
            list.Add(item);
        }
    }
}

} // namespace

void BuildDrawList(DrawList& list, const Skeleton& skeleton, const Frame& frame) {
    list.Count = 0;
    AddBones(list, skeleton);
    AddNodes(list, skeleton);
    AddContacts(list, skeleton);
    AddMarkers(list, frame);
}

void SortDrawList(DrawList& list) {
    std::qsort(list.Items, static_cast<size_t>(list.Count), sizeof(DrawItem), CompareDrawItems);
}

void DrawDrawList(Surface& surface, const DrawList& list) {
    bool labels = surface.SelectLabelFont();
    bool solid = CurrentRender() == RenderType::Solid;
    for (int i = 0; i < list.Count; ++i) {
        const DrawItem& item = list.Items[i];
        if (item.kind == PointItem) {
            DrawPointItem(surface, item, labels);
        } else if (solid) {
            surface.SetPen(OutlinePen);
            DrawSolidBone(surface, item);
        } else {
            DrawWireBone(surface, item);
        }
    }
}

namespace {

// The floor grid, the axes and the north arrow follow nothing but the camera, the drawing
// area and the north: a surface may keep them from the last paint.
void DrawCameraLayer(Surface& surface) {
    const bool grid = Enabled(Settings.ShowGrid);
    const bool axes = Enabled(Settings.ShowAxes);
    const bool north = Enabled(Settings.ShowNorth);
    if (!grid && !axes && !north) {
        return;
    }
    const Matrix& m = View.ViewRotation;
    const Vector& n = View.NorthVector;
    const float values[] = {
        m.m00,         m.m01,         m.m02, m.m10, m.m11, m.m12, m.m20, m.m21, m.m22, // turn
        View.ViewPanX, View.ViewPanY, n.x,   n.y,   n.z,                               // pan, north
    };
    uint32_t key[std::size(values) + 3];
    std::memcpy(key, values, sizeof values);
    key[std::size(values)] = static_cast<uint32_t>(View.ViewWidth);
    key[std::size(values) + 1] = static_cast<uint32_t>(View.ViewHeight);
    key[std::size(values) + 2] = (grid ? 1u : 0u) | (axes ? 2u : 0u) | (north ? 4u : 0u);
    if (surface.BeginLayer(key, sizeof key)) {
        surface.Save();
        if (grid) {
            DrawGrid(surface);
        }
        if (axes) {
            DrawAxes(surface);
        }
        if (north) {
            DrawNorth(surface);
        }
        surface.Restore();
    }
    surface.EndLayer();
}

} // namespace

void DrawPosedScene(Surface& surface, const Skeleton& skeleton, const Frame& frame) {
    surface.Save();
    surface.SetPen(GridPen);
    DrawCameraLayer(surface);
    if (Enabled(Settings.ShowFootShadow)) {
        DrawContactShadows(surface, skeleton, frame);
    }
    if (Enabled(Settings.ShowMarkers)) {
        DrawTrackerStatus(surface);
    }
    DrawList list;
    BuildDrawList(list, skeleton, frame);
    SortDrawList(list);
    DrawDrawList(surface, list);
    surface.Restore();
}

void DrawScene(Surface& surface) {
    if (CurrentRender() == RenderType::RawChannels) {
        DrawRawSensors(surface);
        return;
    }
    if (PreparePose() == 0) {
        return;
    }
    DrawPosedScene(surface, Engine.Skeleton, View.ShownFrame);
}

} // namespace telvo
