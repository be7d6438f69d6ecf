#pragma once

// One small human figure (a Biovision-like skeleton, arms down, feet pointing forward) and
// three frames of motion, written in whatever BVH dialect a test asks for: the same figure
// must read the same whatever the dialect.

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace testfiles {

struct Dialect {
    std::array<const char*, 18> names = {
        "Hips",       "Chest",      "Neck",        "Head",       "LeftCollar",  "LeftUpArm",
        "LeftLowArm", "LeftHand",   "RightCollar", "RightUpArm", "RightLowArm", "RightHand",
        "LeftUpLeg",  "LeftLowLeg", "LeftFoot",    "RightUpLeg", "RightLowLeg", "RightFoot"};
    const char* lineEnd = "\n";
    const char* blank = " ";
    bool finalNewline = true;
    bool blankLines = false; // empty lines between frames
    bool mixedOrders = false;
    int numbers = 0;        // 0 shortest, 1 scientific, 2 ".5", "-0" and "+1"
    bool leafHands = false; // hands with channels and no End Site
    bool reference = false; // a zero-offset root above the hips carries the position
    float unit = 1.0f;      // file units per inch
    bool zUp = false;       // the whole file turned so that Z is up
};

struct FigureJoint {
    int parent;
    float offset[3];
    bool end;
    float endOffset[3];
    int axis; // the one axis this joint turns about in the motion
};

inline const std::array<FigureJoint, 18>& FigureJoints() {
    static const std::array<FigureJoint, 18> joints = {{
        {-1, {0, 0, 0}, false, {0, 0, 0}, 1},        // Hips
        {0, {0, 5, 0}, false, {0, 0, 0}, 0},         // Chest
        {1, {0, 18, 0.5f}, false, {0, 0, 0}, 0},     // Neck
        {2, {0, 5, 0}, true, {0, 4, 0}, 1},          // Head
        {1, {1.2f, 16, 1.5f}, false, {0, 0, 0}, 2},  // LeftCollar
        {4, {5.5f, 0, 0}, false, {0, 0, 0}, 2},      // LeftUpArm
        {5, {0, -12, 0}, false, {0, 0, 0}, 0},       // LeftLowArm
        {6, {0, -10, 0}, true, {0, -7, 0}, 1},       // LeftHand
        {1, {-1.2f, 16, 1.5f}, false, {0, 0, 0}, 2}, // RightCollar
        {8, {-5.5f, 0, 0}, false, {0, 0, 0}, 2},     // RightUpArm
        {9, {0, -12, 0}, false, {0, 0, 0}, 0},       // RightLowArm
        {10, {0, -10, 0}, true, {0, -7, 0}, 1},      // RightHand
        {0, {3.8f, 0, 0}, false, {0, 0, 0}, 0},      // LeftUpLeg
        {12, {0, -18, 0}, false, {0, 0, 0}, 0},      // LeftLowLeg
        {13, {0, -17, 0}, true, {0, -3, 5}, 1},      // LeftFoot
        {0, {-3.8f, 0, 0}, false, {0, 0, 0}, 0},     // RightUpLeg
        {15, {0, -18, 0}, false, {0, 0, 0}, 0},      // RightLowLeg
        {16, {0, -17, 0}, true, {0, -3, 5}, 1},      // RightFoot
    }};
    return joints;
}

inline std::string FigureNumber(float v, int style) {
    char b[40];
    if (style == 1) {
        auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::scientific, 6);
        return std::string(b, r.ptr);
    }
    auto r = std::to_chars(b, b + sizeof b, v);
    std::string s(b, r.ptr);
    if (style == 2) {
        if (v == 0.0f) {
            return "-0";
        }
        if (s.rfind("0.", 0) == 0) {
            return s.substr(1);
        }
        if (s.rfind("-0.", 0) == 0) {
            return "-" + s.substr(2);
        }
        return v > 0.0f ? "+" + s : s;
    }
    return s;
}

// The angle of joint j (degrees) in frame f; frame 0 is the rest pose.
inline float FigureAngle(int j, int f) {
    return f == 0 ? 0.0f : static_cast<float>((j * 37 + f * 11) % 50 - 25);
}

inline std::string FigureText(const Dialect& d, int frames = 3,
                              const char* frameTime = "0.0333333") {
    const auto& joints = FigureJoints();
    const char* axisName[3] = {"X", "Y", "Z"};
    // Z up: every vector (x, y, z) becomes (x, -z, y); turns about Y become turns about Z and
    // turns about Z become turns about -Y.
    auto vec = [&](const float* v) {
        std::array<float, 3> out = {v[0] * d.unit, v[1] * d.unit, v[2] * d.unit};
        if (d.zUp) {
            out = {out[0], -out[2], out[1]};
        }
        return out;
    };
    auto axisOf = [&](int a, float& sign) {
        sign = 1.0f;
        if (!d.zUp || a == 0) {
            return a;
        }
        if (a == 2) {
            sign = -1.0f;
        }
        return a == 1 ? 2 : 1;
    };
    auto order = [&](int j) {
        static const int perms[6][3] = {{2, 0, 1}, {0, 1, 2}, {1, 2, 0},
                                        {2, 1, 0}, {0, 2, 1}, {1, 0, 2}};
        return d.mixedOrders ? perms[j % 6] : perms[0];
    };
    std::string t;
    std::string nl = d.lineEnd;
    auto line = [&](int depth, const std::string& s) {
        t.append(static_cast<std::size_t>(depth), '\t');
        t += s + nl;
    };
    auto num3 = [&](const std::array<float, 3>& v) {
        return FigureNumber(v[0], d.numbers) + d.blank + FigureNumber(v[1], d.numbers) + d.blank +
               FigureNumber(v[2], d.numbers);
    };
    line(0, "HIERARCHY");
    int base = 0;
    if (d.reference) {
        line(0, "ROOT Reference");
        line(0, "{");
        line(1, "OFFSET 0 0 0");
        line(1, "CHANNELS 3 Xposition Yposition Zposition");
        base = 1;
    }
    std::vector<int> open;
    for (int j = 0; j < 18; ++j) {
        while (!open.empty() && open.back() != joints[static_cast<std::size_t>(j)].parent) {
            line(base + static_cast<int>(open.size()) - 1, "}");
            open.pop_back();
        }
        int depth = base + static_cast<int>(open.size());
        const FigureJoint& fj = joints[static_cast<std::size_t>(j)];
        line(depth, std::string(j == 0 && !d.reference ? "ROOT " : "JOINT ") +
                        d.names[static_cast<std::size_t>(j)]);
        line(depth, "{");
        line(depth + 1, "OFFSET" + std::string(d.blank) + num3(vec(fj.offset)));
        std::string ch =
            j == 0 && !d.reference ? "CHANNELS 6 Xposition Yposition Zposition" : "CHANNELS 3";
        for (int k : std::array<int, 3>{order(j)[0], order(j)[1], order(j)[2]}) {
            ch += std::string(" ") + axisName[k] + "rotation";
        }
        line(depth + 1, ch);
        bool hand = j == 7 || j == 11;
        if (fj.end && !(hand && d.leafHands)) {
            line(depth + 1, "End Site");
            line(depth + 1, "{");
            line(depth + 2, "OFFSET " + num3(vec(fj.endOffset)));
            line(depth + 1, "}");
        }
        open.push_back(j);
    }
    while (!open.empty()) {
        line(base + static_cast<int>(open.size()) - 1, "}");
        open.pop_back();
    }
    if (d.reference) {
        line(0, "}");
    }
    line(0, "MOTION");
    line(0, std::string("Frames:") + (d.blankLines ? "\t" : " ") + std::to_string(frames));
    line(0, std::string("Frame Time:") + (d.blankLines ? "   " : " ") + frameTime);
    for (int f = 0; f < frames; ++f) {
        float root[3] = {static_cast<float>(f) * 2.0f, 38.0f + static_cast<float>(f),
                         static_cast<float>(f) * -3.0f};
        std::string row = num3(vec(root));
        for (int j = 0; j < 18; ++j) {
            float sign = 1.0f;
            int axis = axisOf(joints[static_cast<std::size_t>(j)].axis, sign);
            for (int k = 0; k < 3; ++k) {
                float v = order(j)[k] == axis ? sign * FigureAngle(j, f) : 0.0f;
                row += d.blank + FigureNumber(v, d.numbers);
            }
        }
        t += row;
        if (f + 1 < frames || d.finalNewline) {
            t += nl;
        }
        if (d.blankLines && f + 1 < frames) {
            t += nl;
        }
    }
    return t;
}

} // namespace testfiles
