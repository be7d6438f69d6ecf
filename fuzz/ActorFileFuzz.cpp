// Any bytes as an actor file: the read fails cleanly, or what it gives writes and reads back
// to the same 1952 bytes.
#include "fuzz/Fuzz.h"
#include "suitlib/SuitLib.h"

#include <cstring>

using telvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ActorData actor;
    std::memset(static_cast<void*>(&actor), 0x5a, sizeof actor);
    const ActorData untouched = actor;
    if (GyroReadActorData(telvo::fuzz::HoldInput(data, size).c_str(), &actor) == 0) {
        // A failed read changes nothing.
        Require(std::memcmp(&actor, &untouched, sizeof actor) == 0);
        return 0;
    }
    ActorData again{};
    const telvo::fuzz::Scratch copy("copy.ac");
    Require(GyroWriteActorData(copy.path.c_str(), &actor, -1) != 0 &&
            GyroReadActorData(copy.path.c_str(), &again) != 0 &&
            std::memcmp(&again, &actor, sizeof actor) == 0);
    return 0;
}
