#include "telvoria/skeleton/Body.h"

namespace telvo::body {

const std::array<int, NodeCount> Parent = {
    -1,                                      // Hips
    Hips,  Waist,       Chest,         Neck, // Waist, Chest, Neck, Head
    Head,                                    // HeadTop
    Chest, LeftCollar,  LeftShoulder,  LeftElbow,  LeftWrist,  LeftWrist,  // left arm
    Chest, RightCollar, RightShoulder, RightElbow, RightWrist, RightWrist, // right arm
    Hips,  LeftHip,     LeftKnee,      LeftAnkle,  LeftAnkle,  LeftBall,   // left leg
    Hips,  RightHip,    RightKnee,     RightAnkle, RightAnkle, RightBall,  // right leg
};

const std::array<int, SensorCount> NodeOfSensor = {
    Hips,      Waist,     Chest,       Neck,          Head,       LeftCollar, LeftShoulder,
    LeftElbow, LeftWrist, RightCollar, RightShoulder, RightElbow, RightWrist, LeftHip,
    LeftKnee,  LeftAnkle, RightHip,    RightKnee,     RightAnkle,
};

const std::array<int, NodeCount> SensorOfNode = [] {
    std::array<int, NodeCount> s{};
    s.fill(-1);
    for (int i = 0; i < SensorCount; ++i) {
        s[NodeOfSensor[i]] = i;
    }
    return s;
}();

const std::array<int, ContactPointCount> ContactNodes = {
    LeftHeel, LeftBall, LeftToe,   RightHeel,     RightBall,
    RightToe, LeftKnee, RightKnee, LeftFingertip, RightFingertip,
};

const std::array<const char*, NodeCount> NodeNames = {
    "Hips",        "Waist",         "Chest",      "Neck",       "Head",           "HeadTop",
    "LeftCollar",  "LeftShoulder",  "LeftElbow",  "LeftWrist",  "LeftFingertip",  "LeftThumb",
    "RightCollar", "RightShoulder", "RightElbow", "RightWrist", "RightFingertip", "RightThumb",
    "LeftHip",     "LeftKnee",      "LeftAnkle",  "LeftHeel",   "LeftBall",       "LeftToe",
    "RightHip",    "RightKnee",     "RightAnkle", "RightHeel",  "RightBall",      "RightToe",
};

namespace {

constexpr float HeelRadius = 1.25f;
constexpr float BallRadius = 0.75f;
constexpr float ToeRadius = 0.5f;
constexpr float KneeRadius = 2.0f;
constexpr float FingertipRadius = 0.4f;
constexpr float AnkleHeight = 3.0f;

// One side's bones; the other side mirrors x.
std::array<Vector, NodeCount> MakeOffsets() {
    std::array<Vector, NodeCount> o{};
    o[Waist] = {0.0f, 0.0f, 4.0f};
    o[Chest] = {0.0f, 0.3f, 9.0f};
    o[Neck] = {0.0f, 0.2f, 8.0f};
    o[Head] = {0.0f, -0.3f, 3.8f};
    o[HeadTop] = {0.0f, -0.5f, 8.2f};
    const float side[2] = {1.0f, -1.0f};
    const Node collar[2] = {LeftCollar, RightCollar};
    const Node hip[2] = {LeftHip, RightHip};
    for (int k = 0; k < 2; ++k) {
        float s = side[k];
        int c = collar[k];
        o[c] = {1.2f * s, -0.8f, 5.5f};    // collar: from the chest to the sternum end
        o[c + 1] = {6.0f * s, 0.6f, 0.3f}; // shoulder joint
        o[c + 2] = {0.0f, 0.0f, -11.5f};   // elbow
        o[c + 3] = {0.0f, 0.0f, -10.0f};   // wrist
        o[c + 4] = {0.0f, 0.0f, -7.0f};    // fingertip
        o[c + 5] = {0.0f, -1.4f, -3.0f};   // thumb tip
        int h = hip[k];
        o[h] = {3.6f * s, 0.0f, -2.2f};                     // hip joint
        o[h + 1] = {0.0f, 0.0f, -17.5f};                    // knee
        o[h + 2] = {0.0f, 0.0f, -(31.8f - 17.5f)};          // ankle
        o[h + 3] = {0.0f, 1.8f, HeelRadius - AnkleHeight};  // heel
        o[h + 4] = {0.0f, -5.6f, BallRadius - AnkleHeight}; // ball of the foot
        o[h + 5] = {0.0f, -2.4f, ToeRadius - BallRadius};   // toe tip
    }
    // The root stands where the heels and balls just touch the floor.
    float hipToFloor = -(o[LeftHip].z + o[LeftKnee].z + o[LeftAnkle].z) + AnkleHeight;
    o[Hips] = {0.0f, 0.0f, hipToFloor};
    return o;
}

std::array<float, NodeCount> MakeRadii() {
    std::array<float, NodeCount> r{};
    r[LeftHeel] = r[RightHeel] = HeelRadius;
    r[LeftBall] = r[RightBall] = BallRadius;
    r[LeftToe] = r[RightToe] = ToeRadius;
    r[LeftKnee] = r[RightKnee] = KneeRadius;
    r[LeftFingertip] = r[RightFingertip] = FingertipRadius;
    return r;
}

} // namespace

const std::array<Vector, NodeCount>& DefaultOffsets() {
    static const std::array<Vector, NodeCount> offsets = MakeOffsets();
    return offsets;
}

const std::array<float, NodeCount>& DefaultContactRadii() {
    static const std::array<float, NodeCount> radii = MakeRadii();
    return radii;
}

} // namespace telvo::body
