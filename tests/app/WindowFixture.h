#pragma once

#include "app/MainFrame.h"
#include "app/Settings.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"
#include "platform/PrivateProfile.h"
#include "platform/qt/QtPlatform.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace telvo::testing {

// One QApplication for the whole test program, on the offscreen platform.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "telvoview_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* made = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("TelvoView"));
        return made;
    }();
    return *app;
}

// Lets the event loop run until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(1);
    }
    return true;
}

// Acts on modal dialogs as they come up, in order: each step takes the next modal widget not
// handled before. Polls from the event loop, so it runs inside the dialog's own exec().
class ModalScript {
public:
    using Step = std::function<void(QWidget* dialog)>;

    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    void Then(Step step) { steps_.push_back(std::move(step)); }
    bool Done() const { return steps_.empty(); }
    int Handled() const { return handled_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (steps_.empty() || modal == nullptr || modal->property("scripted").toBool()) {
            return;
        }
        modal->setProperty("scripted", true);
        Step step = std::move(steps_.front());
        steps_.pop_front();
        ++handled_;
        step(modal);
    }

    QTimer timer_;
    std::deque<Step> steps_;
    int handled_ = 0;
};

struct ShownBox {
    std::string text;
    MessageButtons buttons;
    MessageIcon icon;
};

// A fresh program state, a settings folder of its own and the simulated suit on its manual
// clock; the window is real, its message boxes answered from a script.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        Settings.Reset();
        Engine.Reset();
        Server.Reset();
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
    }

    void TearDown() override {
        if (frame) {
            frame->close();
            frame.reset();
        }
        QCoreApplication::processEvents();
        sim::Reset();
    }

    // The settings file of the window, before it starts.
    void WriteSettings(const std::string& text) {
        PrivateProfile profile(dir.path() / SettingsFileName);
        profile.Parse(text);
        ASSERT_TRUE(profile.Save());
    }

    std::string ReadSetting(const char* key) {
        PrivateProfile profile(dir.path() / SettingsFileName);
        EXPECT_TRUE(profile.Load());
        return profile.Find(SettingsSection, key).value_or("<missing>");
    }

    CMainFrame& Make(MainFrameOptions options = {}) {
        options.configFolder = dir.path();
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->Port().SetMessageBoxHandler(
            [this](const std::string& text, MessageButtons buttons, MessageIcon icon) {
                std::lock_guard lock(boxMutex);
                boxes.push_back({text, buttons, icon});
                if (onBox) {
                    return onBox(text, buttons);
                }
                if (!answers.empty()) {
                    MessageAnswer answer = answers.front();
                    answers.pop_front();
                    return answer;
                }
                return QtPlatform::CloseAnswer(buttons);
            });
        return *frame;
    }

    // Makes, creates and shows the window as the program's start does.
    CMainFrame& Start(MainFrameOptions options = {}) {
        CMainFrame& made = Make(std::move(options));
        EXPECT_TRUE(made.Create());
        made.showNormal();
        // A close posted by the creation may take the window away again meanwhile.
        EXPECT_TRUE(WaitFor([&made] {
            return made.Closed() || (made.windowHandle() && made.windowHandle()->isExposed());
        }));
        QCoreApplication::processEvents();
        return made;
    }

    bool Checked(int command) const { return frame->Action(command)->isChecked(); }

    std::vector<std::string> BoxTexts() {
        std::lock_guard lock(boxMutex);
        std::vector<std::string> texts;
        for (const ShownBox& box : boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }

    TempDir dir;
    std::unique_ptr<CMainFrame> frame;
    std::mutex boxMutex;
    std::vector<ShownBox> boxes;
    std::deque<MessageAnswer> answers;
    std::function<MessageAnswer(const std::string&, MessageButtons)> onBox;
};

} // namespace telvo::testing
