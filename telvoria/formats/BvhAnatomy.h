#pragma once

// Which file joints are the body's: the pelvis where two legs and the spine meet, the chest
// where two arms and the neck meet, and along each limb the joints our nodes stand on. The
// tree's shape decides, with bone lengths measured on the animated figure; names only choose
// where the shape leaves a choice. Roots and helpers above the hips, end markers, twist and
// roll helpers, eyes, jaws, toes' ends and props beside the real children fold into the
// nearest node.

#include "telvoria/formats/BvhTree.h"

#include <array>
#include <string>
#include <vector>

namespace telvo::bvh {

struct Arm {
    int collar = -1; // -1: the file has none
    int shoulder = -1;
    int elbow = -1;
    int wrist = -1;
    int fingertip = -1; // the farthest end of the fingers
    int thumb = -1;     // the thumb's end
};

struct Leg {
    int hip = -1;
    int knee = -1;
    int ankle = -1;
    int ball = -1;    // the toes' base joint
    int toe = -1;     // the farthest end beyond the ball
    int heel = -1;    // an end named heel
    int footEnd = -1; // the farthest other end of the foot outside the toes
};

struct Anatomy {
    int pelvis = -1;
    int waist = -1; // a spine joint where ours would be, or -1
    int chest = -1;
    int neck = -1;
    int head = -1;
    int headTop = -1; // the end above the head, if any
    std::array<Arm, 2> arms;
    std::array<Leg, 2> legs;
};

// False, with a reason starting "not a human figure", when the tree has no human structure.
// Sides are not decided here: arms[0] and legs[0] are whichever came first.
bool FindAnatomy(const Tree& tree, Anatomy& body, std::string& reason);

// The joints of a limb from its first joint down, while it has one way to go on: past end
// markers beside the real child, into a last joint that only ends the chain.
std::vector<int> Walk(const Tree& tree, int start);

} // namespace telvo::bvh
