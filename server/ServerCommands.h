#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace telvo {

// The address dialog: shown with the address to preselect; the chosen address, or none when
// it ended with anything but OK.
using AddressChooser = std::function<std::optional<uint32_t>(uint32_t preselect)>;

// Enable Server (window thread): stops a running server, or asks for the local address and
// starts one with the actor data of this moment.
void OnEnableServer(const AddressChooser& chooseAddress);

// The suit library's server thread calls it with a client's command code: Record, Play and
// Stop are posted to the window, other codes are ignored.
void RemoteCommandCallback(uint32_t code);

// The box texts for the status results of NetworkGetLocalIPs and NetworkStartServer.
const char* LocalIPsMessage(int status);
const char* StartServerMessage(int status);

// A box with an OK button and the exclamation icon.
void ShowServerMessage(const char* text);

} // namespace telvo
