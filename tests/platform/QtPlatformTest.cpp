#include "platform/qt/QtPlatform.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace telvo {
namespace {

using namespace std::chrono_literals;

// Runs the window thread's event loop until pred holds or a generous limit passes.
template <class Pred> bool PumpUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return pred();
}

// Calls fn with the modal dialog of type T once it is on screen, from inside its event loop.
template <class T> void WhenModal(std::function<void(T*)> fn) {
    QTimer::singleShot(5, [fn] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            fn(dialog);
        } else {
            WhenModal<T>(fn);
        }
    });
}

struct CountingView : QWidget {
    std::atomic<int> paints{0};
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// A real main window with the parts the port acts on.
struct QtPlatformTest : ::testing::Test {
    QtPlatformTest() {
        main.setCentralWidget(view);
        for (QLabel*& p : panes) {
            main.statusBar()->addWidget(p = new QLabel);
        }
        live = main.menuBar()->addMenu(QStringLiteral("&Mode"))->addAction(QStringLiteral("&Live"));
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

// As the timeout's Stop does from the library's thread: each command runs on the window
// thread, in its thread's order, and sees the text its thread set before posting it. On the
// window thread a post waits for the loop too, and panes that do not exist are ignored; the
// drawing area's size read on another thread follows a resize.
TEST_F(QtPlatformTest, CallsFromOtherThreadsArriveInOrderOnTheWindowThread) {
    main.show();
    ASSERT_TRUE(PumpUntil([&] { return view->paints > 0; }));
    const int paints = view->paints;
    main.resize(main.width() + 60, 500); // the size read from other threads follows
    port.SetStatusText(3, "ignored");
    port.SetStatusText(-1, "ignored");
    constexpr int kThreads = 3, kEach = 300;
    std::vector<std::jthread> threads;
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
    threads.clear(); // joins them
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
    PixelSize there;
    std::thread([&] {
        port.Invalidate();
        there = port.DrawingArea();
    }).join();
    EXPECT_TRUE(PumpUntil([&] { return view->paints > painted; }));
    EXPECT_EQ(QSize(there.width, there.height), view->size());
    port.PostClose();
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(PumpUntil([&] { return closes == 1; }));
}

// A real box asked for by another thread, and one that BeginClose takes down from inside its own
// event loop (without it the box would stay up).
TEST_F(QtPlatformTest, RealBoxesShowTheTextAsTypedAndBeginCloseTakesThemDown) {
    WhenModal<QMessageBox>([this](QMessageBox* box) {
        EXPECT_TRUE(port.ModalOpen()) << "remote commands would reach the window under the box";
        EXPECT_EQ(box->text(), QStringLiteral("<b>Timeout</b> on suit KVX2"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << "never read as markup";
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Retry | QMessageBox::Cancel);
        box->button(QMessageBox::Retry)->click();
    });
    auto ask = [this] {
        auto answer = std::async(std::launch::async, [this] {
            return port.MessageBox("<b>Timeout</b> on suit KVX2", MessageButtons::RetryCancel,
                                   MessageIcon::Exclamation);
        });
        EXPECT_TRUE(PumpUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }));
        return answer.get();
    };
    EXPECT_EQ(ask(), MessageAnswer::Retry);
    WhenModal<QMessageBox>([&](QMessageBox*) { port.BeginClose(); });
    EXPECT_EQ(ask(), MessageAnswer::Cancel);
    EXPECT_TRUE(PumpUntil([this] { return !port.ModalOpen(); }));
}

// As a close that ends the library while its threads wait for boxes: once BeginClose is
// called every waiting thread gets its answer without the window thread handling another
// event, and no box is shown late.
TEST_F(QtPlatformTest, BeginCloseAnswersEveryThreadWaitingForABox) {
    std::atomic<int> shown{0};
    port.SetMessageBoxHandler([&](const std::string&, MessageButtons, MessageIcon) {
        ++shown;
        return MessageAnswer::Retry;
    });
    std::vector<std::jthread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int n = 0; n < 200; ++n) {
                port.MessageBox("Timeout", MessageButtons::RetryCancel, MessageIcon::None);
            }
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return shown > 100; }));
    port.BeginClose();
    const int atClose = shown; // boxes are shown on this thread, so none is half-way
    threads.clear();           // joins them
    // Later boxes and choosers from other threads never wait: a box nobody sees is dismissed.
    std::thread([&] {
        EXPECT_EQ(port.MessageBox("a", MessageButtons::YesNo, MessageIcon::None),
                  MessageAnswer::No);
        EXPECT_FALSE(port.ChooseFile(FileChooser{}).accepted);
    }).join();
    PumpUntil([] { return false; }, 50ms); // requests answered early and still queued are dropped
    EXPECT_EQ(shown.load(), atClose);
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

} // namespace
} // namespace telvo

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
