// The frame pump's side of the server: frames into the ring, the figures tests and tools read.
#include "telvoria/net/ServerThread.h"

#include <cerrno>

namespace telvo::net {

Ring& TheRing() {
    static Ring* ring = new Ring; // never destroyed: a frame may arrive while the process ends
    return *ring;
}

void Wake(int fd) {
    uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

namespace {

uint32_t DividerOf(const SuitDescriptorEx& descriptor) {
    return descriptor.FrameDivider > 0 ? static_cast<uint32_t>(descriptor.FrameDivider) : 1u;
}

} // namespace

void SendFrame(const Frame& frame) {
    Ring& ring = TheRing();
    // Nobody listens: only the divider a later greeting reports.
    if (const SuitDescriptorEx* d = ring.unheard.load(std::memory_order_relaxed)) {
        ring.divider.store(DividerOf(*d), std::memory_order_relaxed);
        return;
    }
    if (!ring.running.load(std::memory_order_relaxed)) {
        return;
    }
    std::lock_guard lock(ring.producer);
    if (!ring.running) {
        return;
    }
    const uint32_t divider = DividerOf(*ring.descriptor);
    ring.divider.store(divider, std::memory_order_relaxed);
    uint64_t sequence = ring.sequence++;
    uint64_t head = ring.head.load(std::memory_order_relaxed);
    if (head - ring.tail.load(std::memory_order_acquire) >= RingSize) {
        ring.overrun.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Slot& slot = ring.slots[head % RingSize];
    slot.frame = frame;
    slot.sequence = sequence;
    slot.divider = divider;
    ring.head.store(head + 1);
    if (ring.sleeping.exchange(false)) {
        Wake(ring.wakeFd);
    }
}

uint16_t RunningPort() {
    return TheRing().port;
}

std::size_t RunningClients() {
    return TheRing().clients;
}

uint64_t Overruns() {
    return TheRing().overrun;
}

uint64_t Encoded() {
    return TheRing().encoded;
}
} // namespace telvo::net
