#include "platform/Tones.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace telvo {
namespace {

TEST(Tones, WithoutADeviceNothingSoundsAndNothingWaits) {
    Tones tones("telvo-no-such-device");
    const std::int64_t start = MonotonicNs();
    EXPECT_FALSE(tones.Tone(1568, 1000));
    EXPECT_FALSE(tones.Play(SystemSound::Exclamation));
    // Not a speed figure: the tone alone would take a second if it were waited for.
    EXPECT_LT(MonotonicNs() - start, 1'000'000'000);
}

// ALSA's null device takes samples like a sound card and plays nothing.
TEST(Tones, OnADeviceATonePlaysForItsLengthWithinTheAudibleRange) {
    Tones tones("null");
    const std::int64_t start = MonotonicNs();
    if (!tones.Tone(1047, 120)) {
        GTEST_SKIP() << "no ALSA null device on this machine";
    }
    EXPECT_GE(MonotonicNs() - start, 120'000'000) << "returned before the tone was played";
    EXPECT_TRUE(tones.Tone(20, 1)) << "shorter than its fades";
    EXPECT_TRUE(tones.Tone(20'000, 10));
    for (std::uint32_t hz : {0u, 19u, 20'001u}) {
        EXPECT_FALSE(tones.Tone(hz, 100)) << hz << " Hz is inaudible";
    }
    EXPECT_FALSE(tones.Tone(440, 0));
}

} // namespace
} // namespace telvo
