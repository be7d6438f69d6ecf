// The view in the real main window on the offscreen platform: mouse drags, view commands and
// the painted picture.
#include "ViewTestSupport.h"
#include "app/ViewWidget.h"
#include "core/CommandIds.h"
#include "tests/app/WindowFixture.h"

#include <QAbstractEventDispatcher>
#include <QMouseEvent>

#if TELVO_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace telvo::testing {
namespace {

class ViewWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        View.Reset();
        Start();
        view = frame->View();
        view->repaint(); // measures the drawing area
    }
    // A mouse event at the view's centre + (dx, dy) with the buttons held after it.
    void Send(QEvent::Type type, int dx, int dy, Qt::MouseButton button, Qt::MouseButtons held,
              Qt::KeyboardModifiers keys = Qt::NoModifier) {
        const QPoint at(view->width() / 2 + dx, view->height() / 2 + dy);
        QMouseEvent event(type, at, view->mapToGlobal(at), button, held, keys);
        QApplication::sendEvent(view, &event);
    }
    void Move(int dx, int dy, Qt::MouseButtons held, Qt::KeyboardModifiers keys = {}) {
        Send(QEvent::MouseMove, dx, dy, Qt::NoButton, held, keys);
    }

    CViewWidget* view = nullptr;
};

// Drag angles follow the screen: an eighth of its width turns a radian about screen up, as
// an eighth of its height does about screen right, outermost.
TEST_F(ViewWindow, DragsTurnPanRollAndZoomToTheLimit) {
    const auto [w, h] = frame->Port().ScreenSize();
    frame->OnCommand(CmdTopView);
    const float panX = View.ViewPanX, panY = View.ViewPanY;
    Send(QEvent::MouseButtonPress, 0, 0, Qt::LeftButton, Qt::LeftButton);
    Move(w / 8, h / 16, Qt::LeftButton);
    ExpectNear(View.ViewRotation, Matrix::RotX(static_cast<float>(8.0 * (h / 16) / h)) *
                                      Matrix::RotY(static_cast<float>(8.0 * (w / 8) / w)) *
                                      TopViewRotation);
    // Shift turns the same drag into a pan from its start; Control does nothing.
    Move(40, -10, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(View.ViewPanX, panX + 40.0f);
    EXPECT_EQ(View.ViewPanY, panY - 10.0f);
    Send(QEvent::MouseButtonRelease, 0, 0, Qt::LeftButton, Qt::NoButton);

    frame->OnCommand(CmdTopView);
    Send(QEvent::MouseButtonPress, 100, 0, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(QWidget::mouseGrabber(), view);
    Move(0, -100, Qt::RightButton);
    ExpectNear(View.ViewRotation, Matrix::RotZ(1.5707964f) * TopViewRotation);
    Move(100, -h / 4, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_NEAR(View.ViewScale, 18.0f, 0.1f);
    // A second press neither restarts the drag nor outlives it.
    Send(QEvent::MouseButtonPress, 0, 0, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
    Move(100, -h / 4, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_NEAR(View.ViewScale, 18.0f, 0.1f);
    Send(QEvent::MouseButtonRelease, 0, 0, Qt::LeftButton, Qt::RightButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    Move(100, h / 4, Qt::RightButton | Qt::MiddleButton);
    EXPECT_NEAR(View.ViewScale, 18.0f, 0.1f);

    Send(QEvent::MouseButtonPress, 0, 0, Qt::RightButton, Qt::RightButton);
    Move(0, h / 4, Qt::RightButton | Qt::MiddleButton); // the middle button zooms too
    EXPECT_FLOAT_EQ(View.ViewScale, 0.1f);
}

// The creation's fit waits for the shown window: fitted against the placeholder size the
// figure would first show tiny, and centring the shown figure would then change the scale.
TEST_F(WindowTest, TheFirstFitUsesTheShownDrawingArea) {
    View.Reset();
    CMainFrame& made = Make();
    ASSERT_TRUE(made.Create());
    made.OnCommand(CmdRecord);
    sim::Deliver(Engine.SuitHandle.load(), 5);
    made.OnCommand(CmdStop);
    made.showNormal();
    ASSERT_TRUE(QTest::qWaitFor([] { return View.ViewScale != 6.0f; }));
    const float first = View.ViewScale;
    made.OnCommand(CmdCenterView);
    EXPECT_FLOAT_EQ(View.ViewScale, first);
    EXPECT_GT(made.View()->height(), 300);
}

// A window wholly covered by others is not painted; seen again, it is painted at once.
TEST_F(ViewWindow, CoveredWindowIsNotPainted) {
#if TELVO_HAVE_XCB
    auto visibility = [this](uint8_t state) { // as X11 tells it
        xcb_visibility_notify_event_t event{};
        event.response_type = XCB_VISIBILITY_NOTIFY;
        event.window = static_cast<xcb_window_t>(frame->winId());
        event.state = state;
        qintptr result = 0;
        QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &event,
                                                                &result);
    };
    const int painted = view->PaintCount();
    visibility(XCB_VISIBILITY_FULLY_OBSCURED);
    Engine.PaintPending = 1;
    view->repaint();
    EXPECT_EQ(view->PaintCount(), painted);
    EXPECT_EQ(Engine.PaintPending.load(), 1); // nobody asks again meanwhile
    visibility(XCB_VISIBILITY_PARTIALLY_OBSCURED);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->PaintCount() > painted; }));
#else
    GTEST_SKIP() << "built without X11's client library";
#endif
}

} // namespace
} // namespace telvo::testing
