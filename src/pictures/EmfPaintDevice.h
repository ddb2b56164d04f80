#pragma once
// A paint device that records what a QPainter draws as an Enhanced Metafile (EMF): the chart
// picture of the clipboard and of the exported ".wmf" files. Coordinates are device pixels
// at 96 dpi; text, pens, brushes, lines, rectangles, ellipses, polygons, paths (as polygons),
// images and rectangular clipping are recorded.

#include <QPaintDevice>

#include <memory>
#include <string>

namespace ostero::pictures {

class TEmfPaintEngine;

class TEmfPaintDevice : public QPaintDevice {
public:
    // The picture's size in pixels; both at least 1 (smaller values are raised to 1).
    TEmfPaintDevice(int width, int height);
    ~TEmfPaintDevice() override;

    QPaintEngine* paintEngine() const override;

    // The complete metafile (header, records so far, end record), little-endian. Meant to be
    // called after QPainter::end().
    std::string Bytes() const;

    int Width() const { return Width_; }
    int Height() const { return Height_; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int Width_;
    int Height_;
    std::unique_ptr<TEmfPaintEngine> Engine_;
};

} // namespace ostero::pictures
