#include "chart/ExportPictures.h"

#include "chart/ChartPainter.h"
#include "pictures/EmfPaintDevice.h"
#include "pictures/Pictures.h"

#include <QPainter>

namespace ostero::chart {

namespace {

// Pictures of the chart show the legend (and, as a metafile, the title), as when it is copied.
TChartStyle PictureStyle(bool title) {
    TChartStyle style;
    style.ShowLegend = true;
    style.ShowTitle = title;
    return style;
}

} // namespace

std::string TQtExportPictures::IconGif(int entry) {
    if (entry < 0 || entry >= pictures::kIconCount || pictures::IconImage(entry).isNull())
        return {};
    return pictures::IconGif(entry);
}

std::string TQtExportPictures::BannerGif() {
    return pictures::BannerGif();
}

std::string TQtExportPictures::ChartJpeg(const report::TChart& chart, int width, int height) {
    return pictures::EncodeJpeg(ChartImage(chart, QSize(width, height), PictureStyle(false)), 95);
}

std::string TQtExportPictures::ChartEmf(const report::TChart& chart, int width, int height) {
    pictures::TEmfPaintDevice device(width, height);
    {
        QPainter painter(&device);
        PaintChart(painter, QRectF(0, 0, width, height), chart, PictureStyle(true));
    }
    return device.Bytes();
}

} // namespace ostero::chart
