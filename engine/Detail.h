#pragma once

// Steps that several of the engine's files share. Not for callers outside engine/.

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace telvo::detail {

// Engine.MainWindow, or a silent stand-in while none is published (boxes then take their
// dismissing answer), so no step has to test for a missing window.
Platform& Window();

// Longest count-down, in seconds: what the options dialog accepts. A settings file may hold
// more; a window thread blocked for days is nobody's intent.
constexpr int MaxCountDown = 999;

// Shows "<what> in n second(s)" in pane 0 for n = RecordDelay down to 1, one second each, when
// RecordDelayEnable is on. A RecordDelay of 0 or below gives none.
void CountDown(const char* what);

// Kills the playback timer, if one runs. Whoever takes the id kills it, so the window thread
// and the timer's own end of data never kill one timer twice.
void KillPlaybackTimer();
// Kills the timer and clears the playback and paused flags.
void StopPlayback();
// Ends a running recording (the Record command's ending steps); nothing when none runs.
void EndRecording();

// The skeleton's frame period and frame count, read under the recording's mutex.
float FramePeriod();

// The playback timer's period in nanoseconds for a frame period in seconds, rounded to the
// nearest nanosecond; none for a period below 1 ms or above an hour (or not a number), which
// only a damaged motion can carry and no timer should run at.
std::optional<std::int64_t> PlaybackPeriodNs(float framePeriod);

// "Playing at %.2f frames per second" for the frame period and divider.
void ShowPlaybackRate();

} // namespace telvo::detail
