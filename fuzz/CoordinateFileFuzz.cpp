// Any bytes as a tracker coordinate file: refused with a reason, or 1 to 3 emitters on the
// stage.
#include "fuzz/Fuzz.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/CoordinateFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvo::files;
    using telvo::fuzz::Require;
    const auto emitters = ReadCoordinateFile(telvo::fuzz::HoldInput(data, size).c_str());
    Require(emitters ? !emitters->empty() && emitters->size() <= MaxEmitters
                     : !LastProblem().reason.empty());
    for (const auto& e : emitters.value_or(std::vector<Vector>{})) {
        Require(std::fabs(e.x) <= MaxEmitterDistance && std::fabs(e.y) <= MaxEmitterDistance &&
                std::fabs(e.z) <= MaxEmitterDistance);
    }
    return 0;
}
