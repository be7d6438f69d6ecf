#include "platform/Tones.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <numbers>
#include <thread>

#include <alsa/asoundlib.h>

namespace telvo {

namespace {

constexpr std::uint32_t kMinHz = 20;
constexpr std::uint32_t kMaxHz = 20'000;
constexpr double kAmplitude = 0.3 * 32767.0;
constexpr std::uint32_t kFadeMs = 5;
// How far past the end of the sound a stalled device may keep the caller.
constexpr std::int64_t kGraceNs = 300'000'000;
constexpr unsigned kLatencyUs = 100'000;

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints every failed open to stderr; a machine without sound is normal here.
void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsa); });
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const {
        snd_pcm_drop(pcm);
        snd_pcm_close(pcm);
    }
};

void SleepUntilNs(std::int64_t deadline) {
    const std::int64_t now = MonotonicNs();
    if (deadline > now) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(deadline - now));
    }
}

} // namespace

void SynthesizeTone(std::uint32_t hz, std::uint32_t ms, std::uint32_t rate,
                    std::vector<std::int16_t>& out) {
    const std::size_t count = static_cast<std::size_t>(ms) * rate / 1000;
    const std::size_t fade = std::min<std::size_t>(count / 2, std::size_t{kFadeMs} * rate / 1000);
    const double step = 2.0 * std::numbers::pi * hz / rate;
    out.reserve(out.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        if (fade > 0 && i < fade) {
            gain = static_cast<double>(i) / static_cast<double>(fade);
        } else if (fade > 0 && count - 1 - i < fade) {
            gain = static_cast<double>(count - 1 - i) / static_cast<double>(fade);
        }
        out.push_back(static_cast<std::int16_t>(
            std::lround(kAmplitude * gain * std::sin(step * static_cast<double>(i)))));
    }
}

Tones::Tones(std::string device) : device_(std::move(device)) {}

bool Tones::Tone(std::uint32_t hz, std::uint32_t ms) {
    return PlayNotes({Note{hz, ms}});
}

bool Tones::Play(SystemSound sound) {
    return PlayNotes(SoundNotes(sound));
}

std::vector<Note> Tones::SoundNotes(SystemSound sound) {
    switch (sound) {
    case SystemSound::Exclamation:
        return {{880, 90}, {1175, 140}};
    case SystemSound::Default:
        break;
    }
    return {{660, 70}, {880, 110}};
}

bool Tones::PlayNotes(const std::vector<Note>& notes) {
    std::uint64_t totalMs = 0;
    for (const Note& n : notes) {
        if (n.hz < kMinHz || n.hz > kMaxHz) {
            return false;
        }
        totalMs += n.ms;
    }
    if (totalMs == 0) {
        return false;
    }

    std::vector<std::int16_t> samples;
    std::uint64_t remainingMs = kMaxMs;
    for (const Note& n : notes) {
        const auto ms = static_cast<std::uint32_t>(std::min<std::uint64_t>(n.ms, remainingMs));
        SynthesizeTone(n.hz, ms, kSampleRate, samples);
        remainingMs -= ms;
    }
    totalMs = std::min<std::uint64_t>(totalMs, kMaxMs);

    std::lock_guard lock(mutex_);
    SilenceAlsaErrors();
    snd_pcm_t* raw = nullptr;
    // Non-blocking, so a busy or absent device fails at once instead of waiting.
    if (snd_pcm_open(&raw, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm(raw);
    if (snd_pcm_set_params(raw, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate,
                           1, kLatencyUs) < 0) {
        return false;
    }

    const std::int64_t start = MonotonicNs();
    const std::int64_t end = start + static_cast<std::int64_t>(totalMs) * 1'000'000;
    const std::int64_t giveUp = end + kGraceNs;
    std::size_t written = 0;
    while (written < samples.size() && MonotonicNs() < giveUp) {
        const snd_pcm_sframes_t r =
            snd_pcm_writei(raw, samples.data() + written,
                           static_cast<snd_pcm_uframes_t>(samples.size() - written));
        if (r >= 0) {
            written += static_cast<std::size_t>(r);
        } else if (r == -EAGAIN) {
            snd_pcm_wait(raw, 20);
        } else if (snd_pcm_recover(raw, static_cast<int>(r), 1) < 0) {
            return false;
        }
    }
    // A sound shorter than the device's buffer never reaches the start threshold by itself.
    if (snd_pcm_state(raw) == SND_PCM_STATE_PREPARED) {
        snd_pcm_start(raw);
    }
    while (MonotonicNs() < giveUp) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_state(raw) != SND_PCM_STATE_RUNNING || snd_pcm_delay(raw, &delay) < 0 ||
            delay <= 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Like a speaker tone, the call takes the sound's length even on a device that swallows
    // the samples at once.
    SleepUntilNs(end);
    return written > 0;
}

} // namespace telvo
