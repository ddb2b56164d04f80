#include "pictures/Pictures.h"

#include "PicturesApplication.h"
#include "report/Chart.h"
#include "report/ReportTree.h"

#include <QBuffer>

#include <gif_lib.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

using namespace ostero;
using namespace ostero::pictures;

namespace {

class Pictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsurePicturesApplication(); }
};

bool HasVisiblePixel(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

// A GIF read back with giflib: size, palette, transparent index and pixel indexes.
struct TDecodedGif {
    int Width = 0, Height = 0;
    std::vector<GifColorType> Palette;
    int Transparent = -1;
    std::vector<GifByteType> Pixels;

    QRgb Color(int x, int y) const {
        const GifColorType& c = Palette.at(Pixels.at(static_cast<size_t>(y) * Width + x));
        return qRgb(c.Red, c.Green, c.Blue);
    }
    bool IsTransparent(int x, int y) const {
        return Pixels.at(static_cast<size_t>(y) * Width + x) == Transparent;
    }
};

struct TReader {
    const std::string* Bytes;
    size_t Pos = 0;
};

int ReadGif(GifFileType* gif, GifByteType* out, int length) {
    auto* reader = static_cast<TReader*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(length), reader->Bytes->size() - reader->Pos);
    std::memcpy(out, reader->Bytes->data() + reader->Pos, n);
    reader->Pos += n;
    return static_cast<int>(n);
}

TDecodedGif DecodeGif(const std::string& bytes) {
    TReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, &ReadGif, &error);
    if (!gif)
        throw std::runtime_error("DGifOpen failed");
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1) {
        DGifCloseFile(gif, &error);
        throw std::runtime_error("GIF does not decode to one picture");
    }
    TDecodedGif decoded;
    decoded.Width = gif->SWidth;
    decoded.Height = gif->SHeight;
    const ColorMapObject* map =
        gif->SColorMap ? gif->SColorMap : gif->SavedImages[0].ImageDesc.ColorMap;
    decoded.Palette.assign(map->Colors, map->Colors + map->ColorCount);
    GraphicsControlBlock control;
    if (DGifSavedExtensionToGCB(gif, 0, &control) == GIF_OK)
        decoded.Transparent = control.TransparentColor;
    const SavedImage& image = gif->SavedImages[0];
    decoded.Pixels.assign(image.RasterBits,
                          image.RasterBits + image.ImageDesc.Width * image.ImageDesc.Height);
    DGifCloseFile(gif, &error);
    return decoded;
}

double MeanColorError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

TEST_F(Pictures, EveryListEntryIsAVisible16x16Picture) {
    for (int entry = 0; entry < kIconCount; ++entry) {
        const QImage icon = IconImage(entry);
        ASSERT_EQ(icon.size(), QSize(16, 16)) << "icon entry " << entry;
        EXPECT_TRUE(icon.hasAlphaChannel()) << "icon entry " << entry;
        EXPECT_TRUE(HasVisiblePixel(icon)) << "icon entry " << entry;
    }
    for (int entry = 0; entry < kStateImageCount; ++entry) {
        const QImage state = StateImage(entry);
        ASSERT_EQ(state.size(), QSize(16, 16)) << "state entry " << entry;
        EXPECT_TRUE(HasVisiblePixel(state)) << "state entry " << entry;
    }
    for (int outside : {-1, kIconCount, 399})
        EXPECT_TRUE(IconImage(outside).isNull()) << outside;
    for (int outside : {-1, kStateImageCount})
        EXPECT_TRUE(StateImage(outside).isNull()) << outside;
}

TEST_F(Pictures, ImageCodesGoThroughTheListIndex) {
    EXPECT_TRUE(ImageForCode(0).isNull());
    for (int32_t code : {1, 9, 66, 93, 122, 400, 450, 605, 902, 777})
        EXPECT_EQ(ImageForCode(code), IconImage(report::ImageListIndex(code))) << code;
    EXPECT_TRUE(ImageForCode(123).isNull()); // icon numbers past the list have no picture
}

TEST_F(Pictures, DifferentKeywordsLookDifferent) {
    // Icon numbers whose keywords name different things; no two may share a picture.
    const std::vector<int> numbers = {1,  3,  7,  8,  9,  13, 16, 30, 32, 33,  38,  46,
                                      61, 66, 67, 69, 75, 86, 89, 90, 91, 118, 119, 122};
    for (size_t i = 0; i < numbers.size(); ++i) {
        for (size_t j = i + 1; j < numbers.size(); ++j) {
            EXPECT_NE(IconImage(numbers[i] - 1), IconImage(numbers[j] - 1))
                << report::IconKeyword(numbers[i]) << " vs " << report::IconKeyword(numbers[j]);
        }
    }
    // Meaningful states differ from each other.
    const std::vector<int> states = {1, 2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20};
    for (size_t i = 0; i < states.size(); ++i)
        for (size_t j = i + 1; j < states.size(); ++j)
            EXPECT_NE(StateImage(states[i]), StateImage(states[j]))
                << states[i] << " vs " << states[j];
}

TEST_F(Pictures, ChartLinePicturesShowTheirLineColour) {
    const QImage inactive = IconImage(report::kInactiveLineImageCode - 1);
    for (size_t i = 0; i < report::ChartLineColors.size(); ++i) {
        const QImage line = IconImage(report::kActiveLineImageCode - 1 + static_cast<int>(i));
        const uint32_t bgr = report::ChartLineColors[i];
        const QColor expected(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
        EXPECT_EQ(QColor(line.pixel(8, 8)), expected) << "colour " << i;
        EXPECT_NE(line, inactive) << "colour " << i;
    }
}

TEST_F(Pictures, IconGifsAreIconsOnTransparentMagenta) {
    for (int entry : {0, 8, 31, 65, 91, 96, 117}) {
        const QImage icon = IconImage(entry);
        const TDecodedGif gif = DecodeGif(IconGif(entry));
        ASSERT_EQ(gif.Width, 16);
        ASSERT_EQ(gif.Height, 16);
        ASSERT_GE(gif.Transparent, 0) << "entry " << entry;
        const GifColorType& key = gif.Palette.at(static_cast<size_t>(gif.Transparent));
        EXPECT_EQ(qRgb(key.Red, key.Green, key.Blue), qRgb(0xFF, 0, 0xFF));
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb pixel = icon.pixel(x, y);
                ASSERT_EQ(gif.IsTransparent(x, y), qAlpha(pixel) < 128)
                    << "entry " << entry << " at " << x << "," << y;
                if (!gif.IsTransparent(x, y)) {
                    EXPECT_EQ(gif.Color(x, y), qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)));
                }
            }
        }
    }
    EXPECT_THROW(IconGif(-1), std::out_of_range);
    EXPECT_THROW(IconGif(kIconCount), std::out_of_range);
}

TEST_F(Pictures, BannerGifReducesToAFaithful256ColourPalette) {
    const QImage banner = BannerImage();
    ASSERT_EQ(banner.size(), QSize(341, 40));
    const TDecodedGif gif = DecodeGif(BannerGif());
    ASSERT_EQ(gif.Width, 341);
    ASSERT_EQ(gif.Height, 40);
    EXPECT_LE(gif.Palette.size(), 256u);
    EXPECT_EQ(gif.Transparent, -1);
    QImage decoded(341, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 341; ++x)
            decoded.setPixel(x, y, gif.Color(x, y));
    EXPECT_LT(MeanColorError(banner.convertToFormat(QImage::Format_RGB32), decoded), 4.0);
}

TEST_F(Pictures, GifOfManyColoursWithMagentaKeepsMagentaExact) {
    // 64x64 distinct colours force the colour reduction; the magenta border must survive it.
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, (x == 0 || y == 0) ? qRgb(255, 0, 255) : qRgb(x * 4, y * 4, 128));
    const TDecodedGif gif = DecodeGif(EncodeGif(image, true));
    ASSERT_GE(gif.Transparent, 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_TRUE(gif.IsTransparent(i, 0));
        EXPECT_TRUE(gif.IsTransparent(0, i));
    }
    EXPECT_FALSE(gif.IsTransparent(5, 5));
    EXPECT_FALSE(gif.IsTransparent(63, 63));
}

TEST_F(Pictures, JpegDecodesCloseToTheOriginal) {
    // An odd width catches row-padding slips; distinct ramps per channel catch swapped channels.
    QImage image(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 10, 200 - x * 2));
    const std::string bytes = EncodeJpeg(image);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                     static_cast<int>(bytes.size()), "JPEG"));
    ASSERT_EQ(decoded.size(), image.size());
    EXPECT_LT(MeanColorError(image, decoded.convertToFormat(QImage::Format_RGB32)), 2.0);
    const QImage banner = BannerImage();
    EXPECT_LT(EncodeJpeg(banner, 10).size(), EncodeJpeg(banner).size());
}

TEST_F(Pictures, EncodersRejectBadInput) {
    EXPECT_THROW(EncodeGif(QImage(), false), std::invalid_argument);
    EXPECT_THROW(EncodeJpeg(QImage()), std::invalid_argument);
    const QImage image = IconImage(0);
    for (int quality : {0, -5, 101})
        EXPECT_THROW(EncodeJpeg(image, quality), std::invalid_argument) << quality;
}

TEST_F(Pictures, EveryMenuEntryIsAVisible24x24PictureAndOthersAreNull) {
    for (int entry = 0; entry < kMenuImageCount; ++entry) {
        const QImage image = MenuImage(entry);
        ASSERT_FALSE(image.isNull()) << entry;
        EXPECT_EQ(image.size(), QSize(kMenuImageSize, kMenuImageSize)) << entry;
        EXPECT_TRUE(HasVisiblePixel(image)) << entry;
    }
    EXPECT_TRUE(MenuImage(-1).isNull());
    EXPECT_TRUE(MenuImage(kMenuImageCount).isNull());
}

TEST_F(Pictures, EveryToolbarPictureIsAVisible16x16PictureAndOthersAreNull) {
    for (int entry = 0; entry < kToolImageCount; ++entry) {
        const QImage image = ToolImage(entry);
        ASSERT_FALSE(image.isNull()) << entry;
        EXPECT_EQ(image.size(), QSize(kIconSize, kIconSize)) << entry;
        EXPECT_TRUE(HasVisiblePixel(image)) << entry;
    }
    EXPECT_TRUE(ToolImage(-1).isNull());
    EXPECT_TRUE(ToolImage(kToolImageCount).isNull());
}

// The window's buttons must not share a picture, nor the frames of the connection animation
// (else the animation stands still).
TEST_F(Pictures, MenuPicturesOfTheWindowAreAllDifferent) {
    const int used[] = {miHelp,
                        miExit,
                        miNotConnected,
                        miConnectionFrame1,
                        miConnectionFrame1 + 1,
                        miConnectionFrame1 + 2,
                        miConnectionFrame1 + 3,
                        miReport,
                        miSearch,
                        miSysInfo,
                        miOptions,
                        miTests,
                        miTestsDisabled};
    for (int a : used) {
        for (int b : used) {
            if (a < b) {
                EXPECT_NE(MenuImage(a), MenuImage(b)) << a << " and " << b;
            }
        }
    }
}

TEST_F(Pictures, DisabledTestsPictureIsTheTestsPictureInFaintGrey) {
    const QImage tests = MenuImage(miTests);
    const QImage disabled = MenuImage(miTestsDisabled);
    for (int y = 0; y < kMenuImageSize; ++y) {
        for (int x = 0; x < kMenuImageSize; ++x) {
            const QRgb pixel = disabled.pixel(x, y);
            EXPECT_EQ(qRed(pixel), qGreen(pixel)) << x << "," << y;
            EXPECT_EQ(qGreen(pixel), qBlue(pixel)) << x << "," << y;
            EXPECT_EQ(qAlpha(pixel), qAlpha(tests.pixel(x, y)) / 2) << x << "," << y;
        }
    }
}

TEST_F(Pictures, MenuTopPictureIsLightOnTransparentAndFitsTheNarrowestBand) {
    const QImage top = MenuTopImage();
    EXPECT_EQ(top.size(), QSize(kMenuTopWidth, kMenuTopHeight));
    EXPECT_LE(top.width(), 165);
    EXPECT_EQ(qAlpha(top.pixel(0, 0)), 0);
    int white = 0;
    for (int y = 0; y < top.height(); ++y)
        for (int x = 0; x < top.width(); ++x)
            if ((top.pixel(x, y) | 0xFF000000u) == 0xFFFFFFFFu && qAlpha(top.pixel(x, y)) == 255)
                ++white;
    EXPECT_GT(white, 50); // the name, readable on the black panel
}

} // namespace
