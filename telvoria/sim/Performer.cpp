#include "telvoria/sim/Performer.h"

#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace telvo::sim {

namespace {

using namespace telvo::body;

constexpr float Deg = std::numbers::pi_v<float> / 180.0f;
constexpr double Pi = std::numbers::pi;

// Sensors in the order of the frame's matrices.
enum Sensor {
    SHips,
    SWaist,
    SChest,
    SNeck,
    SHead,
    SLeftCollar,
    SLeftUpperArm,
    SLeftForearm,
    SLeftHand,
    SRightCollar,
    SRightUpperArm,
    SRightForearm,
    SRightHand,
    SLeftThigh,
    SLeftShin,
    SLeftFoot,
    SRightThigh,
    SRightShin,
    SRightFoot,
};

constexpr std::array<int, SensorCount> ParentSensor = {
    -1,           SHips,          SWaist,        SChest,       SNeck,
    SChest,       SLeftCollar,    SLeftUpperArm, SLeftForearm, SChest,
    SRightCollar, SRightUpperArm, SRightForearm, SHips,        SLeftThigh,
    SLeftShin,    SHips,          SRightThigh,   SRightShin,
};

// --- The path: a square of 80 inches with corners rounded at 20 inches, walked turning left.
constexpr float HalfSide = 40.0f;
constexpr float Corner = 20.0f;
constexpr float Straight = 2.0f * (HalfSide - Corner);
constexpr float Arc = 0.5f * std::numbers::pi_v<float> * Corner;
constexpr float Perimeter = 4.0f * (Straight + Arc);

struct PathPoint {
    float x, y, heading;
};

// Starts half-way along the side x = -40, facing -Y; four straights and four quarter turns.
PathPoint PathAt(double distance) {
    double total = distance + 0.5 * Straight;
    double laps = std::floor(total / Perimeter);
    float along = static_cast<float>(total - laps * Perimeter);
    float turned = static_cast<float>(laps * 2.0 * Pi);
    int side = 0;
    while (along >= Straight + Arc && side < 3) {
        along -= Straight + Arc;
        ++side;
    }
    float lx, ly, h;
    if (along < Straight) {
        lx = -HalfSide;
        ly = HalfSide - Corner - along; // down the side x = -40 from y = +20
        h = 0.0f;
    } else {
        float a = (along - Straight) / Corner; // angle turned on the arc
        lx = -(HalfSide - Corner) - Corner * std::cos(a);
        ly = -(HalfSide - Corner) - Corner * std::sin(a);
        h = a;
    }
    // Side k is side 0 turned by k quarter turns about the square's centre.
    float q = static_cast<float>(side) * 0.5f * std::numbers::pi_v<float>;
    float c = std::cos(q);
    float sn = std::sin(q);
    return {c * lx - sn * ly, sn * lx + c * ly, turned + q + h};
}

// --- Timing of one pass through the script.
constexpr double StandBefore = 1.2;
constexpr double JumpTime = 1.5;
constexpr double StandAfter = 0.5;
constexpr double WalkSpeed = 40.0; // inches per second
constexpr double Ramp = 0.8;       // seconds to reach or leave walking speed
constexpr double WalkDistance = 2.0 * Perimeter;
constexpr double WalkTime = WalkDistance / WalkSpeed + Ramp;
constexpr double Period = StandBefore + JumpTime + StandAfter + WalkTime;

float Smooth(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    return x * x * (3.0f - 2.0f * x);
}

// Distance walked and the fraction of walking speed, t seconds into the walk.
void WalkProfile(double t, double& distance, float& speed) {
    auto rampDistance = [](double x) {
        return WalkSpeed * Ramp * (x * x * x - 0.5 * x * x * x * x);
    };
    if (t < Ramp) {
        distance = rampDistance(t / Ramp);
        speed = Smooth(static_cast<float>(t / Ramp));
    } else if (t < WalkTime - Ramp) {
        distance = 0.5 * WalkSpeed * Ramp + WalkSpeed * (t - Ramp);
        speed = 1.0f;
    } else {
        double r = std::max(0.0, WalkTime - t);
        distance = WalkDistance - rampDistance(r / Ramp);
        speed = Smooth(static_cast<float>(r / Ramp));
    }
}

// Standing: breathing, a slight sway and a look around, all repeating with the script.
Posture Idle(double t) {
    auto wave = [t](int cycles, double shift = 0.0) {
        return static_cast<float>(std::sin(2.0 * Pi * (cycles * t / Period + shift)));
    };
    Posture p{};
    p[SHips].roll = 1.2f * Deg * wave(3);
    p[SWaist].roll = -0.8f * Deg * wave(3);
    p[SChest].pitch = 1.0f * Deg * wave(5);
    p[SHead].yaw = 14.0f * Deg * wave(2, 0.25) * wave(1);
    p[SHead].pitch = 3.0f * Deg * wave(3, 0.1);
    for (int side = 0; side < 2; ++side) {
        float m = side == 0 ? 1.0f : -1.0f;
        int arm = side == 0 ? SLeftUpperArm : SRightUpperArm;
        int leg = side == 0 ? SLeftThigh : SRightThigh;
        p[arm].roll = -m * 5.0f * Deg;
        p[arm + 1].pitch = -8.0f * Deg;
        p[arm + 1].yaw = m * 10.0f * Deg;
        p[leg + 1].pitch = 3.0f * Deg;
        p[leg].pitch = -1.5f * Deg;
        p[leg + 2].pitch = -1.5f * Deg;
    }
    return p;
}

// Euler angles of a local rotation built as RotZ(yaw) * RotX(pitch) * RotY(roll).
JointAngles AnglesOf(const Matrix& r) {
    JointAngles j;
    j.pitch = std::asin(std::clamp(r.m21, -1.0f, 1.0f));
    j.roll = std::atan2(-r.m20, r.m22);
    j.yaw = std::atan2(-r.m01, r.m11);
    return j;
}

Matrix Local(const JointAngles& j) {
    return math::Mul(math::RotZ(j.yaw), math::Mul(math::RotX(j.pitch), math::RotY(j.roll)));
}

// --- Walking: the feet are planted on the path and the legs reach them.
constexpr double Stride = 44.0;     // inches per gait cycle (two steps)
constexpr float StanceEnd = 0.6f;   // fraction of the cycle a foot is on the floor
constexpr float PlantAhead = 0.25f; // the hip is over a flat foot a quarter cycle after strike
constexpr float StrikePitch = -15.0f * Deg;
constexpr float ToeOffPitch = 35.0f * Deg;
constexpr float Clearance = 2.5f;
constexpr float FootInset = 0.85f; // feet fall a little inside the hips

struct Leg {
    float thigh, shin;                // bone lengths
    float heelU, heelZ, ballU, ballZ; // contact sphere centres from the ankle, flat foot
    float ankleHeight;                // flat foot on the floor
    float hipSide;                    // hip joint's sideways offset
};

Leg DefaultLeg() {
    const auto& o = DefaultOffsets();
    const auto& r = DefaultContactRadii();
    Leg l;
    l.thigh = math::Length(o[LeftKnee]);
    l.shin = math::Length(o[LeftAnkle]);
    l.heelU = -o[LeftHeel].y;
    l.heelZ = o[LeftHeel].z;
    l.ballU = -o[LeftBall].y;
    l.ballZ = o[LeftBall].z;
    l.ankleHeight = r[LeftBall] - o[LeftBall].z;
    l.hipSide = o[LeftHip].x;
    return l;
}

const Leg& TheLeg() {
    static const Leg leg = DefaultLeg();
    return leg;
}

// A foot vector (u forward, z up) of the foot pitched toes down by f.
void Pitched(float u, float z, float f, float& ou, float& oz) {
    float c = std::cos(f);
    float s = std::sin(f);
    ou = u * c + z * s;
    oz = -u * s + z * c;
}

// The ankle over its plant (u forward, z up) while the foot rolls: on the heel before it is
// flat, on the ball after.
void Rocker(float pitch, float& u, float& z) {
    const Leg& l = TheLeg();
    float pu, pz;
    if (pitch < 0.0f) {
        Pitched(l.heelU, l.heelZ, pitch, pu, pz);
        u = l.heelU - pu;
        z = l.ankleHeight + l.heelZ - pz;
    } else {
        Pitched(l.ballU, l.ballZ, pitch, pu, pz);
        u = l.ballU - pu;
        z = l.ankleHeight + l.ballZ - pz;
    }
}

struct FootTarget {
    Vector ankle; // world
    float yaw;    // heading of the foot
    float pitch;  // toes down
};

FootTarget Planted(double plant, float side, float pitch) {
    PathPoint p = PathAt(plant);
    float u, z;
    Rocker(pitch, u, z);
    float c = std::cos(p.heading);
    float s = std::sin(p.heading);
    float lateral = side * TheLeg().hipSide * FootInset;
    // Forward is (sin h, -cos h), the performer's left (cos h, sin h).
    return {{p.x + lateral * c + u * s, p.y + lateral * s - u * c, z}, p.heading, pitch};
}

// Where one foot is at a distance along the path; phase 0 is its heel strike.
FootTarget FootAt(double distance, float side, float phaseShift) {
    double g = distance / Stride + phaseShift;
    double cycle = std::floor(g);
    float phase = static_cast<float>(g - cycle);
    double plant = (cycle + PlantAhead) * Stride - phaseShift * Stride;
    if (phase < StanceEnd) {
        float pitch = phase < 0.1f    ? StrikePitch * (1.0f - Smooth(phase / 0.1f))
                      : phase < 0.42f ? 0.0f
                                      : ToeOffPitch * Smooth((phase - 0.42f) / (StanceEnd - 0.42f));
        return Planted(plant, side, pitch);
    }
    float k = (phase - StanceEnd) / (1.0f - StanceEnd);
    FootTarget from = Planted(plant, side, ToeOffPitch);
    FootTarget to = Planted(plant + Stride, side, StrikePitch);
    float m = Smooth(k);
    FootTarget t;
    t.ankle = math::Lerp(from.ankle, to.ankle, m);
    t.ankle.z = from.ankle.z + (to.ankle.z - from.ankle.z) * k +
                Clearance * std::sin(std::numbers::pi_v<float> * k);
    t.yaw = from.yaw + (to.yaw - from.yaw) * m;
    t.pitch = ToeOffPitch + (StrikePitch - ToeOffPitch) * Smooth(std::min(1.0f, k * 1.3f));
    return t;
}

// Thigh and shin orientations of a leg from hip joint h reaching ankle a, the knee bending
// towards forward.
void ReachLeg(const Vector& hip, const Vector& ankle, const Vector& forward, Matrix& thigh,
              Matrix& shin) {
    const Leg& l = TheLeg();
    Vector d = math::Sub(ankle, hip);
    float len = math::Length(d);
    len = std::clamp(len, 0.5f, (l.thigh + l.shin) * 0.9999f);
    Vector down = math::Scale(d, 1.0f / std::max(math::Length(d), 1e-4f));
    Vector hinge = math::Cross(forward, down); // the knee's axis, the performer's left
    hinge = math::Scale(hinge, 1.0f / std::max(math::Length(hinge), 1e-4f));
    Vector ahead = math::Cross(down, hinge);
    float cosA = (l.thigh * l.thigh + len * len - l.shin * l.shin) / (2.0f * l.thigh * len);
    float a = std::acos(std::clamp(cosA, -1.0f, 1.0f));
    Vector thighDir = math::Add(math::Scale(down, std::cos(a)), math::Scale(ahead, std::sin(a)));
    Vector knee = math::Add(hip, math::Scale(thighDir, l.thigh));
    Vector shinDir = math::Sub(math::Add(hip, math::Scale(down, len)), knee);
    shinDir = math::Scale(shinDir, 1.0f / std::max(math::Length(shinDir), 1e-4f));
    auto frame = [&](const Vector& bone) {
        Vector z = math::Scale(bone, -1.0f);
        Vector x = math::Sub(hinge, math::Scale(z, math::Dot(hinge, z)));
        x = math::Scale(x, 1.0f / std::max(math::Length(x), 1e-4f));
        return math::FromColumns(x, math::Cross(z, x), z);
    };
    thigh = frame(thighDir);
    shin = frame(shinDir);
}

} // namespace

Posture Walk(double distance) {
    Posture p{};
    float g = static_cast<float>(distance / Stride);
    float wave = std::cos(2.0f * std::numbers::pi_v<float> * g);
    float pelvisYaw = -5.0f * Deg * wave;
    p[SHips].yaw = pelvisYaw;
    p[SHips].roll = -2.5f * Deg * std::sin(2.0f * std::numbers::pi_v<float> * g);
    p[SHips].pitch = 3.0f * Deg;
    p[SWaist].yaw = -0.6f * pelvisYaw;
    p[SWaist].roll = 1.5f * Deg * std::sin(2.0f * std::numbers::pi_v<float> * g);
    p[SChest].yaw = -0.6f * pelvisYaw;
    p[SNeck].yaw = 0.1f * pelvisYaw;
    p[SHead].pitch = -2.0f * Deg;

    // The legs, in the world: the hips from the path, the feet from their plants.
    PathPoint at = PathAt(distance);
    Matrix pelvis = math::Mul(math::RotZ(at.heading), Local(p[SHips]));
    Vector forward{std::sin(at.heading), -std::cos(at.heading), 0.0f};
    const auto& o = DefaultOffsets();
    const Leg& l = TheLeg();
    FootTarget feet[2] = {FootAt(distance, 1.0f, 0.0f), FootAt(distance, -1.0f, 0.5f)};
    Vector hips[2];
    float rootZ = 1.0e9f;
    for (int side = 0; side < 2; ++side) {
        Vector joint = math::Apply(pelvis, o[side == 0 ? LeftHip : RightHip]);
        hips[side] = {at.x + joint.x, at.y + joint.y, joint.z};
        float dx = feet[side].ankle.x - hips[side].x;
        float dy = feet[side].ankle.y - hips[side].y;
        float reach = (l.thigh + l.shin) * 0.985f;
        float up = std::sqrt(std::max(1.0f, reach * reach - dx * dx - dy * dy));
        rootZ = std::min(rootZ, feet[side].ankle.z + up - joint.z);
    }
    for (int side = 0; side < 2; ++side) {
        hips[side].z += rootZ;
        Matrix thigh, shin;
        ReachLeg(hips[side], feet[side].ankle, forward, thigh, shin);
        Matrix foot = math::Mul(math::RotZ(feet[side].yaw), math::RotX(feet[side].pitch));
        int leg = side == 0 ? SLeftThigh : SRightThigh;
        p[leg] = AnglesOf(math::Mul(math::Transposed(pelvis), thigh));
        p[leg + 1] = AnglesOf(math::Mul(math::Transposed(thigh), shin));
        p[leg + 2] = AnglesOf(math::Mul(math::Transposed(shin), foot));

        // The arm swings with the other leg.
        float m = side == 0 ? 1.0f : -1.0f;
        float swing = side == 0 ? -wave : wave;
        int arm = side == 0 ? SLeftUpperArm : SRightUpperArm;
        p[arm].pitch = -16.0f * Deg * swing;
        p[arm].roll = -m * 6.0f * Deg;
        p[arm + 1].pitch = -(14.0f + 10.0f * (0.5f + 0.5f * swing)) * Deg;
        p[arm + 1].yaw = m * 10.0f * Deg;
        p[arm - 1].yaw = m * 2.0f * Deg * swing;
    }
    return p;
}

namespace {

// A standing jump, u seconds into it: crouch, push, flight, landing. Adds to the standing
// posture; sets the lift of the feet while in the air.
void Jump(float u, Posture& p, float& lift) {
    constexpr float Crouch = 0.4f;
    constexpr float Push = 0.6f;
    constexpr float Land = 1.05f;
    constexpr float Flight = Land - Push;
    constexpr float Gravity = 386.1f; // inches per second squared
    float crouch = 0.0f;
    float point = 0.0f; // toes pointed, degrees
    float arms = 0.0f;  // arm swing, degrees forward
    float tuck = 0.0f;
    if (u < Crouch) {
        crouch = Smooth(u / Crouch);
    } else if (u < Push) {
        float k = Smooth((u - Crouch) / (Push - Crouch));
        crouch = 1.0f - k;
        point = 30.0f * k;
    } else if (u < Land) {
        float k = (u - Push) / Flight;
        point = 30.0f - 22.0f * k;
        tuck = std::sin(std::numbers::pi_v<float> * k);
        float t = u - Push;
        lift = 0.5f * Gravity * t * (Flight - t);
    } else {
        float k = (u - Land) / (JumpTime - Land);
        crouch = 0.7f * (k < 0.35f ? Smooth(k / 0.35f) : 1.0f - Smooth((k - 0.35f) / 0.5f));
        point = 8.0f * (1.0f - Smooth(k / 0.2f));
    }
    // The arms swing back while crouching and up through the push.
    constexpr float SwingUp = 0.3f;
    constexpr float ArmsUp = 0.7f;
    if (u < SwingUp) {
        arms = -45.0f * Smooth(u / SwingUp);
    } else if (u < ArmsUp) {
        arms = -45.0f + 165.0f * Smooth((u - SwingUp) / (ArmsUp - SwingUp));
    } else if (u < Land) {
        arms = 120.0f - 80.0f * (u - ArmsUp) / (Land - ArmsUp);
    } else {
        arms = 40.0f * (1.0f - Smooth((u - Land) / (0.8f * (JumpTime - Land))));
    }
    p[SHips].pitch += 20.0f * Deg * crouch;
    p[SWaist].pitch += 12.0f * Deg * crouch;
    p[SChest].pitch += 10.0f * Deg * crouch;
    p[SNeck].pitch -= 12.0f * Deg * crouch;
    p[SHead].pitch -= 14.0f * Deg * crouch;
    for (int side = 0; side < 2; ++side) {
        int leg = side == 0 ? SLeftThigh : SRightThigh;
        // Thigh against the tilted pelvis; shin and foot keep the sole flat while crouching.
        p[leg].pitch += -(60.0f * crouch + 20.0f * tuck) * Deg - p[SHips].pitch + 0.0f;
        p[leg + 1].pitch += (100.0f * crouch + 35.0f * tuck) * Deg;
        p[leg + 2].pitch += (-40.0f * crouch + point) * Deg;
        int arm = side == 0 ? SLeftUpperArm : SRightUpperArm;
        p[arm].pitch += -arms * Deg;
        p[arm + 1].pitch += -(15.0f * crouch + 10.0f * std::max(0.0f, arms) / 120.0f) * Deg;
    }
}

// How each sensor sits on its segment before calibration: a few degrees off.
std::array<Matrix, SensorCount> MakeMounting() {
    std::array<Matrix, SensorCount> m;
    for (int i = 0; i < SensorCount; ++i) {
        float a = 0.9f * static_cast<float>(i) + 0.3f;
        Vector axis{std::cos(a), std::sin(1.7f * a), 0.6f * std::cos(2.3f * a)};
        axis = math::Scale(axis, 1.0f / math::Length(axis));
        m[i] = math::AxisAngle(axis, (3.0f + static_cast<float>((i * 7) % 4)) * Deg);
    }
    return m;
}

const std::array<Matrix, SensorCount>& Mounting() {
    static const std::array<Matrix, SensorCount> m = MakeMounting();
    return m;
}

} // namespace

double ScriptPeriod() {
    return Period;
}

ScriptPose ScriptAt(double t) {
    t -= std::floor(t / Period) * Period;
    ScriptPose s;
    s.posture = Idle(t);
    PathPoint at = PathAt(0.0);
    double walkStart = StandBefore + JumpTime + StandAfter;
    if (t >= StandBefore && t < StandBefore + JumpTime) {
        Jump(static_cast<float>(t - StandBefore), s.posture, s.lift);
    } else if (t >= walkStart) {
        double distance = 0.0;
        float speed = 0.0f;
        WalkProfile(t - walkStart, distance, speed);
        at = PathAt(distance);
        Posture gait = Walk(distance);
        for (int i = 0; i < SensorCount; ++i) {
            JointAngles& j = s.posture[i];
            j.pitch += (gait[i].pitch - j.pitch) * speed;
            j.roll += (gait[i].roll - j.roll) * speed;
            j.yaw += (gait[i].yaw - j.yaw) * speed;
        }
    }
    s.x = at.x;
    s.y = at.y;
    s.heading = at.heading;
    return s;
}

void SegmentOrientations(const Posture& posture, float heading, Matrix* segments) {
    for (int i = 0; i < SensorCount; ++i) {
        Matrix local = Local(posture[i]);
        int p = ParentSensor[i];
        segments[i] = p < 0 ? math::Mul(math::RotZ(heading), local) : math::Mul(segments[p], local);
    }
}

Performer::Performer(double scriptStart)
    : scriptTime_(scriptStart), offsets_(DefaultOffsets()), radii_(DefaultContactRadii()) {
    for (int i = 0; i < SensorCount; ++i) {
        calibrated19_[i] = uncalibrated_[i] = math::Identity();
    }
    Matrix sensors[SensorCount];
    for (auto& m : sensors) {
        m = math::Identity();
    }
    Solve(offsets_, sensors, offsets_[Hips], pose_);
}

void Performer::SetActor(const ActorData& actor) {
    offsets_ = ActorOffsets(actor);
    radii_ = ActorRadii(actor);
}

float Performer::NullWeight() const {
    constexpr double Hold = 1.2;
    constexpr double Release = 0.6;
    if (sinceNull_ < Hold) {
        return 1.0f;
    }
    return 1.0f - Smooth(static_cast<float>((sinceNull_ - Hold) / Release));
}

void Performer::RequestNull() {
    sinceNull_ = 0.0;
    calibrated_ = true;
}

void Performer::Next(double dt, Frame& frame) {
    ScriptPose s = ScriptAt(scriptTime_);
    float w = NullWeight();
    if (w > 0.0f) {
        for (auto& j : s.posture) {
            j.pitch *= 1.0f - w;
            j.roll *= 1.0f - w;
            j.yaw *= 1.0f - w;
        }
        s.lift *= 1.0f - w;
    }
    if ((flags_ & SuitFlagJumping) == 0) {
        s.lift = 0.0f; // without jump detection the library keeps the feet on the floor
    }
    Matrix segments[SensorCount];
    SegmentOrientations(s.posture, s.heading, segments);
    const auto& mounting = Mounting();
    for (int i = 0; i < SensorCount; ++i) {
        uncalibrated_[i] = math::Mul(segments[i], mounting[i]);
        calibrated19_[i] = calibrated_ ? segments[i] : uncalibrated_[i];
    }
    if ((flags_ & SuitFlagSwapSpineHips) != 0) {
        std::swap(calibrated19_[SHips], calibrated19_[SWaist]);
    }

    Solve(offsets_, calibrated19_, Vector{s.x, s.y, 0.0f}, pose_);
    float rootZ =
        (flags_ & SuitFlagIgnoreFloor) != 0 ? offsets_[Hips].z : -LowestContact(pose_, radii_);
    rootZ += s.lift;
    for (auto& p : pose_.position) {
        p.z += rootZ;
    }
    jumping_ = s.lift > 0.01f;

    std::copy(std::begin(calibrated19_), std::end(calibrated19_), frame.RawMatrices);
    frame.RootPosition = pose_.position[Hips];
    MarkContacts(pose_, radii_, frame);

    Skip(dt);
}

void Performer::Skip(double dt) {
    scriptTime_ += dt * (1.0 - NullWeight());
    sinceNull_ += dt;
}

Vector Performer::Facing() const {
    Vector f = math::Apply(calibrated19_[SHips], Vector{0.0f, -1.0f, 0.0f});
    f.z = 0.0f;
    float len = math::Length(f);
    if (!(len > 1e-3f)) {
        return {0.0f, -1.0f, 0.0f};
    }
    return math::Scale(f, 1.0f / len);
}

} // namespace telvo::sim
