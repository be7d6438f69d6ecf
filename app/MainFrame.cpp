#include "MainFrame.h"

#include "AppIcon.h"
#include "CommandTable.h"
#include "ViewWidget.h"
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Toggles.h"
#include "dialogs/AboutBox.h"
#include "dialogs/BVHFileOptions.h"
#include "dialogs/InputOptions.h"
#include "dialogs/NoSuitsDetected.h"
#include "dialogs/TrackerOptions.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/SuitOptions.h"
#include "platform/PrivateProfile.h"
#include "platform/qt/QtPlatform.h"
#include "server/LocalIPDialog.h"
#include "server/ServerCommands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProxyStyle>
#include <QScreen>
#include <QStatusBar>
#include <QStyleOptionMenuItem>

#include <cmath>
#include <mutex>
#include <system_error>

namespace telvo {

namespace {

constexpr int StatusBarId = 59393;

// A menu item shows its check mark when on and nothing when off, not an empty box.
class CheckMarkStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuItem && item != nullptr && !item->checked &&
            item->checkType != QStyleOptionMenuItem::NotCheckable) {
            QStyleOptionMenuItem unmarked(*item);
            unmarked.checkType = QStyleOptionMenuItem::NotCheckable;
            QProxyStyle::drawControl(element, &unmarked, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

CMainFrame::CMainFrame(MainFrameOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setWindowTitle(QStringLiteral("TelvoView"));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_QuitOnClose);
    setAcceptDrops(true);

    view_ = new CViewWidget(this);
    setCentralWidget(view_);
    BuildMenus();
    BuildStatusBar();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize();
        resize(std::min(1024, available.width() * 3 / 4),
               std::min(768, available.height() * 3 / 4));
    } else {
        resize(1024, 768);
    }

    QtWindowParts parts;
    parts.window = this;
    parts.statusPanes = panes_;
    for (const auto& [command, action] : actions_) {
        if (action->isCheckable()) {
            parts.checkItems[command] = action;
        }
    }
    parts.view = view_;
    parts.runCommand = [this](int command) { OnCommand(command); };
    parts.requestClose = [this] { close(); };
    platform_ = std::make_unique<QtPlatform>(std::move(parts));

    // Accelerators are matched before any widget sees the key, as a message loop translates
    // them; see eventFilter.
    qApp->installEventFilter(this);
    view_->setFocus();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    Platform* mine = platform_.get();
    Engine.MainWindow.compare_exchange_strong(mine, nullptr);
}

void CMainFrame::BuildMenus() {
    for (const MenuDefinition& menu : MenuBar()) {
        QMenu* dropDown = menuBar()->addMenu(QString::fromLatin1(menu.title));
        auto* style = new CheckMarkStyle;
        style->setParent(dropDown);
        dropDown->setStyle(style);
        for (const MenuEntry& entry : menu.entries) {
            if (entry.command == 0) {
                dropDown->addSeparator();
                continue;
            }
            QAction* action = dropDown->addAction(QString::fromLatin1(entry.text));
            action->setCheckable(entry.checkable);
            // The label after the tab only shows the key: the accelerator table acts on it.
            const int command = entry.command;
            connect(action, &QAction::triggered, this, [this, action, command](bool checked) {
                // Marks follow the program's state only; the handler sets them again.
                if (action->isCheckable()) {
                    action->setChecked(!checked);
                }
                OnCommand(command);
            });
            actions_[command] = action;
        }
    }
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("status%1").arg(StatusBarId));
    bar->setSizeGripEnabled(true);
    const int widths[3] = {360, 100, 220};
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("pane%1").arg(i));
        pane->setFrameStyle(QFrame::Panel | QFrame::Raised);
        pane->setLineWidth(1);
        pane->setMargin(1);
        pane->setTextFormat(Qt::PlainText);
        if (i == 1) {
            pane->setMinimumWidth(widths[i]);
        } else {
            pane->setFixedWidth(widths[i]);
        }
        // Permanent, so that a menu's status tip never hides the panes.
        bar->addPermanentWidget(pane, i == 1 ? 1 : 0);
        panes_[i] = pane;
    }
}

QAction* CMainFrame::Action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

std::filesystem::path CMainFrame::SettingsPath() const {
    return options_.configFolder / SettingsFileName;
}

void CMainFrame::LoadSettingsFile() {
    if (options_.configFolder.empty()) {
        return;
    }
    PrivateProfile profile(SettingsPath());
    // An unreadable file gives the defaults, as a missing one does.
    profile.Load();
    LoadSettings(Settings, profile);
}

void CMainFrame::SaveSettingsFile() {
    if (options_.configFolder.empty()) {
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(options_.configFolder, ec);
    PrivateProfile profile(SettingsPath());
    // Keep the file's other sections and keys. A file that exists but cannot be read is
    // left alone rather than replaced by one holding only this section.
    if (!profile.Load()) {
        return;
    }
    StoreSettings(Settings, profile);
    profile.Save();
}

bool CMainFrame::Create() {
    creating_ = true;
    struct Done {
        CMainFrame* frame;
        ~Done() {
            frame->creating_ = false;
            if (frame->closeRequested_) {
                frame->platform_->PostClose();
            }
        }
    } done{this};

    // The library's foot geometry and flags are the defaults of the settings read next.
    float foot[4] = {};
    GyroGetBVHFoot(&foot[0], &foot[1], &foot[2], &foot[3]);
    Settings.FootLength = foot[0];
    Settings.HeelWidth = foot[1];
    Settings.BallWidth = foot[2];
    Settings.FootShortenOutside = foot[3];
    Settings.SuitFlags = GyroGetFlags(0);

    LoadSettingsFile();

    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame = Frame{};
    }

    if (GyroInit() == 0) {
        platform_->MessageBox("Error initializing KVX suit", MessageButtons::Ok,
                              MessageIcon::Exclamation);
        platform_->PostClose();
        return true;
    }

    Engine.MainWindow = platform_.get();

    if (Settings.LookForSuitOnStartup != 0) {
        if (!FindSuitsOrAsk()) {
            platform_->PostClose();
            return true;
        }
        const GyroHandle suit = GyroOpen(nullptr, FrameCallback, SuitTimeoutCallback);
        Engine.SuitHandle = suit;
        if (suit != 0) {
            GyroSetFlags(suit, Settings.SuitFlags);
            GyroEnableMarkerTracking(suit, Settings.EnableTracking);
        }
    }

    const GyroHandle suit = Engine.SuitHandle;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        GyroInitSkeleton(&Engine.Skeleton);
        // A rate of zero or less would give an endless frame period and a playback timer
        // that never ticks; the suits' native rate stands in.
        const float rate = GyroGetFrameRate(suit);
        Engine.Skeleton.FramePeriod =
            rate > 0.0f && std::isfinite(rate) ? 1.0f / rate : 1.0f / 120.0f;
    }
    Engine.ContactPointIndices = GyroGetContactPointIndexArray(&Engine.ContactPointCount);
    GyroGetActorData(suit, &Engine.ActorData);

    if (Settings.Autoload != 0 && Settings.CurrentActorFile[0] != '\0') {
        ReadCurrentActorFile();
    }
    GyroSetBVHFoot(Settings.FootLength, Settings.HeelWidth, Settings.BallWidth,
                   Settings.FootShortenOutside);

    UpdateMenuState();
    // Until the window is shown the view has a placeholder size; a fit now would show the
    // figure tiny. The command-line file and the fit wait for the laid-out window (showEvent).
    fitPending_ = true;
    return true;
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (fitPending_) {
        fitPending_ = false;
        // The command-line file is read once the window is up, so that its box comes over
        // the window instead of alone before it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!closed_) {
                    OpenCommandLineFile();
                    OnViewCommand(CmdCenterView);
                }
            },
            Qt::QueuedConnection);
    }
}

void CMainFrame::OpenCommandLineFile() {
    if (!options_.refusedCommandLineFile.empty()) {
        platform_->MessageBox(
            "The file named on the command line is longer than 259 characters and was not "
            "opened:\n" +
                options_.refusedCommandLineFile,
            MessageButtons::Ok, MessageIcon::Exclamation);
    } else if (!options_.commandLineFile.empty() &&
               SetPath(Settings.CurrentFile, options_.commandLineFile)) {
        Settings.CurrentFileType = 0;
        ReadCurrentMotionFile();
    }
}

bool CMainFrame::FindSuitsOrAsk() {
    while (GyroFindSuits() < 1) {
        CNoSuitsDetected prompt;
        prompt.SetDontLookForSuits(Settings.LookForSuitOnStartup == 0);
        prompt_ = &prompt;
        const int answer = prompt.exec();
        prompt_ = nullptr;
        if (closeRequested_) {
            // A signal ended the prompt: leave as Abort would, the setting as it was.
            return false;
        }
        Settings.LookForSuitOnStartup = prompt.m_dontLookForSuits != 0 ? 0 : 1;
        if (answer == CNoSuitsDetected::Abort) {
            return false;
        }
        if (answer == CNoSuitsDetected::Ignore) {
            break;
        }
    }
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (creating_) {
        // Inside a box of the creation: the close handler runs once creation has ended.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    if (!closed_) {
        if (confirming_) {
            event->ignore(); // a close while the close's own prompt is up
            return;
        }
        // A take or measurements that cannot be saved keep the window open, unless a second
        // signal insists.
        confirming_ = true;
        const bool go = insist_ || (SaveTakePrompt() && (insist_ || SaveActorChangesPrompt()));
        confirming_ = false;
        if (!go && !insist_) {
            event->ignore();
            return;
        }
        closed_ = true;
        RunCloseHandler();
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::RunCloseHandler() {
    // No box another thread asks for may hold up the steps below (GyroFinish waits for the
    // library's threads); boxes of this thread are still shown.
    platform_->BeginClose();
    if (const TimerId timer = Engine.PlaybackTimerId.exchange(0)) {
        platform_->KillTimer(timer);
    }
    Engine.SuitHandle = 0;
    GyroFinish();
    {
        std::lock_guard lock(Engine.RecordingMutex);
        GyroFreeSkeletonFrames(&Engine.Skeleton);
    }
    SaveSettingsFile();
}

void CMainFrame::CloseFromSignal() {
    if (creating_) {
        closeRequested_ = true;
        if (prompt_ != nullptr) {
            prompt_->reject();
        } else if (QWidget* box = QApplication::activeModalWidget()) {
            // A box of the creation (a file that cannot be read, say) would otherwise hold
            // the close until someone dismisses it.
            box->close();
        }
        return;
    }
    if (confirming_) {
        // The close asks about unsaved work and a signal comes again: close without it.
        insist_ = true;
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
        return;
    }
    close();
    if (closed_ && QApplication::activeModalWidget() != nullptr) {
        // A box was open: the settings are saved, so leave its loop and the program.
        QCoreApplication::exit(0);
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this || QApplication::activePopupWidget() ||
        QApplication::activeModalWidget()) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const int command = FindAccelerator(key->key(), key->modifiers(), key->text());
    if (command == 0) {
        return false;
    }
    OnCommand(command);
    return true;
}

void CMainFrame::Toggle(std::atomic<int>& flag) {
    flag = flag.load() == 0 ? 1 : 0;
    UpdateMenuState();
}

void CMainFrame::ToggleSuitFlag(int bit) {
    const int flags = Settings.SuitFlags.load() ^ bit;
    Settings.SuitFlags = flags;
    GyroSetFlags(Engine.SuitHandle, flags);
    UpdateMenuState();
}

void CMainFrame::OnAbout() {
    CAboutBox about(this);
    OnStop();
    about.exec();
}

void CMainFrame::OnBvhFileOptions() {
    CBVHFileOptions options(*platform_, this);
    OnStop();
    options.m_footLength = Settings.FootLength;
    options.m_heelWidth = Settings.HeelWidth;
    options.m_ballWidth = Settings.BallWidth;
    options.m_shortenOutside = Settings.FootShortenOutside;
    if (options.exec() != QDialog::Accepted) {
        return;
    }
    Settings.FootLength = options.m_footLength;
    Settings.HeelWidth = options.m_heelWidth;
    Settings.BallWidth = options.m_ballWidth;
    Settings.FootShortenOutside = options.m_shortenOutside;
    GyroSetBVHFoot(Settings.FootLength, Settings.HeelWidth, Settings.BallWidth,
                   Settings.FootShortenOutside);
}

namespace {

// The first local file of a drop; none when the drop holds no local file.
QString DroppedFile(const QMimeData* data) {
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

} // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!closed_ && !DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (closed_ || file.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // The source waits for the drop to end; the file is opened after it, as a command is.
    const QByteArray path = QFile::encodeName(file);
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (!closed_) {
                OpenDroppedFile(
                    std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
            }
        },
        Qt::QueuedConnection);
}

void CMainFrame::OnCommand(int command) {
    if (closed_) {
        // A switch or a client posted it before the close: the library has ended since.
        return;
    }
    if (const SettingToggle* toggle = FindCommand(SettingToggles, command)) {
        if (command == CmdUseSwitches) {
            // The first switch reading after the change is compared against no switch held.
            Engine.PreviousAux = 0;
        }
        Toggle(Settings.*toggle->flag);
        return;
    }
    if (const SuitFlagToggle* toggle = FindCommand(SuitFlagToggles, command)) {
        ToggleSuitFlag(toggle->bit);
        return;
    }
    if (const RenderChoice* choice = FindCommand(RenderChoices, command)) {
        Settings.RenderType = static_cast<int>(choice->type);
        UpdateMenuState();
        return;
    }
    // Commands whose handler needs nothing of the window.
    static constexpr struct {
        int command;
        void (*handler)();
    } plain[] = {
        {CmdOpen, OnOpen},
        {CmdSaveAs, OnSaveAs},
        {CmdLoadActorFile, OnLoadActorFile},
        {CmdReloadLastActorFile, OnReloadLastActorFile},
        {CmdStoreActorFile, OnStoreActorFile},
        {CmdLoadDefaultActorData, OnLoadDefaultActorData},
        {CmdEnableTracking, OnEnableTracking},
        {CmdStop, OnStop},
        {CmdPlay, OnPlay},
        {CmdPauseStep, OnPauseStep},
        {CmdStepBackwards, OnStepBackwards},
        {CmdRecord, OnRecord},
        {CmdLive, OnLive},
        {CmdSetNorth, OnSetNorth},
    };
    for (const auto& entry : plain) {
        if (entry.command == command) {
            entry.handler();
            return;
        }
    }
    switch (command) {
    case CmdAbout:
        OnAbout();
        break;
    case CmdExit:
        close();
        break;
    case CmdEnableServer:
        OnEnableServer(this);
        break;
    case CmdInputOptions:
        OnInputOptions(*platform_, this);
        break;
    case CmdTrackerOptions:
        // The tracker's file lives beside the program's settings.
        OnTrackerOptions(*platform_, this, SettingsPath().parent_path() / "Vexomark.ini");
        break;
    case CmdBvhFileOptions:
        OnBvhFileOptions();
        break;
    case CmdFrontView:
    case CmdRightSideView:
    case CmdTopView:
    case CmdCenterView:
    case CmdCenterSequence:
        OnViewCommand(command);
        break;

    case CmdDecreasePlaybackRate:
    case CmdIncreasePlaybackRate:
    case CmdNormalPlaybackRate:
        OnPlaybackRate(command);
        break;
    case CmdRightMotor:
    case CmdRightLed:
    case CmdLeftMotor:
    case CmdLeftLed:
    case CmdChestMotor:
        OnMotorLed(command);
        break;

    case CmdRemoteCommand:
        RunRemoteCommand(*platform_, [this](int remote) { OnCommand(remote); });
        break;
    default:
        break; // not a command
    }
}

} // namespace telvo
