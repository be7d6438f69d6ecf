#include "Composition.h"

#include "SceneRenderer.h"
#include "Surface.h"
#include "ViewState.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "platform/Platform.h"
#include "suitlib/SuitLib.h"

#include <cmath>
#include <limits>
#include <mutex>

namespace telvo {

namespace {

uint32_t SuitDivider() {
    SuitInfo info{};
    GyroGetSuitInfo(Engine.SuitHandle.load(), &info);
    return info.FrameDivider;
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
    const char* suffix = Engine.Paused.load() != 0 ? "   (Paused)" : "";
    if (Engine.Recording.load() != 0) {
        uint32_t count = RecordedFrameCount();
        if (Settings.RecordStop.load() != 0) {
            return Format("Frame %u / %u%s", count, RecordLimitFrames(SuitDivider()), suffix);
        }
        return Format("Frame %u%s", count, suffix);
    }
    if (Engine.Playback.load() != 0 || Engine.Live.load() == 0) {
        return Format("Frame %u / %u%s", Engine.PlaybackIndex.load() + 1, RecordedFrameCount(),
                      suffix);
    }
    return {};
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
    auto sw = [flags](int i) { return static_cast<int>((flags >> (FrameSwitchShift + i)) & 1); };
    std::string text =
        (flags & FrameSwitchesValid) != 0
            ? Format("Switches = %d %d %d %d %d %d", sw(0), sw(1), sw(2), sw(3), sw(4), sw(5))
            : std::string("No Switches");
    surface.SetTextColor(White);
    surface.Text(2, 42, text);
    if ((flags & FrameExternalSync) != 0) {
        int e = static_cast<int>((flags >> FrameSyncExponentShift) & 7);
        surface.Text(
            2, 62,
            Format("External sync, tracker rate = %g FPS", 120.0 / static_cast<double>(1 << e)));
    }
    if ((flags & FrameMechanicalSuit) != 0) {
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
    if (View.DisplayRate < 1.0f) {
        return {};
    }
    if (GyroHandle suit = Engine.SuitHandle.load(); suit != 0) {
        return Format("Display: %5.1f FPS, Dropped: %u", static_cast<double>(View.DisplayRate),
                      GyroGetDropped(suit));
    }
    return Format("Display: %5.1f FPS, Offline", static_cast<double>(View.DisplayRate));
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
