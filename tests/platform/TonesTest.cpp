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
        rising += s[i - 1] < 0 && s[i] >= 0;
    }
    EXPECT_NEAR(rising, 250, 2);
    EXPECT_EQ(s.front(), 0);
    EXPECT_LT(std::abs(s.back()), 100);
    // Full loudness 10 ms in: the fades are short.
    const auto [lo, hi] = std::minmax_element(s.begin() + 480, s.begin() + 960);
    EXPECT_GT(*hi, 9000);
    EXPECT_LT(*lo, -9000);

    // Appends, and very short tones still fade without dividing by zero.
    SynthesizeTone(440, 1, 48000, s);
    SynthesizeTone(440, 0, 48000, s);
    EXPECT_EQ(s.size(), 12048u);
}

TEST(Tones, WithoutADeviceNothingSoundsAndNothingWaits) {
    Tones tones("telvo-no-such-device");
    const std::int64_t start = MonotonicNs();
    EXPECT_FALSE(tones.Tone(1568, 1000));
    EXPECT_FALSE(tones.Play(SystemSound::Exclamation));
    // Not a speed figure: the tone alone would take a second if it were waited for.
    EXPECT_LT(MonotonicNs() - start, 1'000'000'000);
}

TEST(Tones, PlaysAudibleTonesOnADeviceForTheirLength) {
    // ALSA's null device takes samples like a sound card and plays nothing.
    Tones tones("null");
    const std::int64_t start = MonotonicNs();
    if (!tones.Tone(1047, 120)) {
        GTEST_SKIP() << "no ALSA null device on this machine";
    }
    const std::int64_t took = MonotonicNs() - start;
    EXPECT_GE(took, 120'000'000);
    EXPECT_LT(took, 2'000'000'000);
    EXPECT_TRUE(tones.Play(SystemSound::Default));
    EXPECT_TRUE(tones.Tone(20, 10));
    EXPECT_TRUE(tones.Tone(20'000, 10));
    for (std::uint32_t hz : {0u, 19u, 20'001u}) {
        EXPECT_FALSE(tones.Tone(hz, 100)) << hz << " Hz is inaudible";
    }
    EXPECT_FALSE(tones.Tone(440, 0));
}

} // namespace
} // namespace telvo
