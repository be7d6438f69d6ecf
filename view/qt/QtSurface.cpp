#include "view/qt/QtSurface.h"

#include <QFontMetrics>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>
#include <utility>

namespace telvo {

namespace {

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

} // namespace

int LabelFontPixels(int dotsPerInch) {
    // 72 tenths of a point; a point is 1/72 inch.
    return static_cast<int>(std::lround(72.0 * dotsPerInch / 720.0));
}

QtSurface::QtSurface(QImage& image) {
    if (image.isNull()) {
        return;
    }
    active_ = painter_.begin(&image);
    if (!active_) {
        return;
    }
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setBackgroundMode(Qt::TransparentMode);
    painter_.setBrush(Qt::NoBrush);
    defaultFont_ = painter_.font();
    labelFont_ = QFont(defaultFont_.family());
    labelFont_.setPixelSize(LabelFontPixels(image.logicalDpiY()));
    defaultAscent_ = QFontMetrics(defaultFont_, &image).ascent();
    labelAscent_ = QFontMetrics(labelFont_, &image).ascent();
}

QtSurface::~QtSurface() {
    End();
}

void QtSurface::End() {
    if (active_) {
        painter_.end();
        active_ = false;
    }
}

void QtSurface::SetPen(Pen pen) {
    if (!(pen == state_.pen)) {
        state_.pen = pen;
        if (loaded_ == Loaded::LinePen) {
            loaded_ = Loaded::Nothing;
        }
    }
}

void QtSurface::SetTextColor(Rgb colour) {
    if (!(colour == state_.text)) {
        state_.text = colour;
        if (loaded_ == Loaded::TextPen) {
            loaded_ = Loaded::Nothing;
        }
    }
}

bool QtSurface::SelectLabelFont() {
    state_.label = true;
    return true;
}

void QtSurface::Save() {
    if (depth_ < static_cast<int>(std::size(saved_))) {
        saved_[depth_] = state_;
    }
    ++depth_;
}

void QtSurface::Restore() {
    if (depth_ == 0) {
        return;
    }
    --depth_;
    if (depth_ < static_cast<int>(std::size(saved_))) {
        SetPen(saved_[depth_].pen);
        SetTextColor(saved_[depth_].text);
        state_.label = saved_[depth_].label;
    }
}

void QtSurface::UseLinePen() {
    if (loaded_ != Loaded::LinePen) {
        // Square ends keep the fast path of the raster engine for wide lines and close the
        // joints of bones the way round ends would.
        QPen pen(ToQColor(state_.pen.colour), state_.pen.width, Qt::SolidLine, Qt::SquareCap,
                 Qt::MiterJoin);
        painter_.setPen(pen);
        loaded_ = Loaded::LinePen;
    }
}

void QtSurface::UseTextPen() {
    if (loaded_ != Loaded::TextPen) {
        painter_.setPen(ToQColor(state_.text));
        loaded_ = Loaded::TextPen;
    }
}

void QtSurface::UseFont(bool label) {
    if (fontLoaded_ != label) {
        painter_.setFont(label ? labelFont_ : defaultFont_);
        fontLoaded_ = label;
    }
}

void QtSurface::Line(Point from, Point to) {
    if (!active_) {
        return;
    }
    UseLinePen();
    painter_.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
}

void QtSurface::Ellipse(int left, int top, int right, int bottom) {
    if (!active_) {
        return;
    }
    UseLinePen();
    // As short straight strokes: wide lines take the raster engine's fast path, while a wide
    // curved outline goes through its general stroker at several times the cost.
    const double cx = (left + right) * 0.5;
    const double cy = (top + bottom) * 0.5;
    const double rx = (right - left) * 0.5;
    const double ry = (bottom - top) * 0.5;
    const double reach = std::fmax(std::fabs(rx), std::fabs(ry));
    if (!(reach < 65536.0)) {
        painter_.drawEllipse(QRect(left, top, right - left, bottom - top));
        return;
    }
    constexpr int MaxSegments = 96;
    const int segments = std::clamp(static_cast<int>(reach * 1.5), 8, MaxSegments);
    QLine lines[MaxSegments];
    QPoint previous(static_cast<int>(std::lround(cx + rx)), static_cast<int>(std::lround(cy)));
    for (int i = 1; i <= segments; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / segments;
        const QPoint next(static_cast<int>(std::lround(cx + rx * std::cos(a))),
                          static_cast<int>(std::lround(cy + ry * std::sin(a))));
        lines[i - 1] = QLine(previous, next);
        previous = next;
    }
    painter_.drawLines(lines, segments);
}

void QtSurface::Triangle(const Point (&corners)[3], Rgb fill) {
    if (!active_) {
        return;
    }
    UseLinePen();
    const QPoint points[3] = {
        {corners[0].x, corners[0].y}, {corners[1].x, corners[1].y}, {corners[2].x, corners[2].y}};
    painter_.setBrush(ToQColor(fill));
    painter_.drawPolygon(points, 3);
    painter_.setBrush(Qt::NoBrush);
}

void QtSurface::Text(int x, int y, std::string_view text) {
    if (!active_ || text.empty()) {
        return;
    }
    UseTextPen();
    UseFont(state_.label);
    int ascent = state_.label ? labelAscent_ : defaultAscent_;
    painter_.drawText(QPoint(x, y + ascent),
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtSurface::FillRect(int left, int top, int right, int bottom, Rgb colour) {
    if (!active_ || right <= left || bottom <= top) {
        return;
    }
    painter_.fillRect(QRect(left, top, right - left, bottom - top), ToQColor(colour));
}

QtPicture::QtPicture(std::function<void(const QImage&)> present) : present_(std::move(present)) {}

Surface& QtPicture::BeginPicture(int width, int height) {
    surface_.reset();
    // The pixels of the last picture are reused when the size is the same: every paint covers
    // them whole, and a fresh 8 MB buffer would cost its page faults at every frame.
    if (width <= 0 || height <= 0) {
        image_ = QImage();
    } else if (image_.width() != width || image_.height() != height) {
        image_ = QImage(width, height, QImage::Format_RGB32);
    }
    surface_.emplace(image_);
    return *surface_;
}

void QtPicture::Present() {
    if (surface_) {
        surface_->End();
    }
    if (present_ && !image_.isNull()) {
        present_(image_);
    }
}

} // namespace telvo
