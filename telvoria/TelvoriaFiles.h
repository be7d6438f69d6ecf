#pragma once

// What the suit library's file calls can tell beyond success or failure, for tools such as
// telvoview-convert and for tests (the program never includes it). Per thread: each thread
// sees the outcome of its own last file call.

#include "suitlib/SuitLib.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace telvo::files {

// Why the last file call on this thread failed; empty reason after a success.
struct Problem {
    int line = 0;       // the line of a text file the reason applies to; 0 for none
    std::string reason; // one short sentence, no file name, no final full stop
};
const Problem& LastProblem();

// Where a figure read from BVH came from: the unit found and each node's source joint.
struct BvhSource {
    std::string unit; // "metres", "centimetres", "inches", or how the size was judged
    double inchesPerUnit = 1.0;
    std::array<std::string, SkeletonNodeCount> joint;   // file joint per node; "" when made up
    std::array<std::string, SkeletonNodeCount> carrier; // the joint a made-up node moves with
};
// Set by the last successful GyroReadBVH on this thread.
const BvhSource& LastBvhSource();

// What a BVH file holds, for telvoview-convert --info: also for figures that are not human.
struct BvhOutline {
    uint32_t frames = 0;
    double frameTime = 0.0;
    int channels = 0;
    int joints = 0; // the ROOT and every JOINT
    int endSites = 0;
    int depth = 0;                   // levels of joints below the root
    std::vector<std::string> levels; // the hierarchy's top levels, two blanks of indent a level
    bool human = false;
    std::string refusal; // why the figure cannot be mapped, when it is not human
    BvhSource source;    // when it is
};
// False, with LastProblem() set, only when the file cannot be parsed at all.
bool DescribeBvh(const char* path, BvhOutline& outline);

// The library's own side of the two above.
void SetProblem(int line, std::string reason);
void ClearProblem();
void SetBvhSource(BvhSource source);

} // namespace telvo::files
