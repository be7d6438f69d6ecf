#include "view/qt/QtSurface.h"

#include "view/qt/FlatFill.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPen>
#include <QRegion>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace telvo {

namespace {

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

constexpr std::size_t MaxSprites = 64; // sizes kept; all forgotten when full

uint32_t ToPixel(Rgb c) {
    return 0xFF000000u | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

QPen LinePen(const Pen& pen, QColor colour) {
    // Square ends keep the fast path of the raster engine for wide lines and close the
    // joints of bones the way round ends would.
    return QPen(colour, pen.width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

// The short straight strokes of an ellipse outline, relative to its box's top left. Wide
// lines take the raster engine's fast path, while a wide curved outline goes through its
// general stroker at several times the cost.
std::vector<QLine> EllipseStrokes(int left, int top, int right, int bottom) {
    const double cx = (left + right) * 0.5;
    const double cy = (top + bottom) * 0.5;
    const double rx = (right - left) * 0.5;
    const double ry = (bottom - top) * 0.5;
    const double reach = std::fmax(std::fabs(rx), std::fabs(ry));
    const int segments = std::clamp(static_cast<int>(reach * 1.5), 8, 96);
    std::vector<QLine> lines(static_cast<std::size_t>(segments));
    QPoint previous(static_cast<int>(std::lround(cx + rx)), static_cast<int>(std::lround(cy)));
    for (int i = 1; i <= segments; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / segments;
        const QPoint next(static_cast<int>(std::lround(cx + rx * std::cos(a))),
                          static_cast<int>(std::lround(cy + ry * std::sin(a))));
        lines[static_cast<std::size_t>(i - 1)] = QLine(previous, next).translated(-left, -top);
        previous = next;
    }
    return lines;
}

} // namespace

int LabelFontPixels(int dotsPerInch) {
    // 72 tenths of a point; a point is 1/72 inch.
    return static_cast<int>(std::lround(72.0 * dotsPerInch / 720.0));
}

QtSurface::QtSurface(QImage& image, QtPaintCache* cache) : cache_(cache) {
    if (!image.isNull()) {
        Begin(image, image.width(), image.height());
    }
}

QtSurface::QtSurface(QPaintDevice& device, int width, int height, QtPaintCache* cache)
    : cache_(cache) {
    if (width > 0 && height > 0) {
        Begin(device, width, height);
    }
}

void QtSurface::Begin(QPaintDevice& device, int width, int height) {
    active_ = painter_.begin(&device);
    if (!active_) {
        return;
    }
    width_ = width;
    height_ = height;
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setBackgroundMode(Qt::TransparentMode);
    painter_.setBrush(Qt::NoBrush);
    defaultFont_ = painter_.font();
    labelFont_ = QFont(defaultFont_.family());
    labelFont_.setPixelSize(LabelFontPixels(device.logicalDpiY()));
    defaultAscent_ = QFontMetrics(defaultFont_, &device).ascent();
    labelAscent_ = QFontMetrics(labelFont_, &device).ascent();
    FindPixels();
}

// Straight into the pixels only where the raster engine would put them there itself: an
// image of 32-bit pixels, no scaling, and the whole picture in its paint region.
void QtSurface::FindPixels() {
    QPaintEngine* engine = painter_.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster) {
        return;
    }
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) {
        return;
    }
    const auto* image = static_cast<const QImage*>(device);
    const QImage::Format format = image->format();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
         format != QImage::Format_ARGB32_Premultiplied) ||
        image->devicePixelRatio() != 1.0) {
        return;
    }
    const QTransform toDevice = painter_.deviceTransform();
    if (toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::trunc(toDevice.dx()) ||
        toDevice.dy() != std::trunc(toDevice.dy())) {
        return;
    }
    const QRect area(static_cast<int>(toDevice.dx()), static_cast<int>(toDevice.dy()), width_,
                     height_);
    const QRegion clip = engine->systemClip();
    if (!image->rect().contains(area) ||
        (!clip.isEmpty() && !QRegion(area).subtracted(clip).isEmpty())) {
        return;
    }
    stride_ = image->bytesPerLine() / 4;
    // constBits: the engine paints into these very bytes, which must not be detached.
    pixels_ = reinterpret_cast<uint32_t*>(const_cast<uchar*>(image->constBits())) +
              stride_ * area.y() + area.x();
}

QtSurface::~QtSurface() {
    End();
}

void QtSurface::End() {
    if (active_) {
        Settle();
        painter_.end();
        active_ = false;
        pixels_ = nullptr;
    }
}

// The grey of the whole picture waits for the first drawing: a kept layer may cover it.
void QtSurface::Settle() {
    if (pendingFill_) {
        painter_.fillRect(QRect(0, 0, width_, height_), ToQColor(*pendingFill_));
        pendingFill_.reset();
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
        painter_.setPen(LinePen(state_.pen, ToQColor(state_.pen.colour)));
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

bool QtSurface::Inside(int left, int top, int right, int bottom) const {
    return pixels_ != nullptr && left >= 0 && top >= 0 && right < width_ && bottom < height_;
}

void QtSurface::Line(Point from, Point to) {
    const Segment one{from, to};
    Lines(&one, 1);
}

void QtSurface::Lines(const Segment* segments, int count) {
    if (!active_ || count <= 0) {
        return;
    }
    Settle();
    UseLinePen();
    constexpr int Batch = 64;
    QLine lines[Batch];
    for (int done = 0; done < count; done += Batch) {
        const int n = std::min(Batch, count - done);
        for (int i = 0; i < n; ++i) {
            const Segment& s = segments[done + i];
            lines[i] = QLine(s.from.x, s.from.y, s.to.x, s.to.y);
        }
        painter_.drawLines(lines, n);
    }
}

void QtSurface::Ellipse(int left, int top, int right, int bottom) {
    if (!active_) {
        return;
    }
    Settle();
    UseLinePen();
    const double reach =
        std::fmax(std::fabs((right - left) * 0.5), std::fabs((bottom - top) * 0.5));
    if (!(reach < 65536.0)) {
        painter_.drawEllipse(QRect(left, top, right - left, bottom - top));
        return;
    }
    const std::vector<QLine> strokes = EllipseStrokes(left, top, right, bottom);
    const int margin = state_.pen.width + 2;
    if (cache_ != nullptr && right >= left && bottom >= top &&
        Inside(left - margin, top - margin, right + margin, bottom + margin)) {
        // A circle drawn before at the same size is stamped; the engine's pixels for the same
        // strokes moved by whole pixels are the same pixels moved.
        const QtPaintCache::Sprite* sprite = SpriteFor(right - left, bottom - top, strokes);
        if (sprite != nullptr && sprite->strokes == strokes) {
            const uint32_t colour = ToPixel(state_.pen.colour);
            for (const auto& run : sprite->runs) {
                uint32_t* at = Row(top + run.dy) + left + run.dx;
                std::fill(at, at + run.length, colour);
            }
            return;
        }
    }
    std::vector<QLine> placed(strokes.size());
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        placed[i] = strokes[i].translated(left, top);
    }
    painter_.drawLines(placed.data(), static_cast<int>(placed.size()));
}

// Made at a size's second sight: a contact radius follows the zoom, and while the user zooms
// every size is seen once and never again.
const QtPaintCache::Sprite* QtSurface::SpriteFor(int width, int height,
                                                 const std::vector<QLine>& strokes) {
    const auto key = std::make_tuple(width, height, state_.pen.width);
    auto it = cache_->sprites.find(key);
    if (it == cache_->sprites.end()) {
        if (cache_->sprites.size() >= MaxSprites) {
            cache_->sprites.clear();
        }
        cache_->sprites.emplace(key, QtPaintCache::Sprite{});
        return nullptr;
    }
    QtPaintCache::Sprite& sprite = it->second;
    if (!sprite.strokes.empty()) {
        return &sprite;
    }
    sprite.strokes = strokes;
    const int margin = state_.pen.width + 2;
    QImage scratch(width + 2 * margin + 1, height + 2 * margin + 1,
                   QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    {
        QPainter draw(&scratch);
        draw.setRenderHint(QPainter::Antialiasing, false);
        draw.setPen(LinePen(state_.pen, Qt::white));
        std::vector<QLine> placed(strokes.size());
        for (std::size_t i = 0; i < strokes.size(); ++i) {
            placed[i] = strokes[i].translated(margin, margin);
        }
        draw.drawLines(placed.data(), static_cast<int>(placed.size()));
    }
    for (int y = 0; y < scratch.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width();) {
            if (row[x] == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < scratch.width() && row[x] != 0) {
                ++x;
            }
            sprite.runs.push_back({start - margin, y - margin, x - start});
        }
    }
    return &sprite;
}

void QtSurface::Triangle(const Point (&corners)[3], Rgb fill) {
    if (!active_) {
        return;
    }
    Settle();
    UseLinePen();
    const QPoint points[3] = {
        {corners[0].x, corners[0].y}, {corners[1].x, corners[1].y}, {corners[2].x, corners[2].y}};
    int left = corners[0].x, right = left, top = corners[0].y, bottom = top;
    for (const Point& p : corners) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    // Corners that coincide are left to the engine, whose strokes of no length vary.
    const bool distinct =
        !(corners[0] == corners[1]) && !(corners[1] == corners[2]) && !(corners[2] == corners[0]);
    if (distinct && state_.pen.width <= 1 && Inside(left - 2, top - 2, right + 2, bottom + 2)) {
        FillTriangle(pixels_, stride_, corners, ToPixel(fill));
        OutlineTriangle(pixels_, stride_, corners, ToPixel(state_.pen.colour));
        return;
    }
    painter_.setBrush(ToQColor(fill));
    painter_.drawPolygon(points, 3);
    painter_.setBrush(Qt::NoBrush);
}

void QtSurface::Text(int x, int y, std::string_view text) {
    if (!active_ || text.empty()) {
        return;
    }
    Settle();
    UseTextPen();
    UseFont(state_.label);
    if (cache_ == nullptr) {
        int ascent = state_.label ? labelAscent_ : defaultAscent_;
        painter_.drawText(QPoint(x, y + ascent),
                          QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        return;
    }
    // Laid out once: the same glyphs in the same places as drawText, without shaping anew.
    auto& texts = cache_->texts[state_.label ? 1 : 0];
    auto it = texts.find(std::string(text));
    if (it == texts.end()) {
        QStaticText laidOut(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), state_.label ? labelFont_ : defaultFont_);
        it = texts.emplace(std::string(text), std::move(laidOut)).first;
    }
    painter_.drawStaticText(QPoint(x, y), it->second);
}

void QtSurface::FillRect(int left, int top, int right, int bottom, Rgb colour) {
    if (!active_ || right <= left || bottom <= top) {
        return;
    }
    if (cache_ != nullptr && left <= 0 && top <= 0 && right >= width_ && bottom >= height_) {
        pendingFill_ = colour;
        return;
    }
    Settle();
    painter_.fillRect(QRect(left, top, right - left, bottom - top), ToQColor(colour));
}

bool QtSurface::BeginLayer(const void* key, std::size_t size) {
    layerKey_.clear();
    if (!active_ || cache_ == nullptr || !pendingFill_ || pixels_ == nullptr) {
        return true; // drawn over something else, or nowhere to keep it
    }
    const auto* bytes = static_cast<const uint8_t*>(key);
    layerKey_.assign(bytes, bytes + size);
    if (cache_->layerKey == layerKey_ && cache_->layer.width() == width_ &&
        cache_->layer.height() == height_) {
        CopyPicture(cache_->layer);
        pendingFill_.reset();
        layerKey_.clear();
        return false;
    }
    return true;
}

void QtSurface::EndLayer() {
    if (layerKey_.empty() || !active_) {
        return;
    }
    Settle();
    // Kept once the camera has stayed for a second paint: while it moves, every paint would
    // pay for a copy that no later paint uses.
    if (cache_->lastLayerKey == layerKey_) {
        KeepPicture(cache_->layer);
        cache_->layerKey = layerKey_;
    } else {
        cache_->layerKey.clear();
    }
    cache_->lastLayerKey = std::move(layerKey_);
    layerKey_.clear();
}

void QtSurface::CopyPicture(const QImage& from) {
    for (int y = 0; y < height_; ++y) {
        std::memcpy(Row(y), from.constScanLine(y), static_cast<std::size_t>(width_) * 4);
    }
}

void QtSurface::KeepPicture(QImage& into) {
    if (into.width() != width_ || into.height() != height_) {
        into = QImage(width_, height_, QImage::Format_RGB32);
    }
    for (int y = 0; y < height_; ++y) {
        std::memcpy(into.scanLine(y), Row(y), static_cast<std::size_t>(width_) * 4);
    }
}

QtPicture::QtPicture(QPaintDevice& device) : device_(device) {}

Surface& QtPicture::BeginPicture(int width, int height) {
    surface_.reset();
    surface_.emplace(device_, width, height, &cache_);
    return *surface_;
}

void QtPicture::Present() {
    surface_.reset();
}

} // namespace telvo
