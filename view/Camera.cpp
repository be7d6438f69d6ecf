#include "Camera.h"

#include "ViewMath.h"
#include "ViewState.h"
#include "core/Settings.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "platform/Platform.h"
#include "suitlib/SuitLib.h"

#include <cmath>
#include <mutex>
#include <optional>

namespace telvo {

namespace {

void Invalidate(Platform& platform) {
    platform.Invalidate();
}

// The primary screen's size for the drag sensitivity; a screen that reports no size falls
// back to the drawing area, so a drag never divides by zero.
PixelSize DragScreen(Platform& platform) {
    PixelSize screen = platform.ScreenSize();
    if (screen.width <= 0) {
        screen.width = View.ViewWidth > 0 ? View.ViewWidth : 1;
    }
    if (screen.height <= 0) {
        screen.height = View.ViewHeight > 0 ? View.ViewHeight : 1;
    }
    return screen;
}

void FollowCharacterPan(const Vector& root) {
    double a = DotD(View.ViewRotation.RowX(), root);
    double b = DotD(View.ViewRotation.RowY(), root);
    View.ViewPanX = static_cast<float>(-a * View.ViewScale);
    View.ViewPanY = static_cast<float>(b * View.ViewScale - FollowLift * View.ViewHeight);
}

// PreparePose with the recorded frame to show given explicitly (Center Sequence walks the
// recording without moving PlaybackIndex, which the playback timer also advances).
int PoseFrame(std::optional<uint32_t> recordedIndex) {
    Frame& shown = View.ShownFrame;
    // While recording, the newest live frame is shown whatever else is asked.
    bool fromRecording = Engine.Recording.load() == 0 &&
                         (recordedIndex || Engine.Live.load() == 0 || Engine.Playback.load() != 0);
    if (fromRecording) {
        std::scoped_lock lock(Engine.RecordingMutex, Engine.DisplayMutex);
        const ::Skeleton& skeleton = Engine.Skeleton;
        if (skeleton.Frames == nullptr) {
            return 0;
        }
        uint32_t index = recordedIndex ? *recordedIndex : Engine.PlaybackIndex.load();
        if (index >= skeleton.FrameCount) {
            if (!recordedIndex) {
                Engine.PlaybackIndex = 0;
            }
            index = 0;
            if (skeleton.FrameCount == 0) {
                return 0;
            }
        }
        Engine.DisplayFrame = skeleton.Frames[index];
        shown = Engine.DisplayFrame;
    } else {
        std::lock_guard lock(Engine.DisplayMutex);
        shown = Engine.DisplayFrame;
    }
    if (Settings.FollowCharacter.load() != 0) {
        FollowCharacterPan(shown.RootPosition);
    }
    GyroApplyFrame(&Engine.Skeleton, &shown);
    View.ContactMask = shown.ContactMask;
    return 1;
}

void Preset(Platform& platform, const Matrix& rotation, float panY) {
    View.ViewRotation = rotation;
    View.ViewPanX = 0.0f;
    View.ViewScale = PresetScale;
    View.ViewPanY = panY;
    Invalidate(platform);
}

} // namespace

int PreparePose() {
    return PoseFrame(std::nullopt);
}

void OnViewButtonDown(Platform& platform, const MouseEvent& event) {
    if (View.DragActive != 0) {
        return; // a second button neither restarts nor changes the drag
    }
    View.DragStartX = event.screenX;
    View.DragStartY = event.screenY;
    View.DragStartRotation = View.ViewRotation;
    View.DragStartPanX = View.ViewPanX;
    View.DragStartPanY = View.ViewPanY;
    View.DragStartScale = View.ViewScale;
    platform.SetCapture();
    View.DragActive = 1;
}

void OnViewButtonUp(Platform& platform) {
    if (View.DragActive != 0) {
        platform.ReleaseCapture();
        View.DragActive = 0;
    }
}

void OnViewMouseMove(Platform& platform, const MouseEvent& event) {
    if (View.DragActive == 0 || (event.flags & (MouseLeft | MouseRight)) == 0) {
        return;
    }
    int dx = event.screenX - View.DragStartX;
    int dy = event.screenY - View.DragStartY;
    if (dx == 0 && dy == 0) {
        return;
    }
    bool modified = (event.flags & (MouseShift | MouseMiddle)) != 0;
    bool left = (event.flags & MouseLeft) != 0;
    PixelSize screen = DragScreen(platform);
    if (modified && left) {
        View.ViewPanX = View.DragStartPanX + static_cast<float>(dx);
        View.ViewPanY = View.DragStartPanY + static_cast<float>(dy);
    } else if (modified) {
        double f = 1.0 + static_cast<double>(-dy) * DragSensitivity / screen.height;
        if (f < 0.0) {
            f = 0.0;
        }
        View.ViewScale = static_cast<float>(View.DragStartScale * f);
        if (View.ViewScale < MinimumDragScale) {
            View.ViewScale = MinimumDragScale;
        }
    } else if (left) {
        auto h = static_cast<float>(static_cast<double>(dx) * DragSensitivity / screen.width);
        auto v = static_cast<float>(static_cast<double>(dy) * DragSensitivity / screen.height);
        View.ViewRotation = Matrix::RotX(v) * Matrix::RotY(h) * View.DragStartRotation;
    } else {
        // The view centre as drawn, moved into screen pixels like the mouse points.
        int cx = (View.ViewWidth >> 1) + RoundPixel(View.ViewPanX) + (event.screenX - event.x);
        int cy = (View.ViewHeight >> 1) + RoundPixel(View.ViewPanY) + (event.screenY - event.y);
        double a0 = std::atan2(View.DragStartY - cy, View.DragStartX - cx);
        double a1 = std::atan2(event.screenY - cy, event.screenX - cx);
        View.ViewRotation = Matrix::RotZ(static_cast<float>(a0 - a1)) * View.DragStartRotation;
    }
    Invalidate(platform);
}

void OnFrontView(Platform& platform) {
    Preset(platform, FrontViewRotation, PresetHeight * PresetScale);
}

void OnRightSideView(Platform& platform) {
    Preset(platform, SideViewRotation, PresetHeight * PresetScale);
}

void OnTopView(Platform& platform) {
    Preset(platform, TopViewRotation, 0.0f);
}

void WidenExtent(ViewExtent& extent, const ::Skeleton& skeleton, bool first) {
    Vector right = View.ViewRotation.RowX();
    Vector up = View.ViewRotation.RowY();
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        const Vector& p = skeleton.Nodes[i].Position;
        float sx = right * p;
        float sy = -(up * p);
        if (first && i == 0) {
            extent = {sx, sy, sx, sy};
            continue;
        }
        extent.minX = std::fmin(extent.minX, sx);
        extent.maxX = std::fmax(extent.maxX, sx);
        extent.minY = std::fmin(extent.minY, sy);
        extent.maxY = std::fmax(extent.maxY, sy);
    }
}

void FitExtent(Platform& platform, const ViewExtent& e) {
    float panX = -(e.minX + e.maxX) * 0.5f;
    float panY = -(e.minY + e.maxY) * 0.5f;
    float w = e.maxX - e.minX;
    float h = e.maxY - e.minY;
    PixelSize area = platform.DrawingArea();
    View.ViewWidth = area.width;
    View.ViewHeight = area.height;
    float fx = 1.0f;
    float fy = 1.0f;
    if (w > 0.0f) {
        fx = static_cast<float>(View.ViewWidth * static_cast<double>(FitFraction) / w);
    }
    if (h > 0.0f) {
        fy = static_cast<float>(View.ViewHeight * static_cast<double>(FitFraction) / h);
    }
    View.ViewScale = fy < fx ? fy : fx;
    View.ViewPanX = panX * View.ViewScale;
    View.ViewPanY = panY * View.ViewScale;
    Invalidate(platform);
}

void OnCenterView(Platform& platform) {
    if (PreparePose() == 0) {
        return;
    }
    ViewExtent extent;
    WidenExtent(extent, Engine.Skeleton, true);
    FitExtent(platform, extent);
}

void OnCenterSequence(Platform& platform) {
    uint32_t count = RecordedFrameCount();
    if (count == 0) {
        return;
    }
    ViewExtent extent;
    for (uint32_t index = 0; index < count; ++index) {
        if (PoseFrame(index) == 0) {
            return;
        }
        WidenExtent(extent, Engine.Skeleton, index == 0);
    }
    FitExtent(platform, extent);
}

} // namespace telvo
