#pragma once

#include "suitlib/SuitLib.h"

#include <atomic>
#include <cstdint>

namespace telvo {

// The frame server's state that the frame pump reads. The server command (window thread)
// writes it; the frame callback reads ServerRunning and writes the descriptor's divider.
struct ServerState {
    // Set only after NetworkStartServer succeeded, so the descriptor is complete before the
    // frame pump writes into it.
    std::atomic<uint8_t> ServerRunning{0};
    // Chosen in the address dialog; kept while the program runs, never saved.
    std::atomic<uint32_t> ServerAddress{0};
    // The library keeps using this record while the server runs: it never moves.
    SuitDescriptorEx ServerDescriptor{};
    // The client's command that waits for the window, from the server thread's post until its
    // handler has returned; 0 when none waits.
    std::atomic<int> RemoteCommand{0};

    void Reset();
};

extern ServerState Server;

} // namespace telvo
