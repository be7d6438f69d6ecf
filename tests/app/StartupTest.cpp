// Start-up and close of the real window: the settings file, the library's start, the
// no-suits prompt, the command line and the signals that close the window.
#include "WindowFixture.h"

#include "app/Application.h"
#include "app/SignalRelay.h"
#include "core/CommandIds.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <csignal>

namespace telvo::testing {
namespace {

using StartUp = WindowTest;

// The keys written and their order are SettingsTest's.
TEST_F(StartUp, CloseWritesTheSettingsAndKeepsTheRestOfTheFile) {
    WriteSettings("[Other]\nkept=yes\n[GyroSuit]\nShowGrid=0\n");
    Start();
    Key(Qt::Key_G);
    frame->Port().PostCommand(CmdLive); // a switch pressed just before the close
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(sim::OpenSuitCount(), 0) << "a command after the close opened a suit";
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(ReadAll(frame->SettingsPath()).rfind("[Other]\nkept=yes\n[GyroSuit]\n", 0), 0u);
    EXPECT_EQ(ReadSetting("ShowGrid"), "1");
}

TEST_F(StartUp, FailedLibraryStartClosesThroughTheCloseHandler) {
    sim::SetInitFails(true);
    Start();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error initializing KVX suit"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Closed(); })) << "the posted close never ran";
    EXPECT_EQ(ReadSetting("ShowGrid"), "1"); // a new file
}

// Retry takes the box over at once; the next prompt starts checked; Escape keeps the setting
// whatever the box shows, and searches again; Ignore goes on without a suit. At the next
// start Abort with the box checked closes the window, which saves that.
TEST_F(StartUp, RetryTakesTheBoxEscapeLeavesTheSettingIgnoreGoesOnAbortCloses) {
    sim::SetSuits({});
    script.Then([](QWidget* dialog) {
        EXPECT_FALSE(Named<QCheckBox>(dialog, "check")->isChecked());
        Named<QCheckBox>(dialog, "check")->setChecked(true);
        QTest::mouseClick(Named<QPushButton>(dialog, "retry"), Qt::LeftButton);
    });
    script.Then([](QWidget* dialog) {
        EXPECT_TRUE(Named<QCheckBox>(dialog, "check")->isChecked());
        Named<QCheckBox>(dialog, "check")->setChecked(false);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    script.Then([](QWidget* dialog) {
        EXPECT_TRUE(Named<QCheckBox>(dialog, "check")->isChecked());
        QTest::mouseClick(Named<QPushButton>(dialog, "ignore"), Qt::LeftButton);
    });
    Start();
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(frame->Closed());
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    frame->close();
    EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "0");

    WriteSettings("[GyroSuit]\nLookForSuitOnStartup=1\n");
    script.Then([](QWidget* dialog) {
        Named<QCheckBox>(dialog, "check")->setChecked(true);
        QTest::mouseClick(Named<QPushButton>(dialog, "abort"), Qt::LeftButton);
    });
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Closed(); }));
    EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "0");
}

TEST_F(StartUp, SignalsCloseThroughTheCloseHandlerAlsoDuringThePrompt) {
    {
        sim::SetSuits({});
        CMainFrame& made = Make();
        SignalRelay relay([&made](int) { made.CloseFromSignal(); });
        ASSERT_TRUE(relay.Active());
        script.Then([](QWidget*) { std::raise(SIGTERM); });
        EXPECT_TRUE(made.Create());
        made.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return made.Closed(); }));
        EXPECT_EQ(ReadSetting("LookForSuitOnStartup"), "1");
    }

    sim::SetSuits({sim::SimSuit{}});
    CMainFrame& running = Start();
    SignalRelay again([&running](int) { running.CloseFromSignal(); });
    Key(Qt::Key_G);
    std::raise(SIGINT);
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.Closed(); }));
    EXPECT_EQ(ReadSetting("ShowGrid"), "0");
}

// The file named on the command line is read by its extension, whatever type the last run
// saved, once the window is up, and its box comes over the window and says why; a signal
// while the box is up closes and saves.
TEST_F(StartUp, CommandLineFileBoxComesOverTheWindowAndASignalClosesAndSaves) {
    WriteSettings("[GyroSuit]\nCurrentFileType=2\n");
    CMainFrame& made = Make(
        {.configFolder = {}, .commandLineFile = "/nowhere/take.bvh", .refusedCommandLineFile = {}});
    made.Port().SetMessageBoxHandler(nullptr); // the real box, on screen
    SignalRelay relay([&made](int) { made.CloseFromSignal(); });
    script.Then([&made](QWidget* box) {
        EXPECT_TRUE(made.isVisible());
        EXPECT_EQ(box->parentWidget(), &made);
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->text(), QStringLiteral("BVH file format error"));
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->detailedText().toStdString().rfind(
                      "/nowhere/take.bvh: cannot open the file: ", 0),
                  0u);
        std::raise(SIGTERM);
    });
    EXPECT_TRUE(made.Create());
    EXPECT_FALSE(script.Done()) << "a box came up before the window";
    made.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return made.Closed(); }));
    EXPECT_TRUE(script.Done()) << "no box came up for the unreadable file";
    EXPECT_EQ(ReadSetting("CurrentFile"), "/nowhere/take.bvh");
    EXPECT_EQ(ReadSetting("CurrentFileType"), "1");
}

TEST(CommandLine, FirstArgumentWholeAndLongNamesRefused) {
    EXPECT_EQ(ParseCommandLine({"/data/my take.tl", "x"}).path, "/data/my take.tl");
    const std::string longest(259, 'a');
    EXPECT_EQ(ParseCommandLine({QString::fromStdString(longest)}).path, longest);
    // Bytes count, as the settings hold them: 130 two-byte letters do not fit.
    const auto refused = ParseCommandLine({QString(130, QChar(0x00E9))});
    EXPECT_EQ(refused.path, "");
    EXPECT_EQ(refused.refused.size(), 260u);
}

// Neither an unreadable last actor file nor a command-line name too long for the settings
// stops the start; each says so, and the refused name replaces no setting.
TEST_F(StartUp, BadNamesAtStartAreReportedAndTheProgramGoesOn) {
    WriteSettings("[GyroSuit]\nCurrentFile=/old/take.tl\nCurrentActorFile=/nowhere/anna.ac\n");
    const std::string refused = "/" + std::string(299, 'x') + ".bvh";
    Start({.configFolder = {}, .commandLineFile = {}, .refusedCommandLineFile = refused});
    EXPECT_EQ(frame->Pane(0)->text(), QStringLiteral("Error reading file /nowhere/anna.ac"));
    EXPECT_EQ(boxes, std::vector<std::string>{"The file named on the command line is longer than "
                                              "259 characters and was not opened:\n" +
                                              refused});
    EXPECT_EQ(std::string(Settings.CurrentFile), "/old/take.tl");
    EXPECT_FALSE(frame->Closed());
}

} // namespace
} // namespace telvo::testing
