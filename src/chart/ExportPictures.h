#pragma once
// The pictures of exported pages from the program's picture library and chart drawing.

#include "export/HtmlExport.h"

namespace ostero::chart {

class TQtExportPictures final : public exporting::TExportPictures {
public:
    std::string IconGif(int entry) override;
    std::string BannerGif() override;
    std::string ChartJpeg(const report::TChart& chart, int width, int height) override;
    std::string ChartEmf(const report::TChart& chart, int width, int height) override;
};

} // namespace ostero::chart
