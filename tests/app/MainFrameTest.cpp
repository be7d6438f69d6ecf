// The real main window: its menus and panes, keys reaching their commands, check marks and
// the title following the program's state.
#include "WindowFixture.h"

#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/ViewWidget.h"
#include "dialogs/AboutBox.h"
#include "engine/Engine.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

#include <cstdlib>

namespace telvo::testing {
namespace {

using Window = WindowTest;

// The four render items, solid, wireframe, nothing, raw.
const int RenderItems[] = {CmdRenderSolid, CmdRenderWireframe, CmdRenderNothing,
                           CmdDisplayRawChannels};

TEST_F(Window, MenusShowEveryItemEnabledInOrder) {
    Start();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("TelvoView"));
    const QList<QAction*> menus = frame->menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    for (int m = 0; m < 5; ++m) {
        const MenuDefinition& definition = MenuBar()[static_cast<std::size_t>(m)];
        EXPECT_EQ(menus[m]->text(), QString::fromLatin1(definition.title));
        const QList<QAction*> items = menus[m]->menu()->actions();
        ASSERT_EQ(static_cast<std::size_t>(items.size()), definition.entries.size());
        for (int i = 0; i < items.size(); ++i) {
            const MenuEntry& entry = definition.entries[static_cast<std::size_t>(i)];
            EXPECT_EQ(items[i]->isSeparator(), entry.command == 0);
            EXPECT_TRUE(items[i]->isEnabled());
            if (entry.command != 0) {
                EXPECT_EQ(items[i]->text(), QString::fromLatin1(entry.text));
                EXPECT_EQ(items[i], frame->Action(entry.command));
            }
        }
    }
    EXPECT_EQ(frame->Action(CmdOpen)->text(), QStringLiteral("&Open...\tCtrl+O"));
}

TEST_F(Window, StatusBarHasThreePanesAndTheMiddleStretches) {
    Start();
    frame->resize(1000, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->Pane(0)->width(), 360);
    EXPECT_EQ(frame->Pane(2)->width(), 220);
    const int narrow = frame->Pane(1)->width();
    EXPECT_GE(narrow, 100);
    frame->resize(1300, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->Pane(1)->width(), narrow + 300);
    EXPECT_LT(frame->Pane(0)->x(), frame->Pane(1)->x());
    EXPECT_LT(frame->Pane(1)->x(), frame->Pane(2)->x());

    QTest::keyClick(frame.get(), Qt::Key_L);
    EXPECT_EQ(frame->Pane(0)->text(), QStringLiteral("Live"));
    QTest::keyClick(frame.get(), Qt::Key_L);
    EXPECT_EQ(frame->Pane(0)->text(), QStringLiteral("Ready"));

    // A menu item's (empty) status tip must not hide the panes.
    QStatusTipEvent tip{QString()};
    QCoreApplication::sendEvent(frame.get(), &tip);
    EXPECT_TRUE(frame->Pane(0)->isVisible());

    if (const char* shot = std::getenv("TELVO_SCREENSHOT")) {
        frame->grab().save(QString::fromLocal8Bit(shot));
    }
}

TEST_F(Window, KeysReachTheirCommands) {
    Start();
    // Plain letter, and the same letter with a modifier it does not list.
    QTest::keyClick(frame.get(), Qt::Key_G);
    EXPECT_EQ(Settings.ShowGrid.load(), 0);
    EXPECT_FALSE(Checked(CmdShowGrid));
    QTest::keyClick(frame.get(), Qt::Key_G, Qt::ShiftModifier);
    QTest::keyClick(frame.get(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(Settings.ShowGrid.load(), 0);

    // Ctrl+N shows north; N alone sets north and goes live instead.
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Settings.ShowNorth.load(), 0);
    QTest::keyClick(frame.get(), Qt::Key_N);
    EXPECT_EQ(Settings.ShowNorth.load(), 0);
    EXPECT_EQ(Engine.Live.load(), 1);
    EXPECT_TRUE(Checked(CmdLive));

    // Rates: "-" twice, "+" typed with Shift, the keypad's "+", then ".".
    QTest::keyClick(frame.get(), Qt::Key_Minus);
    QTest::keyClick(frame.get(), Qt::Key_Minus);
    EXPECT_EQ(Engine.PlaybackDivider.load(), 3);
    QTest::keyClick(frame.get(), Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(Engine.PlaybackDivider.load(), 2);
    QTest::keyClick(frame.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(Engine.PlaybackDivider.load(), 1);
    QTest::keyClick(frame.get(), Qt::Key_Minus);
    QTest::keyClick(frame.get(), Qt::Key_Period);
    EXPECT_EQ(Engine.PlaybackDivider.load(), 1);

    // Alt+R records, R alone does not, Escape stops.
    QTest::keyClick(frame.get(), Qt::Key_R);
    EXPECT_EQ(Engine.Recording.load(), 0);
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_TRUE(Checked(CmdRecord));
    EXPECT_FALSE(Checked(CmdStop));
    sim::Deliver(Engine.SuitHandle, 12);
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_TRUE(Checked(CmdStop));
    EXPECT_EQ(RecordedFrameCount(), 12u);

    // Digits drive the motors and LEDs and never show a mark.
    QTest::keyClick(frame.get(), Qt::Key_1);
    QTest::keyClick(frame.get(), Qt::Key_5);
    EXPECT_EQ(sim::MotorLedBits(), RightMotor | ChestMotor);
    EXPECT_FALSE(frame->Action(CmdRightMotor)->isChecked());

    // Keys given to a child widget reach the window's accelerators too.
    QTest::keyClick(frame->View(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(Settings.ShowInfo.load(), 0);

    // Alt+X closes through the close handler.
    QTest::keyClick(frame.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(frame->Closed());
}

TEST_F(Window, MenuItemsToggleOnceAndMarksFollowTheFlags) {
    WriteSettings("[GyroSuit]\nShowAxes=1\nSuitFlags=48\nLookForSuitOnStartup=0\n");
    Start();
    EXPECT_TRUE(Checked(CmdShowAxes));
    frame->Action(CmdShowAxes)->trigger();
    EXPECT_EQ(Settings.ShowAxes.load(), 0);
    EXPECT_FALSE(Checked(CmdShowAxes));
    frame->Action(CmdShowAxes)->trigger();
    EXPECT_EQ(Settings.ShowAxes.load(), 1);
    EXPECT_TRUE(Checked(CmdShowAxes));

    // No suit open: Jumping still flips its bit and keeps the unknown ones.
    ASSERT_EQ(Engine.SuitHandle.load(), 0);
    QTest::keyClick(frame.get(), Qt::Key_J);
    EXPECT_EQ(Settings.SuitFlags.load(), 0x31);
    EXPECT_TRUE(Checked(CmdEnableJumping));
    frame->Action(CmdIgnoreFloor)->trigger();
    frame->Action(CmdEnableJumping)->trigger();
    EXPECT_EQ(Settings.SuitFlags.load(), 0x32);
    EXPECT_FALSE(Checked(CmdEnableJumping));
    EXPECT_TRUE(Checked(CmdIgnoreFloor));

    // Exactly one render item at a time.
    for (std::size_t i = 0; i < 4; ++i) {
        frame->Action(RenderItems[i])->trigger();
        for (std::size_t j = 0; j < 4; ++j) {
            EXPECT_EQ(Checked(RenderItems[j]), i == j);
        }
    }
    EXPECT_EQ(Settings.RenderType.load(), 3);

    // Use Switches forgets the last switch word.
    Engine.PreviousAux = 0x41;
    frame->Action(CmdUseSwitches)->trigger();
    EXPECT_EQ(Engine.PreviousAux.load(), 0u);
    EXPECT_TRUE(Checked(CmdUseSwitches));

    // Motor items have no mark to show, whatever is triggered.
    frame->Action(CmdLeftLed)->trigger();
    EXPECT_FALSE(frame->Action(CmdLeftLed)->isCheckable());
}

TEST_F(Window, OddSettingsAreShownAsTheyAre) {
    WriteSettings("[GyroSuit]\nRenderType=9\nRecordDelayEnable=1\nRecordDelay=-4\n");
    Start();
    for (int item : RenderItems) {
        EXPECT_FALSE(Checked(item));
    }
    // Nothing to draw: the paint still runs and hands the next repaint back.
    Engine.PaintPending = 1;
    frame->View()->repaint();
    EXPECT_EQ(Engine.PaintPending.load(), 0);
    // A negative count-down is none: the recording starts at once.
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(Engine.Recording.load(), 1);
    EXPECT_TRUE(frame->Pane(0)->text().startsWith(QStringLiteral("Recording at ")));
    frame->close();
    EXPECT_EQ(ReadSetting("RenderType"), "9");
    EXPECT_EQ(ReadSetting("RecordDelay"), "-4");
}

TEST_F(Window, TitleShowsTheFileOnlyWhilePlaying) {
    WriteSettings("[GyroSuit]\nCurrentFile=/takes/jump.tl\n");
    Start();
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::AltModifier);
    sim::Deliver(Engine.SuitHandle, 30);
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("TelvoView"));
    QTest::keyClick(frame.get(), Qt::Key_P);
    ASSERT_EQ(Engine.Playback.load(), 1);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("TelvoView - /takes/jump.tl"));
    EXPECT_TRUE(Checked(CmdPlay));
    EXPECT_FALSE(Checked(CmdStop));
    QTest::keyClick(frame.get(), Qt::Key_Space);
    EXPECT_TRUE(Checked(CmdPauseStep));
    EXPECT_TRUE(Checked(CmdPlay));
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("TelvoView"));
    EXPECT_TRUE(Checked(CmdStop));
}

TEST_F(Window, AboutBoxShowsBothVersionsAndKeepsTheKeys) {
    Start();
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::AltModifier);
    ASSERT_EQ(Engine.Recording.load(), 1);
    ModalScript script;
    QString shown;
    script.Then([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("About TelvoView"));
        if (auto* version = dialog->findChild<QLabel*>(QStringLiteral("version"))) {
            shown = version->text();
        }
        // Keys typed into the box are the box's, not the window's accelerators.
        QTest::keyClick(dialog, Qt::Key_G);
        EXPECT_EQ(Settings.ShowGrid.load(), 1);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    frame->Action(CmdAbout)->trigger();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(Engine.Recording.load(), 0) << "About stops first";
    EXPECT_EQ(shown, CAboutBox::VersionText(GyroVersion()));
    EXPECT_EQ(CAboutBox::VersionText(2u | (3u << 16)),
              QStringLiteral("TelvoView Version 11.6\nTelvoria.dll Version 2.3\n"));
}

// A suit that stops answering: its box comes from the library's thread, Cancel stops there,
// and the marks reach the window through the port.
TEST_F(Window, SuitTimeoutStopsFromTheLibraryThread) {
    sim::SetManualClock(false);
    sim::SetTimeoutMs(50);
    onBox = [](const std::string&, MessageButtons buttons) {
        return buttons == MessageButtons::RetryCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    };
    Start();
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::AltModifier);
    ASSERT_TRUE(Checked(CmdRecord));
    sim::SetSilent(Engine.SuitHandle, true);
    ASSERT_TRUE(WaitFor([&] { return Engine.SuitHandle.load() == 0; }));
    ASSERT_TRUE(WaitFor([&] { return Checked(CmdStop); }));
    EXPECT_FALSE(Checked(CmdRecord));
    EXPECT_EQ(Engine.Recording.load(), 0);
    EXPECT_EQ(BoxTexts().at(0).rfind("Timeout on suit KVX", 0), 0u);
}

// Closing while the library's thread waits for its box must not wait for that box.
TEST_F(Window, CloseWhileALibraryThreadWaitsForABox) {
    sim::SetManualClock(false);
    sim::SetTimeoutMs(50);
    bool closedInside = false;
    onBox = [&](const std::string& text, MessageButtons buttons) {
        if (text.rfind("Timeout", 0) == 0 && !closedInside) {
            closedInside = true;
            frame->close(); // the user closes the window while the box is up
        }
        return QtPlatform::CloseAnswer(buttons);
    };
    Start();
    QTest::keyClick(frame.get(), Qt::Key_L);
    sim::SetSilent(Engine.SuitHandle, true);
    ASSERT_TRUE(WaitFor([&] { return frame->Closed(); }));
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(sim::OpenSuitCount(), 0);
    EXPECT_EQ(ReadSetting("ShowGrid"), "1");
}

} // namespace
} // namespace telvo::testing
