// The image button: face colours and brightness, the down look, radio-like groups, auto width,
// the disabled picture and the focused caption.
#include "ui/shell/ImageButton.h"
#include "GuiApplication.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

using ostero::ui::TImageButton;

namespace {

class ImageButton : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
};

QImage Filled(QRgb color) {
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QRgb PixelAt(QWidget& widget, int x, int y) {
    return widget.grab().toImage().pixel(x, y);
}

struct TBrightnessCase {
    const char* Name;
    int Percent;
    QColor Top, Bottom;
};

class ImageButtonBrightness : public ImageButton,
                              public ::testing::WithParamInterface<TBrightnessCase> {};

TEST_P(ImageButtonBrightness, ScalesBothFaceColours) {
    TImageButton button;
    button.SetColor(QColor(128, 128, 128));
    button.SetGradientColor(QColor(32, 32, 32));
    button.SetBrightness(GetParam().Percent);
    EXPECT_EQ(button.FaceTop(), GetParam().Top);
    EXPECT_EQ(button.FaceBottom(), GetParam().Bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageButtonBrightness,
    ::testing::Values(TBrightnessCase{"AsSet", 100, {128, 128, 128}, {32, 32, 32}},
                      TBrightnessCase{"Darker", 90, {115, 115, 115}, {29, 29, 29}},
                      TBrightnessCase{"Lighter", 120, {154, 154, 154}, {38, 38, 38}},
                      TBrightnessCase{"ClampedAtWhite", 250, {255, 255, 255}, {80, 80, 80}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ImageButton, FaceRunsFromColourDownToGradientColourAndTurnsOverWhenDown) {
    TImageButton button;
    button.resize(120, 40);
    const auto rowGrey = [&](int y) { return qGray(PixelAt(button, 60, y)); };
    // Inside the edges the face is near its two colours, light at the top.
    EXPECT_NEAR(rowGrey(1), 128, 6);
    EXPECT_NEAR(rowGrey(38), 32, 6);
    button.setDown(true); // pressed with the mouse
    EXPECT_LT(rowGrey(1), rowGrey(38));
    button.setDown(false);
    button.setCheckable(true);
    button.setChecked(true); // down in its group
    EXPECT_LT(rowGrey(10), rowGrey(30));
}

TEST_F(ImageButton, BrightnessShowsOnThePaintedFace) {
    TImageButton dim, bright;
    dim.resize(120, 40);
    bright.resize(120, 40);
    dim.SetBrightness(90);
    bright.SetBrightness(120);
    EXPECT_LT(qGray(PixelAt(dim, 60, 20)), qGray(PixelAt(bright, 60, 20)));
}

TEST_F(ImageButton, ButtonsOfAGroupOnOneParentAreLikeRadioButtons) {
    QWidget band, elsewhere;
    TImageButton a(&band), b(&band), other(&band), apart(&elsewhere), plain(&band);
    for (TImageButton* button : {&a, &b, &apart})
        button->SetGroup(1);
    other.SetGroup(2);
    other.SetDown(true);
    apart.SetDown(true);

    a.click();
    EXPECT_TRUE(a.Down());
    b.click();
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(a.Down());
    b.click(); // a down button stays down
    EXPECT_TRUE(b.Down());
    a.SetDown(true); // set from code, as a page switch does
    EXPECT_FALSE(b.Down());
    // Other groups and other parents are left alone; a button without a group never stays down.
    EXPECT_TRUE(other.Down());
    EXPECT_TRUE(apart.Down());
    plain.click();
    EXPECT_FALSE(plain.Down());
    EXPECT_TRUE(a.Down());
}

TEST_F(ImageButton, AutoWidthFitsPictureAndCaption) {
    TImageButton button;
    button.SetMargin(6);
    button.setText("Open");
    const int textOnly = button.sizeHint().width();
    button.setText("Open a much longer caption");
    EXPECT_GT(button.sizeHint().width(), textOnly);
    button.setText("Open");
    button.SetPicture(Filled(qRgb(255, 0, 0)));
    EXPECT_EQ(button.sizeHint().width(), textOnly + 24 + 6);

    // In a toolbar row the button takes exactly that width; alone it keeps its left edge.
    QWidget bar;
    auto* row = new QHBoxLayout(&bar);
    auto* inRow = new TImageButton(&bar);
    inRow->setText("Compare");
    inRow->SetAutoWidth(true);
    row->addWidget(inRow);
    row->addStretch(1);
    bar.resize(600, 28);
    bar.show();
    QApplication::processEvents();
    EXPECT_EQ(inRow->width(), inRow->sizeHint().width());
    button.setGeometry(30, 0, 400, 40);
    button.AdjustWidth();
    EXPECT_EQ(button.geometry(), QRect(30, 0, button.sizeHint().width(), 40));
}

TEST_F(ImageButton, DisabledButtonShowsItsDisabledPictureOrTheGreyedPicture) {
    TImageButton button;
    button.resize(160, 40);
    button.SetPicture(Filled(qRgb(255, 0, 0)));
    const int x = 6 + 12, y = 20; // the picture's middle, at the margin and centred
    EXPECT_EQ(PixelAt(button, x, y), qRgb(255, 0, 0));
    button.setEnabled(false);
    const QRgb greyed = PixelAt(button, x, y);
    EXPECT_EQ(qRed(greyed), qGreen(greyed));
    EXPECT_EQ(qGreen(greyed), qBlue(greyed));
    button.SetDisabledPicture(Filled(qRgb(0, 0, 255)));
    EXPECT_EQ(PixelAt(button, x, y), qRgb(0, 0, 255));
}

TEST_F(ImageButton, CaptionLooksDifferentWhileTheButtonHasTheFocus) {
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* first = new TImageButton(&window);
    auto* second = new TImageButton(&window);
    first->setText("Report");
    second->setText("Search");
    layout->addWidget(first);
    layout->addWidget(second);
    window.show();
    QApplication::setActiveWindow(&window);
    second->setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(first->hasFocus());
    const QImage resting = first->grab().toImage();
    first->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(first->hasFocus());
    EXPECT_NE(first->grab().toImage(), resting);
}

} // namespace
