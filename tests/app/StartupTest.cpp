// Start-up and close of the real main window: the settings file, the library's start, the
// no-suits prompt, the command line and the signals that close the window.
#include "WindowFixture.h"

#include "app/Application.h"
#include "app/CommandIds.h"
#include "app/SignalRelay.h"
#include "dialogs/NoSuitsDetected.h"
#include "engine/Engine.h"

#include <QCheckBox>
#include <QPushButton>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

namespace telvo::testing {
namespace {

std::vector<std::string> KeysOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> keys;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[GyroSuit]";
        } else if (inSection && line.find('=') != std::string::npos) {
            keys.push_back(line.substr(0, line.find('=')));
        }
    }
    return keys;
}

std::vector<std::string> AllKeys() {
    std::vector<std::string> keys;
    for (const SettingKey& key : SettingKeys) {
        keys.emplace_back(key.name);
        if (keys.back() == "SuitFlags") {
            keys.emplace_back("EnableTracking");
        }
    }
    return keys;
}

CNoSuitsDetected* Prompt(QWidget* dialog) {
    auto* prompt = dynamic_cast<CNoSuitsDetected*>(dialog);
    EXPECT_NE(prompt, nullptr) << "the modal dialog is not the no-suits prompt";
    return prompt;
}

void Click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

QCheckBox* Box(QWidget* dialog) {
    return dialog->findChild<QCheckBox*>(QStringLiteral("check"));
}

using StartUp = WindowTest;

TEST_F(StartUp, CloseWritesAll38KeysAndKeepsOtherSections) {
    WriteSettings("[Other]\nkept=yes\n[GyroSuit]\nShowGrid=0\nEnableTracking=1\n");
    Start();
    EXPECT_EQ(Engine.MainWindow.load(), &frame->Port());
    EXPECT_NE(Engine.SuitHandle.load(), 0);
    // Tracking starts off whatever the file says.
    EXPECT_EQ(Settings.EnableTracking.load(), 0);
    EXPECT_FALSE(Checked(CmdShowGrid));
    QTest::keyClick(frame.get(), Qt::Key_G);

    frame->close();
    EXPECT_TRUE(frame->Closed());
    EXPECT_EQ(sim::OpenSuitCount(), 0) << "the library still has a suit open after close";
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    // Keys the file had keep their places; the others follow in table order.
    std::vector<std::string> keys = KeysOf(frame->SettingsPath());
    std::vector<std::string> expected = AllKeys();
    EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 2),
              (std::vector<std::string>{"ShowGrid", "EnableTracking"}));
    std::sort(keys.begin(), keys.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(ReadSetting("ShowGrid"), "1");
    EXPECT_EQ(ReadSetting("EnableTracking"), "0");
    EXPECT_EQ(ReadSetting("CurrentActorFile"), "");
    PrivateProfile profile(frame->SettingsPath());
    ASSERT_TRUE(profile.Load());
    EXPECT_EQ(profile.Find("Other", "kept").value_or(""), "yes");
}

TEST_F(StartUp, FailedLibraryStartStillClosesThroughTheCloseHandler) {
    sim::SetInitFails(true);
    Start();
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Error initializing KVX suit"});
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(Engine.MainWindow.load(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return frame->Closed(); })) << "the posted close never ran";
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(KeysOf(frame->SettingsPath()), AllKeys()); // a fresh file: table order
}

TEST_F(StartUp, NotLookingForSuitsOpensNoneAndAsksNothing) {
    WriteSettings("[GyroSuit]\nLookForSuitOnStartup=0\n");
    sim::SetSuits({});
    Start();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    EXPECT_FALSE(Checked(CmdLookForSuitsOnStartup));
    EXPECT_GT(Engine.Skeleton.FramePeriod, 0.0f);
    EXPECT_FALSE(frame->Closed());
}

// The box starts unchecked; checked and Abort: the program ends and remembers not to look.
TEST_F(StartUp, AbortWithTheBoxCheckedClosesAndSavesLookingOff) {
    sim::SetSuits({});
    ModalScript script;
    script.Then([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("No KVX Suits Detected"));
        ASSERT_NE(Box(dialog), nullptr);
        EXPECT_FALSE(Box(dialog)->isChecked());
        Box(dialog)->setChecked(true);
        Click(dialog, "abort");
    });
    Start();
    EXPECT_TRUE(script.Done());
    ASSERT_TRUE(WaitFor([&] { return frame->Closed(); }));
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "0");
}

// Retry with the box checked searches again with the setting already off; the next prompt
// shows the box checked; Escape there keeps the setting whatever the box shows.
TEST_F(StartUp, RetryTakesTheBoxAndEscapeLeavesTheSetting) {
    sim::SetSuits({});
    ModalScript script;
    script.Then([](QWidget* dialog) {
        Box(dialog)->setChecked(true);
        Click(dialog, "retry");
    });
    script.Then([](QWidget* dialog) {
        EXPECT_TRUE(Box(dialog)->isChecked());
        EXPECT_EQ(Settings.LookForSuitOnStartup.load(), 0);
        Box(dialog)->setChecked(false);
        sim::SetSuits({sim::SuitSpec{}});
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Start();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Handled(), 2);
    EXPECT_EQ(Settings.LookForSuitOnStartup.load(), 0);
    EXPECT_FALSE(Checked(CmdLookForSuitsOnStartup));
    EXPECT_NE(Engine.SuitHandle.load(), 0) << "the suit found on the second search was not opened";
    frame->close();
    EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "0");
}

TEST_F(StartUp, IgnoreGoesOnWithoutASuit) {
    sim::SetSuits({});
    ModalScript script;
    script.Then([](QWidget* dialog) {
        ASSERT_NE(Prompt(dialog), nullptr);
        Click(dialog, "ignore");
    });
    Start();
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(frame->Closed());
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    EXPECT_EQ(Settings.LookForSuitOnStartup.load(), 1);
    EXPECT_TRUE(Checked(CmdLookForSuitsOnStartup));
    EXPECT_TRUE(Checked(CmdStop));
}

TEST(NoSuitsPrompt, CloseBoxIsCancelAndKeepsTheValue) {
    App();
    CNoSuitsDetected prompt;
    prompt.SetDontLookForSuits(false);
    ModalScript script;
    script.Then([](QWidget* dialog) {
        Box(dialog)->setChecked(true);
        dialog->close();
    });
    EXPECT_EQ(prompt.exec(), CNoSuitsDetected::Cancel);
    EXPECT_EQ(prompt.m_dontLookForSuits, 0);
}

TEST_F(StartUp, SigtermDuringThePromptEndsTheProgramWithSettingsSaved) {
    sim::SetSuits({});
    CMainFrame& made = Make();
    SignalRelay relay([&made](int) { made.CloseFromSignal(); });
    ASSERT_TRUE(relay.Active());
    ModalScript script;
    script.Then([](QWidget*) { std::raise(SIGTERM); });
    EXPECT_TRUE(made.Create());
    made.show();
    ASSERT_TRUE(WaitFor([&] { return made.Closed(); }));
    EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "1");
}

TEST_F(StartUp, SigintWhileRunningClosesThroughTheCloseHandler) {
    CMainFrame& made = Start();
    SignalRelay relay([&made](int) { made.CloseFromSignal(); });
    QTest::keyClick(&made, Qt::Key_G); // ShowGrid off, saved by the close
    std::raise(SIGINT);
    ASSERT_TRUE(WaitFor([&] { return made.Closed(); }));
    EXPECT_EQ(ReadSetting("ShowGrid"), "0");
}

TEST(CommandLine, FirstArgumentWholeAndLongNamesRefused) {
    EXPECT_EQ(ParseCommandLine({}).path, "");
    const auto spaced = ParseCommandLine({QStringLiteral("/data/my take.tl"), QStringLiteral("x")});
    EXPECT_EQ(spaced.path, "/data/my take.tl");
    EXPECT_EQ(spaced.refused, "");

    const std::string longest(259, 'a');
    EXPECT_EQ(ParseCommandLine({QString::fromStdString(longest)}).path, longest);
    const std::string tooLong(300, 'b');
    const auto refused = ParseCommandLine({QString::fromStdString(tooLong)});
    EXPECT_EQ(refused.path, "");
    EXPECT_EQ(refused.refused, tooLong);
    // Bytes count, as the settings store them: 130 two-byte letters do not fit.
    const auto wide = ParseCommandLine({QString(130, QChar(0x00E9))});
    EXPECT_EQ(wide.path, "");
    EXPECT_EQ(wide.refused.size(), 260u);
}

TEST_F(StartUp, CommandLineFileIsReadByItsExtension) {
    // The previous run saved the recording type; the command line decides by extension.
    WriteSettings("[GyroSuit]\nCurrentFileType=2\nCurrentFile=/old/take.tl\n");
    MainFrameOptions options;
    options.commandLineFile = (dir.path() / "missing walk.bvh").string();
    Start(options);
    EXPECT_EQ(std::string(Settings.CurrentFile), options.commandLineFile);
    EXPECT_EQ(Settings.CurrentFileType.load(), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"BVH file format error"});
    EXPECT_EQ(std::string(Settings.CurrentFileDir), dir.path().string());
}

TEST_F(StartUp, TooLongCommandLineFileIsRefusedAndTheProgramGoesOn) {
    WriteSettings("[GyroSuit]\nCurrentFile=/old/take.tl\n");
    MainFrameOptions options;
    options.refusedCommandLineFile = "/" + std::string(299, 'x') + ".bvh";
    Start(options);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("longer than 259 characters"), std::string::npos);
    EXPECT_NE(boxes[0].text.find(options.refusedCommandLineFile), std::string::npos);
    EXPECT_EQ(std::string(Settings.CurrentFile), "/old/take.tl");
    EXPECT_FALSE(frame->Closed());
}

} // namespace
} // namespace telvo::testing
