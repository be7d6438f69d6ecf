#pragma once

#include "app/MainFrame.h"
#include "core/Settings.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"
#include "platform/PrivateProfile.h"
#include "platform/qt/QtPlatform.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telvo::testing {

// One QApplication for the whole test program.
inline void App() {
    static int argc = 1;
    static char name[] = "telvoview_tests";
    static char* argv[] = {name, nullptr};
    [[maybe_unused]] static QApplication* app = new QApplication(argc, argv); // never ended
}

// Acts on modal dialogs as they come up, one step each, from inside their own exec().
class ModalScript : QTimer {
public:
    ModalScript() {
        connect(this, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!steps_.empty() && modal != nullptr && !modal->property("scripted").toBool()) {
                modal->setProperty("scripted", true);
                auto step = std::move(steps_.front());
                steps_.pop_front();
                step(modal);
            }
        });
    }
    void Then(std::function<void(QWidget*)> step) {
        steps_.push_back(std::move(step));
        start(5);
    }
    bool Done() const { return steps_.empty(); }

private:
    std::deque<std::function<void(QWidget*)>> steps_;
};

// Fresh program state, a settings folder of its own, the simulated suit on its manual clock,
// and the real window whose message boxes are answered here.
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
        sim::Reset();
    }

    void WriteSettings(const std::string& text) { WriteAll(dir.path() / SettingsFileName, text); }
    std::string ReadSetting(const char* key) {
        return GetPrivateProfileString(SettingsSection, key, "<missing>", 260,
                                       dir.path() / SettingsFileName);
    }

    CMainFrame& Make(MainFrameOptions options = {}) {
        options.configFolder = dir.path();
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->Port().SetMessageBoxHandler(
            [this](const std::string& text, MessageButtons buttons, MessageIcon) {
                boxes.push_back(text);
                return onBox ? onBox(text, buttons) : QtPlatform::CloseAnswer(buttons);
            });
        return *frame;
    }
    // Creates and shows the window as the program's start does.
    CMainFrame& Start(MainFrameOptions options = {}) {
        CMainFrame& made = Make(std::move(options));
        EXPECT_TRUE(made.Create());
        made.showNormal();
        // A close posted by the creation may take the window away again meanwhile.
        EXPECT_TRUE(QTest::qWaitFor([&made] {
            return made.Closed() || (made.windowHandle() && made.windowHandle()->isExposed());
        }));
        return made;
    }
    bool Checked(int command) const { return frame->Action(command)->isChecked(); }
    // A dialog's control by its resource number.
    template <typename W = QLineEdit> static W* Control(QWidget* dialog, int id) {
        return dialog->findChild<W*>(QString::number(id));
    }
    static void Click(QWidget* dialog, int id) { Control<QAbstractButton>(dialog, id)->click(); }
    // A dialog's part by its object name.
    template <typename W> static W* Named(QWidget* dialog, const char* name) {
        return dialog->findChild<W*>(QString::fromLatin1(name));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(frame.get(), key, modifiers);
    }
    // Presses the key of a modal dialog and does the step inside it.
    void Dialog(Qt::Key key, std::function<void(QWidget*)> step) {
        script.Then(std::move(step));
        Key(key);
    }

    TempDir dir;
    ModalScript script;
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::string> boxes; // texts of the boxes shown, all on the window thread
    std::function<MessageAnswer(const std::string&, MessageButtons)> onBox;
};

} // namespace telvo::testing
