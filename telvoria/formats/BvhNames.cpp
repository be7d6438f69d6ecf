#include "telvoria/formats/BvhNames.h"

#include <vector>

namespace telvo::bvh {

namespace {

bool Lower(char c) {
    return c >= 'a' && c <= 'z';
}
bool Upper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool Digit(char c) {
    return c >= '0' && c <= '9';
}

// A side letter glued to one of these is a side (lShldr), not part of a word (leg, rib).
bool StartsWithBodyWord(std::string_view rest) {
    static constexpr std::string_view words[] = {
        "hand",   "foot",     "arm",      "forearm", "uparm", "lowarm", "leg",   "upleg",
        "thigh",  "shin",     "calf",     "knee",    "elbow", "wrist",  "ankle", "toe",
        "collar", "clavicle", "shoulder", "shldr",   "hip",   "heel",   "ball",  "finger",
        "thumb",  "index",    "middle",   "pinky",   "eye",   "ear",    "lowleg"};
    for (auto w : words) {
        if (rest.substr(0, w.size()) == w) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> Words(std::string_view name) {
    std::vector<std::string> words;
    std::string current;
    auto flush = [&] {
        if (!current.empty()) {
            for (char& c : current) {
                c = Upper(c) ? static_cast<char>(c - 'A' + 'a') : c;
            }
            words.push_back(current);
            current.clear();
        }
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (!Lower(c) && !Upper(c) && !Digit(c)) {
            flush();
            continue;
        }
        if (!current.empty()) {
            char prev = current.back();
            bool split = (Lower(prev) && Upper(c)) || (Digit(prev) != Digit(c)) ||
                         (Upper(prev) && Upper(c) && i + 1 < name.size() && Lower(name[i + 1]));
            if (split) {
                flush();
            }
        }
        current += c;
    }
    flush();
    return words;
}

} // namespace

bool Has(const std::string& word, std::string_view part) {
    return word.find(part) != std::string::npos;
}

NameInfo Analyse(std::string_view name) {
    auto cut = name.find_last_of(":|");
    if (cut != std::string_view::npos) {
        name.remove_prefix(cut + 1);
    }
    NameInfo info;
    bool first = true;
    for (std::string& w : Words(name)) {
        if (w == "l" || w == "left" || w == "lft") {
            info.side = 1;
            continue;
        }
        if (w == "r" || w == "right" || w == "rt" || w == "rgt") {
            info.side = -1;
            continue;
        }
        if (Digit(w[0])) {
            continue;
        }
        if (first && info.side == 0) {
            if (w.size() > 4 && w.compare(0, 4, "left") == 0) {
                info.side = 1;
                w.erase(0, 4);
            } else if (w.size() > 5 && w.compare(0, 5, "right") == 0) {
                info.side = -1;
                w.erase(0, 5);
            } else if (w.size() > 1 && (w[0] == 'l' || w[0] == 'r') &&
                       StartsWithBodyWord(std::string_view(w).substr(1))) {
                info.side = w[0] == 'l' ? 1 : -1;
                w.erase(0, 1);
            }
        }
        first = false;
        info.word += w;
    }
    return info;
}

bool IsMarker(const std::string& w) {
    auto endsWith = [&w](std::string_view s) {
        return w.size() >= s.size() && w.compare(w.size() - s.size(), s.size(), s) == 0;
    };
    return endsWith("end") || endsWith("nub") || endsWith("tip") || endsWith("site") ||
           endsWith("top") || endsWith("effector");
}
bool IsTwist(const std::string& w) {
    return Has(w, "twist") || Has(w, "roll");
}
bool IsPelvis(const std::string& w) {
    return w == "hips" || w == "hip" || w == "pelvis" || w == "bippelvis";
}
bool IsHead(const std::string& w) {
    return Has(w, "head") && !IsMarker(w);
}
bool IsNeck(const std::string& w) {
    return Has(w, "neck");
}
bool IsHand(const std::string& w) {
    return (Has(w, "hand") || Has(w, "wrist")) && !IsTwist(w);
}
bool IsForearm(const std::string& w) {
    return Has(w, "forearm") || Has(w, "lowarm") || Has(w, "lowerarm") || Has(w, "elbow");
}
bool IsUpperArm(const std::string& w) {
    return !IsForearm(w) && (Has(w, "arm") || Has(w, "shldr") || Has(w, "humerus"));
}
bool IsArmish(const std::string& w) {
    return Has(w, "arm") || Has(w, "hand") || Has(w, "wrist") || Has(w, "collar") ||
           Has(w, "clav") || Has(w, "shoulder") || Has(w, "shldr") || Has(w, "elbow");
}
bool IsThigh(const std::string& w) {
    return Has(w, "upleg") || Has(w, "upperleg") || Has(w, "thigh") || Has(w, "femur") ||
           Has(w, "hip");
}
bool IsShin(const std::string& w) {
    return !IsThigh(w) &&
           (Has(w, "knee") || Has(w, "shin") || Has(w, "calf") || Has(w, "leg") || Has(w, "tibia"));
}
bool IsFoot(const std::string& w) {
    return Has(w, "foot") || Has(w, "ankle");
}
bool IsToe(const std::string& w) {
    return Has(w, "toe") || Has(w, "ball");
}
bool IsHeel(const std::string& w) {
    return Has(w, "heel");
}
bool IsThumb(const std::string& w) {
    return Has(w, "thumb") || Has(w, "pollex");
}

} // namespace telvo::bvh
