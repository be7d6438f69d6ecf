// Any bytes as a tracker coordinate file: refused with a reason, or 1 to 3 emitters on the
// stage.
#include "fuzz/FuzzFiles.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/CoordinateFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvo::files;
    const auto emitters = ReadCoordinateFile(telvo::fuzz::HoldInput(data, size).c_str());
    if (!emitters) {
        if (LastProblem().reason.empty()) {
            std::abort();
        }
        return 0;
    }
    if (emitters->empty() || emitters->size() > MaxEmitters) {
        std::abort();
    }
    for (const auto& e : *emitters) {
        for (float v : {e.x, e.y, e.z}) {
            if (!(std::fabs(v) <= MaxEmitterDistance)) {
                std::abort();
            }
        }
    }
    return 0;
}
