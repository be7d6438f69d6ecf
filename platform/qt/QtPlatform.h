#pragma once

#include "platform/Platform.h"

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMainWindow;
class QWidget;

namespace telvo {

// The parts of the main window the port acts on. The window fills it in on the window thread
// and hands it to QtPlatform::Attach. Any member may be left empty; what it serves then does
// nothing. The port keeps guarded pointers, so a widget destroyed before the port is simply
// no longer touched.
struct QtWindowParts {
    // Title (SetWindowTitle); parent of message boxes and file choosers.
    QMainWindow* window = nullptr;
    // Status bar panes 0, 1 and 2 (SetStatusText).
    std::array<QLabel*, 3> statusPanes{};
    // Command id -> the menu action that shows its check mark (CheckMenuItem). Commands not
    // listed are ignored.
    std::map<int, QAction*> checkItems;
    // The 3D view: repainted by Invalidate, measured by DrawingArea, grabs the mouse for
    // SetCapture.
    QWidget* view = nullptr;
    // Runs one command on the window thread; PostCommand calls it from the event loop, in order
    // with everything else posted.
    std::function<void(int command)> runCommand;
    // Starts the window's close (the close handler). PostClose calls it from the event loop.
    // When empty, window->close() is used.
    std::function<void()> requestClose;
};

// The port on Qt. Safe from any thread: a call from another thread is queued, in the order the
// calls were made, and runs on the window thread; on the window thread the calls act at once.
// Message boxes and file choosers asked for from another thread are shown on the window thread
// while the caller waits (a chooser's onTypeChange then runs on the window thread too). A timer
// callback that waits for such a box must not be killed from the window thread before
// BeginClose: the window thread would wait for the callback and the callback for the window.
//
// Construct on the window thread once the QApplication exists.
class QtPlatform : public Platform {
public:
    using MessageBoxHandler =
        std::function<MessageAnswer(const std::string& text, MessageButtons, MessageIcon)>;
    using FileChooserHandler = std::function<FileChoice(const FileChooser&)>;

    QtPlatform();
    explicit QtPlatform(QtWindowParts parts);
    // Answers every box still waiting (as BeginClose does) and waits for their callers to leave.
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    // Window thread. Replaces the parts given before.
    void Attach(QtWindowParts parts);

    // The close handler calls this first. From then on a box or chooser asked for by another
    // thread is answered at once (CloseAnswer; a chooser is cancelled), including those already
    // waiting or on screen, so the close never waits for a thread that waits for the window.
    // Boxes asked for on the window thread itself are still shown. Any thread.
    void BeginClose();
    bool Closing() const;
    void AnswerOtherThreadsAtOnce(bool on) override;

    // Window thread. Set, they answer boxes and choosers instead of real dialogs (GUI tests
    // answer from a script while the rest of the window is real). Empty restores the dialogs.
    void SetMessageBoxHandler(MessageBoxHandler handler);
    void SetFileChooserHandler(FileChooserHandler handler);

    // What a box answers when nobody can answer it: Cancel, No or Ok, whichever its buttons
    // offer first; Abort for Abort, Retry and Ignore.
    static MessageAnswer CloseAnswer(MessageButtons buttons);

    using Platform::MessageBox;
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& detail) override;
    void SetStatusText(int pane, const std::string& text) override;
    void CheckMenuItem(int command, bool checked) override;
    void SetWindowTitle(const std::string& title) override;
    void Invalidate() override;
    void PostCommand(int command) override;
    void PostClose() override;
    bool IsWindowThread() const override;
    bool ModalOpen() const override;

    void Sleep(std::uint32_t ms) override;
    void Tone(std::uint32_t hz, std::uint32_t ms) override;
    void PlaySystemSound(SystemSound sound) override;
    void SetWaitCursor(bool on) override;

    std::uint32_t TimeMs() override;
    TimerId StartTimer(std::int64_t periodNs, std::function<void()> callback) override;
    void KillTimer(TimerId id) override;

    FileChoice ChooseFile(const FileChooser& request) override;

    PixelSize DrawingArea() override;
    PixelSize ScreenSize() override;
    void SetCapture() override;
    void ReleaseCapture() override;

protected:
    // Window thread. The handlers above when set, otherwise a QMessageBox (texts as given,
    // plain text) and a non-native QFileDialog.
    virtual MessageAnswer ShowMessageBox(const std::string& text, MessageButtons buttons,
                                         MessageIcon icon, const std::string& detail);
    virtual FileChoice ShowFileChooser(const FileChooser& request);

private:
    struct Impl;
    template <class R, class Work> R CallOnWindowThread(Work work, R closeAnswer);
    void Post(std::function<void()> work);
    // At once on the window thread, else queued for it.
    void OnWindowThread(std::function<void()> work);
    // Gives every caller waiting for a box or chooser its fallback and closes those on screen.
    void GiveUpOtherThreads();
    void RunOne();
    MessageAnswer ShowBoxForOtherThread(const std::string& text, const std::string& detail,
                                        MessageButtons buttons, MessageIcon icon);

    std::unique_ptr<Impl> d_;
};

} // namespace telvo
