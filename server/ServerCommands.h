#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace telvo {

// The address dialog: shown with the address to preselect; the chosen address, or none when
// it ended with anything but OK.
using AddressChooser = std::function<std::optional<uint32_t>(uint32_t preselect)>;

// Enable Server (window thread): stops a running server, or asks for the local address and
// starts one with the actor data of this moment.
void OnEnableServer(const AddressChooser& chooseAddress);

// The suit library's server thread calls it with a client's command code: Record, Play and
// Stop are posted to the window, other codes are ignored. At most one waits at any time: one
// that comes while another waits or runs, or while a count-down blocks the window, is dropped.
void RemoteCommandCallback(uint32_t code);

// Window thread, for CmdRemoteCommand: runs the waiting command with `run`, unless a box or
// dialog is open (it would run inside that box's loop, and boxes would pile up), then lets the
// next client command in.
void RunRemoteCommand(Platform& window, const std::function<void(int)>& run);

// The box texts for the status results of NetworkGetLocalIPs and NetworkStartServer.
const char* LocalIPsMessage(int status);
const char* StartServerMessage(int status);

// A box with an OK button and the exclamation icon; `detail` is what the user may open below.
void ShowServerMessage(const char* text, const std::string& detail = {});

} // namespace telvo
