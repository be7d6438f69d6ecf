#include "telvoria/formats/BvhAnatomy.h"

#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace telvo::bvh {

namespace {

// A spine joint higher than this share of the way from pelvis to chest is no waist.
constexpr float WaistShareHigh = 0.75f;
// A pelvis named as such may sit a little above the joint the legs hang from (a biped's
// "Spine" carries the thighs): this much of the figure's span at most.
constexpr float NamedPelvisReach = 0.15f;
// Without names, an arm chain longer than collar, upper arm and forearm has its elbow and
// shoulder where a human arm has them along the chain, measured back from the wrist.
constexpr float ElbowShareFromWrist = 0.36f;
constexpr float ShoulderShareFromWrist = 0.78f;
// Without a name, an end of the hand counts as the thumb's only when it reaches this share of
// the way to the fingertip.
constexpr float ThumbShareOfHand = 0.3f;

// The rest pose's vector from a joint to one of its descendants, in the joint's own frame.
Vector RestVector(const Tree& tree, int from, int to) {
    Vector v{0.0f, 0.0f, 0.0f};
    for (int j = to; j >= 0 && j != from; j = tree.J(j).parent) {
        v = math::Add(v, tree.J(j).offset);
    }
    return v;
}

float RestDistance(const Tree& tree, int from, int to) {
    return math::Length(RestVector(tree, from, to));
}

// The chain's joints at distinct places, twist helpers left out (its last joint always stays).
std::vector<int> Points(const Tree& tree, const std::vector<int>& chain) {
    std::vector<int> out;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        int j = chain[i];
        bool last = i + 1 == chain.size();
        if (!last && IsTwist(tree.Word(j))) {
            continue;
        }
        if (!last && tree.Length(j) <= tree.Near()) {
            continue; // at its parent's place (CMU's LHipJoint, a zero-length helper)
        }
        out.push_back(j);
    }
    return out;
}

int FindNamed(const Tree& tree, const std::vector<int>& joints, bool (*test)(const std::string&),
              std::size_t from = 0) {
    for (std::size_t i = from; i < joints.size(); ++i) {
        if (test(tree.Word(joints[i]))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The ends below a joint: End Sites and joints without children.
std::vector<int> Ends(const Tree& tree, int joint) {
    std::vector<int> out;
    for (int j : tree.Subtree(joint)) {
        if (j != joint && tree.Kids(j).empty()) {
            out.push_back(j);
        }
    }
    return out;
}

void ReadHand(const Tree& tree, Arm& arm) {
    std::vector<char> inThumb(static_cast<std::size_t>(tree.Count()), 0);
    for (int j : tree.Subtree(arm.wrist)) {
        if (j != arm.wrist && IsThumb(tree.Word(j))) {
            for (int t : tree.Subtree(j)) {
                inThumb[static_cast<std::size_t>(t)] = 1;
            }
        }
    }
    const std::vector<int> ends = Ends(tree, arm.wrist);
    for (int e : ends) {
        int& best = inThumb[static_cast<std::size_t>(e)] ? arm.thumb : arm.fingertip;
        if (best < 0 || RestDistance(tree, arm.wrist, e) > RestDistance(tree, arm.wrist, best)) {
            best = e;
        }
    }
    if (arm.thumb >= 0 || arm.fingertip < 0) {
        return;
    }
    // Unnamed: the farthest other end that is not on the way to the fingertip.
    const float reach = RestDistance(tree, arm.wrist, arm.fingertip);
    for (int e : ends) {
        if (e == arm.fingertip || tree.Below(arm.fingertip, e)) {
            continue;
        }
        float d = RestDistance(tree, arm.wrist, e);
        if (d > ThumbShareOfHand * reach &&
            (arm.thumb < 0 || d > RestDistance(tree, arm.wrist, arm.thumb))) {
            arm.thumb = e;
        }
    }
}

std::optional<Arm> ReadArm(const Tree& tree, int start) {
    std::vector<int> chain = Walk(tree, start);
    // A joint named hand or wrist ends the arm; what lies beyond is the hand's.
    int hand = FindNamed(tree, chain, IsHand);
    if (hand >= 0) {
        chain.resize(static_cast<std::size_t>(hand) + 1);
    }
    std::vector<int> pts = Points(tree, chain);
    if (pts.size() < 3) {
        return std::nullopt;
    }
    Arm arm;
    arm.wrist = pts.back();
    pts.pop_back();
    const int n = static_cast<int>(pts.size());
    // Names first: the first joint named as a forearm, the first named as an upper arm before
    // it (MakeHuman's upperarm01 and upperarm02, lowerarm01 and lowerarm02).
    int fore = -1;
    for (int i = 1; i < n && fore < 0; ++i) {
        if (IsForearm(tree.Word(pts[static_cast<std::size_t>(i)]))) {
            fore = i;
        }
    }
    int upper = -1;
    for (int i = 0; i < fore && upper < 0; ++i) {
        if (IsUpperArm(tree.Word(pts[static_cast<std::size_t>(i)]))) {
            upper = i;
        }
    }
    if (fore > 0 && upper < 0) {
        upper = fore - 1;
    }
    if (fore < 1 || upper < 0) {
        if (n <= 3) {
            fore = n - 1;
            upper = n - 2;
        } else {
            // More joints than bones: the elbow and shoulder where a human arm has them.
            std::vector<float> fromWrist(static_cast<std::size_t>(n) + 1, 0.0f);
            for (int i = n - 1; i >= 0; --i) {
                int next = i + 1 < n ? pts[static_cast<std::size_t>(i) + 1] : arm.wrist;
                fromWrist[static_cast<std::size_t>(i)] =
                    fromWrist[static_cast<std::size_t>(i) + 1] +
                    RestDistance(tree, pts[static_cast<std::size_t>(i)], next);
            }
            const float total = fromWrist[0];
            auto nearest = [&](float share, int lo, int hi) {
                int best = lo;
                for (int i = lo; i <= hi; ++i) {
                    auto gap = [&](int k) {
                        return std::fabs(fromWrist[static_cast<std::size_t>(k)] - share * total);
                    };
                    if (gap(i) < gap(best)) {
                        best = i;
                    }
                }
                return best;
            };
            fore = nearest(ElbowShareFromWrist, 1, n - 1);
            upper = nearest(ShoulderShareFromWrist, 0, fore - 1);
        }
    }
    arm.elbow = pts[static_cast<std::size_t>(fore)];
    arm.shoulder = pts[static_cast<std::size_t>(upper)];
    // A collar joint at the chest's own place still turns the shoulder (CMU's LeftShoulder):
    // ours stands on it.
    arm.collar = upper > 0 ? pts[0] : pts.front() != chain.front() ? chain.front() : -1;
    ReadHand(tree, arm);
    return arm;
}

std::optional<Leg> ReadLeg(const Tree& tree, int start) {
    std::vector<int> pts = Points(tree, Walk(tree, start));
    int thigh = FindNamed(tree, pts, IsThigh);
    int shin = thigh >= 0 ? FindNamed(tree, pts, IsShin, static_cast<std::size_t>(thigh) + 1) : -1;
    int foot = shin >= 0 ? FindNamed(tree, pts, IsFoot, static_cast<std::size_t>(shin) + 1) : -1;
    if (thigh < 0 || shin < 0 || foot < 0) {
        if (pts.size() < 3) {
            return std::nullopt;
        }
        thigh = 0;
        shin = 1;
        foot = 2;
    }
    Leg leg;
    leg.hip = pts[static_cast<std::size_t>(thigh)];
    leg.knee = pts[static_cast<std::size_t>(shin)];
    leg.ankle = pts[static_cast<std::size_t>(foot)];
    if (static_cast<std::size_t>(foot) + 1 < pts.size()) {
        leg.ball = pts[static_cast<std::size_t>(foot) + 1];
    } else {
        std::vector<int> kids = tree.JointKids(leg.ankle);
        for (int k : kids) {
            if (IsToe(tree.Word(k))) {
                leg.ball = k;
            }
        }
        if (leg.ball < 0 && kids.size() == 1 && !IsHeel(tree.Word(kids[0]))) {
            leg.ball = kids[0];
        }
    }
    if (leg.ball >= 0 && tree.Length(leg.ball) <= tree.Near()) {
        leg.ball = -1;
    }
    for (int e : Ends(tree, leg.ankle)) {
        if (leg.ball >= 0 && tree.Below(e, leg.ball)) {
            float d = RestDistance(tree, leg.ball, e);
            if (d > tree.Near() && (leg.toe < 0 || d > RestDistance(tree, leg.ball, leg.toe))) {
                leg.toe = e;
            }
        } else if (IsHeel(tree.Word(e)) || IsHeel(tree.Word(tree.J(e).parent))) {
            leg.heel = e;
        } else if (RestDistance(tree, leg.ankle, e) > tree.Near() &&
                   (leg.footEnd < 0 || RestDistance(tree, leg.ankle, e) >
                                           RestDistance(tree, leg.ankle, leg.footEnd))) {
            leg.footEnd = e;
        }
    }
    return leg;
}

// Two legs hanging from a joint of the spine: two of its other branches, or two below a joint
// that its one other branch leads to (a pelvis below the hips).
std::optional<std::array<Leg, 2>> LegsAt(const Tree& tree, int at, int spineChild) {
    std::vector<int> side;
    for (int k : tree.JointKids(at)) {
        if (k != spineChild && tree.Size(k) > tree.Near()) {
            side.push_back(k);
        }
    }
    if (side.size() == 1) {
        int split = side[0];
        for (std::vector<int> kids = tree.JointKids(split); kids.size() == 1;
             kids = tree.JointKids(split)) {
            split = kids[0];
        }
        side = tree.JointKids(split);
    }
    if (side.size() < 2) {
        return std::nullopt;
    }
    std::sort(side.begin(), side.end(), [&](int a, int b) { return tree.Size(a) > tree.Size(b); });
    auto first = ReadLeg(tree, side[0]);
    auto second = ReadLeg(tree, side[1]);
    if (!first || !second) {
        return std::nullopt;
    }
    return std::array<Leg, 2>{*first, *second};
}

bool NamesAny(const Tree& tree, int start, bool (*test)(const std::string&)) {
    for (int j : Walk(tree, start)) {
        if (test(tree.Word(j))) {
            return true;
        }
    }
    return false;
}

bool IsHeadOrNeck(const std::string& w) {
    return IsHead(w) || IsNeck(w);
}

struct Candidate {
    Anatomy body;
    int headStart = -1;
    float score = -1.0f;
};

// A chest candidate: two arms and a head among its branches, and the nearest joint below it
// on the way to the root where two legs hang.
std::optional<Candidate> TryChest(const Tree& tree, int chest, std::string& reason) {
    std::vector<int> kids;
    for (int k : tree.JointKids(chest)) {
        if (tree.Size(k) > tree.Near()) {
            kids.push_back(k);
        }
    }
    if (kids.size() < 3) {
        return std::nullopt;
    }
    std::vector<int> armish;
    std::vector<int> headish;
    for (int k : kids) {
        (NamesAny(tree, k, IsHeadOrNeck) ? headish : armish).push_back(k);
    }
    auto bySize = [&](int a, int b) { return tree.Size(a) > tree.Size(b); };
    std::sort(armish.begin(), armish.end(), bySize);
    std::sort(headish.begin(), headish.end(), bySize);
    if (armish.size() < 2) {
        return std::nullopt;
    }
    Candidate c;
    c.headStart = !headish.empty() ? headish[0] : armish.size() > 2 ? armish[2] : -1;
    if (c.headStart < 0) {
        return std::nullopt;
    }
    auto first = ReadArm(tree, armish[0]);
    auto second = ReadArm(tree, armish[1]);
    if (!first || !second) {
        reason = "not a human figure: an arm without an elbow";
        return std::nullopt;
    }
    c.body.chest = chest;
    c.body.arms = {*first, *second};
    int onPath = chest;
    for (int at = tree.J(chest).parent; at >= 0; onPath = at, at = tree.J(at).parent) {
        if (auto legs = LegsAt(tree, at, onPath)) {
            c.body.pelvis = at;
            c.body.legs = *legs;
            break;
        }
    }
    if (c.body.pelvis < 0) {
        reason = "not a human figure: no joint where two legs and a spine meet";
        return std::nullopt;
    }
    c.score = tree.Size(armish[0]) + tree.Size(armish[1]);
    for (const Leg& leg : c.body.legs) {
        c.score += tree.Size(leg.hip) + tree.Distance(0, leg.hip, c.body.pelvis);
    }
    return c;
}

void ReadHead(const Tree& tree, int start, Anatomy& body) {
    std::vector<int> chain = Walk(tree, start);
    int head = FindNamed(tree, chain, [](const std::string& w) { return IsHead(w); });
    if (head < 0) {
        // A last joint that only marks the top is not the head, unless it is all there is.
        head = static_cast<int>(chain.size()) - 1;
        if (chain.size() >= 3 && tree.IsEndMarker(chain.back())) {
            --head;
        }
    }
    body.head = chain[static_cast<std::size_t>(head)];
    auto apart = [&](int j) {
        for (int s = 0; s < tree.SampledFrames(); ++s) {
            if (tree.Distance(s, j, body.chest) > tree.Near() &&
                tree.Distance(s, j, body.head) > tree.Near()) {
                return true;
            }
        }
        return false;
    };
    for (int pass = 0; pass < 2 && body.neck < 0; ++pass) {
        for (int i = 0; i < head; ++i) {
            int j = chain[static_cast<std::size_t>(i)];
            if (body.neck < 0 && apart(j) && (pass == 1 || IsNeck(tree.Word(j)))) {
                body.neck = j;
            }
        }
    }
    // The head's top: of the ends above the head, the one farthest along the neck.
    const int below = body.neck >= 0 ? body.neck : body.chest;
    float best = 0.0f;
    for (int e : tree.Subtree(body.head)) {
        if (e == body.head || !(tree.Kids(e).empty())) {
            continue;
        }
        float along = 0.0f;
        for (int s = 0; s < tree.SampledFrames(); ++s) {
            Vector axis = math::Sub(tree.At(s, body.head), tree.At(s, below));
            float l = math::Length(axis);
            if (l > 0.0f) {
                along += math::Dot(math::Sub(tree.At(s, e), tree.At(s, body.head)), axis) / l;
            }
        }
        along /= static_cast<float>(tree.SampledFrames());
        if (along > best) {
            best = along;
            body.headTop = e;
        }
    }
}

// The waist is the spine's first joint, the one that moves rigidly with the pelvis (so that
// the hips carry it exactly), unless it sits too high up the spine to stand for ours.
void ReadWaist(const Tree& tree, Anatomy& body) {
    if (!tree.Below(body.chest, body.pelvis)) {
        return;
    }
    std::vector<int> path; // from the chest down to the spine's first joint
    for (int j = body.chest; j != body.pelvis; j = tree.J(j).parent) {
        path.push_back(j);
    }
    float total = 0.0f;
    for (int j : path) {
        total += tree.Length(j);
    }
    const int first = path.back();
    if (path.size() >= 2 && !tree.HasPositionChannels(first) &&
        tree.Length(first) <= WaistShareHigh * total) {
        body.waist = first;
    }
}

} // namespace

std::vector<int> Walk(const Tree& tree, int start) {
    std::vector<int> chain{start};
    for (int at = start; static_cast<int>(chain.size()) <= tree.Count();) {
        std::vector<int> kids = tree.JointKids(at);
        if (kids.size() > 1) {
            std::erase_if(kids, [&](int k) { return IsMarker(tree.Word(k)); });
        }
        std::vector<int> going;
        for (int k : kids) {
            if (!tree.IsTip(k)) {
                going.push_back(k);
            }
        }
        if (kids.size() == 1 || going.size() == 1) {
            at = kids.size() == 1 ? kids[0] : going[0];
            chain.push_back(at);
            continue;
        }
        // Only ends below: a hand or foot among them is the limb's last joint.
        std::erase_if(kids, [&](int k) {
            const std::string& w = tree.Word(k);
            return !IsHand(w) && !IsFoot(w);
        });
        if (going.empty() && kids.size() == 1) {
            chain.push_back(kids[0]);
        }
        break;
    }
    return chain;
}

bool FindAnatomy(const Tree& tree, Anatomy& body, std::string& reason) {
    if (!(tree.Span() > 0.0f)) {
        reason = "not a human figure: every joint is in one place";
        return false;
    }
    std::optional<Candidate> best;
    std::string why = "not a human figure: no joint where a head and two arms meet";
    for (int j = 0; j < tree.Count(); ++j) {
        if (tree.J(j).endSite) {
            continue;
        }
        std::string whyNot;
        auto c = TryChest(tree, j, whyNot);
        if (c && (!best || c->score > best->score)) {
            best = c;
        } else if (!c && !whyNot.empty() && !best) {
            why = whyNot;
        }
    }
    if (!best) {
        reason = why;
        return false;
    }
    body = best->body;
    // A pelvis that says so, a little above the legs' joint, is the hips.
    for (int j = body.pelvis; j >= 0; j = tree.J(j).parent) {
        if (tree.Name(j).side == 0 && IsPelvis(tree.Word(j)) &&
            tree.Distance(0, j, body.pelvis) <= NamedPelvisReach * tree.Span()) {
            body.pelvis = j;
            break;
        }
    }
    ReadHead(tree, best->headStart, body);
    ReadWaist(tree, body);
    return true;
}

} // namespace telvo::bvh
