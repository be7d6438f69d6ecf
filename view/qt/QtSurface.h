#pragma once

#include "view/Composition.h"
#include "view/Surface.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStaticText>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QPaintDevice;

namespace telvo {

// The label font's size: 72 tenths of a point at this many dots per inch, in whole pixels.
int LabelFontPixels(int dotsPerInch);

// What a picture keeps from one paint to the next: laid-out texts, the pixels of the circles it
// drew, and the background under the figure for an unchanged camera.
struct QtPaintCache {
    // A circle outline as the raster engine draws it, in pixel runs from its box's top left.
    struct Sprite {
        std::vector<QLine> strokes; // the segments it was drawn from, relative to the box;
                                    // none while the size was seen only once
        struct Run {
            int dx, dy, length;
        };
        std::vector<Run> runs;
    };
    std::map<std::string, QStaticText> texts[2];         // default font, label font
    std::map<std::tuple<int, int, int>, Sprite> sprites; // box width, height, pen width
    std::vector<uint8_t> layerKey;                       // of the kept background
    std::vector<uint8_t> lastLayerKey;                   // of the last paint's background
    QImage layer;
};

// The view's drawing layer through QPainter, without antialiasing: solid pens with square
// ends, hollow ellipses, triangles filled and outlined, text anchored at its top left on a
// transparent background. The device (an image, or a widget inside its paint event) must
// outlive the surface; a device with no pixels is left alone.
//
// On a 32-bit image without scaling, triangles are filled and remembered circles stamped
// straight into the pixels, exactly as the raster engine would draw them.
class QtSurface final : public Surface {
public:
    explicit QtSurface(QImage& image, QtPaintCache* cache = nullptr);
    // The top-left width x height pixels of the device.
    QtSurface(QPaintDevice& device, int width, int height, QtPaintCache* cache = nullptr);
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
    void Lines(const Segment* segments, int count) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Triangle(const Point (&corners)[3], Rgb fill) override;
    void Text(int x, int y, std::string_view text) override;
    void FillRect(int left, int top, int right, int bottom, Rgb colour) override;
    bool BeginLayer(const void* key, std::size_t size) override;
    void EndLayer() override;

private:
    struct State {
        Pen pen{1, Black};
        Rgb text{Black};
        bool label = false;
    };
    enum class Loaded { Nothing, LinePen, TextPen };

    void Begin(QPaintDevice& device, int width, int height);
    void FindPixels();
    void Settle();
    void UseLinePen();
    void UseTextPen();
    void UseFont(bool label);
    // The pixel row y of the picture, when drawing straight into it is allowed.
    uint32_t* Row(int y) const { return pixels_ + stride_ * y; }
    bool Inside(int left, int top, int right, int bottom) const;
    const QtPaintCache::Sprite* SpriteFor(int width, int height, const std::vector<QLine>& strokes);
    void CopyPicture(const QImage& from);
    void KeepPicture(QImage& into);

    QPainter painter_;
    bool active_ = false;
    int width_ = 0;
    int height_ = 0;
    QtPaintCache* cache_ = nullptr;
    uint32_t* pixels_ = nullptr;     // top-left pixel of the picture, or null
    qsizetype stride_ = 0;           // in pixels
    std::optional<Rgb> pendingFill_; // the whole picture, unless a kept layer covers it
    std::vector<uint8_t> layerKey_;  // of the layer being drawn
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

// A paint drawn straight onto a device: the widget in its paint event (whose backing store
// shows a finished paint in one piece) or an image.
class QtPicture final : public PaintTarget {
public:
    explicit QtPicture(QPaintDevice& device);

    Surface& BeginPicture(int width, int height) override;
    void Present() override;

private:
    QPaintDevice& device_;
    QtPaintCache cache_;
    std::optional<QtSurface> surface_;
};

} // namespace telvo
