// The pictures Tango has nothing for: drawn at 16x16 in the Tango palette's spirit (dark
// outline, flat fill), so they sit well beside the packed ones.

#include "pictures/PictureDrawing.h"

#include "pictures/Pictures.h"
#include "report/Chart.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <stdexcept>

namespace ostero::pictures::detail {

namespace {

QColor Rgb(int32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb) | 0xFF000000u);
}

// Chart colours are stored 0xBBGGRR.
QColor FromBgr(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QImage Blank(int width = kIconSize, int height = kIconSize) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// A chip body with pins on two or four sides.
void DrawChipBody(QPainter& p, const QColor& body, bool fourSides, const QRectF& box) {
    p.setPen(QPen(QColor(0x88, 0x8A, 0x85), 1));
    for (double x = box.left() + 2; x < box.right() - 1; x += 2) {
        p.drawLine(QPointF(x, box.top() - 2), QPointF(x, box.top()));
        p.drawLine(QPointF(x, box.bottom()), QPointF(x, box.bottom() + 2));
    }
    if (fourSides) {
        for (double y = box.top() + 2; y < box.bottom() - 1; y += 2) {
            p.drawLine(QPointF(box.left() - 2, y), QPointF(box.left(), y));
            p.drawLine(QPointF(box.right(), y), QPointF(box.right() + 2, y));
        }
    }
    p.setPen(QPen(body.darker(160), 1));
    p.setBrush(body);
    p.drawRect(box);
}

void DrawTick(QPainter& p, const QColor& color, double scale = 1.0, QPointF at = {0, 0}) {
    QPainterPath path;
    path.moveTo(at + QPointF(2.5, 8.5) * scale);
    path.lineTo(at + QPointF(6.5, 12.5) * scale);
    path.lineTo(at + QPointF(13.5, 3.5) * scale);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color.darker(130), 3.2 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(color.lighter(110), 1.6 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void DrawCross(QPainter& p, const QColor& color, const QRectF& box, double width) {
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

void DrawThermometer(QPainter& p, const QColor& mercury, const QRectF& box) {
    const double w = box.width() * 0.4;
    const double cx = box.center().x();
    const QRectF tube(cx - w / 2, box.top(), w, box.height() * 0.7);
    const double bulb = box.width() * 0.75;
    const QRectF ball(cx - bulb / 2, box.bottom() - bulb, bulb, bulb);
    p.setPen(QPen(QColor(0x55, 0x57, 0x53), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(tube, w / 2, w / 2);
    p.setBrush(mercury);
    p.drawEllipse(ball);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(cx - w / 4, tube.top() + tube.height() * 0.35, w / 2, tube.height()));
}

void DrawSignBadge(QPainter& p, const QColor& fill, const char* sign) {
    const QRectF disc(8, 8, 8, 8);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(fill);
    p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(disc, Qt::AlignCenter, QString::fromLatin1(sign));
}

} // namespace

QImage DrawIcon(TDrawn drawn, int32_t arg) {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor accent = Rgb(arg);
    switch (drawn) {
    case TDrawn::None:
        throw std::logic_error("icon table entry without a picture");
    case TDrawn::Cpu: {
        DrawChipBody(p, QColor(0x55, 0x57, 0x53), true, QRectF(3.5, 3.5, 9, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(accent.lighter(130));
        p.drawRect(QRectF(5.5, 5.5, 5, 5));
        break;
    }
    case TDrawn::MemoryModule: {
        p.setPen(QPen(accent.darker(160), 1));
        p.setBrush(accent);
        p.drawRect(QRectF(0.5, 4.5, 15, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2E, 0x34, 0x36));
        for (int x = 2; x < 14; x += 4)
            p.drawRect(QRectF(x, 6, 3, 3));
        p.setBrush(QColor(0xC4, 0xA0, 0x00));
        for (int x = 1; x < 15; x += 2)
            p.drawRect(QRectF(x, 10, 1, 1.5));
        break;
    }
    case TDrawn::Chip:
        DrawChipBody(p, accent, false, QRectF(2.5, 4.5, 11, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xBA, 0xBD, 0xB6));
        p.drawEllipse(QRectF(3.5, 5.5, 2, 2));
        break;
    case TDrawn::Card: {
        p.setPen(QPen(accent.darker(160), 1));
        p.setBrush(accent);
        p.drawRect(QRectF(1.5, 2.5, 13, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC4, 0xA0, 0x00));
        p.drawRect(QRectF(3, 12, 10, 2));
        p.setBrush(QColor(0x2E, 0x34, 0x36));
        p.drawRect(QRectF(4, 5, 5, 4));
        p.setBrush(QColor(0xBA, 0xBD, 0xB6));
        p.drawRect(QRectF(15, 1, 1, 12));
        break;
    }
    case TDrawn::Mainboard: {
        p.setPen(QPen(accent.darker(170), 1));
        p.setBrush(accent);
        p.drawRect(QRectF(0.5, 0.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x55, 0x57, 0x53));
        p.drawRect(QRectF(3, 3, 5, 5));
        p.setBrush(QColor(0xEE, 0xEE, 0xEC));
        p.drawRect(QRectF(10, 2, 2, 9));
        p.drawRect(QRectF(13, 2, 1, 9));
        p.setBrush(QColor(0xC4, 0xA0, 0x00));
        p.drawRect(QRectF(2, 11, 7, 2));
        break;
    }
    case TDrawn::Frequency: {
        QPainterPath wave;
        wave.moveTo(1, 8);
        for (double x = 1; x <= 15; x += 0.5)
            wave.lineTo(x, 8 - 5 * std::sin((x - 1) / 14 * 4 * M_PI));
        p.setPen(QPen(accent, 1.6));
        p.drawPath(wave);
        p.setPen(QPen(QColor(0x88, 0x8A, 0x85), 1));
        p.drawLine(QPointF(0.5, 15.5), QPointF(15.5, 15.5));
        break;
    }
    case TDrawn::Tick:
        DrawTick(p, accent);
        break;
    case TDrawn::Cross:
        DrawCross(p, accent.darker(120), QRectF(3.5, 3.5, 9, 9), 3.2);
        DrawCross(p, accent.lighter(120), QRectF(3.5, 3.5, 9, 9), 1.5);
        break;
    case TDrawn::Barcode: {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 2, 16, 12), Qt::white);
        p.setPen(QColor(0x88, 0x8A, 0x85));
        p.drawRect(QRect(0, 2, 15, 11));
        const int bars[] = {2, 1, 1, 2, 1, 3, 1, 1, 2, 1};
        int x = 2;
        for (int i = 0; i < 10 && x < 14; ++i) {
            if (i % 2 == 0)
                p.fillRect(QRect(x, 4, bars[i], 8), accent);
            x += bars[i];
        }
        break;
    }
    case TDrawn::RedInfo: {
        p.setPen(QPen(accent.darker(140), 1));
        p.setBrush(accent);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6.75, 3, 2.5, 2.5));
        p.drawRect(QRectF(6.75, 6.5, 2.5, 6.5));
        break;
    }
    case TDrawn::Clock: {
        p.setPen(QPen(accent.darker(130), 1.2));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(QColor(0x2E, 0x34, 0x36), 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(8, 3.5));
        p.drawLine(QPointF(8, 8), QPointF(11.5, 9.5));
        break;
    }
    case TDrawn::Thermometer:
        DrawThermometer(p, accent, QRectF(4, 0.5, 8, 15));
        break;
    case TDrawn::Fan: {
        p.setPen(QPen(QColor(0x55, 0x57, 0x53), 1));
        p.setBrush(QColor(0xD3, 0xD7, 0xCF));
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        for (int blade = 0; blade < 3; ++blade) {
            p.save();
            p.translate(8, 8);
            p.rotate(blade * 120);
            QPainterPath path;
            path.moveTo(0, 0);
            path.cubicTo(2, -3, 5, -5, 1, -7);
            path.cubicTo(-1, -5, -2, -3, 0, 0);
            p.drawPath(path);
            p.restore();
        }
        p.setBrush(QColor(0x2E, 0x34, 0x36));
        p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
        break;
    }
    case TDrawn::Logo: {
        // Two interlocking rings: the Taveric mark.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(accent, 2.2));
        p.drawEllipse(QRectF(1.5, 4, 8, 8));
        p.setPen(QPen(QColor(0xF5, 0x79, 0x00), 2.2));
        p.drawEllipse(QRectF(6.5, 4, 8, 8));
        break;
    }
    case TDrawn::Infrared: {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(QRectF(1, 6, 4, 4));
        p.setBrush(Qt::NoBrush);
        for (int r = 0; r < 3; ++r) {
            p.setPen(QPen(accent.lighter(100 + 25 * r), 1.3));
            const double radius = 5 + 3.5 * r;
            p.drawArc(QRectF(3 - radius, 8 - radius, 2 * radius, 2 * radius), -45 * 16, 90 * 16);
        }
        break;
    }
    case TDrawn::Tape: {
        p.setPen(QPen(accent.darker(140), 1));
        p.setBrush(accent);
        p.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3, 5, 4, 4));
        p.drawEllipse(QRectF(9, 5, 4, 4));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2E, 0x34, 0x36));
        p.drawRect(QRectF(4, 10.5, 8, 2));
        break;
    }
    case TDrawn::Lightning: {
        QPolygonF bolt;
        bolt << QPointF(9.5, 0.5) << QPointF(3, 9) << QPointF(7.5, 9) << QPointF(5.5, 15.5)
             << QPointF(13, 6) << QPointF(8.5, 6) << QPointF(11, 0.5);
        p.setPen(QPen(QColor(0xC4, 0xA0, 0x00), 1));
        p.setBrush(accent);
        p.drawPolygon(bolt);
        break;
    }
    case TDrawn::Gauge: {
        p.setPen(QPen(QColor(0x55, 0x57, 0x53), 1));
        p.setBrush(Qt::white);
        p.drawPie(QRectF(0.5, 2.5, 15, 15), 0, 180 * 16);
        p.setPen(QPen(accent, 1));
        for (int a = 20; a < 180; a += 35) {
            const double rad = a * M_PI / 180;
            p.drawLine(QPointF(8 + 6.5 * std::cos(rad), 10 - 6.5 * std::sin(rad)),
                       QPointF(8 + 5 * std::cos(rad), 10 - 5 * std::sin(rad)));
        }
        p.setPen(QPen(QColor(0xCC, 0x00, 0x00), 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 10), QPointF(12.5, 5));
        break;
    }
    case TDrawn::Bluetooth: {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 5, 5);
        QPolygonF rune;
        rune << QPointF(5, 5) << QPointF(11, 10.5) << QPointF(8, 13.5) << QPointF(8, 2.5)
             << QPointF(11, 5.5) << QPointF(5, 11);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(rune);
        break;
    }
    case TDrawn::Chart: {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(1, 1, 14, 14), Qt::white);
        p.setPen(QColor(0x55, 0x57, 0x53));
        p.drawLine(1, 1, 1, 14);
        p.drawLine(1, 14, 14, 14);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xCC, 0x00, 0x00), 1.3));
        p.drawPolyline(QPolygonF() << QPointF(2, 11) << QPointF(5, 6) << QPointF(8, 9)
                                   << QPointF(11, 4) << QPointF(14, 6));
        p.setPen(QPen(accent, 1.3));
        p.drawPolyline(QPolygonF()
                       << QPointF(2, 13) << QPointF(6, 11) << QPointF(10, 12) << QPointF(14, 9));
        break;
    }
    case TDrawn::ChartLine: {
        // A short line sample framed like a legend key: grey and dashed while inactive.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(0x88, 0x8A, 0x85));
        p.setBrush(Qt::white);
        p.drawRect(QRect(1, 3, 13, 9));
        if (arg < 0) {
            p.setPen(QPen(QColor(0xBA, 0xBD, 0xB6), 2, Qt::DotLine));
        } else {
            p.setPen(QPen(FromBgr(report::ChartLineColors.at(static_cast<size_t>(arg))), 3));
        }
        p.drawLine(3, 8, 12, 8);
        break;
    }
    case TDrawn::Generic:
        p.setPen(QPen(accent.darker(140), 1));
        p.setBrush(accent.lighter(140));
        p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 2, 2);
        break;
    case TDrawn::Compare: {
        // Two pages side by side, the right one a step lower, their lines in the accent colour
        // with one line that differs.
        const QRectF pages[] = {QRectF(0.5, 1.5, 8, 11), QRectF(7.5, 3.5, 8, 11)};
        for (int i = 0; i < 2; ++i) {
            const QRectF& page = pages[i];
            p.setPen(QPen(QColor(0x88, 0x8A, 0x85), 1));
            p.setBrush(Qt::white);
            p.drawRect(page);
            for (int line = 0; line < 4; ++line) {
                const bool differs = line == 2 && i == 1;
                p.setPen(QPen(differs ? QColor(0xCC, 0x00, 0x00) : accent, 1));
                const double y = page.top() + 2.5 + line * 2;
                p.drawLine(QPointF(page.left() + 1.5, y), QPointF(page.right() - 1.5, y));
            }
        }
        break;
    }
    }
    return image;
}

void DrawBadge(QImage& image, TBadge badge) {
    if (badge == TBadge::None)
        return;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (badge) {
    case TBadge::None:
        break;
    case TBadge::Error:
        p.setPen(QPen(QColor(0xA4, 0x00, 0x00), 1));
        p.setBrush(QColor(0xEF, 0x29, 0x29));
        p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
        DrawCross(p, Qt::white, QRectF(10.5, 10.5, 3, 3), 1.3);
        break;
    case TBadge::Unknown:
        DrawSignBadge(p, QColor(0x34, 0x65, 0xA4), "?");
        break;
    case TBadge::Blocked:
        p.setPen(QPen(QColor(0xCC, 0x00, 0x00), 1.6));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
        p.drawLine(QPointF(10, 14), QPointF(14, 10));
        break;
    case TBadge::Thermometer:
        DrawThermometer(p, QColor(0xCC, 0x00, 0x00), QRectF(10, 5, 6, 11));
        break;
    case TBadge::Next: {
        // A green arrow pointing right: on to the next one.
        QPolygonF arrow;
        arrow << QPointF(8.5, 10.5) << QPointF(11.5, 10.5) << QPointF(11.5, 8) << QPointF(15.5, 12)
              << QPointF(11.5, 16) << QPointF(11.5, 13.5) << QPointF(8.5, 13.5);
        p.setPen(QPen(QColor(0x4E, 0x9A, 0x06), 1));
        p.setBrush(QColor(0x8A, 0xE2, 0x34));
        p.drawPolygon(arrow);
        break;
    }
    }
}

QImage DrawStateImage(int entry) {
    QImage image = Blank();
    QPainter p(&image);
    const QColor frame(0x55, 0x57, 0x53);
    auto box = [&](const QColor& fill) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(frame);
        p.setBrush(fill);
        p.drawRect(QRect(2, 2, 11, 11));
        p.setRenderHint(QPainter::Antialiasing);
    };
    auto sign = [&](const QColor& color, bool plus, bool solid) {
        p.setRenderHint(QPainter::Antialiasing, false);
        if (solid) {
            p.setPen(QPen(color.darker(150), 1));
            p.setBrush(color);
            p.drawEllipse(QRect(1, 1, 13, 13));
        } else {
            p.setPen(QPen(color, 1, Qt::DotLine));
            p.setBrush(Qt::white);
            p.drawEllipse(QRect(1, 1, 13, 13));
        }
        const QColor mark = solid ? QColor(Qt::white) : color;
        p.fillRect(QRect(4, 7, 8, 2), mark);
        if (plus)
            p.fillRect(QRect(7, 4, 2, 8), mark);
    };
    auto changed = [&](const QColor& color, bool solid) {
        p.setRenderHint(QPainter::Antialiasing);
        QPolygonF triangle;
        triangle << QPointF(8, 1.5) << QPointF(14.5, 13.5) << QPointF(1.5, 13.5);
        p.setPen(solid ? QPen(color.darker(150), 1) : QPen(color.darker(120), 1, Qt::DotLine));
        p.setBrush(solid ? color : QColor(Qt::white));
        p.drawPolygon(triangle);
    };
    switch (entry) {
    case siCheckPartial:
        box(Qt::white);
        p.fillRect(QRect(5, 5, 6, 6), QColor(0x88, 0x8A, 0x85));
        break;
    case siCheckUnchecked:
        box(Qt::white);
        break;
    case siCheckDisabled:
        box(QColor(0xD3, 0xD7, 0xCF));
        break;
    case siCheckChecked:
        box(Qt::white);
        DrawTick(p, QColor(0x2E, 0x34, 0x36), 0.6, QPointF(3, 3.5));
        break;
    case siAdded:
        sign(QColor(0x4E, 0x9A, 0x06), true, true);
        break;
    case siRemoved:
        sign(QColor(0xCC, 0x00, 0x00), false, true);
        break;
    case siContainsChanges:
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xC4, 0xA0, 0x00), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xED, 0xD4, 0x00));
        p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
        break;
    case siChanged:
        changed(QColor(0xED, 0xD4, 0x00), true);
        break;
    case siExpanded:
    case siCollapsed:
        p.setPen(QColor(0x88, 0x8A, 0x85));
        p.setBrush(Qt::white);
        p.drawRect(QRect(3, 3, 8, 8));
        p.fillRect(QRect(5, 7, 5, 1), QColor(0x2E, 0x34, 0x36));
        if (entry == siCollapsed)
            p.fillRect(QRect(7, 5, 1, 5), QColor(0x2E, 0x34, 0x36));
        break;
    case siVolatileChanged:
        changed(QColor(0xED, 0xD4, 0x00), false);
        break;
    case siVolatileAdded:
        sign(QColor(0x4E, 0x9A, 0x06), true, false);
        break;
    case siVolatileRemoved:
        sign(QColor(0xCC, 0x00, 0x00), false, false);
        break;
    default:
        // Entries without a meaning: a faint dot, so a stray use is visible but quiet.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xBA, 0xBD, 0xB6));
        p.drawEllipse(QRectF(6, 6, 4, 4));
        break;
    }
    return image;
}

namespace {

// The program's mark: two interlocking rings, white and orange, of `diameter`, the second
// `shift` to the right of the first.
void DrawMark(QPainter& p, QPointF at, double diameter, double shift, double pen) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, pen));
    p.drawEllipse(QRectF(at.x(), at.y(), diameter, diameter));
    p.setPen(QPen(QColor(0xFC, 0xAF, 0x3E), pen));
    p.drawEllipse(QRectF(at.x() + shift, at.y(), diameter, diameter));
}

} // namespace

QImage DrawBanner() {
    QImage image(kBannerWidth, kBannerHeight, QImage::Format_ARGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, kBannerWidth, 0);
    sky.setColorAt(0, QColor(0x20, 0x4A, 0x87));
    sky.setColorAt(1, QColor(0x72, 0x9F, 0xCF));
    p.fillRect(image.rect(), sky);
    p.fillRect(QRect(0, kBannerHeight - 3, kBannerWidth, 3), QColor(0xF5, 0x79, 0x00));

    DrawMark(p, QPointF(9, 7), 22, 14, 3.5);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(20);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(56, 0, kBannerWidth - 60, kBannerHeight - 3), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Taveric Ostero"));
    return image;
}

QImage DrawMenuTop() {
    QImage image = Blank(kMenuTopWidth, kMenuTopHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The banner's mark, smaller, beside the name in two lines.
    DrawMark(p, QPointF(4, 21), 20, 13, 3);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(0xD3, 0xD7, 0xCF));
    p.drawText(QRect(46, 12, kMenuTopWidth - 46, 16), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("Taveric"));
    font.setPixelSize(20);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(46, 27, kMenuTopWidth - 46, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Ostero"));
    return image;
}

QImage Greyed(const QImage& image) {
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            // Lighter than the true grey value and half as opaque, as disabled pictures look.
            const int value = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(value, value, value, qAlpha(line[x]) / 2);
        }
    }
    return grey;
}

} // namespace ostero::pictures::detail
