#pragma once

#include <QWidget>

namespace telvo {

// The drawing area of the main window. It paints the whole area itself (no background
// erase) and ends every paint by clearing Engine.PaintPending, so the frame pump and the
// playback timer may request the next one.
class CViewWidget : public QWidget {
public:
    explicit CViewWidget(QWidget* parent = nullptr);

    // Paints counted since creation, for tests and the display rate.
    int PaintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int paints_ = 0;
};

} // namespace telvo
