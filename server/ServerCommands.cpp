#include "server/ServerCommands.h"

#include "core/CommandIds.h"
#include "core/Text.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"

#include <cstring>

namespace telvo {

const char* LocalIPsMessage(int status) {
    switch (status) {
    case 3:
        return "Failed in call to gethostname";
    case 4:
        return "Failed in call to gethostbyname";
    case 5:
        return "IP address returned is not 32 bits";
    default:
        return "Unknown error";
    }
}

const char* StartServerMessage(int status) {
    switch (status) {
    case 1:
        return "Couldn't start windows sockets";
    case 2:
        return "Couldn't find a usable version of windows sockets.\nInstall Windows Sockets 2";
    case 10:
        return "Invalid socket";
    case 11:
        return "Socket bind error";
    case 17:
        return "Out of memory";
    case 18:
        return "Could not create thread";
    default:
        return "NetworkStartServer error";
    }
}

void ShowServerMessage(const char* text, const std::string& detail) {
    if (Platform* window = Engine.MainWindow.load()) {
        window->MessageBox(text, MessageButtons::Ok, MessageIcon::Exclamation, detail);
    }
}

namespace {
void Repaint() {
    if (Platform* window = Engine.MainWindow.load()) {
        window->Invalidate();
    }
}
} // namespace

void OnEnableServer(const AddressChooser& chooseAddress) {
    if (Server.ServerRunning != 0) {
        NetworkFinish();
        Server.ServerRunning = 0;
        UpdateMenuState();
        Repaint();
        return;
    }
    std::optional<uint32_t> chosen = chooseAddress(Server.ServerAddress);
    if (!chosen) {
        return;
    }
    if (*chosen == 0) {
        ShowServerMessage("No local IP address");
        return;
    }
    Server.ServerAddress = *chosen;
    SuitDescriptorEx& descriptor = Server.ServerDescriptor;
    descriptor.Version = 1;
    std::memcpy(static_cast<void*>(&descriptor.Actor), &Engine.ActorData, sizeof(ActorData));
    descriptor.Reserved = 0;
    int status = NetworkStartServer(Server.ServerAddress, 1, &descriptor, RemoteCommandCallback);
    if (status != 0) {
        char reason[512] = "";
        GyroGetLastProblem(reason, sizeof reason, nullptr);
        ShowServerMessage(StartServerMessage(status), reason);
        NetworkStopServer();
        return;
    }
    Repaint();
    Server.ServerRunning = 1;
    UpdateMenuState();
    Repaint();
    // Clients need the port too, and with Port=0 nothing else tells which one was taken.
    if (Platform* window = Engine.MainWindow.load()) {
        char address[16] = "";
        NetworkToString(Server.ServerAddress, address);
        window->SetStatusText(0, Format("Serving on %s port %u", address,
                                        static_cast<unsigned>(NetworkGetServerPort())));
    }
}

void RemoteCommandCallback(uint32_t code) {
    static constexpr int Commands[] = {CmdRecord, CmdPlay, CmdStop};
    Platform* window = Engine.MainWindow.load();
    if (code < 1 || code > 3 || window == nullptr || Engine.CountingDown != 0) {
        return;
    }
    int none = 0;
    if (Server.RemoteCommand.compare_exchange_strong(none, Commands[code - 1])) {
        window->PostCommand(CmdRemoteCommand);
    }
}

void RunRemoteCommand(Platform& window, const std::function<void(int)>& run) {
    const int command = Server.RemoteCommand.load();
    if (command != 0 && !window.ModalOpen()) {
        run(command);
    }
    Server.RemoteCommand = 0;
}

} // namespace telvo
