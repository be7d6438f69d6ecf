#include "platform/qt/QtPlatform.h"

#include "platform/Clock.h"
#include "platform/PeriodicTimer.h"
#include "platform/Tones.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace telvo {

namespace {

// A call another thread waits for. The window thread fills in the result, or BeginClose gives
// the fallback; whichever comes first wins, and the caller returns with it.
struct PendingCall {
    virtual ~PendingCall() = default;
    virtual void GiveUp() = 0;
    bool done = false;
};

template <class R> struct Pending final : PendingCall {
    explicit Pending(R fallbackAnswer) : result(fallbackAnswer), fallback(fallbackAnswer) {}
    void GiveUp() override {
        result = fallback;
        done = true;
    }
    R result;
    R fallback;
};

// Keeps the view's size readable from other threads without touching the widget there.
class SizeWatcher : public QObject {
public:
    SizeWatcher(std::atomic<int>& width, std::atomic<int>& height)
        : width_(width), height_(height) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            if (auto* w = qobject_cast<QWidget*>(watched)) {
                width_ = w->width();
                height_ = w->height();
            }
        }
        return false;
    }

private:
    std::atomic<int>& width_;
    std::atomic<int>& height_;
};

} // namespace

// Lives on the window thread; another thread wakes it with a queued call and the work itself
// travels through the port's own mutex-guarded queue, which ThreadSanitizer can see.
class QtPlatformWaker : public QObject {
    Q_OBJECT
public:
    explicit QtPlatformWaker(std::function<void()> run) : run_(std::move(run)) {}
public Q_SLOTS:
    void RunOne() { run_(); }

private:
    std::function<void()> run_;
};

struct QtPlatform::Impl {
    std::thread::id windowThread = std::this_thread::get_id();
    std::unique_ptr<QtPlatformWaker> waker;

    // Window thread only.
    QPointer<QMainWindow> window;
    std::array<QPointer<QLabel>, 3> panes;
    std::map<int, QPointer<QAction>> checkItems;
    QPointer<QWidget> view;
    std::function<void(int)> runCommand;
    std::function<void()> requestClose;
    MessageBoxHandler boxHandler;
    FileChooserHandler chooserHandler;
    bool waitCursor = false;
    bool nextDialogForOtherThread = false;
    std::vector<QPointer<QDialog>> otherThreadDialogs;

    // Shared with other threads.
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<std::function<void()>> queue;
    bool wakeScheduled = false;
    bool closing = false;
    bool answeringAtOnce = false;
    std::vector<std::shared_ptr<PendingCall>> waiting;
    int callersInside = 0;

    std::atomic<bool> repaintQueued{false};
    std::atomic<int> areaWidth{0};
    std::atomic<int> areaHeight{0};
    std::atomic<int> screenWidth{0};
    std::atomic<int> screenHeight{0};
    SizeWatcher sizeWatcher{areaWidth, areaHeight};

    Tones tones;
    TimerRegistry timers;

    // Needs the mutex.
    void ScheduleLocked() {
        QMetaObject::invokeMethod(waker.get(), "RunOne", Qt::QueuedConnection);
    }
};

QtPlatform::QtPlatform() : d_(std::make_unique<Impl>()) {
    d_->waker = std::make_unique<QtPlatformWaker>([this] { RunOne(); });
    ScreenSize();
}

QtPlatform::QtPlatform(QtWindowParts parts) : QtPlatform() {
    Attach(std::move(parts));
}

QtPlatform::~QtPlatform() {
    // Release whoever waits for a box first (a timer callback among them could otherwise never
    // be joined), then end the timers while everything their callbacks use is still there.
    BeginClose();
    d_->timers.KillAll();
    std::unique_lock lock(d_->mutex);
    d_->answered.wait(lock, [this] { return d_->callersInside == 0; });
}

void QtPlatform::Attach(QtWindowParts parts) {
    if (d_->view) {
        d_->view->removeEventFilter(&d_->sizeWatcher);
    }
    d_->window = parts.window;
    for (std::size_t i = 0; i < d_->panes.size(); ++i) {
        d_->panes[i] = parts.statusPanes[i];
    }
    d_->checkItems.clear();
    for (const auto& [command, action] : parts.checkItems) {
        d_->checkItems[command] = action;
    }
    d_->view = parts.view;
    d_->runCommand = std::move(parts.runCommand);
    d_->requestClose = std::move(parts.requestClose);
    if (d_->view) {
        d_->view->installEventFilter(&d_->sizeWatcher);
        d_->areaWidth = d_->view->width();
        d_->areaHeight = d_->view->height();
    }
}

void QtPlatform::BeginClose() {
    {
        std::lock_guard lock(d_->mutex);
        d_->closing = true;
    }
    GiveUpOtherThreads();
}

void QtPlatform::AnswerOtherThreadsAtOnce(bool on) {
    {
        std::lock_guard lock(d_->mutex);
        d_->answeringAtOnce = on;
    }
    if (on) {
        GiveUpOtherThreads();
    }
}

void QtPlatform::GiveUpOtherThreads() {
    {
        std::lock_guard lock(d_->mutex);
        for (const auto& call : d_->waiting) {
            if (!call->done) {
                call->GiveUp();
            }
        }
    }
    d_->answered.notify_all();
    auto closeDialogs = [this] {
        // Their callers have their answers already; what the dialogs return is dropped.
        for (const QPointer<QDialog>& dialog : d_->otherThreadDialogs) {
            if (dialog) {
                dialog->reject();
            }
        }
    };
    OnWindowThread(std::move(closeDialogs));
}

bool QtPlatform::Closing() const {
    std::lock_guard lock(d_->mutex);
    return d_->closing;
}

void QtPlatform::SetMessageBoxHandler(MessageBoxHandler handler) {
    d_->boxHandler = std::move(handler);
}

void QtPlatform::SetFileChooserHandler(FileChooserHandler handler) {
    d_->chooserHandler = std::move(handler);
}

MessageAnswer QtPlatform::CloseAnswer(MessageButtons buttons) {
    return DismissAnswer(buttons);
}

void QtPlatform::OnWindowThread(std::function<void()> work) {
    if (IsWindowThread()) {
        work();
    } else {
        Post(std::move(work));
    }
}

void QtPlatform::Post(std::function<void()> work) {
    std::lock_guard lock(d_->mutex);
    d_->queue.push_back(std::move(work));
    if (!d_->wakeScheduled) {
        d_->wakeScheduled = true;
        d_->ScheduleLocked();
    }
}

// One item per wake-up: when an item runs a nested event loop (a message box), the items
// behind it still run, in order, inside that loop, as posted messages do under a modal box.
void QtPlatform::RunOne() {
    std::function<void()> work;
    {
        std::lock_guard lock(d_->mutex);
        if (d_->queue.empty()) {
            d_->wakeScheduled = false;
            return;
        }
        work = std::move(d_->queue.front());
        d_->queue.pop_front();
        if (d_->queue.empty()) {
            d_->wakeScheduled = false;
        } else {
            d_->ScheduleLocked();
        }
    }
    work();
}

template <class R, class Work> R QtPlatform::CallOnWindowThread(Work work, R closeAnswer) {
    auto call = std::make_shared<Pending<R>>(closeAnswer);
    std::unique_lock lock(d_->mutex);
    if (d_->closing || d_->answeringAtOnce) {
        return closeAnswer;
    }
    d_->waiting.push_back(call);
    ++d_->callersInside;
    d_->queue.push_back([this, call, work = std::move(work)]() mutable {
        {
            std::lock_guard inner(d_->mutex);
            if (call->done) {
                return; // answered by BeginClose before it came up
            }
        }
        R result = work();
        {
            std::lock_guard inner(d_->mutex);
            if (!call->done) {
                call->result = std::move(result);
                call->done = true;
            }
        }
        d_->answered.notify_all();
    });
    if (!d_->wakeScheduled) {
        d_->wakeScheduled = true;
        d_->ScheduleLocked();
    }
    d_->answered.wait(lock, [&] { return call->done; });
    d_->waiting.erase(std::remove(d_->waiting.begin(), d_->waiting.end(), call), d_->waiting.end());
    --d_->callersInside;
    // Under the lock: once it is released a destructor waiting for the last caller may run.
    d_->answered.notify_all();
    return call->result;
}

MessageAnswer QtPlatform::MessageBox(const std::string& text, MessageButtons buttons,
                                     MessageIcon icon, const std::string& detail) {
    if (IsWindowThread()) {
        return ShowMessageBox(text, buttons, icon, detail);
    }
    return CallOnWindowThread<MessageAnswer>(
        [this, text, detail, buttons, icon] {
            return ShowBoxForOtherThread(text, detail, buttons, icon);
        },
        CloseAnswer(buttons));
}

MessageAnswer QtPlatform::ShowBoxForOtherThread(const std::string& text, const std::string& detail,
                                                MessageButtons buttons, MessageIcon icon) {
    d_->nextDialogForOtherThread = true;
    const MessageAnswer answer = ShowMessageBox(text, buttons, icon, detail);
    d_->nextDialogForOtherThread = false;
    return answer;
}

MessageAnswer QtPlatform::ShowMessageBox(const std::string& text, MessageButtons buttons,
                                         MessageIcon icon, const std::string& detail) {
    const bool forOtherThread = std::exchange(d_->nextDialogForOtherThread, false);
    if (d_->boxHandler) {
        return d_->boxHandler(text, buttons, icon);
    }
    return RunMessageBox(d_->window, text, buttons, icon, detail,
                         forOtherThread ? &d_->otherThreadDialogs : nullptr);
}
void QtPlatform::SetStatusText(int pane, const std::string& text) {
    if (pane < 0 || pane >= static_cast<int>(d_->panes.size())) {
        return;
    }
    auto apply = [this, pane, text] {
        if (QLabel* label = d_->panes[static_cast<std::size_t>(pane)]) {
            // Painted with the next update: the view sets panes from inside its own paint,
            // where an immediate repaint would recurse. Sleep shows them before it blocks.
            label->setText(ToQt(text));
        }
    };
    OnWindowThread(std::move(apply));
}

void QtPlatform::CheckMenuItem(int command, bool checked) {
    auto apply = [this, command, checked] {
        auto it = d_->checkItems.find(command);
        if (it == d_->checkItems.end() || !it->second) {
            return;
        }
        it->second->setCheckable(true);
        it->second->setChecked(checked);
    };
    OnWindowThread(std::move(apply));
}

void QtPlatform::SetWindowTitle(const std::string& title) {
    auto apply = [this, title] {
        if (d_->window) {
            d_->window->setWindowTitle(ToQt(title));
        }
    };
    OnWindowThread(std::move(apply));
}

void QtPlatform::Invalidate() {
    if (IsWindowThread()) {
        if (d_->view) {
            d_->view->update();
        }
        return;
    }
    // One queued repaint is enough however many threads ask; a repaint already queued
    // will draw whatever they wanted shown.
    if (d_->repaintQueued.exchange(true)) {
        return;
    }
    Post([this] {
        d_->repaintQueued = false;
        if (d_->view) {
            d_->view->update();
        }
    });
}

void QtPlatform::PostCommand(int command) {
    Post([this, command] {
        if (d_->runCommand) {
            d_->runCommand(command);
        }
    });
}

void QtPlatform::PostClose() {
    Post([this] {
        if (d_->requestClose) {
            d_->requestClose();
        } else if (d_->window) {
            d_->window->close();
        }
    });
}

bool QtPlatform::IsWindowThread() const {
    return std::this_thread::get_id() == d_->windowThread;
}

bool QtPlatform::ModalOpen() const {
    return QApplication::activeModalWidget() != nullptr;
}

void QtPlatform::Sleep(std::uint32_t ms) {
    if (IsWindowThread()) {
        // A count-down blocks this thread right after setting its text: show it first.
        for (const QPointer<QLabel>& label : d_->panes) {
            if (label) {
                label->repaint();
            }
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void QtPlatform::Tone(std::uint32_t hz, std::uint32_t ms) {
    d_->tones.Tone(hz, ms);
}

void QtPlatform::PlaySystemSound(SystemSound sound) {
    d_->tones.Play(sound);
}

void QtPlatform::SetWaitCursor(bool on) {
    auto apply = [this, on] {
        if (on && !d_->waitCursor) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            d_->waitCursor = true;
        } else if (!on && d_->waitCursor) {
            QApplication::restoreOverrideCursor();
            d_->waitCursor = false;
        }
    };
    OnWindowThread(std::move(apply));
}

std::uint32_t QtPlatform::TimeMs() {
    return ClockMs();
}

TimerId QtPlatform::StartTimer(std::int64_t periodNs, std::function<void()> callback) {
    return d_->timers.Start(periodNs, std::move(callback));
}

void QtPlatform::KillTimer(TimerId id) {
    d_->timers.Kill(id);
}

FileChoice QtPlatform::ShowFileChooser(const FileChooser& request) {
    const bool forOtherThread = std::exchange(d_->nextDialogForOtherThread, false);
    if (d_->chooserHandler) {
        return d_->chooserHandler(request);
    }
    return RunFileChooser(d_->window, request, forOtherThread ? &d_->otherThreadDialogs : nullptr);
}

FileChoice QtPlatform::ChooseFile(const FileChooser& request) {
    if (IsWindowThread()) {
        return ShowFileChooser(request);
    }
    FileChoice cancelled;
    cancelled.selectedFilter = request.selectedFilter;
    return CallOnWindowThread<FileChoice>(
        [this, request] {
            d_->nextDialogForOtherThread = true;
            FileChoice choice = ShowFileChooser(request);
            d_->nextDialogForOtherThread = false;
            return choice;
        },
        cancelled);
}

PixelSize QtPlatform::DrawingArea() {
    if (IsWindowThread() && d_->view) {
        d_->areaWidth = d_->view->width();
        d_->areaHeight = d_->view->height();
    }
    return PixelSize{d_->areaWidth.load(), d_->areaHeight.load()};
}

PixelSize QtPlatform::ScreenSize() {
    if (IsWindowThread()) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            d_->screenWidth = screen->size().width();
            d_->screenHeight = screen->size().height();
        }
    }
    return PixelSize{d_->screenWidth.load(), d_->screenHeight.load()};
}

void QtPlatform::SetCapture() {
    auto apply = [this] {
        if (d_->view) {
            d_->view->grabMouse();
        }
    };
    OnWindowThread(std::move(apply));
}

void QtPlatform::ReleaseCapture() {
    auto apply = [this] {
        if (d_->view) {
            d_->view->releaseMouse();
        }
    };
    OnWindowThread(std::move(apply));
}

} // namespace telvo

#include "QtPlatform.moc"
