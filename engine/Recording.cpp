// Record and Stop, and the recording's readers.
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"

#include <cstring>

namespace telvo {

using detail::Window;

namespace detail {

void KillPlaybackTimer() {
    if (TimerId id = Engine.PlaybackTimerId.exchange(0); id != 0) {
        Window().KillTimer(id);
    }
}

void StopPlayback() {
    KillPlaybackTimer();
    Engine.Playback = 0;
    Engine.Paused = 0;
}

void EndRecording() {
    StopPlayback();
    uint32_t frames = 0;
    uint32_t start = 0;
    {
        // Under the lock: once it is released no callback is inside an append any more.
        std::lock_guard lock(Engine.RecordingMutex);
        if (Engine.Recording.exchange(0) == 0) {
            return; // another thread ended it first
        }
        frames = Engine.Skeleton.FrameCount;
        start = Engine.RecordStartTime;
    }
    Platform& window = Window();
    if (Settings.ReportFrameRate != 0) {
        uint32_t elapsed = window.TimeMs() - start;
        if (elapsed > 0 && frames > 1) {
            double rate = (frames - 1) * 1000.0 / elapsed;
            window.SetStatusText(1, Format("Average Frame rate %.3f FPS, Dropped: %u", rate,
                                           GyroGetDropped(Engine.SuitHandle)));
        }
    }
    if (Settings.RecordBeep != 0) {
        Beep(1);
        GyroClearDropped(Engine.SuitHandle);
    }
    UpdateMenuState();
}

float FramePeriod() {
    std::lock_guard lock(Engine.RecordingMutex);
    return Engine.Skeleton.FramePeriod;
}

} // namespace detail

namespace {

void StartRecording() {
    Platform& window = Window();
    if (GyroNumSuits() == 0 && GyroFindSuits() < 1) {
        window.MessageBox("No KVX suits detected", MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    OpenSuitIfNeeded(); // without a suit the recording starts all the same, and stays empty
    detail::StopPlayback();
    detail::CountDown("Recording");
    if (Settings.RecordBeep != 0) {
        Beep(0);
    }
    float rate = 0.0f;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        GyroFreeSkeletonFrames(&Engine.Skeleton);
        rate = GyroGetFrameRate(Engine.SuitHandle);
        Engine.Skeleton.FramePeriod = 1.0f / rate;
        Engine.Skeleton.FrameCount = 0;
        Engine.RecordingFull = 0;
    }
    Engine.TakeUnsaved = 1;
    Engine.PlaybackIndex = 0;
    window.SetStatusText(0, Format("Recording at %.2f frames per second", rate));
    GyroClearDropped(Engine.SuitHandle);
    // Taken just before the flag is set rather than after, and under the lock that the end
    // reads it under, so a Stop on the timeout's thread never reads it half written.
    if (Settings.ReportFrameRate != 0) {
        std::lock_guard lock(Engine.RecordingMutex);
        Engine.RecordStartTime = window.TimeMs();
    }
    Engine.Recording = 1;
    UpdateMenuState();
}

} // namespace

void OnRecord() {
    if (Engine.Recording != 0) {
        detail::EndRecording();
    } else {
        StartRecording();
    }
}

void OnStop() {
    if (Engine.Recording != 0) {
        detail::EndRecording();
    }
    detail::StopPlayback();
    Engine.PlaybackIndex = 0;
    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame.Flags = 0;
    }
    Platform& window = Window();
    if (window.IsWindowThread()) {
        window.SetStatusText(0, Engine.Live != 0 ? "Live" : "Ready");
    }
    UpdateMenuState();
}

uint32_t RecordedFrameCount() {
    std::lock_guard lock(Engine.RecordingMutex);
    return Engine.Skeleton.Frames != nullptr ? Engine.Skeleton.FrameCount : 0;
}

} // namespace telvo
