#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace telvo {

// One note of a tone sequence.
struct Note {
    std::uint32_t hz = 0;
    std::uint32_t ms = 0;
};

// Tones and the system sounds on an ALSA playback device. Without a device everything is
// silent and returns at once: no message, no error, no wait.
class Tones {
public:
    static constexpr std::uint32_t kSampleRate = 48000;
    // Longer requests are cut to this; no caller needs more and memory stays bounded.
    static constexpr std::uint32_t kMaxMs = 10'000;

    explicit Tones(std::string device = "default");

    // Plays a sine tone. Blocks the calling thread for about the tone's length when a device
    // plays it, never more than a fraction of a second longer. False when nothing was played
    // (no device, or a frequency outside 20 Hz to 20 kHz).
    bool Tone(std::uint32_t hz, std::uint32_t ms);
    // A short pair of tones per sound, the same device and rules as Tone.
    bool Play(SystemSound sound);

    // The notes each system sound is made of.
    static std::vector<Note> SoundNotes(SystemSound sound);

private:
    bool PlayNotes(const std::vector<Note>& notes);

    std::string device_;
    std::mutex mutex_; // one sound at a time on the device
};

// Mono 16-bit samples of a sine tone of hz for ms at rate samples a second, faded in and out
// over a few milliseconds so that it starts and ends without a click. Appended to out.
void SynthesizeTone(std::uint32_t hz, std::uint32_t ms, std::uint32_t rate,
                    std::vector<std::int16_t>& out);

} // namespace telvo
