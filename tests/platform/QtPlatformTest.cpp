#include "platform/qt/QtPlatform.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Runs the window thread's event loop until pred holds or a generous limit passes.
template <class Pred> bool PumpUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class CountingView : public QWidget {
public:
    std::atomic<int> paints{0};

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// A real main window with the parts the port acts on.
struct Window {
    QMainWindow main;
    QLabel* panes[3];
    QAction* live;
    CountingView* view;
    // Each command with the text its pane had when it ran: pane (command / 10000) % 3.
    std::vector<std::pair<int, std::string>> commands;
    std::vector<bool> onWindowThread;
    int closes = 0;

    Window() {
        view = new CountingView;
        main.setCentralWidget(view);
        for (QLabel*& p : panes) {
            p = new QLabel;
            main.statusBar()->addWidget(p);
        }
        live = main.menuBar()->addMenu(QStringLiteral("&Mode"))->addAction(QStringLiteral("&Live"));
        main.resize(640, 480);
    }

    QtWindowParts Parts(std::thread::id windowThread) {
        QtWindowParts parts;
        parts.window = &main;
        parts.statusPanes = {panes[0], panes[1], panes[2]};
        parts.checkItems[32858] = live;
        parts.view = view;
        parts.runCommand = [this, windowThread](int c) {
            commands.emplace_back(c, panes[(c / 10000) % 3]->text().toStdString());
            onWindowThread.push_back(std::this_thread::get_id() == windowThread);
        };
        parts.requestClose = [this] { ++closes; };
        return parts;
    }
};

class QtPlatformTest : public ::testing::Test {
protected:
    Window w;
    QtPlatform port{w.Parts(std::this_thread::get_id())};
};

TEST_F(QtPlatformTest, CallsOnTheWindowThreadActAtOnce) {
    EXPECT_TRUE(port.IsWindowThread());
    port.SetStatusText(2, "Display:  30.0 FPS, Offline");
    port.SetStatusText(3, "ignored");
    port.SetStatusText(-1, "ignored");
    EXPECT_EQ(w.panes[2]->text(), QStringLiteral("Display:  30.0 FPS, Offline"));
    port.CheckMenuItem(32858, true);
    EXPECT_TRUE(w.live->isChecked());
    port.CheckMenuItem(99999, true); // not a check item: nothing happens
    port.SetWindowTitle("TelvoView - walk.bvh");
    EXPECT_EQ(w.main.windowTitle(), QStringLiteral("TelvoView - walk.bvh"));

    // A posted command waits for the event loop even on the window thread.
    port.PostCommand(32842);
    EXPECT_TRUE(w.commands.empty());
    ASSERT_TRUE(PumpUntil([&] { return w.commands.size() == 1; }));
    port.PostClose();
    ASSERT_TRUE(PumpUntil([&] { return w.closes == 1; }));
}

// The timeout's Stop sets texts, check marks and the title and posts from the library's
// thread: each command must run on the window thread, in order, and see what its thread set
// before posting it.
TEST_F(QtPlatformTest, CallsFromManyThreadsArriveInOrderOnTheWindowThread) {
    constexpr int kThreads = 3;
    constexpr int kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            EXPECT_FALSE(port.IsWindowThread());
            for (int n = 0; n < kEach; ++n) {
                port.SetStatusText(t, std::to_string(n));
                port.PostCommand(t * 10000 + n);
                port.Invalidate();
                port.CheckMenuItem(32858, n % 2 == 0);
            }
            port.SetWindowTitle("TelvoView - done");
        });
    }
    // Meanwhile the window thread keeps handling events, as it would.
    ASSERT_TRUE(PumpUntil([&] { return w.commands.size() == kThreads * kEach; }));
    for (auto& th : threads) {
        th.join();
    }
    std::vector<int> last(kThreads, -1);
    for (std::size_t i = 0; i < w.commands.size(); ++i) {
        const auto& [c, pane] = w.commands[i];
        const auto t = static_cast<std::size_t>(c / 10000);
        ASSERT_EQ(c % 10000, last[t] + 1) << "thread " << t << " out of order";
        last[t] = c % 10000;
        EXPECT_EQ(pane, std::to_string(last[t])) << "the text set before the post came after";
        EXPECT_TRUE(w.onWindowThread[i]);
    }
    ASSERT_TRUE(
        PumpUntil([&] { return w.main.windowTitle() == QStringLiteral("TelvoView - done"); }));
}

TEST_F(QtPlatformTest, RepaintRequestedFromAnotherThreadReachesTheView) {
    w.main.show();
    ASSERT_TRUE(PumpUntil([&] { return w.view->paints > 0; }));
    const int before = w.view->paints;
    std::thread([&] {
        for (int i = 0; i < 1000; ++i) {
            port.Invalidate();
        }
    }).join();
    ASSERT_TRUE(PumpUntil([&] { return w.view->paints > before; }));
}

// Calls fn with the modal dialog of type T once it is on screen.
template <class T> void WhenModal(std::function<void(T*)> fn) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(dialog);
        }
    });
    timer->start(5);
}

TEST_F(QtPlatformTest, RealBoxShowsTheTextAsGivenAndReturnsTheButtonPressed) {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool plain = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        // Shown as typed, never read as markup.
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            plain = label->textFormat() == Qt::PlainText;
        }
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Retry)->click();
    });
    auto answer = std::async(std::launch::async, [&] {
        return port.MessageBox("<b>Timeout</b> on suit KVX2", MessageButtons::RetryCancel,
                               MessageIcon::Exclamation);
    });
    ASSERT_TRUE(PumpUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(answer.get(), MessageAnswer::Retry);
    EXPECT_EQ(text, QStringLiteral("<b>Timeout</b> on suit KVX2"));
    EXPECT_TRUE(plain);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Retry | QMessageBox::Cancel);

    // On the window thread itself: Escape is the box's Cancel.
    WhenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
    EXPECT_EQ(port.MessageBox("Couldn't start playback timer", MessageButtons::OkCancel,
                              MessageIcon::None),
              MessageAnswer::Cancel);
}

TEST_F(QtPlatformTest, BeginCloseClosesABoxOnScreenForAnotherThread) {
    // The close request arrives while the box is up (inside its event loop).
    bool boxWasUp = false;
    WhenModal<QMessageBox>([&](QMessageBox*) {
        boxWasUp = true;
        port.BeginClose();
    });
    auto pending = std::async(std::launch::async, [&] {
        return port.MessageBox("Timeout on suit KVX1", MessageButtons::RetryCancel,
                               MessageIcon::Exclamation);
    });
    ASSERT_TRUE(PumpUntil([&] { return pending.wait_for(0s) == std::future_status::ready; }));
    EXPECT_TRUE(boxWasUp);
    EXPECT_EQ(pending.get(), MessageAnswer::Cancel);
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeModalWidget() == nullptr; }));
}

// Threads of the library asking boxes while the window closes: once BeginClose is called,
// every one of them gets its answer without the window thread handling another event (as in
// a close that ends the library while its threads wait for boxes), and none is shown late.
TEST_F(QtPlatformTest, BeginCloseAnswersEveryThreadWaitingForABox) {
    std::atomic<bool> closed{false};
    std::atomic<int> shownAfterClose{0};
    std::atomic<int> shown{0};
    port.SetMessageBoxHandler([&](const std::string&, MessageButtons, MessageIcon) {
        ++shown;
        if (closed) {
            ++shownAfterClose;
        }
        return MessageAnswer::Retry;
    });
    constexpr int kThreads = 6;
    std::atomic<int> finished{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < 200; ++n) {
                port.SetStatusText(1, "thread " + std::to_string(t));
                port.PostCommand(n);
                const MessageAnswer a =
                    port.MessageBox("Timeout", MessageButtons::RetryCancel, MessageIcon::None);
                if (a != MessageAnswer::Retry && a != MessageAnswer::Cancel) {
                    ++wrong;
                }
            }
            ++finished;
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return shown > 100; }));
    port.BeginClose();
    closed = true;
    EXPECT_TRUE(port.Closing());
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(finished.load(), kThreads);
    EXPECT_EQ(wrong.load(), 0);

    // Later boxes and choosers from other threads never wait: a box nobody sees is dismissed.
    std::thread([&] {
        EXPECT_EQ(port.MessageBox("a", MessageButtons::YesNo, MessageIcon::None),
                  DismissAnswer(MessageButtons::YesNo));
        EXPECT_FALSE(port.ChooseFile(FileChooser{}).accepted);
    }).join();
    PumpUntil([] { return false; }, 50ms); // queued requests answered early are dropped
    EXPECT_EQ(shownAfterClose.load(), 0);
    // The close handler's own prompt on the window thread is still asked.
    EXPECT_EQ(port.MessageBox("Actor data has changed.", MessageButtons::YesNo, MessageIcon::None),
              MessageAnswer::Retry);
    EXPECT_EQ(shownAfterClose.load(), 1);
}

TEST(QtPlatformLifetime, DestroyingThePortReleasesWaitingCallers) {
    std::future<MessageAnswer> pending;
    std::atomic<int> timerAsked{0};
    {
        QtPlatform port;
        pending = std::async(std::launch::async, [&] {
            return port.MessageBox("x", MessageButtons::YesNo, MessageIcon::None);
        });
        // A timer whose callback waits for a box: it must be released before it is joined.
        port.StartTimer(1'000'000, [&] {
            port.MessageBox("y", MessageButtons::Ok, MessageIcon::None);
            ++timerAsked;
        });
        std::this_thread::sleep_for(30ms);
    }
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(pending.get(), MessageAnswer::No);
    EXPECT_GE(timerAsked.load(), 1);
    QCoreApplication::processEvents(); // the dropped wake-ups find nothing
}

TEST_F(QtPlatformTest, FileChooserTakesFiltersNamesAndTypeChanges) {
    TempDir dir;
    const std::string folder = dir.path().string();
    std::ofstream(dir.path() / "walk.bvh") << "x";

    FileChooser req;
    req.mode = FileChooser::Mode::Save;
    req.filters = {{"BVH file (*.bvh)", "*.bvh"},
                   {"Telvoria Recording file (*.tl)", "*.tl"},
                   {"SIMI file (*.txt)", "*.txt"}};
    req.defaultExtension = ".bvh";
    req.initialName = folder + "/walk.bvh";
    req.selectedFilter = 1;
    std::vector<int> entries;
    req.onTypeChange = [&](int entry, std::string& name, std::string& ext) {
        entries.push_back(entry);
        const auto base = std::filesystem::path(name).stem().string();
        name = base + (entry == 2 ? ".tl" : ".txt");
        ext = entry == 2 ? "gr" : "sim";
    };

    int seenFilters = 0;
    QString seenName;
    QString seenDir;
    QString nameAfterChange;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        seenFilters = static_cast<int>(dialog->nameFilters().size());
        seenDir = dialog->directory().absolutePath();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_TRUE(edit && combo);
        seenName = edit->text();
        // The user picks the recording type.
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        emit combo->textActivated(combo->itemText(1));
        nameAfterChange = edit->text();
        // Then types a name without extension: the new default extension is added.
        edit->setText(QStringLiteral("take"));
        static_cast<QDialog*>(dialog)->accept(); // as the Save button does
    });

    const FileChoice choice = port.ChooseFile(req);
    EXPECT_EQ(seenFilters, 3); // in the chooser's form: QtNameFilter
    EXPECT_EQ(seenName, QStringLiteral("walk.bvh"));
    EXPECT_EQ(seenDir, QDir(QString::fromStdString(folder)).absolutePath());
    EXPECT_EQ(entries, std::vector<int>{2});
    EXPECT_EQ(nameAfterChange, QStringLiteral("walk.tl"));
    ASSERT_TRUE(choice.accepted);
    EXPECT_EQ(choice.selectedFilter, 2);
    EXPECT_EQ(std::filesystem::path(choice.path),
              std::filesystem::canonical(dir.path()) / "take.gr");
}

TEST(QtNameFilter, PatternsInTheFormTheChooserParses) {
    EXPECT_EQ(QtNameFilter({"BVH file (*.bvh)", "*.bvh"}), "BVH file (*.bvh)");
    EXPECT_EQ(QtNameFilter({"All files (*.*)", "*.*"}), "All files (*)");
    EXPECT_EQ(QtNameFilter({"Motion (*.bvh;*.tl)", "*.bvh;*.tl"}), "Motion (*.bvh *.tl)");
    EXPECT_EQ(QtNameFilter({"Coordinates", "*.crd"}), "Coordinates (*.crd)");
    EXPECT_EQ(QtNameFilter({"", ""}), "* (*)");
}

TEST_F(QtPlatformTest, SizesAreReadableFromAnyThread) {
    w.main.show();
    ASSERT_TRUE(PumpUntil([&] { return w.view->width() > 0; }));
    const PixelSize here = port.DrawingArea();
    EXPECT_EQ(here.width, w.view->width());
    EXPECT_EQ(here.height, w.view->height());
    w.main.resize(700, 500);
    ASSERT_TRUE(PumpUntil([&] { return w.view->width() != here.width; }));
    PixelSize there;
    std::thread([&] { there = port.DrawingArea(); }).join();
    EXPECT_EQ(there.width, w.view->width());
    EXPECT_EQ(there.height, w.view->height());
    const PixelSize screen = port.ScreenSize();
    EXPECT_GT(screen.width, 0);
    EXPECT_GT(screen.height, 0);
}

TEST(ConfigFolder, MadeUnderTheUsersConfigurationWithTheProgramsName) {
    TempDir home;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(QString::fromStdString(home.path().string())));
    std::string error;
    const auto folder = ConfigFolder(&error);
    EXPECT_EQ(folder, home.path() / "TelvoView") << error;
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(SettingsFile(), folder / "Telvoria.ini");

    // A file where the folder should be: a clear reason, no path.
    std::filesystem::remove_all(folder);
    std::ofstream(home.path() / "TelvoView") << "not a folder";
    EXPECT_TRUE(ConfigFolder(&error).empty());
    EXPECT_NE(error.find("TelvoView"), std::string::npos);
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
} // namespace telvo

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
