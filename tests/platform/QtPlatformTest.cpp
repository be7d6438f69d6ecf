#include "platform/qt/QtPlatform.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
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

template <class T> bool Ready(std::future<T>& f) {
    return f.wait_for(0s) == std::future_status::ready;
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

class CountingView : public QWidget {
public:
    std::atomic<int> paints{0};

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// A real main window with the parts the port acts on.
class QtPlatformTest : public ::testing::Test {
protected:
    QtPlatformTest() {
        main.setCentralWidget(view);
        for (QLabel*& p : panes) {
            main.statusBar()->addWidget(p = new QLabel);
        }
        live = main.menuBar()->addMenu(QStringLiteral("&Mode"))->addAction(QStringLiteral("&Live"));
        main.resize(640, 480);
        port.Attach({&main,
                     {panes[0], panes[1], panes[2]},
                     {{32858, live}},
                     view,
                     [this, windowThread = std::this_thread::get_id()](int c) {
                         EXPECT_EQ(std::this_thread::get_id(), windowThread);
                         commands.emplace_back(c, panes[c / 10000 % 3]->text().toStdString());
                     },
                     [this] { ++closes; }});
    }

    QMainWindow main;
    QLabel* panes[3];
    QAction* live;
    CountingView* view = new CountingView;
    // Each command with the text of pane (command / 10000) % 3 when it ran.
    std::vector<std::pair<int, std::string>> commands;
    int closes = 0;
    QtPlatform port;
};

// Setting texts, marks and titles here is the window's own tests' business.
TEST_F(QtPlatformTest, OnTheWindowThreadSettersActAtOnceAndPostsWaitForTheLoop) {
    port.SetStatusText(2, "Display:  30.0 FPS, Offline");
    port.SetStatusText(3, "ignored");
    port.SetStatusText(-1, "ignored");
    port.CheckMenuItem(99999, true); // not a check item
    EXPECT_EQ(panes[2]->text(), QStringLiteral("Display:  30.0 FPS, Offline"));
    port.PostCommand(32842);
    port.PostClose();
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(PumpUntil([&] { return commands.size() == 1 && closes == 1; }));
}

// As the timeout's Stop does from the library's thread: each command runs on the window
// thread, in its thread's order, and sees the text its thread set before posting it.
TEST_F(QtPlatformTest, CallsFromOtherThreadsArriveInOrderOnTheWindowThread) {
    main.show();
    ASSERT_TRUE(PumpUntil([&] { return view->paints > 0; }));
    const int paints = view->paints;
    constexpr int kThreads = 3;
    constexpr int kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kEach; ++n) {
                port.SetStatusText(t, std::to_string(n));
                port.PostCommand(t * 10000 + n);
                port.Invalidate();
                port.CheckMenuItem(32858, n % 2 == 0);
            }
            port.CheckMenuItem(32858, true);
            port.SetWindowTitle("TelvoView - done");
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return commands.size() == kThreads * kEach; }));
    for (auto& th : threads) {
        th.join();
    }
    std::vector<int> last(kThreads, -1);
    for (const auto& [c, pane] : commands) {
        const int t = c / 10000;
        ASSERT_EQ(c % 10000, ++last[t]) << "thread " << t << " out of order";
        EXPECT_EQ(pane, std::to_string(last[t])) << "the text set before the post came after";
    }
    EXPECT_TRUE(
        PumpUntil([&] { return main.windowTitle() == "TelvoView - done" && live->isChecked(); }));
    ASSERT_TRUE(PumpUntil([&] { return view->paints > paints; }));
    // And once that repaint is done, the next request repaints again.
    const int painted = view->paints;
    std::thread([&] { port.Invalidate(); }).join();
    EXPECT_TRUE(PumpUntil([&] { return view->paints > painted; }));
}

TEST_F(QtPlatformTest, RealBoxShowsTheTextAsTypedAndReturnsTheButtonPressed) {
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), QStringLiteral("<b>Timeout</b> on suit KVX2"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << "never read as markup";
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Retry | QMessageBox::Cancel);
        box->button(QMessageBox::Retry)->click();
    });
    auto answer = std::async(std::launch::async, [&] {
        return port.MessageBox("<b>Timeout</b> on suit KVX2", MessageButtons::RetryCancel,
                               MessageIcon::Exclamation);
    });
    ASSERT_TRUE(PumpUntil([&] { return Ready(answer); }));
    EXPECT_EQ(answer.get(), MessageAnswer::Retry);

    // On the window thread itself: Escape is the box's Cancel.
    WhenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
    EXPECT_EQ(port.MessageBox("Couldn't start playback timer", MessageButtons::OkCancel,
                              MessageIcon::None),
              MessageAnswer::Cancel);
}

TEST_F(QtPlatformTest, BeginCloseClosesABoxOnScreenForAnotherThread) {
    // Called inside the box's own event loop; without it the box would stay up.
    WhenModal<QMessageBox>([&](QMessageBox*) { port.BeginClose(); });
    auto pending = std::async(std::launch::async, [&] {
        return port.MessageBox("Timeout on suit KVX1", MessageButtons::RetryCancel,
                               MessageIcon::Exclamation);
    });
    ASSERT_TRUE(PumpUntil([&] { return Ready(pending); }));
    EXPECT_EQ(pending.get(), MessageAnswer::Cancel);
    EXPECT_TRUE(PumpUntil([] { return QApplication::activeModalWidget() == nullptr; }));
}

// As a close that ends the library while its threads wait for boxes: once BeginClose is
// called every waiting thread gets its answer without the window thread handling another
// event, and no box is shown late.
TEST_F(QtPlatformTest, BeginCloseAnswersEveryThreadWaitingForABox) {
    std::atomic<bool> closed{false};
    std::atomic<int> shown{0};
    std::atomic<int> shownAfterClose{0};
    port.SetMessageBoxHandler([&](const std::string&, MessageButtons, MessageIcon) {
        ++shown;
        shownAfterClose += closed ? 1 : 0;
        return MessageAnswer::Retry;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int n = 0; n < 200; ++n) {
                const MessageAnswer a =
                    port.MessageBox("Timeout", MessageButtons::RetryCancel, MessageIcon::None);
                EXPECT_TRUE(a == MessageAnswer::Retry || a == MessageAnswer::Cancel);
            }
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return shown > 100; }));
    port.BeginClose();
    closed = true;
    EXPECT_TRUE(port.Closing());
    for (auto& th : threads) {
        th.join();
    }
    // Later boxes and choosers from other threads never wait: a box nobody sees is dismissed.
    std::thread([&] {
        EXPECT_EQ(port.MessageBox("a", MessageButtons::YesNo, MessageIcon::None),
                  MessageAnswer::No);
        EXPECT_FALSE(port.ChooseFile(FileChooser{}).accepted);
    }).join();
    PumpUntil([] { return false; }, 50ms); // requests answered early and still queued are dropped
    EXPECT_EQ(shownAfterClose.load(), 0);
    // The close handler's own prompt on the window thread is still asked.
    EXPECT_EQ(port.MessageBox("Actor data has changed.", MessageButtons::YesNo, MessageIcon::None),
              MessageAnswer::Retry);
}

TEST(QtPlatformLifetime, DestroyingThePortReleasesWaitingCallers) {
    std::future<MessageAnswer> pending;
    std::atomic<int> timerAsked{0};
    {
        QtPlatform port;
        pending = std::async(std::launch::async, [&] {
            return port.MessageBox("x", MessageButtons::YesNo, MessageIcon::None);
        });
        // A timer whose callback waits for a box: released before it is joined.
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
    std::ofstream(dir.path() / "walk.bvh") << "x";
    FileChooser req;
    req.mode = FileChooser::Mode::Save;
    req.filters = {{"BVH file (*.bvh)", "*.bvh"},
                   {"Telvoria Recording file (*.tl)", "*.tl"},
                   {"SIMI file (*.txt)", "*.txt"}};
    req.defaultExtension = ".bvh";
    req.initialName = (dir.path() / "walk.bvh").string();
    req.selectedFilter = 1;
    req.onTypeChange = [](int entry, std::string& name, std::string& ext) {
        EXPECT_EQ(entry, 2);
        name = std::filesystem::path(name).stem().string() + ".tl";
        ext = "gr";
    };
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_TRUE(edit && combo);
        EXPECT_EQ(edit->text(), QStringLiteral("walk.bvh"));
        // The user picks the recording type, then types a name without extension.
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        emit combo->textActivated(combo->itemText(1));
        EXPECT_EQ(edit->text(), QStringLiteral("walk.tl"));
        edit->setText(QStringLiteral("take"));
        static_cast<QDialog*>(dialog)->accept(); // as the Save button does
    });
    const FileChoice choice = port.ChooseFile(req);
    ASSERT_TRUE(choice.accepted);
    EXPECT_EQ(choice.selectedFilter, 2);
    // In the initial name's folder, with the new default extension added to the typed name.
    EXPECT_EQ(std::filesystem::path(choice.path),
              std::filesystem::canonical(dir.path()) / "take.gr");
}

TEST(QtNameFilter, PatternsInTheFormTheChooserParses) {
    const std::pair<FileFilter, std::string> cases[] = {
        {{"BVH file (*.bvh)", "*.bvh"}, "BVH file (*.bvh)"},
        {{"All files (*.*)", "*.*"}, "All files (*)"},
        {{"Motion (*.bvh;*.tl)", "*.bvh;*.tl"}, "Motion (*.bvh *.tl)"},
        {{"Coordinates", "*.crd"}, "Coordinates (*.crd)"},
        {{"", ""}, "* (*)"}};
    for (const auto& [filter, qt] : cases) {
        EXPECT_EQ(QtNameFilter(filter), qt);
    }
}

TEST_F(QtPlatformTest, DrawingAreaIsReadableFromAnyThread) {
    main.show();
    ASSERT_TRUE(PumpUntil([&] { return view->width() > 0; }));
    const int before = view->width();
    EXPECT_EQ(port.DrawingArea().width, before);
    main.resize(700, 500);
    ASSERT_TRUE(PumpUntil([&] { return view->width() != before; }));
    PixelSize there;
    std::thread([&] { there = port.DrawingArea(); }).join();
    EXPECT_EQ(there.width, view->width());
    EXPECT_EQ(there.height, view->height());
    EXPECT_GT(port.ScreenSize().width, 0);
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

    // A file where the folder should be: the reason names it, and no path is given.
    std::filesystem::remove_all(folder);
    std::ofstream(home.path() / "TelvoView") << "not a folder";
    EXPECT_TRUE(ConfigFolder(&error).empty());
    EXPECT_EQ(error, "Cannot create the configuration folder " + folder.string() + ".");
    qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
} // namespace telvo

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
