#pragma once
// The PNG files packed into the library at build time (generated from the icon table).

#include <cstddef>

namespace ostero::pictures::detail {

struct TEmbeddedPicture {
    // path below the theme's size folder (16x16 or 24x24), e.g. "devices/drive-harddisk.png"
    const char* Name;
    const unsigned char* Data;
    size_t Size;
};

extern const TEmbeddedPicture kEmbeddedPictures[];
extern const size_t kEmbeddedPictureCount;
// The 24-pixel pictures (generated from the menu table).
extern const TEmbeddedPicture kEmbeddedMenuPictures[];
extern const size_t kEmbeddedMenuPictureCount;

} // namespace ostero::pictures::detail
