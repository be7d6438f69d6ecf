// The view commands: Front View, Right Side View, Top View, Center View, Center Sequence.
#include "MainFrame.h"

#include "core/CommandIds.h"
#include "platform/qt/QtPlatform.h"
#include "view/Camera.h"

namespace telvo {

void CMainFrame::OnViewCommand(int command) {
    Platform& port = Port();
    switch (command) {
    case CmdFrontView:
        OnFrontView(port);
        break;
    case CmdRightSideView:
        OnRightSideView(port);
        break;
    case CmdTopView:
        OnTopView(port);
        break;
    case CmdCenterView:
        OnCenterView(port);
        break;
    case CmdCenterSequence:
        OnCenterSequence(port);
        break;
    default:
        break;
    }
}

} // namespace telvo
