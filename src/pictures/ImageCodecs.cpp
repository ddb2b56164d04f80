// GIF (giflib) and JPEG (libjpeg) encoding of QImages into byte strings.

#include "pictures/Pictures.h"

#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace ostero::pictures {

namespace {

constexpr QRgb kMagenta = 0xFF00FF;

int AppendToString(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return length;
}

struct TGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

[[noreturn]] void GifFailed(int error) {
    const char* text = GifErrorString(error);
    throw std::runtime_error(std::string("GIF encoding failed: ") + (text ? text : "unknown"));
}

// The palette and the index of each pixel. Up to `limit` colours are kept exactly; more are
// reduced with giflib's median-cut quantiser. Magenta, when transparent, keeps its own entry.
struct TIndexed {
    std::vector<GifColorType> Palette;
    std::vector<GifByteType> Pixels;
    int Transparent = -1;
};

TIndexed Index(const QImage& rgb, bool magentaTransparent) {
    const int width = rgb.width();
    const int height = rgb.height();
    TIndexed out;
    out.Pixels.resize(static_cast<size_t>(width) * height);
    const int limit = magentaTransparent ? 255 : 256;

    std::map<QRgb, int> colors;
    bool hasMagenta = false;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x] & 0xFFFFFF;
            if (magentaTransparent && c == kMagenta)
                hasMagenta = true;
            else if (colors.size() <= static_cast<size_t>(limit))
                colors.emplace(c, 0);
        }
    }

    std::vector<GifByteType> quantised;
    if (colors.size() <= static_cast<size_t>(limit)) {
        for (auto& [color, index] : colors) {
            index = static_cast<int>(out.Palette.size());
            out.Palette.push_back({static_cast<GifByteType>(qRed(color)),
                                   static_cast<GifByteType>(qGreen(color)),
                                   static_cast<GifByteType>(qBlue(color))});
        }
    } else {
        std::vector<GifByteType> red, green, blue;
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const QRgb c = line[x] & 0xFFFFFF;
                if (magentaTransparent && c == kMagenta)
                    continue;
                red.push_back(static_cast<GifByteType>(qRed(c)));
                green.push_back(static_cast<GifByteType>(qGreen(c)));
                blue.push_back(static_cast<GifByteType>(qBlue(c)));
            }
        }
        int size = limit;
        std::vector<GifColorType> map(256);
        quantised.resize(red.size());
        if (GifQuantizeBuffer(static_cast<unsigned>(red.size()), 1, &size, red.data(), green.data(),
                              blue.data(), quantised.data(), map.data()) == GIF_ERROR)
            throw std::runtime_error("GIF colour reduction failed");
        out.Palette.assign(map.begin(), map.begin() + size);
    }
    if (hasMagenta) {
        out.Transparent = static_cast<int>(out.Palette.size());
        out.Palette.push_back({0xFF, 0x00, 0xFF});
    }
    if (out.Palette.empty())
        out.Palette.push_back({0, 0, 0});

    size_t next = 0;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x] & 0xFFFFFF;
            GifByteType index;
            if (hasMagenta && c == kMagenta)
                index = static_cast<GifByteType>(out.Transparent);
            else if (quantised.empty())
                index = static_cast<GifByteType>(colors.at(c));
            else
                index = quantised[next++];
            out.Pixels[static_cast<size_t>(y) * width + x] = index;
        }
    }
    return out;
}

} // namespace

std::string EncodeGif(const QImage& image, bool magentaTransparent) {
    if (image.isNull())
        throw std::invalid_argument("EncodeGif: the image is empty");
    if (image.width() > 0xFFFF || image.height() > 0xFFFF)
        throw std::invalid_argument("EncodeGif: the image is larger than a GIF can hold");
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const TIndexed indexed = Index(rgb, magentaTransparent);

    std::string bytes;
    int error = 0;
    std::unique_ptr<GifFileType, TGifCloser> gif(EGifOpen(&bytes, &AppendToString, &error));
    if (!gif)
        GifFailed(error);
    EGifSetGifVersion(gif.get(), true);

    int mapSize = 2;
    while (mapSize < static_cast<int>(indexed.Palette.size()))
        mapSize *= 2;
    std::vector<GifColorType> colors(static_cast<size_t>(mapSize), GifColorType{0, 0, 0});
    std::copy(indexed.Palette.begin(), indexed.Palette.end(), colors.begin());
    ColorMapObject* map = GifMakeMapObject(mapSize, colors.data());
    if (!map)
        throw std::runtime_error("GIF encoding failed: no memory for the colour table");
    const int put = EGifPutScreenDesc(gif.get(), rgb.width(), rgb.height(), 8, 0, map);
    GifFreeMapObject(map);
    if (put == GIF_ERROR)
        GifFailed(gif->Error);

    if (indexed.Transparent >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.UserInputFlag = false;
        control.DelayTime = 0;
        control.TransparentColor = indexed.Transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length),
                             extension) == GIF_ERROR)
            GifFailed(gif->Error);
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, rgb.width(), rgb.height(), false, nullptr) == GIF_ERROR)
        GifFailed(gif->Error);
    for (int y = 0; y < rgb.height(); ++y) {
        auto* line =
            const_cast<GifByteType*>(indexed.Pixels.data()) + static_cast<size_t>(y) * rgb.width();
        if (EGifPutLine(gif.get(), line, rgb.width()) == GIF_ERROR)
            GifFailed(gif->Error);
    }
    GifFileType* raw = gif.release();
    if (EGifCloseFile(raw, &error) == GIF_ERROR)
        GifFailed(error);
    return bytes;
}

namespace {

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    info->err->format_message(info, error->Message);
    std::longjmp(error->Jump, 1);
}

} // namespace

std::string EncodeJpeg(const QImage& image, int quality) {
    if (image.isNull())
        throw std::invalid_argument("EncodeJpeg: the image is empty");
    if (quality < 1 || quality > 100)
        throw std::invalid_argument("EncodeJpeg: quality " + std::to_string(quality) +
                                    " is outside 1..100");
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);

    // libjpeg reports errors by a long jump; nothing with a destructor lives across it.
    jpeg_compress_struct info{};
    TJpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = &JpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error(std::string("JPEG encoding failed: ") + error.Message);
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

} // namespace ostero::pictures
