#include "chart/ChartPainter.h"

#include "support/TextCodec.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace ostero::chart {

using report::TAxisSide;
using report::TChart;
using report::TChartSeries;

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromStdString(support::AnsiToUtf8(text));
}

struct TRange {
    double Min = std::numeric_limits<double>::max();
    double Max = std::numeric_limits<double>::lowest();
    bool Valid() const { return Min <= Max; }
    void Add(double value) {
        Min = std::min(Min, value);
        Max = std::max(Max, value);
    }
};

// Tick values that are round numbers, about `wanted` of them, covering the range.
std::vector<double> NiceTicks(TRange& range, int wanted) {
    if (range.Min == range.Max) {
        const double pad = std::max(1.0, std::abs(range.Min) * 0.1);
        range.Min -= pad;
        range.Max += pad;
    }
    const double raw = (range.Max - range.Min) / std::max(1, wanted);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= raw)
            break;
    }
    range.Min = std::floor(range.Min / step) * step;
    range.Max = std::ceil(range.Max / step) * step;
    std::vector<double> ticks;
    for (double v = range.Min; v <= range.Max + step / 2; v += step)
        ticks.push_back(std::abs(v) < step / 1e6 ? 0.0 : v);
    return ticks;
}

QString TickText(double value) {
    return QString::number(value, 'g', 10);
}

QDateTime ToDateTime(report::TDateTime x) {
    const double days = std::floor(x);
    const qint64 ms = std::llround((x - days) * 86400000.0);
    return QDateTime(QDate(1899, 12, 30).addDays(static_cast<qint64>(days)), QTime(0, 0))
        .addMSecs(ms);
}

TRange ValueRange(const TChart& chart, TAxisSide side) {
    TRange range;
    for (const TChartSeries& series : chart.Series) {
        if (!series.Active || series.Axis != side)
            continue;
        for (const report::TChartPoint& point : series.Points) {
            if (!point.Missing)
                range.Add(point.Y);
        }
    }
    return range;
}

} // namespace

QColor SeriesColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

QString DateTimeLabel(report::TDateTime x) {
    const QDateTime time = ToDateTime(x);
    return time.toString(QStringLiteral("dd.MM.yy")) + QLatin1Char('\n') +
           time.toString(QStringLiteral("hh:mm:ss"));
}

void PaintChart(QPainter& painter, const QRectF& area, const TChart& chart,
                const TChartStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(area, style.Background);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(style.FontPixelSize);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double lineHeight = metrics.height();

    QRectF rest = area.adjusted(1, 1, -1, -1); // margins of 1
    if (style.ShowTitle) {
        QFont bold = font;
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(Qt::black);
        const QRectF titleRect(rest.left(), rest.top(), rest.width(), lineHeight * 1.5);
        painter.drawText(titleRect, Qt::AlignCenter, style.Title);
        painter.setFont(font);
        rest.setTop(titleRect.bottom());
    }

    std::vector<const TChartSeries*> active;
    for (const TChartSeries& series : chart.Series) {
        if (series.Active && !series.Points.empty())
            active.push_back(&series);
    }
    if (style.ShowLegend && !active.empty()) {
        // One row of entries, wrapped when they do not fit.
        const double swatch = 16, gap = 8;
        std::vector<std::pair<QString, QColor>> entries;
        for (const TChartSeries* series : active)
            entries.emplace_back(FromAnsi(series->Title), SeriesColor(series->Color));
        std::vector<std::vector<size_t>> rows(1);
        double x = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            const double width = swatch + 4 + metrics.horizontalAdvance(entries[i].first) + gap;
            if (x + width > rest.width() - 8 && !rows.back().empty()) {
                rows.emplace_back();
                x = 0;
            }
            rows.back().push_back(i);
            x += width;
        }
        const double height = rows.size() * lineHeight + 6;
        const QRectF box(rest.left() + 4, rest.bottom() - height - 2, rest.width() - 8, height);
        painter.fillRect(box, LegendBackground());
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(box);
        double y = box.top() + 3;
        for (const auto& row : rows) {
            double left = box.left() + 6;
            for (size_t i : row) {
                painter.setPen(QPen(entries[i].second, 2));
                painter.drawLine(QPointF(left, y + lineHeight / 2),
                                 QPointF(left + swatch, y + lineHeight / 2));
                painter.setPen(Qt::black);
                painter.drawText(QPointF(left + swatch + 4, y + metrics.ascent()),
                                 entries[i].first);
                left += swatch + 4 + metrics.horizontalAdvance(entries[i].first) + gap;
            }
            y += lineHeight;
        }
        rest.setBottom(box.top() - 4);
    }

    // Axes and their labels.
    TRange left = ValueRange(chart, TAxisSide::Left);
    TRange right = ValueRange(chart, TAxisSide::Right);
    const bool showLeft = chart.LeftVisible && left.Valid();
    const bool showRight = chart.RightVisible && right.Valid();
    const std::vector<double> leftTicks = showLeft ? NiceTicks(left, 6) : std::vector<double>();
    const std::vector<double> rightTicks = showRight ? NiceTicks(right, 6) : std::vector<double>();
    const auto labelWidth = [&metrics](const std::vector<double>& ticks) {
        double width = 0;
        for (double tick : ticks)
            width = std::max(width, metrics.horizontalAdvance(TickText(tick)));
        return width;
    };
    const double leftSpace = showLeft ? labelWidth(leftTicks) + lineHeight + 10 : 8;
    const double rightSpace = showRight ? labelWidth(rightTicks) + lineHeight + 10 : 8;
    const double bottomSpace = chart.DateTimeLabels ? 2 * lineHeight + 8 : lineHeight;
    const QRectF plot(rest.left() + leftSpace, rest.top() + lineHeight / 2,
                      std::max(10.0, rest.width() - leftSpace - rightSpace),
                      std::max(10.0, rest.height() - bottomSpace - lineHeight / 2));

    // Frame line width 2.
    painter.setPen(QPen(Qt::black, 2));
    painter.drawRect(plot);

    // Values run between 3 % and 97 % of the plot height.
    const double valueTop =
        plot.top() + plot.height() * (1 - report::kChartValueAxisEndPercent / 100.0);
    const double valueBottom =
        plot.top() + plot.height() * (1 - report::kChartValueAxisStartPercent / 100.0);
    const auto valueY = [&](const TRange& range, double value) {
        return valueBottom -
               (value - range.Min) / (range.Max - range.Min) * (valueBottom - valueTop);
    };

    TRange xRange;
    for (const TChartSeries* series : active) {
        for (const report::TChartPoint& point : series->Points)
            xRange.Add(point.X);
    }
    if (xRange.Valid() && xRange.Min == xRange.Max) {
        xRange.Min -= 1.0 / 1440;
        xRange.Max += 1.0 / 1440;
    }
    const auto xPos = [&](double x) {
        return plot.left() + (x - xRange.Min) / (xRange.Max - xRange.Min) * plot.width();
    };

    const QPen gridPen(QColor(0xC0, 0xC0, 0xC0), 1, Qt::DotLine);
    const QPen axisPen(Qt::black, 1);
    if (showLeft) {
        for (double tick : leftTicks) {
            const double y = valueY(left, tick);
            painter.setPen(gridPen);
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            painter.setPen(axisPen);
            painter.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
            const QString text = TickText(tick);
            painter.drawText(QPointF(plot.left() - 6 - metrics.horizontalAdvance(text),
                                     y + metrics.ascent() / 2 - 1),
                             text);
        }
        painter.save();
        painter.translate(rest.left() + lineHeight * 0.8, plot.center().y());
        painter.rotate(-90);
        const QString title = FromAnsi(chart.LeftTitle);
        painter.drawText(QPointF(-metrics.horizontalAdvance(title) / 2, 0), title);
        painter.restore();
    }
    if (showRight) {
        painter.setPen(axisPen);
        for (double tick : rightTicks) {
            const double y = valueY(right, tick);
            painter.drawLine(QPointF(plot.right(), y), QPointF(plot.right() + 4, y));
            painter.drawText(QPointF(plot.right() + 6, y + metrics.ascent() / 2 - 1),
                             TickText(tick));
        }
        painter.save();
        painter.translate(rest.right() - lineHeight * 0.3, plot.center().y());
        painter.rotate(-90);
        const QString title = FromAnsi(chart.RightTitle);
        painter.drawText(QPointF(-metrics.horizontalAdvance(title) / 2, 0), title);
        painter.restore();
    }
    if (chart.DateTimeLabels && xRange.Valid()) {
        // As many labels as fit side by side, at least two.
        const double labelWidthX = metrics.horizontalAdvance(QStringLiteral("00.00.00 ")) + 12;
        const int count = std::max(2, static_cast<int>(plot.width() / labelWidthX));
        for (int i = 0; i < count; ++i) {
            const double x = xRange.Min + (xRange.Max - xRange.Min) * i / (count - 1);
            const double px = xPos(x);
            painter.setPen(gridPen);
            painter.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
            painter.setPen(axisPen);
            painter.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 4));
            const QStringList lines = DateTimeLabel(x).split(QLatin1Char('\n'));
            for (int l = 0; l < lines.size(); ++l) {
                const double width = metrics.horizontalAdvance(lines[l]);
                const double textX = std::clamp(px - width / 2, rest.left(), rest.right() - width);
                painter.drawText(
                    QPointF(textX, plot.bottom() + 6 + metrics.ascent() + l * lineHeight),
                    lines[l]);
            }
        }
    }

    // The lines, broken at missing points, clipped to the plot.
    painter.setClipRect(plot.adjusted(1, 1, -1, -1));
    for (const TChartSeries* series : active) {
        const TRange& range = series->Axis == TAxisSide::Left ? left : right;
        if (!range.Valid() || !xRange.Valid())
            continue;
        painter.setPen(QPen(SeriesColor(series->Color), 1));
        QPolygonF run;
        const auto flush = [&] {
            if (run.size() == 1)
                painter.drawPoint(run.front());
            else if (run.size() > 1)
                painter.drawPolyline(run);
            run.clear();
        };
        for (const report::TChartPoint& point : series->Points) {
            if (point.Missing) {
                flush();
                continue;
            }
            run << QPointF(xPos(point.X), valueY(range, point.Y));
        }
        flush();
    }
    painter.restore();
}

QImage ChartImage(const TChart& chart, QSize size, const TChartStyle& style) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TChartStyle white = style;
    white.Background = Qt::white;
    PaintChart(painter, QRectF(0, 0, size.width(), size.height()), chart, white);
    return image;
}

} // namespace ostero::chart
