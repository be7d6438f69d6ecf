#include "telvoria/trackers/TrackerSuit.h"

#include "telvoria/sim/FrameBytes.h"
#include "telvoria/sim/SuitList.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Math.h"

#include <algorithm>

namespace telvo::trackers {

namespace {

using namespace telvo::body;

// The sensor whose segment each sensor's segment hangs from, -1 for the hips.
std::array<int, SensorCount> ParentSensors() {
    std::array<int, SensorCount> parent{};
    for (int i = 0; i < SensorCount; ++i) {
        int node = Parent[NodeOfSensor[i]];
        while (node >= 0 && SensorOfNode[node] < 0) {
            node = Parent[node];
        }
        parent[i] = node < 0 ? -1 : SensorOfNode[node];
    }
    return parent;
}

// What the null pose taught about one tracker: the turn about the vertical that brings its
// own reference frame onto ours, and how it sits on its segment.
struct Calibration {
    bool valid = false;
    Quat heading;  // applied in the world, before the tracker's orientation
    Quat mounting; // applied in the tracker's axes, after it
};

class TrackerSuit final : public sim::FrameSource {
public:
    explicit TrackerSuit(std::shared_ptr<Receiver> receiver)
        : receiver_(std::move(receiver)), parent_(ParentSensors()), offsets_(DefaultOffsets()),
          radii_(DefaultContactRadii()) {
        slotOf_.fill(-1);
        const auto& slots = receiver_->Options().slots;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].suitSensor >= 0 && slots[i].suitSensor < SensorCount) {
                slotOf_[static_cast<std::size_t>(slots[i].suitSensor)] = static_cast<int>(i);
            }
        }
        shown_.assign(slots.size(), 0);
        segments_.fill({});
        for (int i = 0; i < SensorCount; ++i) {
            raw_[i] = calibrated_[i] = math::Identity();
        }
        Matrix identity[SensorCount];
        std::fill(std::begin(identity), std::end(identity), math::Identity());
        Solve(offsets_, identity, offsets_[Hips], pose_);
    }

    void SetActor(const ActorData& actor) override {
        offsets_ = ActorOffsets(actor);
        radii_ = ActorRadii(actor);
    }
    void SetFlags(int suitFlags) override { flags_ = suitFlags; }

    void Next(double, Frame& frame) override {
        receiver_->Read(states_);
        Pose();
        Stamp(frame);
        std::copy(std::begin(calibrated_), std::end(calibrated_), frame.RawMatrices);
        frame.RootPosition = pose_.position[Hips];
        MarkContacts(pose_, radii_, frame);
    }

    // Orientations are the trackers' own: nothing moves on by itself.
    void Skip(double) override {}

    void RequestNull() override {
        receiver_->Read(states_);
        int64_t now = sim::Now();
        everCalibrated_ = true;
        for (int i = 0; i < SensorCount; ++i) {
            Calibration& c = calibration_[i];
            const SlotState* s = State(i);
            // Only a tracker that answers now can be calibrated; the others wait for the
            // next null pose.
            c.valid = s != nullptr && s->seen && now - s->heardNs < SilentAfterNs;
            if (c.valid) {
                // The segment stands as in the null pose: its axes are the world's.
                Quat h = Heading(s->rotation);
                c.heading = Conj(h);
                c.mounting = Conj(Mul(c.heading, s->rotation));
            }
        }
        Pose();
    }

    Vector TakeNorth() override {
        receiver_->Read(states_);
        // Each tracker's heading drifts apart: the segments face the way the hips face now.
        for (int i = 0; i < SensorCount; ++i) {
            Calibration& c = calibration_[i];
            const SlotState* s = State(i);
            if (c.valid && s != nullptr && s->seen) {
                c.heading = Conj(Heading(Mul(s->rotation, c.mounting)));
            }
        }
        Pose();
        Vector f = math::Apply(calibrated_[0], Vector{0.0f, -1.0f, 0.0f});
        f.z = 0.0f;
        float len = math::Length(f);
        return len > 1e-3f ? math::Scale(f, 1.0f / len) : Vector{0.0f, -1.0f, 0.0f};
    }

    bool Jumping() const override { return false; }
    const Matrix* Sensors(int mode) const override { return mode == 0 ? raw_ : calibrated_; }
    const body::Pose& LastPose() const override { return pose_; }
    int64_t HeardNs() const override { return receiver_->HeardNs(); }

    uint32_t SilentSensors() const override {
        uint32_t bits = 0;
        for (const SeenTracker& t : receiver_->Seen(sim::Now())) {
            if (t.suitSensor >= 0 && t.silent) {
                bits |= 1u << t.suitSensor;
            }
        }
        // A tracker the set-up names that never sent an orientation is silent too.
        std::vector<SlotState> now;
        receiver_->Read(now);
        const auto& slots = receiver_->Options().slots;
        for (std::size_t i = 0; i < slots.size() && i < now.size(); ++i) {
            if (!now[i].seen && slots[i].suitSensor >= 0) {
                bits |= 1u << slots[i].suitSensor;
            }
        }
        return bits;
    }

    std::vector<std::string> Unassigned() const override {
        std::vector<std::string> names;
        for (const SeenTracker& t : receiver_->Seen(sim::Now())) {
            if (t.suitSensor < 0) {
                names.push_back(t.sensor < 0 ? t.mac : t.mac + "/" + std::to_string(t.sensor));
            }
        }
        return names;
    }

private:
    const SlotState* State(int sensor) const {
        int slot = slotOf_[static_cast<std::size_t>(sensor)];
        if (slot < 0 || static_cast<std::size_t>(slot) >= states_.size()) {
            return nullptr;
        }
        return &states_[static_cast<std::size_t>(slot)];
    }

    // The segments from the newest orientations, then the pose on the floor.
    void Pose() {
        std::array<bool, SensorCount> driven{};
        for (int i = 0; i < SensorCount; ++i) {
            const SlotState* s = State(i);
            bool seen = s != nullptr && s->seen;
            raw_[i] = seen ? ToMatrix(s->rotation) : math::Identity();
            int p = parent_[i];
            Quat follow = p < 0 ? Quat{} : segments_[static_cast<std::size_t>(p)];
            const Calibration& c = calibration_[i];
            if (seen && !everCalibrated_) {
                segments_[i] = s->rotation;
                driven[i] = true;
            } else if (seen && c.valid) {
                segments_[i] = Normalized(Mul(Mul(c.heading, s->rotation), c.mounting));
                driven[i] = true;
            } else {
                segments_[i] = follow;
            }
        }
        // A bending spine: without its own tracker the waist turns half as far as the chest.
        if (!driven[Waist] && driven[Chest]) {
            segments_[Waist] = Slerp(segments_[Hips], segments_[Chest], 0.5f);
        }
        for (int i = 0; i < SensorCount; ++i) {
            calibrated_[i] = ToMatrix(segments_[i]);
        }
        Solve(offsets_, calibrated_, Vector{0.0f, 0.0f, 0.0f}, pose_);
        float rootZ =
            (flags_ & SuitFlagIgnoreFloor) != 0 ? offsets_[Hips].z : -LowestContact(pose_, radii_);
        for (auto& p : pose_.position) {
            p.z += rootZ;
        }
    }

    // The arrival of every rotation this frame shows for the first time.
    void Stamp(Frame& frame) {
        uint32_t count = 0;
        for (int i = 0; i < SensorCount; ++i) {
            int slot = slotOf_[static_cast<std::size_t>(i)];
            if (slot < 0) {
                continue;
            }
            auto k = static_cast<std::size_t>(slot);
            if (states_[k].updates != shown_[k]) {
                shown_[k] = states_[k].updates;
                sim::bytes::Put(frame.Reserved712 + sim::bytes::ArrivalsAt + 8 * count,
                                states_[k].arrivalNs);
                ++count;
            }
        }
        sim::bytes::Put(frame.Reserved712 + sim::bytes::ArrivalCountAt, count);
    }

    std::shared_ptr<Receiver> receiver_;
    std::array<int, SensorCount> parent_;
    std::array<int, SensorCount> slotOf_{};
    std::vector<SlotState> states_;
    std::vector<uint64_t> shown_;
    std::array<Calibration, SensorCount> calibration_{};
    bool everCalibrated_ = false;
    std::array<Quat, SensorCount> segments_{};
    Matrix raw_[SensorCount];
    Matrix calibrated_[SensorCount];
    std::array<Vector, NodeCount> offsets_;
    std::array<float, NodeCount> radii_;
    int flags_ = SuitFlagJumping;
    body::Pose pose_;
};

} // namespace

std::unique_ptr<sim::FrameSource> MakeTrackerSuit(std::shared_ptr<Receiver> receiver) {
    return std::make_unique<TrackerSuit>(std::move(receiver));
}

} // namespace telvo::trackers
