#pragma once

#include "platform/Platform.h"
#include "suitlib/SuitLib.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace telvo {

// The capture and playback engine's process-wide state. Flags and counters that the suit
// library's threads, the playback timer and the window thread share are atomic.
//
// Hand-overs:
// - DisplayFrame: the frame callback writes it only while PaintPending is clear and sets the
//   flag first; the paint clears the flag last. Every write and every copy out of it takes
//   DisplayMutex too, so a paint nobody requested still sees a whole frame.
// - The recording (Skeleton.FrameCount and Skeleton.Frames): RecordingMutex is held by
//   whoever appends, frees, replaces or reads it, so no thread ever touches memory another
//   has just freed. RecordStartTime is written and read under it too.
struct EngineState {
    // Suit and window.
    std::atomic<GyroHandle> SuitHandle{0};
    // Published once the suit library has started; the callbacks post and repaint through it.
    std::atomic<Platform*> MainWindow{nullptr};

    // Modes.
    std::atomic<int> Live{0};
    std::atomic<int> Recording{0};
    std::atomic<int> Paused{0}; // shared by recording and playback
    std::atomic<int> Playback{0};
    std::atomic<int> StartPaused{0};

    // Live frame pump.
    std::atomic<uint32_t> PreviousAux{0};
    int DisplayAccumulator = 0; // frame callback thread only
    std::atomic<int> PaintPending{0};
    std::mutex DisplayMutex;
    Frame DisplayFrame{};
    uint8_t MotorLEDBits = 0;
    std::atomic<bool> TimeoutBusy{false};
    // A count-down blocks the window thread (Live, Set North, Record).
    std::atomic<int> CountingDown{0};

    // Recording, held by the library inside the skeleton record.
    std::mutex RecordingMutex;
    ::Skeleton Skeleton{};
    uint32_t RecordStartTime = 0;
    // GyroAddFrame failed: this recording takes no more frames (one Stop posted, one box).
    std::atomic<int> RecordingFull{0};
    // A take was recorded since the last motion file was saved or opened.
    std::atomic<int> TakeUnsaved{0};

    // Playback.
    std::atomic<uint32_t> PlaybackIndex{0};
    std::atomic<int> PlaybackDivider{1};
    std::atomic<int> PlaybackTickCount{0};
    std::atomic<TimerId> PlaybackTimerId{0};

    // Actor data and contact points.
    ::ActorData ActorData{};
    int ActorDataChanged = 0;
    const int* ContactPointIndices = nullptr;
    int ContactPointCount = 0;

    // Back to the values that hold at process start. Does not free library memory.
    void Reset();
};

extern EngineState Engine;

} // namespace telvo
