#pragma once
// The pictures of the viewer, the report writers and the command-line tool. A QGuiApplication
// must exist before any picture is made (fonts and image plug-ins need it).

#include <QImage>

#include <cstdint>
#include <string>

namespace ostero::pictures {

constexpr int kIconCount = 122;      // icon list entries 0..121 (icon numbers 1..122)
constexpr int kStateImageCount = 21; // state-image list entries 0..20
constexpr int kIconSize = 16;
constexpr int kBannerWidth = 341;
constexpr int kBannerHeight = 40;
constexpr int kMenuImageCount = 20; // 24-pixel menu list entries 0..19
constexpr int kToolImageCount = 6;  // 16-pixel toolbar pictures 0..5
constexpr int kMenuImageSize = 24;
constexpr int kMenuTopWidth = 156; // fits the narrowest menu band
constexpr int kMenuTopHeight = 62;

// State-image entries that have a meaning.
enum TStateImage : int {
    siCheckPartial = 1,
    siCheckUnchecked = 2,
    siCheckDisabled = 3,
    siCheckChecked = 4,
    siAdded = 5,
    siRemoved = 6,
    siContainsChanges = 7,
    siChanged = 8,
    siExpanded = 16,
    siCollapsed = 17,
    siVolatileChanged = 18,
    siVolatileAdded = 19,
    siVolatileRemoved = 20,
};

// Menu-list entries that the window uses.
enum TMenuImage : int {
    miHelp = 7,
    miExit = 8,
    miNotConnected = 9,
    miConnectionFrame1 = 10, // frames 1..4 of the connection picture are entries 10..13
    miReport = 14,
    miSearch = 15,
    miSysInfo = 16,
    miOptions = 17,
    miTests = 18,
    miTestsDisabled = 19,
};

// Toolbar pictures for the buttons that no icon-list entry fits.
enum TToolImage : int {
    tiSave = 0,
    tiCompare = 1,
    tiCloseCompare = 2,
    tiFindNext = 3,
    tiPrevious = 4,
    tiNext = 5,
};

// 16x16 ARGB32 pictures; a null image for an entry outside the list (as for "no picture").
QImage IconImage(int entry);
QImage StateImage(int entry);
QImage ToolImage(int entry);
// The icon of an image code (through the icon-list entry of the code); null for code 0.
QImage ImageForCode(int32_t imageCode);

// The report banner: product name and logo, 341x40.
QImage BannerImage();

// 24x24 ARGB32 pictures of the menu list; a null image for an entry outside it.
QImage MenuImage(int entry);
// The picture at the top of the menu band: mark and product name, light on transparent.
QImage MenuTopImage();
// A picture in faint grey, as a disabled control shows it (ARGB32).
QImage DisabledImage(const QImage& image);

// GIF89a bytes of a picture with at most 256 colours (more are reduced). With
// `magentaTransparent` the colour 0xFF00FF becomes the transparent colour. Throws
// std::invalid_argument for a null image and std::runtime_error when encoding fails.
std::string EncodeGif(const QImage& image, bool magentaTransparent);
// Baseline JPEG bytes; `quality` 1..100. Throws std::invalid_argument for a null image or a
// quality outside 1..100, std::runtime_error when encoding fails.
std::string EncodeJpeg(const QImage& image, int quality = 95);

// The icon on magenta (its transparent colour) as a GIF, as the exported pages reference it
// ("i%3.3d_16.gif"). Throws std::out_of_range for an entry outside 0..121.
std::string IconGif(int entry);
std::string BannerGif();

} // namespace ostero::pictures
