#include "engine/ServerState.h"

#include <cstring>

namespace telvo {

ServerState Server;

void ServerState::Reset() {
    ServerRunning = 0;
    ServerAddress = 0;
    RemoteCommand = 0;
    std::memset(static_cast<void*>(&ServerDescriptor), 0, sizeof ServerDescriptor);
}

} // namespace telvo
