// The icon and state lists, the banner, and the GIFs the exported pages carry.

#include "pictures/Pictures.h"

#include "pictures/EmbeddedPictures.h"
#include "pictures/PictureDrawing.h"
#include "report/ReportTree.h"

#include <QPainter>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace ostero::pictures {

namespace {

QImage LoadEmbedded(const char* name, const detail::TEmbeddedPicture* pictures, size_t count,
                    int size) {
    for (size_t i = 0; i < count; ++i) {
        const auto& picture = pictures[i];
        if (std::strcmp(picture.Name, name) != 0)
            continue;
        QImage image;
        if (!image.loadFromData(picture.Data, static_cast<int>(picture.Size), "PNG"))
            throw std::runtime_error(std::string("packed picture cannot be read: ") + name);
        image = image.convertToFormat(QImage::Format_ARGB32);
        if (image.size() != QSize(size, size))
            image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    throw std::runtime_error(std::string("picture not packed: ") + name);
}

QImage MakeFrom(const detail::TIconSource& source) {
    QImage image = source.Tango ? LoadEmbedded(source.Tango, detail::kEmbeddedPictures,
                                               detail::kEmbeddedPictureCount, kIconSize)
                                : detail::DrawIcon(source.Drawn, source.Arg);
    detail::DrawBadge(image, source.Badge);
    return image;
}

QImage MakeIcon(int entry) {
    return MakeFrom(detail::IconSource(entry));
}

QImage MakeToolImage(int entry) {
    return MakeFrom(detail::ToolSource(entry));
}

QImage MakeMenuImage(int entry) {
    const auto& source = detail::MenuSource(entry);
    QImage image = LoadEmbedded(source.Tango, detail::kEmbeddedMenuPictures,
                                detail::kEmbeddedMenuPictureCount, kMenuImageSize);
    return source.Greyed ? detail::Greyed(image) : image;
}

// Entry `entry` of a list of N pictures that `Make` draws; null outside the list. The whole
// list is made once, on its first use; QImage copies share the data.
template <int N, QImage (*Make)(int)> QImage ListEntry(int entry) {
    if (entry < 0 || entry >= N)
        return {};
    static const std::array<QImage, N> list = [] {
        std::array<QImage, N> made;
        for (int i = 0; i < N; ++i)
            made[static_cast<size_t>(i)] = Make(i);
        return made;
    }();
    return list[static_cast<size_t>(entry)];
}

} // namespace

QImage IconImage(int entry) {
    return ListEntry<kIconCount, &MakeIcon>(entry);
}

QImage StateImage(int entry) {
    return ListEntry<kStateImageCount, &detail::DrawStateImage>(entry);
}

QImage ToolImage(int entry) {
    return ListEntry<kToolImageCount, &MakeToolImage>(entry);
}

QImage ImageForCode(int32_t imageCode) {
    return IconImage(report::ImageListIndex(imageCode));
}

QImage BannerImage() {
    return detail::DrawBanner();
}

QImage MenuImage(int entry) {
    return ListEntry<kMenuImageCount, &MakeMenuImage>(entry);
}

QImage MenuTopImage() {
    return detail::DrawMenuTop();
}

QImage DisabledImage(const QImage& image) {
    return detail::Greyed(image);
}

std::string IconGif(int entry) {
    const QImage icon = IconImage(entry);
    if (icon.isNull())
        throw std::out_of_range("icon entry " + std::to_string(entry) + " is outside 0.." +
                                std::to_string(kIconCount - 1));
    // Soft edges would blend into pink fringes on magenta: each pixel is either the icon's
    // colour or transparent.
    QImage bitmap(kIconSize, kIconSize, QImage::Format_RGB32);
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            const QRgb pixel = icon.pixel(x, y);
            bitmap.setPixel(x, y,
                            qAlpha(pixel) < 128 ? qRgb(0xFF, 0x00, 0xFF)
                                                : qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)));
        }
    }
    return EncodeGif(bitmap, true);
}

std::string BannerGif() {
    return EncodeGif(BannerImage(), false);
}

} // namespace ostero::pictures
