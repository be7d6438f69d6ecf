#pragma once

#include <QMainWindow>

#include <array>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

class QAction;
class QLabel;

namespace telvo {

class CNoSuitsDetected;
class CViewWidget;
class QtPlatform;

struct MainFrameOptions {
    // Where "Telvoria.ini" is read and written.
    std::filesystem::path configFolder;
    // The motion file named on the command line (at most 259 characters), or empty.
    std::string commandLineFile;
    // A command-line name refused for its length; reported at creation.
    std::string refusedCommandLineFile;
};

// The main window: menus, accelerators, the three-pane status bar and the view. Creation
// (Create) loads the settings and starts the suit library; the close handler ends it and saves
// the settings. Every command arrives at OnCommand.
class CMainFrame : public QMainWindow {
public:
    explicit CMainFrame(MainFrameOptions options, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The creation handler. False when the window cannot be used (the program then ends);
    // a failed library start still succeeds and closes the window through the close handler.
    bool Create();

    // Runs one command on the window thread, as its menu item or accelerator does.
    void OnCommand(int command);

    // SIGTERM and SIGINT: close as the close box does, also while a box is open or the
    // window is still being created.
    void CloseFromSignal();

    QtPlatform& Port() { return *platform_; }
    QAction* Action(int command) const;
    QLabel* Pane(int index) const { return panes_.at(static_cast<std::size_t>(index)); }
    CViewWidget* View() const { return view_; }
    std::filesystem::path SettingsPath() const;
    // The close handler has run (it runs once).
    bool Closed() const { return closed_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A file dropped on the window opens as a file named on the command line does.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void BuildStatusBar();
    void LoadSettingsFile();
    void SaveSettingsFile();
    // The start-up search with its prompt; false when the user chose Abort.
    bool FindSuitsOrAsk();
    void RunCloseHandler();
    void OpenCommandLineFile();

    void Toggle(std::atomic<int>& flag);
    void ToggleSuitFlag(int bit);
    void OnAbout();
    void OnBvhFileOptions();
    // Front, Right Side and Top View, Center View and Center Sequence.
    void OnViewCommand(int command);

    MainFrameOptions options_;
    std::unique_ptr<QtPlatform> platform_;
    CViewWidget* view_ = nullptr;
    std::array<QLabel*, 3> panes_{};
    std::map<int, QAction*> actions_;
    CNoSuitsDetected* prompt_ = nullptr; // while the start-up prompt is open
    bool creating_ = false;
    bool closeRequested_ = false; // a close arrived while creating
    bool closed_ = false;
    bool confirming_ = false; // the close asks about unsaved work
    bool insist_ = false;     // a signal came while it asked: close without saving
    bool fitPending_ = false; // the creation's Center View waits for the shown window
};

} // namespace telvo
