// Play, Pause/Step, Step Backwards, the rate commands and the playback timer.
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"

#include <cmath>

namespace telvo {

using detail::Window;

namespace detail {

std::optional<std::int64_t> PlaybackPeriodNs(float framePeriod) {
    double seconds = framePeriod;
    if (!(seconds >= 0.001 && seconds <= 3600.0)) {
        return std::nullopt;
    }
    // The float period of a 120 fps motion is 8333333.77 ns: rounded, the timer runs within
    // 1e-7 of the true rate, where whole milliseconds would play 4 % fast.
    return std::llround(seconds * 1e9);
}

void ShowPlaybackRate() {
    double rate = (1.0 / FramePeriod()) / Engine.PlaybackDivider;
    Window().SetStatusText(0, Format("Playing at %.2f frames per second", rate));
}

} // namespace detail

namespace {

// The last frame's index, or 0 for an empty recording.
uint32_t LastIndex(uint32_t count) {
    return count > 0 ? count - 1 : 0;
}

void StepForward() {
    uint32_t count = RecordedFrameCount();
    uint32_t index = Engine.PlaybackIndex + 1;
    if (index >= count) {
        index = Settings.Loop != 0 ? 0 : LastIndex(count);
    }
    Engine.PlaybackIndex = index;
}

void StepBackward() {
    uint32_t count = RecordedFrameCount();
    uint32_t index = Engine.PlaybackIndex;
    if (index == 0) {
        index = Settings.Loop != 0 ? LastIndex(count) : 0;
    } else {
        index--;
    }
    Engine.PlaybackIndex = index;
}

} // namespace

void OnPlay() {
    if (Engine.Recording != 0) {
        detail::EndRecording();
    }
    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame.Flags = 0;
    }
    Engine.Paused = Engine.StartPaused.load();
    if (Engine.Playback == 0) {
        Engine.PlaybackIndex = 0;
        Engine.Playback = 1;
        detail::KillPlaybackTimer();
        TimerId id = 0;
        if (auto period = detail::PlaybackPeriodNs(detail::FramePeriod())) {
            id = Window().StartTimer(*period, PlaybackTimerCallback);
        }
        Engine.PlaybackTimerId = id;
        if (id == 0) {
            Window().MessageBox("Couldn't start playback timer", MessageButtons::Ok,
                                MessageIcon::Exclamation);
        } else if (Engine.Playback == 0) {
            // The motion ended on the first tick, before the timer knew its id to kill itself.
            detail::KillPlaybackTimer();
        }
        detail::ShowPlaybackRate();
    }
    UpdateMenuState();
}

void PlaybackTimerCallback() {
    if (Engine.Playback == 0 || Engine.Paused != 0) {
        return;
    }
    uint32_t count = 0;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        if (Engine.Skeleton.Frames == nullptr) {
            return;
        }
        count = Engine.Skeleton.FrameCount;
    }
    if (++Engine.PlaybackTickCount < Engine.PlaybackDivider) {
        return;
    }
    Engine.PlaybackTickCount = 0;
    uint32_t index = Engine.PlaybackIndex + 1;
    bool end = index >= count && Settings.Loop == 0;
    if (index >= count) {
        index = end ? LastIndex(count) : 0;
    }
    // The index before the flag: once the flag is clear a Stop or Play may set its own index,
    // which this one must not overwrite.
    Engine.PlaybackIndex = index;
    if (end) {
        detail::KillPlaybackTimer(); // its own: returns at once
        Engine.Playback = 0;
    }
    if (Engine.PaintPending.exchange(1) == 0) {
        Window().Invalidate();
    }
}

void OnPauseStep() {
    if (Engine.Recording != 0) {
        Engine.Paused = Engine.Paused != 0 ? 0 : 1;
    } else if (Engine.Playback != 0) {
        if (Engine.Paused != 0) {
            StepForward();
            Window().Invalidate();
        }
        Engine.Paused = 1;
    } else {
        Engine.StartPaused = 1;
        OnPlay();
        Engine.StartPaused = 0;
        Engine.Paused = 1;
    }
    UpdateMenuState();
}

void OnStepBackwards() {
    if (Engine.Recording != 0) {
        Engine.Paused = Engine.Paused != 0 ? 0 : 1;
    } else if (Engine.Playback != 0) {
        if (Engine.Paused != 0) {
            StepBackward();
            Window().Invalidate();
        }
        Engine.Paused = 1;
    } else {
        OnPlay();
        Engine.Paused = 1;
    }
    UpdateMenuState();
}

void OnPlaybackRate(int command) {
    switch (command) {
    case CmdDecreasePlaybackRate:
        if (Engine.PlaybackDivider < 120) {
            Engine.PlaybackDivider++;
        }
        break;
    case CmdIncreasePlaybackRate:
        if (Engine.PlaybackDivider > 1) {
            Engine.PlaybackDivider--;
        }
        break;
    case CmdNormalPlaybackRate:
        Engine.PlaybackDivider = 1;
        Engine.PlaybackTickCount = 0;
        break;
    default:
        return;
    }
    detail::ShowPlaybackRate();
}

} // namespace telvo
