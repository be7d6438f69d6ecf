#pragma once

// What a joint's name says, as far as names go: a side and the body words. Names only choose
// inside a structure that the figure's shape has already decided, so every test here is a
// hint, never a rule.

#include <string>
#include <string_view>

namespace telvo::bvh {

struct NameInfo {
    int side = 0;     // +1 left, -1 right, 0 not said
    std::string word; // the body words in lower case, without side, prefix and numbers
};

// Cuts a name into words (separators, camelCase, digits; "rig:" prefixes dropped) and takes
// the side word off: Left/Right, L/R, l/r glued to a body word (lShldr, rhand), _L/_R.
NameInfo Analyse(std::string_view name);

bool Has(const std::string& word, std::string_view part);

// Joints that only mark where a chain ends (HeadTop_End, LeftHandNub, RightArmEnd).
bool IsMarker(const std::string& word);
// Helpers that turn part of a bone about its own length.
bool IsTwist(const std::string& word);
bool IsPelvis(const std::string& word);
bool IsHead(const std::string& word);
bool IsNeck(const std::string& word);
bool IsHand(const std::string& word);
bool IsForearm(const std::string& word);
bool IsUpperArm(const std::string& word);
bool IsArmish(const std::string& word);
bool IsThigh(const std::string& word);
bool IsShin(const std::string& word);
bool IsFoot(const std::string& word);
bool IsToe(const std::string& word);
bool IsHeel(const std::string& word);
bool IsThumb(const std::string& word);

} // namespace telvo::bvh
