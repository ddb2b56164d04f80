#pragma once
// Internal: where each icon comes from (a packed Tango picture or one we draw) and the drawing.

#include <QImage>

#include <cstdint>

namespace ostero::pictures::detail {

// Pictures Tango has nothing for, drawn with QPainter.
enum class TDrawn {
    None,
    Cpu,
    MemoryModule,
    Chip,
    Card,
    Mainboard,
    Frequency,
    Tick,
    Cross,
    Barcode,
    RedInfo,
    Clock,
    Thermometer,
    Fan,
    Logo,
    Infrared,
    Tape,
    Lightning,
    Gauge,
    Bluetooth,
    Chart,
    ChartLine,
    Generic,
    Compare, // two pages side by side
};

// A small sign drawn over the picture's lower right corner.
enum class TBadge { None, Error, Unknown, Blocked, Thermometer, Next };

struct TIconSource {
    const char* Tango; // path below the theme's 16x16 folder, or nullptr for a drawn picture
    TDrawn Drawn;
    // Drawn pictures: the accent colour 0xRRGGBB; chart lines: the colour index, -1 inactive.
    int32_t Arg;
    TBadge Badge;
};

// The source of icon-list entry 0..121.
const TIconSource& IconSource(int entry);
// The source of toolbar picture 0..kToolImageCount - 1.
const TIconSource& ToolSource(int entry);

struct TMenuSource {
    const char* Tango; // path below the theme's 24x24 folder
    bool Greyed;       // shown as a disabled control shows it
};

// The source of menu-list entry 0..19.
const TMenuSource& MenuSource(int entry);

// A 16x16 transparent ARGB32 picture with `drawn` painted on it.
QImage DrawIcon(TDrawn drawn, int32_t arg);
void DrawBadge(QImage& image, TBadge badge);
QImage DrawStateImage(int entry);
QImage DrawBanner();
// Light on transparent, for the black top of the menu band.
QImage DrawMenuTop();
// The picture in grey, fainter: how a disabled control shows it.
QImage Greyed(const QImage& image);

} // namespace ostero::pictures::detail
