#include "chart/ChartPainter.h"

#include "GuiApplication.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace ostero;

namespace {

class ChartPainter : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
};

// Two units: temperatures on the left, a fan on the right, and a voltage line switched off.
report::TChart SampleChart() {
    report::TChart chart;
    chart.AddSeries("CPU [\xB0"
                    "C]");
    chart.AddSeries("Fan [RPM]");
    chart.AddSeries("Vcore [V]");
    auto& cpu = chart.Series[0];
    auto& fan = chart.Series[1];
    auto& volt = chart.Series[2];
    for (int i = 0; i < 10; ++i) {
        const double x = 45000.5 + i / 1440.0;
        if (i == 5)
            cpu.AddMissing(x, 40);
        else
            cpu.AddPoint(x, 40 + i);
        fan.AddPoint(x, 1290 - 10 * i);
        volt.AddPoint(x, 1.2);
    }
    report::ArrangeChartAxes(chart, true);
    chart.Series[0].Color = 0x0000FF; // red
    chart.Series[1].Color = 0x008000; // green
    chart.Series[2].Color = 0xFF0000; // blue
    return chart;
}

int CountColor(const QImage& image, QColor color, int fromX = 0, int toX = -1) {
    if (toX < 0)
        toX = image.width();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = fromX; x < toX; ++x)
            count += image.pixelColor(x, y) == color ? 1 : 0;
    }
    return count;
}

int FirstColumnWith(const QImage& image, QColor color) {
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) == color)
                return x;
        }
    }
    return -1;
}

} // namespace

TEST_F(ChartPainter, DrawsActiveLinesWithGapsAndTheLegendOnlyWhenAsked) {
    const report::TChart chart = SampleChart();
    ASSERT_TRUE(chart.Series[0].Active && chart.Series[1].Active);
    ASSERT_FALSE(chart.Series[2].Active) << "a third unit starts switched off";

    chart::TChartStyle style;
    const QImage plain = chart::ChartImage(chart, QSize(640, 440), style);
    EXPECT_EQ(plain.size(), QSize(640, 440));
    const QColor red(255, 0, 0), green(0, 128, 0), blue(0, 0, 255);
    EXPECT_GT(CountColor(plain, red), 50);
    EXPECT_GT(CountColor(plain, green), 50);
    EXPECT_EQ(CountColor(plain, blue), 0) << "inactive lines are not drawn";
    EXPECT_EQ(CountColor(plain, chart::LegendBackground()), 0);

    // The points lie evenly over the width: no red between points 4 and 6 (5 is missing).
    const int left = FirstColumnWith(plain, green);
    int right = left;
    for (int x = plain.width() - 1; x > left; --x) {
        if (CountColor(plain, green, x, x + 1) > 0) {
            right = x;
            break;
        }
    }
    ASSERT_GT(right - left, 300);
    const double step = (right - left) / 9.0;
    EXPECT_EQ(CountColor(plain, red, static_cast<int>(left + 4 * step + 3),
                         static_cast<int>(left + 6 * step - 3)),
              0);
    EXPECT_GT(CountColor(plain, red, static_cast<int>(left + 2 * step),
                         static_cast<int>(left + 4 * step)),
              0);

    style.ShowLegend = true;
    style.ShowTitle = true;
    const QImage withLegend = chart::ChartImage(chart, QSize(640, 480), style);
    EXPECT_GT(CountColor(withLegend, chart::LegendBackground()), 1000);
}

TEST_F(ChartPainter, EmptyAndDegenerateChartsDrawWithoutFault) {
    report::TChart empty;
    EXPECT_FALSE(chart::ChartImage(empty, QSize(200, 100), {}).isNull());
    report::TChart single;
    single.AddSeries("X [%]").AddPoint(45000.0, 5);
    report::ArrangeChartAxes(single, true);
    EXPECT_FALSE(chart::ChartImage(single, QSize(200, 100), {}).isNull());
    EXPECT_FALSE(chart::ChartImage(single, QSize(3, 3), {}).isNull());
}

TEST_F(ChartPainter, DateTimeLabelsHaveTwoLines) {
    EXPECT_EQ(chart::DateTimeLabel(45000.5).toStdString(), "15.03.23\n12:00:00");
    EXPECT_EQ(chart::DateTimeLabel(0.25).toStdString(), "30.12.99\n06:00:00");
}
