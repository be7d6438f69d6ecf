#pragma once

#include "view/Composition.h"
#include "view/Surface.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <functional>
#include <optional>

namespace telvo {

// The label font's size: 72 tenths of a point at this many dots per inch, in whole pixels.
int LabelFontPixels(int dotsPerInch);

// The view's drawing layer on a QImage through QPainter, without antialiasing: solid pens with
// square ends, hollow ellipses, triangles filled and outlined, text anchored at its top left
// on a transparent background. The image must outlive the surface; an image with no pixels is
// left alone.
class QtSurface final : public Surface {
public:
    explicit QtSurface(QImage& image);
    ~QtSurface() override;
    QtSurface(const QtSurface&) = delete;
    QtSurface& operator=(const QtSurface&) = delete;

    // Finishes the picture; later calls draw nothing.
    void End();

    void SetPen(Pen pen) override;
    void SetTextColor(Rgb colour) override;
    bool SelectLabelFont() override;
    void Save() override;
    void Restore() override;

    void Line(Point from, Point to) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Triangle(const Point (&corners)[3], Rgb fill) override;
    void Text(int x, int y, std::string_view text) override;
    void FillRect(int left, int top, int right, int bottom, Rgb colour) override;

private:
    struct State {
        Pen pen{1, Black};
        Rgb text{Black};
        bool label = false;
    };
    enum class Loaded { Nothing, LinePen, TextPen };

    void UseLinePen();
    void UseTextPen();
    void UseFont(bool label);

    QPainter painter_;
    bool active_ = false;
    State state_;
    State saved_[8];
    int depth_ = 0;
    Loaded loaded_ = Loaded::Nothing;
    std::optional<bool> fontLoaded_; // label font in the painter?
    QFont defaultFont_;
    QFont labelFont_;
    int defaultAscent_ = 0;
    int labelAscent_ = 0;
};

// A paint's picture: a fresh QImage per paint, handed whole to `present` (the widget's one
// drawImage) when finished.
class QtPicture final : public PaintTarget {
public:
    explicit QtPicture(std::function<void(const QImage&)> present);

    Surface& BeginPicture(int width, int height) override;
    void Present() override;

    const QImage& Image() const { return image_; }

private:
    std::function<void(const QImage&)> present_;
    QImage image_;
    std::optional<QtSurface> surface_;
};

} // namespace telvo
