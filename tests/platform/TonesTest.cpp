#include "platform/Tones.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace telvo {
namespace {

TEST(SynthesizeTone, LengthPitchAndClickFreeEnds) {
    std::vector<std::int16_t> s;
    SynthesizeTone(1000, 250, 48000, s);
    ASSERT_EQ(s.size(), 12000u);
    // Rising zero crossings count the periods: 250 of them for 1 kHz over 250 ms.
    int rising = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            ++rising;
        }
    }
    EXPECT_NEAR(rising, 250, 2);
    EXPECT_EQ(s.front(), 0);
    EXPECT_LT(std::abs(s.back()), 100);
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_GT(*hi, 9000);
    EXPECT_LT(*lo, -9000);

    // Appends, and very short tones still fade without dividing by zero.
    SynthesizeTone(440, 1, 48000, s);
    EXPECT_EQ(s.size(), 12048u);
    SynthesizeTone(440, 0, 48000, s);
    EXPECT_EQ(s.size(), 12048u);
}

TEST(Tones, MissingDeviceIsSilentAndImmediate) {
    Tones tones("telvo-no-such-device");
    const std::int64_t start = MonotonicNs();
    EXPECT_FALSE(tones.Tone(1568, 250));
    EXPECT_FALSE(tones.Play(SystemSound::Exclamation));
    EXPECT_FALSE(tones.Play(SystemSound::Default));
    EXPECT_FALSE(Tones("null").Tone(0, 100)) << "inaudible requests are refused";
    EXPECT_FALSE(Tones("null").Tone(50'000, 100));
    // Not a speed figure: a wait for the tone's length would show a missing device as a hang.
    EXPECT_LT(MonotonicNs() - start, 200'000'000);
}

TEST(Tones, PlaysOnADeviceForTheTonesLength) {
    // ALSA's null device takes samples like a sound card and plays nothing.
    Tones tones("null");
    const std::int64_t start = MonotonicNs();
    if (!tones.Tone(1047, 120)) {
        GTEST_SKIP() << "no ALSA null device on this machine";
    }
    const std::int64_t took = MonotonicNs() - start;
    EXPECT_GE(took, 120'000'000);
    EXPECT_LT(took, 2'000'000'000);

    for (SystemSound s : {SystemSound::Default, SystemSound::Exclamation}) {
        const auto notes = Tones::SoundNotes(s);
        ASSERT_EQ(notes.size(), 2u);
        EXPECT_TRUE(tones.Play(s));
    }
}

} // namespace
} // namespace telvo
