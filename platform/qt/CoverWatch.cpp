#include "platform/qt/CoverWatch.h"

#include <QGuiApplication>

#include <cstdlib>

#if TELVO_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <utility>

namespace telvo {

CoverWatch::CoverWatch(std::function<void()> uncovered) : uncovered_(std::move(uncovered)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CoverWatch::~CoverWatch() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
}

void CoverWatch::Watch(QWidget& window) {
    const auto id = static_cast<quintptr>(window.winId());
    if (id == watched_) {
        return;
    }
    watched_ = id;
    covered_ = false;
#if TELVO_HAVE_XCB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || x11 == nullptr ||
        x11->connection() == nullptr) {
        return; // another platform, whose windows are never covered
    }
    xcb_connection_t* connection = x11->connection();
    const auto xid = static_cast<xcb_window_t>(id);
    // Added to the events Qt chose, none of them taken away.
    xcb_get_window_attributes_reply_t* now = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, xid), nullptr);
    if (now == nullptr) {
        return;
    }
    const uint32_t mask = now->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(now);
    xcb_change_window_attributes(connection, xid, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
#endif
}

bool CoverWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) {
#if TELVO_HAVE_XCB
    if (type != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY) {
        return false;
    }
    const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
    if (watched_ == 0 || visibility->window != watched_) {
        return false;
    }
    const bool covered = visibility->state == XCB_VISIBILITY_FULLY_OBSCURED;
    if (covered_ && !covered && uncovered_) {
        covered_ = false;
        uncovered_();
    }
    covered_ = covered;
#else
    (void)type;
    (void)message;
#endif
    return false; // Qt sees every event as before
}

} // namespace telvo
