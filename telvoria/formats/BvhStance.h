#pragma once

// How the animated figure stands in the file's world: which way is up, which limbs are the
// left ones, the unit, and the frame where it stands tallest. Decided on the frames of the
// take, never on the rest OFFSETs alone, since many tools' rest pose is not a standing figure.

#include "geometry/Matrix.h"
#include "telvoria/formats/BvhAnatomy.h"
#include "telvoria/formats/BvhTree.h"

#include <string>

namespace telvo::bvh {

struct Stance {
    Matrix axes;         // the file's axes to ours: its up becomes +Z, its heading is kept
    float scale = 1.0f;  // inches per file unit
    std::string unit;    // "metres", ..., or how the size was judged
    float size = 0.0f;   // thigh + shin + hips to head, inches
    float height = 0.0f; // the standing height a figure of that size has, inches
    int reference = 0;   // the sampled frame where the figure stands tallest
};

// Our default performer's size and standing height, inches.
float DefaultSize();
float DefaultHeight();

// Decides the stance and puts the left arm and leg first. False, with a reason starting "not a
// human figure", for a figure that does not stand like one (legs that do not hang below the
// hips, a spine that runs across the legs as a four-legged animal's does).
bool FindStance(const Tree& tree, Anatomy& body, Stance& stance, std::string& reason);

} // namespace telvo::bvh
