// The view in the real main window on the offscreen platform: mouse drags, view commands and
// the painted picture.
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/Settings.h"
#include "app/ViewWidget.h"
#include "engine/EngineState.h"
#include "platform/qt/QtPlatform.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/TempDir.h"
#include "view/ViewState.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace telvo {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "view_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

void ExpectMatrixNear(const Matrix& actual, Matrix expected) {
    const float* a = &actual.m00;
    const float* e = &expected.m00;
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(a[i], e[i], 1e-5f) << "element " << i;
    }
}

class ViewWindow : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        Settings.Reset();
        Engine.Reset();
        View.Reset();
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        MainFrameOptions options;
        options.configFolder = dir.path();
        frame = std::make_unique<CMainFrame>(options);
        frame->Port().SetMessageBoxHandler(
            [](const std::string&, MessageButtons buttons, MessageIcon) {
                return QtPlatform::CloseAnswer(buttons);
            });
        ASSERT_TRUE(frame->Create());
        frame->showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        view = frame->View();
        view->repaint(); // measures the drawing area
        screen = frame->Port().ScreenSize();
        ASSERT_GT(screen.width, 0);
        centre = QPoint(view->width() / 2, view->height() / 2);
    }
    void TearDown() override {
        frame->close();
        frame.reset();
        QCoreApplication::processEvents();
        sim::Reset();
    }

    // One mouse event at a point of the view, with the buttons held after it.
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
              Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)), button, held, keys);
        QApplication::sendEvent(view, &event);
    }
    void Press(QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers keys = Qt::NoModifier) {
        Send(QEvent::MouseButtonPress, at, button, held, keys);
    }
    void Move(QPoint at, Qt::MouseButtons held, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        Send(QEvent::MouseMove, at, Qt::NoButton, held, keys);
    }
    void Release(QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        Send(QEvent::MouseButtonRelease, at, button, held);
    }
    QPoint Offset(int dx, int dy) const { return centre + QPoint(dx, dy); }

    TempDir dir;
    std::unique_ptr<CMainFrame> frame;
    CViewWidget* view = nullptr;
    PixelSize screen;
    QPoint centre;
};

TEST_F(ViewWindow, LeftDragTurnsAndShiftPans) {
    frame->OnCommand(CmdFrontView);
    Press(centre, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(QWidget::mouseGrabber(), view);
    Move(Offset(screen.width / 8, 0), Qt::LeftButton);
    ExpectMatrixNear(View.ViewRotation, Matrix::RotY(1.0f) * FrontViewRotation);

    // Shift switches the same drag to pan, measured from the drag's start.
    Move(Offset(40, -10), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 40.0f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 216.0f - 10.0f);
    Release(Offset(40, -10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(View.DragActive, 0);
}

TEST_F(ViewWindow, RightDragRollsAndZoomsWithShiftOrTheMiddleButton) {
    frame->OnCommand(CmdTopView);
    const QPoint drawnCentre = centre; // the top view has no pan
    Press(drawnCentre + QPoint(100, 0), Qt::RightButton, Qt::RightButton);
    Move(drawnCentre + QPoint(0, -100), Qt::RightButton);
    ExpectMatrixNear(View.ViewRotation, Matrix::RotZ(1.5707964f) * TopViewRotation);

    // Up by a quarter of the screen height: three times the scale.
    QPoint start = drawnCentre + QPoint(100, 0);
    Move(start + QPoint(0, -screen.height / 4), Qt::RightButton, Qt::ShiftModifier);
    EXPECT_NEAR(View.ViewScale, 18.0f, 0.1f);
    Move(start + QPoint(0, screen.height / 4), Qt::RightButton | Qt::MiddleButton);
    EXPECT_FLOAT_EQ(View.ViewScale, 0.1f);
    Release(start, Qt::RightButton, Qt::MiddleButton);
    EXPECT_EQ(View.DragActive, 0);
}

TEST_F(ViewWindow, ASecondButtonNeitherRestartsNorOutlivesTheDrag) {
    frame->OnCommand(CmdFrontView);
    Press(centre, Qt::LeftButton, Qt::LeftButton);
    Move(Offset(20, 0), Qt::LeftButton, Qt::ShiftModifier);
    Press(Offset(50, 50), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(View.DragStartX, view->mapToGlobal(centre).x());
    Move(Offset(30, 0), Qt::LeftButton | Qt::RightButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 30.0f);

    // Letting go of the right button ends the drag; the left one still held moves nothing.
    Release(Offset(30, 0), Qt::RightButton, Qt::LeftButton);
    EXPECT_EQ(View.DragActive, 0);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Move(Offset(90, 0), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 30.0f);
    // A middle press alone starts nothing.
    Press(centre, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(View.DragActive, 0);
}

TEST_F(ViewWindow, ViewCommandsAndKeysSetThePresets) {
    View.ViewScale = 33.0f;
    QTest::keyClick(view, Qt::Key_T);
    ExpectMatrixNear(View.ViewRotation, TopViewRotation);
    EXPECT_EQ(View.ViewScale, 6.0f);
    frame->OnCommand(CmdRightSideView);
    ExpectMatrixNear(View.ViewRotation, SideViewRotation);
    EXPECT_EQ(View.ViewPanY, 216.0f);
    QTest::keyClick(view, Qt::Key_F);
    ExpectMatrixNear(View.ViewRotation, FrontViewRotation);
}

TEST_F(ViewWindow, LivePerformerIsPaintedAndFitted) {
    frame->OnCommand(CmdLive);
    ASSERT_EQ(Engine.Live.load(), 1);
    sim::Deliver(Engine.SuitHandle.load(), 8);
    frame->OnCommand(CmdCenterView);
    // The fitted figure fills three quarters of the height or width.
    EXPECT_GT(View.ViewScale, 1.0f);
    view->repaint();
    EXPECT_EQ(Engine.PaintPending.load(), 0);
    QImage shown = view->grab().toImage();
    int notGrey = 0;
    for (int y = 0; y < shown.height(); y += 4) {
        for (int x = 0; x < shown.width(); x += 4) {
            notGrey += (shown.pixel(x, y) & 0xFFFFFFu) != 0x808080u ? 1 : 0;
        }
    }
    EXPECT_GT(notGrey, 100);
    EXPECT_EQ(View.ViewWidth, view->width());
    EXPECT_EQ(View.ViewHeight, view->height());
}

// The picture of the window for the documentation: a second of the live performer at 30
// frames a second, turned a little. Only when TELVO_VIEW_PICTURES names a folder.
TEST_F(ViewWindow, Screenshot) {
    const char* folder = std::getenv("TELVO_VIEW_PICTURES");
    if (folder == nullptr) {
        GTEST_SKIP() << "TELVO_VIEW_PICTURES is not set";
    }
    frame->resize(1024, 720);
    Settings.ShowNodes = 1;
    frame->OnCommand(CmdLive);
    GyroHandle suit = Engine.SuitHandle.load();
    sim::Deliver(suit, 400);
    frame->OnCommand(CmdFrontView);
    View.ViewRotation = Matrix::RotX(0.35f) * Matrix::RotY(-0.5f) * FrontViewRotation;
    frame->OnCommand(CmdCenterView);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1300) {
        sim::Deliver(suit, 4);
        QTest::qWait(33);
    }
    view->repaint();
    frame->grab().save(QString::fromUtf8(folder) + QStringLiteral("/window.png"));
}

} // namespace
} // namespace telvo
