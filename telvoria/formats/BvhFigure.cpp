#include "telvoria/formats/BvhFigure.h"

#include "suitlib/SuitLib.h"
#include "telvoria/formats/BvhAnatomy.h"
#include "telvoria/formats/BvhFit.h"
#include "telvoria/formats/BvhKinematics.h"
#include "telvoria/formats/BvhStance.h"
#include "telvoria/formats/BvhTree.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Solver.h"

#include <cmath>

namespace telvo::bvh {

namespace {

using namespace body;
using math::Add;
using math::Apply;
using math::Dot;
using math::Length;
using math::Scale;
using math::Sub;
using math::Transposed;

// Nodes the file lacks are made up in the default performer's proportions.
const Vector& Bone(int node) {
    return DefaultOffsets()[static_cast<std::size_t>(node)];
}
float WaistShare() {
    return Bone(Waist).z / (Bone(Waist).z + Bone(Chest).z);
}
float NeckShare() {
    return Bone(Neck).z / (Bone(Neck).z + Bone(Head).z);
}
float HeadTopShare() {
    return Length(Bone(HeadTop)) / DefaultHeight();
}
float FingertipShare() {
    return Length(Bone(LeftFingertip)) / DefaultHeight();
}
// The collar's end: out from the chest by its share of the way to the shoulder, up by its
// share of the rise.
float CollarOutShare() {
    return Bone(LeftCollar).x / (Bone(LeftCollar).x + Bone(LeftShoulder).x);
}
float CollarRiseShare() {
    return Bone(LeftCollar).z / (Bone(LeftCollar).z + Bone(LeftShoulder).z);
}
// The thumb's tip: along the hand and forward of it, as shares of the hand's length.
float ThumbAlongShare() {
    return -Bone(LeftThumb).z / Length(Bone(LeftFingertip));
}
float ThumbAheadShare() {
    return -Bone(LeftThumb).y / Length(Bone(LeftFingertip));
}
float AnkleHeightShare() {
    return (Bone(LeftBall).z * -1.0f + body::DefaultContactRadii()[LeftBall]) / DefaultHeight();
}
// Ends nearer than these shares of the height to their joint mark no place of their own.
constexpr float HeadTopShortest = 0.04f;
constexpr float FingertipShortest = 0.02f;
constexpr float FootEndDropShortest = 0.01f;
// The foot measurements' rules: the ball line at 73 % of the foot's length on the inside, the
// back of the heel a quarter of the length behind the ankle, and the toes' tip ahead of the
// ball by 27 % when the file has a ball joint but no end beyond it.
constexpr float BallLineShare = 0.73f;
constexpr float HeelBehindShare = 0.25f;
constexpr float ToesShare = 0.27f;
// No bone of a human figure is longer.
constexpr float LongestBone = 120.0f;

struct AimPlan {
    int node;
    std::array<int, 3> child;
    std::array<float, 3> weight;
};

// What each sensor's segment aims at: the hips at the left hip, turned to fit the right hip
// and barely the waist; the chest at the neck and both collars; hands and feet at their points.
constexpr AimPlan Plans[] = {
    {Hips, {LeftHip, RightHip, Waist}, {1.0f, 1.0f, 0.01f}},
    {Waist, {Chest, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {Chest, {Neck, LeftCollar, RightCollar}, {1.0f, 1.0f, 1.0f}},
    {Neck, {Head, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {Head, {HeadTop, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftCollar, {LeftShoulder, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftShoulder, {LeftElbow, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftElbow, {LeftWrist, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftWrist, {LeftFingertip, LeftThumb, -1}, {1.0f, 1.0f, 0.0f}},
    {RightCollar, {RightShoulder, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {RightShoulder, {RightElbow, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {RightElbow, {RightWrist, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {RightWrist, {RightFingertip, RightThumb, -1}, {1.0f, 1.0f, 0.0f}},
    {LeftHip, {LeftKnee, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftKnee, {LeftAnkle, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {LeftAnkle, {LeftBall, LeftHeel, LeftToe}, {1.0f, 1.0f, 1.0f}},
    {RightHip, {RightKnee, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {RightKnee, {RightAnkle, -1, -1}, {1.0f, 0.0f, 0.0f}},
    {RightAnkle, {RightBall, RightHeel, RightToe}, {1.0f, 1.0f, 1.0f}},
};

class Builder {
public:
    Builder(const std::vector<Joint>& joints, const Tree& tree, const Anatomy& body,
            const Stance& stance, const float* referenceValues, Figure& fig)
        : joints_(joints), tree_(tree), body_(body), fk_(joints, stance.axes, stance.scale),
          fig_(fig), height_(stance.height) {
        fk_.Pose(referenceValues);
        for (auto& a : fig_.anchor) {
            a = Anchor{};
        }
    }

    bool Build(std::string& reason);

private:
    Vector Q(int joint) const { return fk_.Position(joint); }
    Vector At(int node) const {
        const Anchor& a = fig_.anchor[static_cast<std::size_t>(node)];
        return fk_.PointOf(a.joint, a.local);
    }
    void Put(int node, int joint) {
        fig_.anchor[static_cast<std::size_t>(node)] = Anchor{joint, Vector{0.0f, 0.0f, 0.0f}};
        fig_.source[static_cast<std::size_t>(node)] = tree_.NameOf(joint);
    }
    // A point of our own at 'point' (reference frame), moving with a joint.
    void Make(int node, int joint, const Vector& point) {
        Vector local = Apply(Transposed(fk_.Rotation(joint)), Sub(point, Q(joint)));
        fig_.anchor[static_cast<std::size_t>(node)] = Anchor{joint, local};
        fig_.carrier[static_cast<std::size_t>(node)] = tree_.NameOf(joint);
    }
    // A file end below a joint, held where the joint's chain straight out puts it.
    void PutEnd(int node, int joint, int end);
    Vector Up() const { return Vector{0.0f, 0.0f, 1.0f}; }
    Vector Forward() const;

    void PlaceTrunk();
    void PlaceArm(int side);
    void PlaceLeg(int side);
    void ChooseFrameJoints();
    bool Align(std::string& reason);
    void MarkNeeded();

    const std::vector<Joint>& joints_;
    const Tree& tree_;
    const Anatomy& body_;
    Kinematics fk_;
    Figure& fig_;
    float height_;
};

void Builder::PutEnd(int node, int joint, int end) {
    Vector local{0.0f, 0.0f, 0.0f};
    for (int j = end; j >= 0 && j != joint; j = joints_[static_cast<std::size_t>(j)].parent) {
        int p = joints_[static_cast<std::size_t>(j)].parent;
        local = Add(local, Apply(Transposed(fk_.Rotation(p)), Sub(Q(j), Q(p))));
    }
    fig_.anchor[static_cast<std::size_t>(node)] = Anchor{joint, local};
    fig_.source[static_cast<std::size_t>(node)] = tree_.NameOf(end);
}

// The way the figure faces on the reference frame: across its hips, with our up.
Vector Builder::Forward() const {
    Vector left = Across(Sub(Q(body_.legs[0].hip), Q(body_.legs[1].hip)), Up());
    if (!(Length(left) > 0.0f)) {
        left = Across(Sub(Q(body_.arms[0].shoulder), Q(body_.arms[1].shoulder)), Up());
    }
    return Normalized(math::Cross(left, Up()));
}

void Builder::PlaceTrunk() {
    Put(Hips, body_.pelvis);
    Put(Chest, body_.chest);
    Put(Head, body_.head);
    if (body_.waist >= 0) {
        Put(Waist, body_.waist);
    } else {
        Make(Waist, body_.pelvis, math::Lerp(Q(body_.pelvis), Q(body_.chest), WaistShare()));
    }
    if (body_.neck >= 0) {
        Put(Neck, body_.neck);
    } else {
        Make(Neck, body_.chest, math::Lerp(Q(body_.chest), Q(body_.head), NeckShare()));
    }
    const int top = body_.headTop;
    if (top >= 0 && Length(Sub(Q(top), Q(body_.head))) > HeadTopShortest * height_) {
        PutEnd(HeadTop, body_.head, top);
    } else {
        Vector along = Normalized(Sub(Q(body_.head), At(Neck)));
        Make(HeadTop, body_.head, Add(Q(body_.head), Scale(along, HeadTopShare() * height_)));
    }
}

void Builder::PlaceArm(int side) {
    const Arm& a = body_.arms[static_cast<std::size_t>(side)];
    const int collar = side == 0 ? LeftCollar : RightCollar;
    Put(collar + 1, a.shoulder);
    Put(collar + 2, a.elbow);
    Put(collar + 3, a.wrist);
    if (a.collar >= 0) {
        Put(collar, a.collar);
    } else {
        Vector reach = Sub(Q(a.shoulder), Q(body_.chest));
        Vector rise = Scale(Up(), Dot(reach, Up()));
        Vector out = Sub(reach, rise);
        Make(
            collar, body_.chest,
            Add(Q(body_.chest), Add(Scale(rise, CollarRiseShare()), Scale(out, CollarOutShare()))));
    }
    const int fingertip = collar + 4;
    const int thumb = collar + 5;
    const Vector wrist = Q(a.wrist);
    if (a.fingertip >= 0 && Length(Sub(Q(a.fingertip), wrist)) > FingertipShortest * height_) {
        PutEnd(fingertip, a.wrist, a.fingertip);
    } else {
        Vector along = Normalized(Sub(wrist, Q(a.elbow)));
        Make(fingertip, a.wrist, Add(wrist, Scale(along, FingertipShare() * height_)));
    }
    if (a.thumb >= 0) {
        PutEnd(thumb, a.wrist, a.thumb);
    } else {
        Vector hand = Sub(At(fingertip), wrist);
        Vector ahead = Normalized(Across(Forward(), Normalized(hand)));
        Make(thumb, a.wrist,
             Add(wrist, Add(Scale(hand, ThumbAlongShare()),
                            Scale(ahead, ThumbAheadShare() * Length(hand)))));
    }
}

// Hip, knee and ankle are the file's; the foot's points are the file's where it has them,
// else shaped by the foot measurements in the foot's own frame on the reference frame.
void Builder::PlaceLeg(int side) {
    const Leg& l = body_.legs[static_cast<std::size_t>(side)];
    const int hip = side == 0 ? LeftHip : RightHip;
    const int ankleNode = hip + 2;
    Put(hip, l.hip);
    Put(hip + 1, l.knee);
    Put(ankleNode, l.ankle);
    float footLength = 10.0f;
    float heelWidth = 2.5f;
    float ballWidth = 3.75f;
    float shorten = 1.0f;
    GyroGetBVHFoot(&footLength, &heelWidth, &ballWidth, &shorten);
    const auto& radius = DefaultContactRadii();
    const Vector ankle = Q(l.ankle);
    const int lead = l.ball >= 0 ? l.ball : l.footEnd;
    Vector ahead = lead >= 0 ? Sub(Q(lead), ankle) : Forward();
    Vector flat = Across(ahead, Up());
    Vector forward = Length(flat) > 0.3f * Length(ahead) ? Normalized(flat) : Forward();
    Vector outward = math::Cross(Up(), forward);
    if (side == 1) {
        outward = Scale(outward, -1.0f);
    }
    float sole = ankle.z - AnkleHeightShare() * height_;
    if (l.ball >= 0) {
        sole = Q(l.ball).z - radius[LeftBall];
        if (l.toe >= 0) {
            sole = std::min(sole, Q(l.toe).z - radius[LeftToe]);
        }
    } else if (l.footEnd >= 0 && ankle.z - Q(l.footEnd).z > FootEndDropShortest * height_) {
        sole = Q(l.footEnd).z;
    }
    const float back = HeelBehindShare * footLength;
    const Vector base{ankle.x, ankle.y, sole};
    auto onSole = [&](float along, float out, float lift) {
        return Add(Add(base, Add(Scale(forward, along), Scale(outward, out))),
                   Vector{0.0f, 0.0f, lift});
    };
    // The heel pad is a half disc as wide as the heel.
    const Vector heelPoint = onSole(-back + 0.5f * heelWidth, 0.0f, radius[LeftHeel]);
    const bool endBehind =
        l.ball >= 0 && l.footEnd >= 0 && Dot(Sub(Q(l.footEnd), ankle), forward) < 0.0f;
    if (l.heel >= 0) {
        PutEnd(ankleNode + 1, l.ankle, l.heel);
    } else if (endBehind) {
        PutEnd(ankleNode + 1, l.ankle, l.footEnd);
    } else {
        Make(ankleNode + 1, l.ankle, heelPoint);
    }
    if (l.ball >= 0) {
        PutEnd(ankleNode + 2, l.ankle, l.ball);
        if (l.toe >= 0) {
            PutEnd(ankleNode + 3, l.ankle, l.toe);
        } else {
            Vector ball = Q(l.ball);
            Make(ankleNode + 3, l.ankle,
                 Add(Vector{ball.x, ball.y, sole + radius[LeftToe]},
                     Scale(forward, ToesShare * footLength)));
        }
        return;
    }
    // The outer border runs straight from heel to ball, so a ball wider than the heel reaches
    // inwards; the outside toes are shorter by 'shorten'.
    const float ballAhead = BallLineShare * footLength - 0.5f * shorten - back;
    const Vector ballPoint = onSole(ballAhead, 0.5f * (heelWidth - ballWidth), radius[LeftBall]);
    const float heelAhead = -back + 0.5f * heelWidth;
    const float tipAhead = footLength - back - radius[LeftToe];
    const float t =
        ballAhead - heelAhead > 1e-3f ? (tipAhead - heelAhead) / (ballAhead - heelAhead) : 1.0f;
    Vector toePoint = Add(heelPoint, Scale(Sub(ballPoint, heelPoint), t));
    toePoint.z = sole + radius[LeftToe];
    Make(ankleNode + 2, l.ankle, ballPoint);
    Make(ankleNode + 3, l.ankle, toePoint);
}

// A segment with one bone turns with the joint that carries that bone; a segment with several
// children, and the head, with its own node's joint.
void Builder::ChooseFrameJoints() {
    for (const AimPlan& plan : Plans) {
        const int sensor = SensorOfNode[static_cast<std::size_t>(plan.node)];
        const int own = fig_.anchor[static_cast<std::size_t>(plan.node)].joint;
        int chosen = own;
        if (plan.child[1] < 0 && plan.node != Head) {
            int child = fig_.anchor[static_cast<std::size_t>(plan.child[0])].joint;
            if (child != own && tree_.Below(child, own)) {
                chosen = joints_[static_cast<std::size_t>(child)].parent;
            }
        }
        fig_.frameJoint[static_cast<std::size_t>(sensor)] = chosen;
    }
}

bool Builder::Align(std::string& reason) {
    Matrix identity[SensorCount];
    for (auto& m : identity) {
        m = math::Identity();
    }
    Pose defaults;
    Solve(DefaultOffsets(), identity, Vector{0.0f, 0.0f, 0.0f}, defaults);
    std::array<Vector, NodeCount> point;
    for (int n = 0; n < NodeCount; ++n) {
        point[static_cast<std::size_t>(n)] = At(n);
    }
    std::array<Matrix, SensorCount> segment;
    for (const AimPlan& plan : Plans) {
        const auto sensor =
            static_cast<std::size_t>(SensorOfNode[static_cast<std::size_t>(plan.node)]);
        Aim& aim = fig_.aim[sensor];
        aim = Aim{};
        Vector from[3];
        Vector to[3];
        for (int i = 0; i < 3 && plan.child[static_cast<std::size_t>(i)] >= 0; ++i) {
            const auto ui = static_cast<std::size_t>(i);
            const auto c = static_cast<std::size_t>(plan.child[ui]);
            aim.node[ui] = plan.child[ui];
            aim.weight[ui] = plan.weight[ui];
            from[i] =
                Sub(defaults.position[c], defaults.position[static_cast<std::size_t>(plan.node)]);
            to[i] = Sub(point[c], point[static_cast<std::size_t>(plan.node)]);
            aim.count = i + 1;
        }
        // Our segment's axes on the reference frame: one bone met exactly, several as near our
        // shape as one rotation can.
        segment[sensor] = aim.count > 1 ? BestFit(from, to, aim.count) : Turn(from[0], to[0]);
        const int frame = fig_.frameJoint[sensor];
        fig_.align[sensor] = math::Mul(Transposed(fk_.Rotation(frame)), segment[sensor]);
        // Rigid when the segment's node and every point it aims at move with the frame joint.
        auto carried = [&](int node) {
            const Anchor& a = fig_.anchor[static_cast<std::size_t>(node)];
            return a.joint == frame ||
                   (Length(a.local) == 0.0f &&
                    joints_[static_cast<std::size_t>(a.joint)].parent == frame &&
                    !tree_.HasPositionChannels(a.joint));
        };
        bool rigid = carried(plan.node);
        for (int i = 0; i < aim.count; ++i) {
            const auto ui = static_cast<std::size_t>(i);
            aim.rest[ui] = Apply(Transposed(segment[sensor]), to[i]);
            rigid = rigid && carried(aim.node[ui]);
        }
        fig_.rigid[sensor] = rigid;
    }
    std::array<int, NodeCount> owner{};
    for (int n = 0; n < NodeCount; ++n) {
        const auto un = static_cast<std::size_t>(n);
        owner[un] =
            SensorOfNode[un] >= 0 ? SensorOfNode[un] : owner[static_cast<std::size_t>(Parent[un])];
    }
    for (int n = 1; n < NodeCount; ++n) {
        const auto un = static_cast<std::size_t>(n);
        const auto p = static_cast<std::size_t>(Parent[un]);
        fig_.offsets[un] = Apply(Transposed(segment[static_cast<std::size_t>(owner[p])]),
                                 Sub(point[un], point[p]));
    }
    // The root's vector is where the hips stand in the null pose, feet on the floor.
    fig_.offsets[Hips] = Vector{0.0f, 0.0f, 0.0f};
    Pose pose;
    Solve(fig_.offsets, identity, Vector{0.0f, 0.0f, 0.0f}, pose);
    fig_.offsets[Hips] = Vector{0.0f, 0.0f, -LowestContact(pose, DefaultContactRadii())};
    for (const auto& v : fig_.offsets) {
        if (!math::Finite(v) || Length(v) > LongestBone) {
            reason = "not a human figure: a bone longer than 120 inches";
            return false;
        }
    }
    return true;
}

// Only the joints that carry a node or a twist need posing on every frame.
void Builder::MarkNeeded() {
    fig_.needed.assign(joints_.size(), 0);
    auto need = [&](int j) {
        for (; j >= 0 && !fig_.needed[static_cast<std::size_t>(j)];
             j = joints_[static_cast<std::size_t>(j)].parent) {
            fig_.needed[static_cast<std::size_t>(j)] = 1;
        }
    };
    for (const Anchor& a : fig_.anchor) {
        need(a.joint);
    }
    for (int f : fig_.frameJoint) {
        need(f);
    }
}

bool Builder::Build(std::string& reason) {
    for (auto& s : fig_.source) {
        s.clear();
    }
    for (auto& s : fig_.carrier) {
        s.clear();
    }
    PlaceTrunk();
    PlaceArm(0);
    PlaceArm(1);
    PlaceLeg(0);
    PlaceLeg(1);
    ChooseFrameJoints();
    if (!Align(reason)) {
        return false;
    }
    MarkNeeded();
    return true;
}

} // namespace

bool BuildFigure(const std::vector<Joint>& joints, const float* values, uint32_t frameCount,
                 int channelCount, Figure& figure, std::string& reason) {
    if (joints.empty()) {
        reason = "no joints";
        return false;
    }
    Tree tree(joints, values, frameCount, channelCount);
    Anatomy anatomy;
    Stance stance;
    if (!FindAnatomy(tree, anatomy, reason) || !FindStance(tree, anatomy, stance, reason)) {
        return false;
    }
    figure.axes = stance.axes;
    figure.scale = stance.scale;
    figure.unit = stance.unit;
    figure.height = stance.height;
    const float* reference = frameCount == 0
                                 ? nullptr
                                 : values + std::size_t{tree.FrameOf(stance.reference)} *
                                                static_cast<std::size_t>(channelCount);
    Builder builder(joints, tree, anatomy, stance, reference, figure);
    return builder.Build(reason);
}

} // namespace telvo::bvh
