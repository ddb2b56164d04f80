#pragma once
// The drawing of a report chart: line series against a date-time axis with up to two value
// axes, gaps at missing points, an optional title and legend. One painter serves the chart pane,
// the pictures of the exported pages, the metafiles and the clipboard, so they all look alike.

#include "report/Chart.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace ostero::chart {

struct TChartStyle {
    QColor Background = Qt::white;
    bool ShowTitle = false;  // shown only while a picture is made
    bool ShowLegend = false; // likewise
    QString Title = QStringLiteral("Taveric Ostero");
    int FontPixelSize = 11;
};

// The legend's background (0xC0FFFF as blue, green, red).
inline QColor LegendBackground() {
    return QColor(0xFF, 0xFF, 0xC0);
}

// A colour of ChartLineColors (0xBBGGRR) as a QColor.
QColor SeriesColor(uint32_t bgr);

// Draws the chart into `area` of any paint device.
void PaintChart(QPainter& painter, const QRectF& area, const report::TChart& chart,
                const TChartStyle& style = {});

// The chart as a picture of the given size, drawn on white.
QImage ChartImage(const report::TChart& chart, QSize size, const TChartStyle& style);

// The two text lines of a bottom-axis label ("DD.MM.YY" and "hh:mm:ss").
QString DateTimeLabel(report::TDateTime x);

} // namespace ostero::chart
