// The view in the real main window on the offscreen platform: mouse drags, view commands and
// the painted picture.
#include "core/CommandIds.h"
#include "app/ViewWidget.h"
#include "tests/app/WindowFixture.h"
#include "view/ViewState.h"

#include <QMouseEvent>


namespace telvo::testing {
namespace {

void ExpectNear(const Matrix& actual, const Matrix& expected) {
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR((&actual.m00)[i], (&expected.m00)[i], 1e-5f) << "element " << i;
    }
}

class ViewWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        View.Reset();
        Start();
        view = frame->View();
        view->repaint(); // measures the drawing area
        screen = frame->Port().ScreenSize();
        centre = QPoint(view->width() / 2, view->height() / 2);
    }
    // A mouse event at centre + (dx, dy) with the buttons held after it.
    void Send(QEvent::Type type, int dx, int dy, Qt::MouseButton button, Qt::MouseButtons held,
              Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QPoint at = centre + QPoint(dx, dy);
        QMouseEvent event(type, at, view->mapToGlobal(at), button, held, keys);
        QApplication::sendEvent(view, &event);
    }
    void Move(int dx, int dy, Qt::MouseButtons held, Qt::KeyboardModifiers keys = {}) {
        Send(QEvent::MouseMove, dx, dy, Qt::NoButton, held, keys);
    }

    CViewWidget* view = nullptr;
    PixelSize screen;
    QPoint centre;
};

TEST_F(ViewWindow, LeftDragTurnsOrPansRightDragRollsOrZooms) {
    frame->OnCommand(CmdFrontView);
    Send(QEvent::MouseButtonPress, 0, 0, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(QWidget::mouseGrabber(), view);
    Move(screen.width / 8, 0, Qt::LeftButton);
    ExpectNear(View.ViewRotation, Matrix::RotY(1.0f) * FrontViewRotation);
    Move(40, -10, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 40.0f);
    EXPECT_FLOAT_EQ(View.ViewPanY, 216.0f - 10.0f);
    Send(QEvent::MouseButtonRelease, 40, -10, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    QTest::keyClick(view, Qt::Key_T); // Top View: no pan, the centre drawn mid-area
    ExpectNear(View.ViewRotation, TopViewRotation);
    Send(QEvent::MouseButtonPress, 100, 0, Qt::RightButton, Qt::RightButton);
    Move(0, -100, Qt::RightButton);
    ExpectNear(View.ViewRotation, Matrix::RotZ(1.5707964f) * TopViewRotation);
    Move(100, -screen.height / 4, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_NEAR(View.ViewScale, 18.0f, 0.1f);
    Move(100, screen.height / 4, Qt::RightButton | Qt::MiddleButton);
    EXPECT_FLOAT_EQ(View.ViewScale, 0.1f);
    Send(QEvent::MouseButtonRelease, 0, 0, Qt::RightButton, Qt::NoButton);
}

TEST_F(ViewWindow, ASecondButtonNeitherRestartsNorOutlivesTheDrag) {
    frame->OnCommand(CmdFrontView);
    Send(QEvent::MouseButtonPress, 0, 0, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonPress, 50, 50, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    Move(30, 0, Qt::LeftButton | Qt::RightButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 30.0f); // still measured from the first press
    Send(QEvent::MouseButtonRelease, 30, 0, Qt::RightButton, Qt::LeftButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Move(90, 0, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(View.ViewPanX, 30.0f);
    Send(QEvent::MouseButtonPress, 0, 0, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(View.DragActive, 0); // the middle button alone starts nothing
}

TEST_F(ViewWindow, LivePerformerIsPaintedFitted) {
    frame->OnCommand(CmdLive);
    sim::Deliver(Engine.SuitHandle.load(), 8);
    frame->OnCommand(CmdCenterView);
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
    EXPECT_EQ(View.ViewHeight, view->height());
}

// The creation's fit waits for the shown window: fitted against the placeholder size the
// figure would first show tiny.
TEST_F(WindowTest, TheFirstFitUsesTheShownDrawingArea) {
    View.Reset();
    CMainFrame& made = Make();
    ASSERT_TRUE(made.Create());
    made.OnCommand(CmdRecord);
    sim::Deliver(Engine.SuitHandle.load(), 5);
    made.OnCommand(CmdStop);
    made.showNormal();
    ASSERT_TRUE(WaitFor([] { return View.ViewScale != 6.0f; }));
    const float first = View.ViewScale;
    made.OnCommand(CmdCenterView);
    EXPECT_FLOAT_EQ(View.ViewScale, first);
    EXPECT_GT(made.View()->height(), 300);
}

} // namespace
} // namespace telvo::testing
