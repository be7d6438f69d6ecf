#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace telvo {

// The services the program takes from its window system and operating system. The engine
// and the view call only this port; platform/qt/ implements it with Qt and
// tests/support/FakePlatform records every call and answers from a script.

enum class MessageButtons { Ok, OkCancel, YesNo, RetryCancel, AbortRetryIgnore, YesNoCancel };
enum class MessageIcon { None, Exclamation, Information, Question };
// The platform's own numbers, so they can be compared with dialog results.
enum class MessageAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
enum class SystemSound { Default, Exclamation };

// The answer of a box nobody can see: Cancel, No or Ok, whichever it offers first; Abort for
// Abort/Retry/Ignore. Used once the window closes and while no window exists.
constexpr MessageAnswer DismissAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::OkCancel:
    case MessageButtons::RetryCancel:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::AbortRetryIgnore:
        return MessageAnswer::Abort;
    }
    return MessageAnswer::Cancel;
}

struct FileFilter {
    std::string description; // "BVH file (*.bvh)"
    std::string pattern;     // "*.bvh"
};

struct FileChooser {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    std::vector<FileFilter> filters; // entries counted from 1
    std::string defaultExtension;    // appended when the name has none, with its dot
    std::string initialName;         // full path or bare name
    std::string initialDirectory;
    int selectedFilter = 1;
    bool fileMustExist = false;    // open: the chosen file must exist
    bool confirmOverwrite = false; // save: ask before replacing a file
    bool pathMustExist = false;    // the chosen file's folder must exist
    bool refuseReadOnly = false;   // save: a file that exists but is read-only is refused
    // The user picked another entry of the type list while the chooser is open. The handler
    // may change the name in the name box and the default extension.
    std::function<void(int entry, std::string& name, std::string& defaultExtension)> onTypeChange;
};

struct FileChoice {
    bool accepted = false;
    std::string path; // full path
    int selectedFilter = 1;
};

struct PixelSize {
    int width = 0;
    int height = 0;
};

using TimerId = std::uint32_t;

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box; any thread. From another thread it is shown on the window thread while the
    // caller waits. Once the window has begun to close it is answered at once (Cancel, No or
    // Ok, whichever the buttons offer first), so a close never waits for another thread.
    // `detail`, when not empty, is what the user can open below the text: the file, the line
    // and the reason behind a failure.
    virtual MessageAnswer MessageBox(const std::string& text, MessageButtons buttons,
                                     MessageIcon icon, const std::string& detail) = 0;
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons, MessageIcon icon) {
        return MessageBox(text, buttons, icon, std::string());
    }
    // While on, a box or chooser another thread asks for is answered at once as above, those
    // already waiting or on screen too, so that the window thread can wait for such a thread
    // (closing a suit waits for the library's thread). Window thread; a port without other
    // threads' boxes need not act.
    virtual void AnswerOtherThreadsAtOnce(bool /*on*/) {}

    // Status bar pane 0, 1 or 2, redrawn at once. Any thread: from others it is queued.
    virtual void SetStatusText(int pane, const std::string& text) = 0;
    // Menu check mark of a command. Any thread, as above.
    virtual void CheckMenuItem(int command, bool checked) = 0;
    // Window title. Any thread, as above.
    virtual void SetWindowTitle(const std::string& title) = 0;
    // Requests a repaint of the whole view. Any thread.
    virtual void Invalidate() = 0;
    // Queues a command for the window thread, handled in order with the user's own. Any thread.
    virtual void PostCommand(int command) = 0;
    // Queues a close request for the window. Any thread.
    virtual void PostClose() = 0;
    virtual bool IsWindowThread() const = 0;
    // A box, dialog or file chooser is open, so a command run now would run inside its loop.
    // Window thread.
    virtual bool ModalOpen() const { return false; }

    // Blocks the calling thread; the status texts set before stay visible.
    virtual void Sleep(std::uint32_t ms) = 0;
    virtual void Tone(std::uint32_t hz, std::uint32_t ms) = 0;
    virtual void PlaySystemSound(SystemSound sound) = 0;
    virtual void SetWaitCursor(bool on) = 0;

    // Milliseconds since an arbitrary start, wrapping at 32 bits.
    virtual std::uint32_t TimeMs() = 0;
    // A periodic timer on a thread of its own, with deadlines at exact multiples of the
    // period from its start. 0 when it cannot be made. KillTimer may be called from inside
    // the timer's own callback; otherwise it returns after the last callback has finished.
    virtual TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) = 0;
    virtual void KillTimer(TimerId id) = 0;

    virtual FileChoice ChooseFile(const FileChooser& request) = 0;

    // The drawing area (the window's client area above the status bar) and the primary
    // screen, in pixels.
    virtual PixelSize DrawingArea() = 0;
    virtual PixelSize ScreenSize() = 0;
    // Every mouse event goes to the window while the capture is held.
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
};

} // namespace telvo
