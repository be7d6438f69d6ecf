#pragma once

#include <QAbstractNativeEventFilter>
#include <QWidget>

#include <functional>

namespace telvo {

// Whether a top-level window is wholly covered by other windows. X11 tells only a client that
// asks, and Qt does not ask, so a covered window would go on painting what nobody sees; a
// minimised one Qt already leaves unpainted. Elsewhere than on X11 a window is never covered.
class CoverWatch final : public QAbstractNativeEventFilter {
public:
    // `uncovered` runs when the window is seen again after it was covered.
    explicit CoverWatch(std::function<void()> uncovered);
    ~CoverWatch() override;
    CoverWatch(const CoverWatch&) = delete;
    CoverWatch& operator=(const CoverWatch&) = delete;

    // Asks the window system to tell about `window` (a top-level widget with its native window
    // made); asked again only when that window changes.
    void Watch(QWidget& window);
    bool Covered() const { return covered_; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    std::function<void()> uncovered_;
    quintptr watched_ = 0;
    bool covered_ = false;
};

} // namespace telvo
