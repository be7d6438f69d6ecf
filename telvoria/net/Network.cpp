// The frame server is not available in this build yet: it reports failures and sends nothing.
#include "suitlib/SuitLib.h"

#include <cstdio>

namespace {
constexpr int StatusNoAddresses = 3;
constexpr int StatusServerUnavailable = 10;
} // namespace

int NetworkGetLocalIPs(char* hostName, int size, uint32_t* count) {
    if (hostName != nullptr && size > 0) {
        hostName[0] = '\0';
    }
    if (count != nullptr) {
        *count = 0;
    }
    return StatusNoAddresses;
}

uint32_t NetworkGetLocalIP(uint32_t) {
    return 0;
}

void NetworkToString(uint32_t address, char* text) {
    if (text == nullptr) {
        return;
    }
    // Network byte order: the first octet is the lowest byte.
    std::snprintf(text, 16, "%u.%u.%u.%u", address & 0xffu, (address >> 8) & 0xffu,
                  (address >> 16) & 0xffu, (address >> 24) & 0xffu);
}

int NetworkStartServer(uint32_t, int, SuitDescriptorEx*, NetworkCommandCallback) {
    return StatusServerUnavailable;
}

void NetworkStopServer() {}
void NetworkFinish() {}
void NetworkSendFrame(int, const Frame*) {}
