#include "ViewWidget.h"

#include "MainFrame.h"
#include "engine/EngineState.h"
#include "platform/qt/CoverWatch.h"
#include "platform/qt/QtPlatform.h"
#include "view/Camera.h"
#include "view/Composition.h"
#include "view/qt/QtSurface.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace telvo {

namespace {

MouseEvent ToMouseEvent(const QMouseEvent& event) {
    const QPoint local = event.position().toPoint();
    const QPoint screen = event.globalPosition().toPoint();
    unsigned flags = 0;
    const Qt::MouseButtons buttons = event.buttons();
    flags |= (buttons & Qt::LeftButton) ? MouseLeft : 0u;
    flags |= (buttons & Qt::RightButton) ? MouseRight : 0u;
    flags |= (buttons & Qt::MiddleButton) ? MouseMiddle : 0u;
    flags |= (event.modifiers() & Qt::ShiftModifier) ? MouseShift : 0u;
    flags |= (event.modifiers() & Qt::ControlModifier) ? MouseControl : 0u;
    return {local.x(), local.y(), screen.x(), screen.y(), flags};
}

bool IsDragButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::RightButton;
}

} // namespace

CViewWidget::CViewWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(64, 64);
    // Drawn straight into the backing store, which reaches the screen only once the paint
    // has ended: a picture is never seen half drawn.
    picture_ = std::make_unique<QtPicture>(*this);
    cover_ = std::make_unique<CoverWatch>([this] { update(); });
}

CViewWidget::~CViewWidget() = default;

Platform* CViewWidget::Port() const {
    auto* frame = dynamic_cast<CMainFrame*>(window());
    return frame != nullptr ? &frame->Port() : nullptr;
}

void CViewWidget::paintEvent(QPaintEvent* /*event*/) {
    cover_->Watch(*window());
    if (cover_->Covered()) {
        // Nobody would see it. PaintPending stays set, so neither the frame pump nor the
        // playback timer asks again until the window is seen and painted.
        return;
    }
    ++paints_;
    Platform* port = Port();
    if (port == nullptr) {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128));
        Engine.PaintPending.store(0, std::memory_order_release);
        return;
    }
    OnPaint(*port, *picture_);
}

void CViewWidget::mousePressEvent(QMouseEvent* event) {
    Platform* port = Port();
    if (port != nullptr && IsDragButton(event->button())) {
        OnViewButtonDown(*port, ToMouseEvent(*event));
    }
}

void CViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    Platform* port = Port();
    if (port != nullptr && IsDragButton(event->button())) {
        OnViewButtonUp(*port);
    }
}

void CViewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (Platform* port = Port()) {
        OnViewMouseMove(*port, ToMouseEvent(*event));
    }
}

} // namespace telvo
