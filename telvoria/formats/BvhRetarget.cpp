#include "telvoria/formats/BvhRetarget.h"

#include "telvoria/formats/BvhFit.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"

#include <array>

namespace telvo::bvh {

Retargeter::Retargeter(const std::vector<Joint>& joints, const Figure& figure)
    : fk_(joints, figure.axes, figure.scale, figure.needed), figure_(figure) {
    aimed_.push_back(body::Hips);
    for (int s = 0; s < body::SensorCount; ++s) {
        const auto us = static_cast<std::size_t>(s);
        for (int i = 0; i < figure.aim[us].count && !figure.rigid[us]; ++i) {
            aimed_.push_back(figure.aim[us].node[static_cast<std::size_t>(i)]);
        }
    }
}

void Retargeter::Pose(const float* values, Frame& frame, float* lowest) {
    using namespace body;
    fk_.Pose(values);
    std::array<Vector, NodeCount> target;
    for (int n : aimed_) {
        const Anchor& a = figure_.anchor[static_cast<std::size_t>(n)];
        target[static_cast<std::size_t>(n)] = fk_.PointOf(a.joint, a.local);
    }
    // Our body, root first: each segment turns with its file joint, then aims at the file's
    // points from where our own chain has put it, so small differences never add up.
    std::array<Vector, NodeCount> pos;
    std::array<Matrix, NodeCount> orient;
    pos[0] = target[Hips];
    for (int n = 0; n < NodeCount; ++n) {
        const auto un = static_cast<std::size_t>(n);
        const int p = Parent[un];
        if (p >= 0) {
            const auto up = static_cast<std::size_t>(p);
            pos[un] = math::Add(pos[up], math::Apply(orient[up], figure_.offsets[un]));
        }
        const int sensor = SensorOfNode[un];
        if (sensor < 0) {
            orient[un] = orient[static_cast<std::size_t>(p)];
            continue;
        }
        const auto us = static_cast<std::size_t>(sensor);
        Matrix r = math::Mul(fk_.Rotation(figure_.frameJoint[us]), figure_.align[us]);
        const Aim& aim = figure_.aim[us];
        if (!figure_.rigid[us]) {
            Vector from[3];
            Vector to[3];
            bool aimed = true;
            for (int i = 0; i < aim.count; ++i) {
                const auto ui = static_cast<std::size_t>(i);
                from[i] = math::Apply(r, aim.rest[ui]);
                to[i] = math::Sub(target[static_cast<std::size_t>(aim.node[ui])], pos[un]);
                Vector miss = math::Sub(from[i], to[i]);
                // Already on target to a hundred-thousandth of the bone: nothing to correct.
                aimed = aimed && math::Dot(miss, miss) <= 1e-10f * math::Dot(to[i], to[i]);
            }
            if (!aimed) {
                r = math::Mul(aim.count == 1 ? Turn(from[0], to[0])
                                             : Fit(from, to, aim.weight.data(), aim.count),
                              r);
            }
        }
        orient[un] = r;
        frame.RawMatrices[us] = r;
    }
    frame.RootPosition = pos[0];
    const auto& radius = DefaultContactRadii();
    for (int i = 0; i < ContactPointCount; ++i) {
        const auto n = static_cast<std::size_t>(ContactNodes[static_cast<std::size_t>(i)]);
        lowest[i] = pos[n].z - radius[n];
    }
}

} // namespace telvo::bvh
