#include "platform/qt/QtPlatform.h"

#include "base/ConfigFolder.h"
#include "platform/Clock.h"
#include "platform/PeriodicTimer.h"
#include "platform/Tones.h"

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

const char* const kApplicationName = "TelvoView";

QString ToQt(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString PathToQt(const std::string& s) {
    return QFile::decodeName(QByteArray(s.data(), static_cast<qsizetype>(s.size())));
}

std::string PathFromQt(const QString& s) {
    const QByteArray bytes = QFile::encodeName(s);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString WithoutDot(const std::string& extension) {
    QString s = ToQt(extension);
    while (s.startsWith(QLatin1Char('.'))) {
        s.remove(0, 1);
    }
    return s;
}

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

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

// The first button is the default, as the platform's own boxes have it.
QMessageBox::StandardButton FirstButton(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return QMessageBox::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry;
    case MessageButtons::AbortRetryIgnore:
        return QMessageBox::Abort;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

std::optional<MessageAnswer> FromQt(QMessageBox::StandardButton b) {
    switch (b) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Abort:
        return MessageAnswer::Abort;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Ignore:
        return MessageAnswer::Ignore;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return std::nullopt;
    }
}

// Qt's own chooser, refusing before it closes what the request rules out: a folder that does
// not exist, and on save a file that exists read-only (the library would refuse to replace it).
class RequestFileDialog : public QFileDialog {
public:
    RequestFileDialog(QWidget* parent, const FileChooser& request)
        : QFileDialog(parent), request_(request) {}

    void accept() override {
        const QFileInfo info(selectedFiles().value(0));
        if (!info.filePath().isEmpty() && !info.isDir()) {
            if (request_.pathMustExist && !info.absoluteDir().exists()) {
                Refuse(QStringLiteral("%1\nThe folder does not exist.").arg(info.path()));
                return;
            }
            const bool writable =
                info.isWritable() && (info.permissions() & (QFile::WriteOwner | QFile::WriteGroup |
                                                            QFile::WriteOther)) != 0;
            if (request_.mode == FileChooser::Mode::Save && request_.refuseReadOnly &&
                info.exists() && !writable) {
                Refuse(QStringLiteral("%1\nThis file is read-only.\nChoose another name.")
                           .arg(info.fileName()));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    void Refuse(const QString& text) { QMessageBox::warning(this, windowTitle(), text); }

    const FileChooser& request_;
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
    if (IsWindowThread()) {
        closeDialogs();
    } else {
        Post(closeDialogs);
    }
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
    QMessageBox box(ToQt(icon), QString::fromLatin1(kApplicationName), QString(), ToQt(buttons),
                    d_->window);
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQt(text));
    if (!detail.empty()) {
        box.setDetailedText(ToQt(detail));
    }
    box.setDefaultButton(FirstButton(buttons));
    if (forOtherThread) {
        d_->otherThreadDialogs.emplace_back(&box);
    }
    box.exec();
    std::erase_if(d_->otherThreadDialogs,
                  [&](const QPointer<QDialog>& p) { return p.isNull() || p.data() == &box; });
    if (QAbstractButton* clicked = box.clickedButton()) {
        if (auto answer = FromQt(box.standardButton(clicked))) {
            return *answer;
        }
    }
    return CloseAnswer(buttons);
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
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
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
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
}

void QtPlatform::SetWindowTitle(const std::string& title) {
    auto apply = [this, title] {
        if (d_->window) {
            d_->window->setWindowTitle(ToQt(title));
        }
    };
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
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
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
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

FileChoice QtPlatform::ShowFileChooser(const FileChooser& request) {
    const bool forOtherThread = std::exchange(d_->nextDialogForOtherThread, false);
    if (d_->chooserHandler) {
        return d_->chooserHandler(request);
    }
    FileChoice choice;
    choice.selectedFilter = request.selectedFilter;

    RequestFileDialog dialog(d_->window, request);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The list shows each description as given ("All files (*.*)"); the patterns Qt filters
    // by follow it unseen.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const bool save = request.mode == FileChooser::Mode::Save;
    dialog.setWindowTitle(save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && request.fileMustExist ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
    if (save && !request.confirmOverwrite) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }

    QStringList filters;
    QStringList shown; // what the list shows of each: the text before the patterns
    for (const FileFilter& f : request.filters) {
        filters << ToQt(QtNameFilter(f));
        shown << filters.back().left(filters.back().lastIndexOf(QStringLiteral(" ("))).simplified();
    }
    // Qt names an entry by its full filter or by its shown text, depending on its version.
    auto entryOf = [&filters, &shown](const QString& text) {
        const qsizetype full = filters.indexOf(text);
        return static_cast<int>(full >= 0 ? full : shown.indexOf(text.simplified())) + 1;
    };
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype selected =
            std::clamp<qsizetype>(request.selectedFilter, 1, filters.size()) - 1;
        dialog.selectNameFilter(filters[selected]);
    }
    dialog.setDefaultSuffix(WithoutDot(request.defaultExtension));

    const QString name = PathToQt(request.initialName);
    if (name.contains(QLatin1Char('/'))) {
        const QFileInfo info(name);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else {
        if (!request.initialDirectory.empty()) {
            dialog.setDirectory(PathToQt(request.initialDirectory));
        }
        if (!name.isEmpty()) {
            dialog.selectFile(name);
        }
    }

    if (request.onTypeChange) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &entryOf, &request](const QString& filter) {
                             const int entry = entryOf(filter);
                             if (entry < 1) {
                                 return;
                             }
                             auto* edit =
                                 dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                             const QString typed =
                                 edit ? edit->text() : dialog.selectedFiles().value(0);
                             QString full;
                             if (!typed.isEmpty()) {
                                 full = QFileInfo(typed).isAbsolute()
                                            ? typed
                                            : dialog.directory().absoluteFilePath(typed);
                             }
                             const std::string before = PathFromQt(full);
                             std::string newName = before;
                             std::string extension = request.defaultExtension;
                             request.onTypeChange(entry, newName, extension);
                             if (newName != before) {
                                 if (edit) {
                                     edit->setText(PathToQt(newName));
                                 } else {
                                     dialog.selectFile(PathToQt(newName));
                                 }
                             }
                             dialog.setDefaultSuffix(WithoutDot(extension));
                         });
    }

    if (forOtherThread) {
        d_->otherThreadDialogs.emplace_back(&dialog);
    }
    const int result = dialog.exec();
    std::erase_if(d_->otherThreadDialogs,
                  [&](const QPointer<QDialog>& p) { return p.isNull() || p.data() == &dialog; });
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return choice;
    }
    choice.accepted = true;
    choice.path = PathFromQt(dialog.selectedFiles().value(0));
    const int entry = entryOf(dialog.selectedNameFilter());
    if (entry >= 1) {
        choice.selectedFilter = entry;
    }
    return choice;
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
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
}

void QtPlatform::ReleaseCapture() {
    auto apply = [this] {
        if (d_->view) {
            d_->view->releaseMouse();
        }
    };
    if (IsWindowThread()) {
        apply();
    } else {
        Post(std::move(apply));
    }
}

std::string QtNameFilter(const FileFilter& filter) {
    QStringList patterns;
    for (QString p : ToQt(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*")) {
            p = QStringLiteral("*");
        }
        if (!p.isEmpty()) {
            patterns << p;
        }
    }
    if (patterns.isEmpty()) {
        patterns << QStringLiteral("*");
    }
    QString description = ToQt(filter.description).trimmed();
    if (description.isEmpty()) {
        description = patterns.join(QLatin1Char(' '));
    }
    const QByteArray utf8 =
        (description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'))
            .toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

std::filesystem::path SettingsFile(std::string* error) {
    std::filesystem::path folder = ConfigFolder(error);
    if (folder.empty()) {
        return {};
    }
    return folder / "Telvoria.ini";
}

} // namespace telvo

#include "QtPlatform.moc"
