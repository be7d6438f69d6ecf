#include "ViewWidget.h"

#include "engine/EngineState.h"

#include <QPaintEvent>
#include <QPainter>

namespace telvo {

CViewWidget::CViewWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(64, 64);
}

void CViewWidget::paintEvent(QPaintEvent* /*event*/) {
    {
        // --- The 3D view paints here. Until it does, the area is plain grey. ---
        QPainter painter(this);
        painter.fillRect(rect(), QColor(128, 128, 128));
    }
    ++paints_;
    // Last step: the next repaint request may be made from now on.
    Engine.PaintPending.store(0, std::memory_order_release);
}

} // namespace telvo
