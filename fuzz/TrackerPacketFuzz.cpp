// Any datagram a tracker (or anyone) may send: the reader gives a verdict and never reads
// outside the bytes; what it takes is whole, and every rotation it takes is a unit quaternion.
#include "telvoria/trackers/Protocol.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvo::trackers;
    Packet packet;
    Verdict verdict = Parse({data, size}, packet);
    if (verdict != Verdict::Ok && !packet.messages.empty()) {
        std::abort(); // a refused packet must leave nothing to act on
    }
    for (const Message& m : packet.messages) {
        const Quat& q = m.rotation;
        float n = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
        if (!(std::fabs(n - 1.0f) < 1e-3f)) {
            std::abort();
        }
    }
    ParseFromReceiver({data, size});
    return 0;
}
