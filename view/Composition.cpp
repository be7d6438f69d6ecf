#include "Composition.h"

#include "SceneRenderer.h"
#include "Surface.h"
#include "ViewState.h"
#include "app/Settings.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "platform/Platform.h"
#include "suitlib/SuitLib.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

namespace telvo {

namespace {

constexpr size_t TextCapacity = 80;

// The recording limit in frames, as the counter shows it; seconds at 120 / divider frames per
// second, held within 32 bits.
uint32_t RecordLimitFrames() {
    auto limit = static_cast<uint32_t>(Settings.RecordLimitFS.load());
    if (Settings.RecordFramesOrSeconds.load() != 0) {
        return limit;
    }
    SuitInfo info{};
    GyroGetSuitInfo(Engine.SuitHandle.load(), &info);
    uint32_t divider = info.FrameDivider == 0 ? 1 : info.FrameDivider;
    double frames = std::trunc(limit * 120.0 / divider + 0.5);
    double most = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(frames < most ? frames : most);
}

uint32_t DisplayFlags() {
    std::lock_guard lock(Engine.DisplayMutex);
    return Engine.DisplayFrame.Flags;
}

void RefreshNorth() {
    // Asked with the last full-length north in place, so a library that leaves the vector
    // alone (no suit) does not halve the arrow again at every paint.
    Vector north{View.NorthVector.x * 2.0f, View.NorthVector.y * 2.0f, View.NorthVector.z * 2.0f};
    GyroGetNorth(Engine.SuitHandle.load(), &north);
    View.NorthVector = {north.x * 0.5f, north.y * 0.5f, north.z * 0.5f};
}

} // namespace

std::string FrameCounterText() {
    char text[TextCapacity] = "";
    const char* suffix = Engine.Paused.load() != 0 ? "   (Paused)" : "";
    if (Engine.Recording.load() != 0) {
        uint32_t count = RecordedFrameCount();
        if (Settings.RecordStop.load() != 0) {
            std::snprintf(text, sizeof text, "Frame %u / %u%s", count, RecordLimitFrames(), suffix);
        } else {
            std::snprintf(text, sizeof text, "Frame %u%s", count, suffix);
        }
    } else if (Engine.Playback.load() != 0 || Engine.Live.load() == 0) {
        std::snprintf(text, sizeof text, "Frame %u / %u%s", Engine.PlaybackIndex.load() + 1,
                      RecordedFrameCount(), suffix);
    }
    return text;
}

void DrawStatusLines(Surface& surface, uint32_t flags) {
    bool jumping = Engine.Playback.load() != 0 ? (flags & FrameJumping) != 0
                                               : GyroJumping(Engine.SuitHandle.load()) != 0;
    if (jumping) {
        surface.SetTextColor(Yellow);
        surface.Text(2, 2, "Jumping");
    }
    if (Settings.ShowInfo.load() == 0) {
        return;
    }
    char text[TextCapacity];
    uint32_t w = flags >> 16;
    if ((w & 0x40) != 0) {
        std::snprintf(text, sizeof text, "Switches = %d %d %d %d %d %d", w & 1, (w >> 1) & 1,
                      (w >> 2) & 1, (w >> 3) & 1, (w >> 4) & 1, (w >> 5) & 1);
    } else {
        std::snprintf(text, sizeof text, "No Switches");
    }
    surface.SetTextColor(White);
    surface.Text(2, 42, text);
    if ((w & 0x800) != 0) {
        int e = static_cast<int>((w >> 8) & 7);
        std::snprintf(text, sizeof text, "External sync, tracker rate = %g FPS",
                      120.0 / static_cast<double>(1 << e));
        surface.Text(2, 62, text);
    }
    if ((w & 0x8000) != 0) {
        surface.Text(2, 82, "Mechanical suit");
    }
}

void CountPaint(uint32_t now) {
    View.PaintCount += 1;
    if (View.PaintRateStart == 0) {
        View.PaintRateStart = now;
    }
    uint32_t elapsed = now - View.PaintRateStart;
    if (elapsed >= 1000) {
        View.DisplayRate = static_cast<float>(View.PaintCount * 1000.0 / elapsed);
        View.PaintCount = 0;
        View.PaintRateStart = now;
    }
}

std::string DisplayRateText() {
    char text[TextCapacity] = "";
    if (View.DisplayRate >= 1.0f) {
        if (GyroHandle suit = Engine.SuitHandle.load(); suit != 0) {
            std::snprintf(text, sizeof text, "Display: %5.1f FPS, Dropped: %u",
                          static_cast<double>(View.DisplayRate), GyroGetDropped(suit));
        } else {
            std::snprintf(text, sizeof text, "Display: %5.1f FPS, Offline",
                          static_cast<double>(View.DisplayRate));
        }
    }
    return text;
}

void OnPaint(Platform& platform, PaintTarget& target) {
    PixelSize area = platform.DrawingArea();
    View.ViewWidth = area.width > 0 ? area.width : 0;
    View.ViewHeight = area.height > 0 ? area.height : 0;
    Surface& surface = target.BeginPicture(View.ViewWidth, View.ViewHeight);
    surface.FillRect(0, 0, View.ViewWidth, View.ViewHeight, Grey);
    platform.SetStatusText(1, FrameCounterText());
    RefreshNorth();
    DrawScene(surface);
    DrawStatusLines(surface, DisplayFlags());
    target.Present();
    CountPaint(platform.TimeMs());
    platform.SetStatusText(2, DisplayRateText());
    Engine.PaintPending.store(0, std::memory_order_release);
}

} // namespace telvo
