// The view commands: Front View, Right Side View, Top View, Center View, Center Sequence.
#include "MainFrame.h"

#include "CommandIds.h"

namespace telvo {

void CMainFrame::OnViewCommand(int command) {
    // --- The 3D view's commands are dispatched here. Until they are, they do nothing. ---
    switch (command) {
    case CmdFrontView:
    case CmdRightSideView:
    case CmdTopView:
    case CmdCenterView:
    case CmdCenterSequence:
    default:
        break;
    }
}

} // namespace telvo
