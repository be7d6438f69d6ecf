// What the frame server remembers of client addresses, on a clock the test turns.
#include "telvoria/net/Admission.h"

#include <gtest/gtest.h>

namespace telvo::net {
namespace {

constexpr int64_t S = 1000000000;
constexpr uint32_t Home = 0x0100007f;

// Commands sent at once; how many were taken.
int Taken(Admission& a, uint32_t address, int commands, int64_t at) {
    int taken = 0;
    for (int i = 0; i < commands; ++i) {
        taken += a.Command(address, at) == AnswerTaken;
    }
    return taken;
}

TEST(Admission, AllAddressesTogetherShareOneBudget) {
    Admission a(0);
    int taken = 0;
    for (uint32_t address = 1; address <= 100; ++address) {
        a.Connect(address, 0);
        taken += Taken(a, address, 20, 0);
    }
    EXPECT_EQ(taken, AllCommandBurst);
    for (uint32_t address = 1; address <= 100; ++address) {
        taken += Taken(a, address, 20, 10 * S);
    }
    EXPECT_EQ(taken, 2 * AllCommandBurst); // refilled, never beyond the burst
}

TEST(Admission, WrongTokensBanTheAddressLongerEachTime) {
    Admission a(0);
    const uint32_t other = Home + 1;
    const struct {
        int64_t at;
        bool right;
        AnswerResult answer;
        bool connects; // a new connection right after
    } steps[] = {
        {0, false, AnswerWrongToken, false},
        {S / 2, true, AnswerBanned, false},  // the right token, but within the ban
        {S, false, AnswerWrongToken, false}, // the ban is over; the next one lasts 2 s
        {S + 19 * S / 10, true, AnswerBanned, false},
        {3 * S, true, AnswerTokenAccepted, true}, // the right one forgets the wrong ones
        {3 * S, false, AnswerWrongToken, false},  // 1 s again
        {4 * S, true, AnswerTokenAccepted, true},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(a.Token(Home, step.right, step.at), step.answer) << step.at;
        EXPECT_EQ(a.Connect(Home, step.at), step.connects) << step.at;
        EXPECT_TRUE(a.Connect(other, step.at)); // only the guessing address
    }
    int64_t t = 10 * S;
    for (int i = 0; i < 12; ++i, t += LongestBanSeconds * S) { // each after the last ban
        EXPECT_EQ(a.Token(Home, false, t), AnswerWrongToken);
    }
    t -= LongestBanSeconds * S;
    EXPECT_FALSE(a.Connect(Home, t + (LongestBanSeconds - 1) * S));
    EXPECT_TRUE(a.Connect(Home, t + LongestBanSeconds * S));
}

TEST(Admission, TheTableStaysBoundedAndKeepsWhatStillMatters) {
    Admission a(0);
    a.Token(Home, false, 0);
    Taken(a, Home + 1, AddressCommandBurst, 0); // an empty budget, soon forgotten
    for (uint32_t address = 100; address < 5000; ++address) {
        a.Connect(address, S / 4);
        a.Disconnect(address);
    }
    EXPECT_LE(a.Remembered(), Admission::MaxAddresses);
    EXPECT_FALSE(a.Connect(Home, S / 4)); // still banned
    EXPECT_EQ(Taken(a, Home + 1, 1, S / 4), 0);
}

} // namespace
} // namespace telvo::net
