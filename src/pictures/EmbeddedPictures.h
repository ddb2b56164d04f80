#pragma once
// The PNG files packed into the library at build time (generated from the icon table).

#include <cstddef>

namespace ostero::pictures::detail {

struct TEmbeddedPicture {
    const char* Name; // path below the theme's 16x16 folder, e.g. "devices/drive-harddisk.png"
    const unsigned char* Data;
    size_t Size;
};

extern const TEmbeddedPicture kEmbeddedPictures[];
extern const size_t kEmbeddedPictureCount;

} // namespace ostero::pictures::detail
