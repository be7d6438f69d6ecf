#pragma once

#include <QWidget>

#include <memory>

class QMouseEvent;

namespace telvo {

class CoverWatch;
class Platform;
class QtPicture;

// The drawing area of the main window. Each paint composes the whole picture of the 3D view in
// the window's backing store (no background erase), which shows it in one piece once the paint
// ends; the composition clears Engine.PaintPending as its last step, so the frame pump and the
// playback timer may request the next one; while the window is wholly covered nothing is
// painted. Left and right drags turn, roll, pan and zoom the view.
class CViewWidget : public QWidget {
public:
    explicit CViewWidget(QWidget* parent = nullptr);
    ~CViewWidget() override;

    // Paints counted since creation, for tests and the display rate.
    int PaintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // The main window's port; null while the widget is not in one.
    Platform* Port() const;

    // The picture of each paint, with what it keeps from one paint to the next.
    std::unique_ptr<QtPicture> picture_;
    // A wholly covered window is not painted.
    std::unique_ptr<CoverWatch> cover_;
    int paints_ = 0;
};

} // namespace telvo
