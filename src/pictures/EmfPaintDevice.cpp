// EMF records as the format describes them: every record is a 32-bit type and a 32-bit size
// (a multiple of 4) followed by its fields, all little-endian; the header's byte and record
// counts cover the whole file including the end record.

#include "pictures/EmfPaintDevice.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainterPath>
#include <QTextItem>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ostero::pictures {

namespace {

// Record types.
constexpr uint32_t EMR_HEADER = 1;
constexpr uint32_t EMR_POLYGON16 = 86;
constexpr uint32_t EMR_POLYLINE16 = 87;
constexpr uint32_t EMR_EOF = 14;
constexpr uint32_t EMR_SETMAPMODE = 17;
constexpr uint32_t EMR_SETBKMODE = 18;
constexpr uint32_t EMR_SETPOLYFILLMODE = 19;
constexpr uint32_t EMR_SETTEXTALIGN = 22;
constexpr uint32_t EMR_SETTEXTCOLOR = 24;
constexpr uint32_t EMR_MOVETOEX = 27;
constexpr uint32_t EMR_INTERSECTCLIPRECT = 30;
constexpr uint32_t EMR_SAVEDC = 33;
constexpr uint32_t EMR_RESTOREDC = 34;
constexpr uint32_t EMR_SELECTOBJECT = 37;
constexpr uint32_t EMR_CREATEPEN = 38;
constexpr uint32_t EMR_CREATEBRUSHINDIRECT = 39;
constexpr uint32_t EMR_DELETEOBJECT = 40;
constexpr uint32_t EMR_ELLIPSE = 42;
constexpr uint32_t EMR_RECTANGLE = 43;
constexpr uint32_t EMR_LINETO = 54;
constexpr uint32_t EMR_STRETCHDIBITS = 81;
constexpr uint32_t EMR_EXTCREATEFONTINDIRECTW = 82;
constexpr uint32_t EMR_EXTTEXTOUTW = 84;

constexpr uint32_t kStockObject = 0x80000000;
constexpr uint32_t kNullBrush = kStockObject | 5;
constexpr uint32_t kNullPen = kStockObject | 8;
constexpr uint32_t kSignature = 0x464D4520; // " EMF"
constexpr int kDpi = 96;

class TRecord {
public:
    explicit TRecord(uint32_t type) { U32(type).U32(0); }
    TRecord& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    TRecord& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    TRecord& U16(uint16_t v) {
        Bytes_.push_back(static_cast<char>(v & 0xFF));
        Bytes_.push_back(static_cast<char>(v >> 8));
        return *this;
    }
    TRecord& U8(uint8_t v) {
        Bytes_.push_back(static_cast<char>(v));
        return *this;
    }
    TRecord& F32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    TRecord& Rect(const QRect& r) {
        return I32(r.left()).I32(r.top()).I32(r.right()).I32(r.bottom());
    }
    TRecord& Raw(const void* data, size_t size) {
        Bytes_.append(static_cast<const char*>(data), size);
        return *this;
    }
    TRecord& Pad() {
        while (Bytes_.size() % 4)
            Bytes_.push_back('\0');
        return *this;
    }
    size_t Size() const { return Bytes_.size(); }
    // The finished record: padded, with its size filled in.
    std::string Finish() {
        Pad();
        const auto size = static_cast<uint32_t>(Bytes_.size());
        for (int i = 0; i < 4; ++i)
            Bytes_[4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        return Bytes_;
    }

private:
    std::string Bytes_;
};

uint32_t ColorRef(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

int32_t Round(double v) {
    return static_cast<int32_t>(std::lround(std::clamp(v, -2.0e9, 2.0e9)));
}

int16_t Round16(double v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

} // namespace

class TEmfPaintEngine : public QPaintEngine {
public:
    TEmfPaintEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override {
        // Each painting session starts from the device's defaults, as a fresh DC would.
        Pen_ = Brush_ = Font_ = 0;
        PenKey_.clear();
        BrushKey_.clear();
        FontKey_.clear();
        TextColor_ = 0xFFFFFFFF;
        Clipped_ = false;
        Add(TRecord(EMR_SETMAPMODE).U32(1));      // MM_TEXT: one unit is one pixel
        Add(TRecord(EMR_SETBKMODE).U32(1));       // TRANSPARENT: text draws no background box
        Add(TRecord(EMR_SETTEXTALIGN).U32(24));   // TA_BASELINE | TA_LEFT, as Qt gives text
        Add(TRecord(EMR_SETPOLYFILLMODE).U32(2)); // WINDING
        return true;
    }

    bool end() override {
        if (Clipped_)
            Add(TRecord(EMR_RESTOREDC).I32(-1));
        Clipped_ = false;
        for (uint32_t* handle : {&Pen_, &Brush_, &Font_}) {
            if (*handle) {
                Select(kStockObject | (handle == &Font_ ? 13u : handle == &Pen_ ? 7u : 0u));
                Delete(*handle);
                *handle = 0;
            }
        }
        return true;
    }

    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        const auto flags = state.state();
        if (flags & DirtyTransform)
            Transform_ = state.transform();
        if (flags & DirtyPen)
            QtPen_ = state.pen();
        if (flags & DirtyBrush)
            QtBrush_ = state.brush();
        if (flags & DirtyFont)
            QtFont_ = state.font();
        if (flags & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled))
            UpdateClip(state);
    }

    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            if (Transform_.type() <= QTransform::TxScale) {
                UsePenAndBrush();
                Add(TRecord(EMR_RECTANGLE).Rect(Box(Transform_.mapRect(rects[i]))));
            } else {
                drawPolygon(QPolygonF(rects[i]).constData(), 4, ConvexMode);
            }
        }
    }

    void drawLines(const QLineF* lines, int count) override {
        if (QtPen_.style() == Qt::NoPen)
            return;
        UsePen();
        for (int i = 0; i < count; ++i) {
            const QPointF a = Transform_.map(lines[i].p1());
            const QPointF b = Transform_.map(lines[i].p2());
            Add(TRecord(EMR_MOVETOEX).I32(Round(a.x())).I32(Round(a.y())));
            Add(TRecord(EMR_LINETO).I32(Round(b.x())).I32(Round(b.y())));
        }
    }

    void drawEllipse(const QRectF& rect) override {
        if (Transform_.type() <= QTransform::TxScale) {
            UsePenAndBrush();
            Add(TRecord(EMR_ELLIPSE).Rect(Box(Transform_.mapRect(rect))));
        } else {
            QPainterPath path;
            path.addEllipse(rect);
            drawPath(path);
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (count < 2)
            return;
        // Records hold 16-bit points; longer polygons go out in pieces that share end points.
        const bool polyline = mode == PolylineMode;
        if (polyline) {
            if (QtPen_.style() == Qt::NoPen)
                return;
            UsePen();
            Select(kNullBrush);
            BrushKey_.clear();
        } else {
            UsePenAndBrush();
        }
        constexpr int kMaxPoints = 16000;
        for (int start = 0;;) {
            const int n = std::min(kMaxPoints, count - start);
            std::vector<QPoint> mapped;
            mapped.reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                const QPointF p = Transform_.map(points[start + i]);
                mapped.emplace_back(Round16(p.x()), Round16(p.y()));
            }
            QRect bounds(mapped.front(), mapped.front());
            for (const QPoint& p : mapped)
                bounds |= QRect(p, p);
            TRecord record(polyline ? EMR_POLYLINE16 : EMR_POLYGON16);
            record.Rect(bounds).U32(static_cast<uint32_t>(n));
            for (const QPoint& p : mapped)
                record.U16(static_cast<uint16_t>(p.x())).U16(static_cast<uint16_t>(p.y()));
            Add(std::move(record));
            if (start + n >= count || !polyline)
                break;
            start += n - 1;
        }
    }

    void drawPath(const QPainterPath& path) override {
        const QList<QPolygonF> polygons = path.toSubpathPolygons();
        for (const QPolygonF& polygon : polygons) {
            const bool closed = polygon.size() > 2 && polygon.isClosed();
            const bool filled = QtBrush_.style() != Qt::NoBrush;
            drawPolygon(polygon.constData(), static_cast<int>(polygon.size()),
                        closed || filled ? WindingMode : PolylineMode);
        }
    }

    void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override {
        drawImage(target, pixmap.toImage(), source, Qt::AutoColor);
    }

    void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags) override {
        const QImage part =
            image.copy(source.toAlignedRect()).convertToFormat(QImage::Format_RGB32);
        if (part.isNull())
            return;
        const QRect to = Box(Transform_.mapRect(target));
        const int w = part.width(), h = part.height();
        // A bottom-up 32-bit DIB: BITMAPINFOHEADER then the rows, last row first.
        TRecord record(EMR_STRETCHDIBITS);
        record.Rect(to)
            .I32(to.left())
            .I32(to.top()) // destination
            .I32(0)
            .I32(0)
            .I32(w)
            .I32(h) // source rectangle
            .U32(80)
            .U32(40) // bitmap info: offset, size
            .U32(120)
            .U32(static_cast<uint32_t>(w * h * 4)) // bits: offset, size
            .U32(0)                                // DIB_RGB_COLORS
            .U32(0x00CC0020)                       // SRCCOPY
            .I32(to.width())
            .I32(to.height());
        record.U32(40)
            .I32(w)
            .I32(h)
            .U16(1)
            .U16(32)
            .U32(0)
            .U32(static_cast<uint32_t>(w * h * 4))
            .I32(3780)
            .I32(3780)
            .U32(0)
            .U32(0);
        for (int y = h - 1; y >= 0; --y)
            record.Raw(part.constScanLine(y), static_cast<size_t>(w) * 4);
        Add(std::move(record));
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const QFont font = item.font();
        UseFont(font);
        const uint32_t color = ColorRef(QtPen_.color());
        if (color != TextColor_) {
            Add(TRecord(EMR_SETTEXTCOLOR).U32(color));
            TextColor_ = color;
        }
        const QPointF at = Transform_.map(p);
        const QFontMetricsF metrics(font);
        const auto n = static_cast<uint32_t>(text.size());
        const uint32_t stringOffset = 76;
        const uint32_t dxOffset = stringOffset + ((n * 2 + 3) & ~3u);
        const QRect bounds(Round(at.x()), Round(at.y() - metrics.ascent()),
                           std::max(1, Round(metrics.horizontalAdvance(text))),
                           std::max(1, Round(metrics.height())));
        TRecord record(EMR_EXTTEXTOUTW);
        record.Rect(bounds).U32(1).F32(0).F32(0); // GM_COMPATIBLE
        record.I32(Round(at.x())).I32(Round(at.y())).U32(n).U32(stringOffset).U32(0);
        record.I32(0).I32(0).I32(-1).I32(-1).U32(dxOffset);
        for (QChar c : text)
            record.U16(c.unicode());
        record.Pad();
        // Advances per UTF-16 unit, accumulated so rounding does not drift along the line.
        double x = 0;
        int32_t placed = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!text[i].isLowSurrogate()) {
                const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
                x += metrics.horizontalAdvance(text.mid(i, len));
            }
            const int32_t next = Round(x);
            record.I32(next - placed);
            placed = next;
        }
        Add(std::move(record));
    }

    std::string Records() const { return Records_; }
    uint32_t RecordCount() const { return Count_; }
    uint32_t HandleCount() const { return MaxHandle_ + 1; }

private:
    void Add(TRecord record) {
        Records_ += record.Finish();
        ++Count_;
    }

    static QRect Box(const QRectF& r) {
        return QRect(QPoint(Round(r.left()), Round(r.top())),
                     QPoint(Round(r.right()), Round(r.bottom())));
    }

    uint32_t NewHandle() {
        uint32_t h = 1;
        while (std::find(Used_.begin(), Used_.end(), h) != Used_.end())
            ++h;
        Used_.push_back(h);
        MaxHandle_ = std::max(MaxHandle_, h);
        return h;
    }
    void Select(uint32_t handle) { Add(TRecord(EMR_SELECTOBJECT).U32(handle)); }
    void Delete(uint32_t handle) {
        Add(TRecord(EMR_DELETEOBJECT).U32(handle));
        Used_.erase(std::remove(Used_.begin(), Used_.end(), handle), Used_.end());
    }
    // Creates and selects a new object, then frees the one it replaces.
    void Replace(uint32_t& current, TRecord create, uint32_t handle) {
        Add(std::move(create));
        Select(handle);
        if (current)
            Delete(current);
        current = handle;
    }

    void UsePen() {
        const QString key = QtPen_.style() == Qt::NoPen ? QStringLiteral("null")
                                                        : QStringLiteral("%1/%2/%3")
                                                              .arg(QtPen_.color().rgb())
                                                              .arg(QtPen_.widthF())
                                                              .arg(int(QtPen_.style()));
        if (key == PenKey_)
            return;
        PenKey_ = key;
        if (QtPen_.style() == Qt::NoPen) {
            Select(kNullPen);
            if (Pen_)
                Delete(Pen_);
            Pen_ = 0;
            return;
        }
        uint32_t style = 0; // PS_SOLID
        switch (QtPen_.style()) {
        case Qt::DashLine:
            style = 1;
            break;
        case Qt::DotLine:
            style = 2;
            break;
        case Qt::DashDotLine:
            style = 3;
            break;
        case Qt::DashDotDotLine:
            style = 4;
            break;
        default:
            break;
        }
        const double scale = std::sqrt(std::abs(Transform_.determinant()));
        const int32_t width = QtPen_.isCosmetic() ? std::max(1, Round(QtPen_.widthF()))
                                                  : std::max(1, Round(QtPen_.widthF() * scale));
        const uint32_t h = NewHandle();
        TRecord create(EMR_CREATEPEN);
        create.U32(h).U32(style).I32(width).I32(0).U32(ColorRef(QtPen_.color()));
        Replace(Pen_, std::move(create), h);
    }

    void UseBrush() {
        const Qt::BrushStyle qtStyle = QtBrush_.style();
        const QString key =
            qtStyle == Qt::NoBrush
                ? QStringLiteral("null")
                : QStringLiteral("%1/%2").arg(QtBrush_.color().rgb()).arg(int(qtStyle));
        if (key == BrushKey_)
            return;
        BrushKey_ = key;
        if (qtStyle == Qt::NoBrush) {
            Select(kNullBrush);
            if (Brush_)
                Delete(Brush_);
            Brush_ = 0;
            return;
        }
        uint32_t style = 0, hatch = 0; // BS_SOLID; gradients and textures fall back to it
        switch (qtStyle) {
        case Qt::HorPattern:
            style = 2;
            hatch = 0;
            break;
        case Qt::VerPattern:
            style = 2;
            hatch = 1;
            break;
        case Qt::FDiagPattern:
            style = 2;
            hatch = 2;
            break;
        case Qt::BDiagPattern:
            style = 2;
            hatch = 3;
            break;
        case Qt::CrossPattern:
            style = 2;
            hatch = 4;
            break;
        case Qt::DiagCrossPattern:
            style = 2;
            hatch = 5;
            break;
        default:
            break;
        }
        QColor color = QtBrush_.color();
        if (const QGradient* gradient = QtBrush_.gradient();
            gradient && !gradient->stops().isEmpty())
            color = gradient->stops().front().second;
        const uint32_t h = NewHandle();
        TRecord create(EMR_CREATEBRUSHINDIRECT);
        create.U32(h).U32(style).U32(ColorRef(color)).U32(hatch);
        Replace(Brush_, std::move(create), h);
    }

    void UsePenAndBrush() {
        UsePen();
        UseBrush();
    }

    void UseFont(const QFont& font) {
        const double pixels =
            font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * kDpi / 72.0;
        const double scale = std::sqrt(std::abs(Transform_.determinant()));
        const int32_t height = -std::max(1, Round(pixels * scale));
        const QString key = QStringLiteral("%1/%2/%3/%4/%5/%6")
                                .arg(font.family())
                                .arg(height)
                                .arg(font.weight())
                                .arg(font.italic())
                                .arg(font.underline())
                                .arg(font.strikeOut());
        if (key == FontKey_)
            return;
        FontKey_ = key;
        const uint32_t h = NewHandle();
        TRecord create(EMR_EXTCREATEFONTINDIRECTW);
        create.U32(h);
        // LOGFONTW: height (negative: character height), width, escapement, orientation, weight.
        create.I32(height).I32(0).I32(0).I32(0).I32(font.weight());
        create.U8(font.italic()).U8(font.underline()).U8(font.strikeOut());
        create.U8(1).U8(0).U8(0).U8(4).U8(
            0); // DEFAULT_CHARSET, default precisions, ANTIALIASED_QUALITY
        const QString face = font.family().left(31);
        for (int i = 0; i < 32; ++i)
            create.U16(i < face.size() ? face[i].unicode() : 0);
        Replace(Font_, std::move(create), h);
    }

    void UpdateClip(const QPaintEngineState& state) {
        // The DC is saved before a clip is set, so that a new clip replaces rather than narrows
        // it; the objects selected at that time come back with it.
        if (Clipped_) {
            Add(TRecord(EMR_RESTOREDC).I32(-1));
            Clipped_ = false;
            ReselectAfterRestore();
        }
        if (!state.isClipEnabled() || state.clipOperation() == Qt::NoClip)
            return;
        QRectF clip;
        if (state.state() & DirtyClipPath)
            clip = state.clipPath().boundingRect();
        else
            clip = state.clipRegion().boundingRect();
        const QRect box = Box(Transform_.mapRect(clip));
        Add(TRecord(EMR_SAVEDC));
        Add(TRecord(EMR_INTERSECTCLIPRECT)
                .I32(box.left())
                .I32(box.top())
                .I32(box.right() + 1)
                .I32(box.bottom() + 1));
        Clipped_ = true;
    }

    void ReselectAfterRestore() {
        Select(Pen_ ? Pen_ : kNullPen);
        Select(Brush_ ? Brush_ : kNullBrush);
        if (Font_)
            Select(Font_);
        if (TextColor_ != 0xFFFFFFFF)
            Add(TRecord(EMR_SETTEXTCOLOR).U32(TextColor_));
    }

    std::string Records_;
    uint32_t Count_ = 0;
    std::vector<uint32_t> Used_;
    uint32_t MaxHandle_ = 0;
    uint32_t Pen_ = 0, Brush_ = 0, Font_ = 0;
    QString PenKey_, BrushKey_, FontKey_;
    uint32_t TextColor_ = 0xFFFFFFFF;
    bool Clipped_ = false;
    QTransform Transform_;
    QPen QtPen_;
    QBrush QtBrush_;
    QFont QtFont_;
};

TEmfPaintDevice::TEmfPaintDevice(int width, int height)
    : Width_(std::max(1, width)), Height_(std::max(1, height)),
      Engine_(std::make_unique<TEmfPaintEngine>()) {}

TEmfPaintDevice::~TEmfPaintDevice() = default;

QPaintEngine* TEmfPaintDevice::paintEngine() const {
    return Engine_.get();
}

int TEmfPaintDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
        return Width_;
    case PdmHeight:
        return Height_;
    case PdmWidthMM:
        return Width_ * 254 / (kDpi * 10);
    case PdmHeightMM:
        return Height_ * 254 / (kDpi * 10);
    case PdmNumColors:
        return 0x7FFFFFFF;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kDpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

std::string TEmfPaintDevice::Bytes() const {
    const std::string records = Engine_->Records();
    TRecord eof(EMR_EOF);
    eof.U32(0).U32(16).U32(20); // no palette; offset of the (absent) entries; size of this record
    const std::string eofBytes = eof.Finish();

    constexpr char16_t kDescription[] = u"Taveric Ostero\0Chart\0";
    const std::u16string description(kDescription, sizeof kDescription / sizeof(char16_t));
    TRecord header(EMR_HEADER);
    // Reference device: a 1920x1080 screen at 96 dpi.
    const int32_t deviceW = 1920, deviceH = 1080;
    const int32_t micronsW = deviceW * 25400 / kDpi, micronsH = deviceH * 25400 / kDpi;
    header.I32(0).I32(0).I32(Width_ - 1).I32(Height_ - 1);                     // bounds, pixels
    header.I32(0).I32(0).I32(Width_ * 2540 / kDpi).I32(Height_ * 2540 / kDpi); // frame, 0.01 mm
    header.U32(kSignature).U32(0x10000);
    const size_t sizeAt = header.Size();
    header.U32(0).U32(0); // file size and record count, filled in below
    header.U16(static_cast<uint16_t>(Engine_->HandleCount())).U16(0);
    header.U32(static_cast<uint32_t>(description.size())).U32(108).U32(0);
    header.I32(deviceW).I32(deviceH).I32(micronsW / 1000).I32(micronsH / 1000);
    header.U32(0).U32(0).U32(0);        // no pixel format, no OpenGL
    header.I32(micronsW).I32(micronsH); // device size in micrometres
    for (char16_t c : description)
        header.U16(static_cast<uint16_t>(c));
    std::string bytes = header.Finish();
    const auto total = static_cast<uint32_t>(bytes.size() + records.size() + eofBytes.size());
    const uint32_t count = Engine_->RecordCount() + 2;
    for (int i = 0; i < 4; ++i) {
        bytes[sizeAt + i] = static_cast<char>((total >> (8 * i)) & 0xFF);
        bytes[sizeAt + 4 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    }
    return bytes + records + eofBytes;
}

} // namespace ostero::pictures
