// Any bytes as a tracker coordinate file: refused with a reason, or 1 to 3 emitters on the
// stage.
#include "fuzz/FuzzFiles.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/CoordinateFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvo::files;
    const auto emitters = ReadCoordinateFile(telvo::fuzz::HoldInput(data, size).c_str());
    bool sound = emitters ? !emitters->empty() && emitters->size() <= MaxEmitters
                          : !LastProblem().reason.empty();
    for (const auto& e : emitters.value_or(std::vector<Vector>{})) {
        sound = sound && std::fabs(e.x) <= MaxEmitterDistance &&
                std::fabs(e.y) <= MaxEmitterDistance && std::fabs(e.z) <= MaxEmitterDistance;
    }
    if (!sound) {
        std::abort();
    }
    return 0;
}
