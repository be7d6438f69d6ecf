// Any datagram a tracker (or anyone) may send: the reader gives a verdict and never reads
// outside the bytes; what it takes is whole, and every rotation it takes is a unit quaternion.
#include "fuzz/Fuzz.h"
#include "telvoria/trackers/Protocol.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvo::trackers;
    using telvo::fuzz::Require;
    Packet packet;
    // A refused packet must leave nothing to act on.
    Require(Parse({data, size}, packet) == Verdict::Ok || packet.messages.empty());
    for (const Message& m : packet.messages) {
        const Quat& q = m.rotation;
        Require(std::fabs(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z - 1.0f) < 1e-3f);
    }
    ParseFromReceiver({data, size});
    return 0;
}
