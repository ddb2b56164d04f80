// The one table of the 24-pixel menu list: for each entry, the Tango picture it shows. The
// build packs every Tango file named here.

#include "pictures/PictureDrawing.h"

#include <array>

namespace ostero::pictures::detail {

namespace {

constexpr std::array<TMenuSource, 20> kMenuSources = {{
    {"actions/document-open.png", false},           // 0 open a report
    {"actions/document-save.png", false},           // 1 save a report
    {"actions/edit-find.png", false},               // 2 find in the report
    {"actions/go-previous.png", false},             // 3 previous difference
    {"actions/go-next.png", false},                 // 4 next difference
    {"actions/view-refresh.png", false},            // 5 update
    {"actions/process-stop.png", false},            // 6 stop
    {"apps/help-browser.png", false},               // 7 help
    {"actions/system-log-out.png", false},          // 8 exit
    {"status/network-offline.png", false},          // 9 not connected
    {"status/network-idle.png", false},             // 10 connection, frame 1: link quiet
    {"status/network-transmit.png", false},         // 11 frame 2: sending
    {"status/network-receive.png", false},          // 12 frame 3: receiving
    {"status/network-transmit-receive.png", false}, // 13 frame 4: both ways
    {"mimetypes/x-office-document.png", false},     // 14 report
    {"actions/system-search.png", false},           // 15 search report files
    {"devices/computer.png", false},                // 16 system information
    {"categories/preferences-system.png", false},   // 17 options
    {"apps/utilities-system-monitor.png", false},   // 18 hardware tests
    {"apps/utilities-system-monitor.png", true},    // 19 hardware tests, disabled
}};

} // namespace

const TMenuSource& MenuSource(int entry) {
    return kMenuSources.at(static_cast<size_t>(entry));
}

} // namespace ostero::pictures::detail
