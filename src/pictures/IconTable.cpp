// The one table of the icon list: for each icon number (entry + 1) and its keyword, the Tango
// picture or the drawn picture it shows; then the toolbar pictures that the icon list has no
// fitting entry for. The build packs every 16-pixel Tango file named here.

#include "pictures/PictureDrawing.h"
#include "pictures/Pictures.h"

#include <array>

namespace ostero::pictures::detail {

namespace {

constexpr TIconSource T(const char* tango, TBadge badge = TBadge::None) {
    return {tango, TDrawn::None, 0, badge};
}
constexpr TIconSource D(TDrawn drawn, int32_t arg = 0, TBadge badge = TBadge::None) {
    return {nullptr, drawn, arg, badge};
}
constexpr TIconSource Line(int32_t colorIndex) {
    return {nullptr, TDrawn::ChartLine, colorIndex, TBadge::None};
}

constexpr std::array<TIconSource, 122> kIconSources = {
    T("devices/computer.png"),                           // 1 Hardware
    T("devices/audio-card.png"),                         // 2 PCI Devices
    D(TDrawn::Cpu, 0x3465A4),                            // 3 CPUs
    D(TDrawn::MemoryModule, 0x4E9A06),                   // 4 DIM Modules
    T("mimetypes/x-office-spreadsheet.png"),             // 5 DMI Infos
    T("devices/drive-harddisk.png"),                     // 6 Mass Storage Devices
    T("devices/drive-optical.png"),                      // 7 CDROM
    T("devices/media-floppy.png"),                       // 8 Floppy
    T("devices/drive-harddisk.png"),                     // 9 Harddisk
    D(TDrawn::Card, 0x4E9A06),                           // 10 PCI Device
    D(TDrawn::Cpu, 0x3465A4),                            // 11 CPU
    D(TDrawn::MemoryModule, 0x4E9A06),                   // 12 Memory Module
    D(TDrawn::Chip, 0x2E3436),                           // 13 Chip
    T("devices/chardevice.png"),                         // 14 Port
    T("mimetypes/unknown.png"),                          // 15 UnknownRoot
    T("status/dialog-information.png"),                  // 16 Info
    T("devices/drive-removable-media.png"),              // 17 SCSI Device
    T("actions/edit-find.png"),                          // 18 Ident
    T("actions/edit-find.png", TBadge::Error),           // 19 Ident Error
    T("actions/edit-find.png", TBadge::Unknown),         // 20 Ident Unknown
    D(TDrawn::Chip, 0x75507B),                           // 21 BIOS
    D(TDrawn::Card, 0x5C3566),                           // 22 PCI Bridge
    T("devices/network-wired.png"),                      // 23 PCI Network
    T("devices/audio-card.png"),                         // 24 PCI Multimedia
    T("devices/video-display.png"),                      // 25 PCI Display
    T("devices/media-flash.png"),                        // 26 PCI USB
    D(TDrawn::Card, 0x204A87),                           // 27 PCI Storage Controller
    T("mimetypes/text-x-generic.png"),                   // 28 Article
    T("status/network-transmit-receive.png"),            // 29 PCI Modem
    D(TDrawn::Mainboard, 0x4E9A06),                      // 30 Mainboard
    D(TDrawn::Frequency, 0x204A87),                      // 31 Frequency
    T("status/dialog-error.png"),                        // 32 Failed
    D(TDrawn::Tick, 0x4E9A06),                           // 33 OK
    T("categories/preferences-system.png"),              // 34 Tools
    T("devices/network-wireless.png"),                   // 35 PCI Wireless
    T("actions/edit-find.png", TBadge::Blocked),         // 36 Ident Blocked
    T("mimetypes/text-x-generic.png", TBadge::Error),    // 37 Article Error
    T("status/dialog-warning.png"),                      // 38 Attention
    T("mimetypes/x-office-document.png"),                // 39 Document
    T("actions/process-stop.png"),                       // 40 Cancel
    D(TDrawn::Frequency, 0x204A87, TBadge::Error),       // 41 Freq. Error
    D(TDrawn::Frequency, 0x204A87, TBadge::Unknown),     // 42 Freq. Unknown
    D(TDrawn::Barcode, 0x000000),                        // 43 Serialnumber
    T("status/network-error.png"),                       // 44 Connection Error
    D(TDrawn::RedInfo, 0xCC0000),                        // 45 Red Info
    D(TDrawn::Clock, 0x204A87),                          // 46 Clock
    D(TDrawn::Tick, 0x204A87),                           // 47 Check
    T("actions/view-refresh.png"),                       // 48 Exchange
    T("apps/utilities-system-monitor.png"),              // 49 PC-Test
    T("apps/system-users.png"),                          // 50 User
    T("mimetypes/x-office-calendar.png"),                // 51 Event
    T("mimetypes/package-x-generic.png"),                // 52 Software
    T("mimetypes/application-x-executable.png"),         // 53 Application
    T("categories/preferences-desktop-peripherals.png"), // 54 Driver
    T("places/start-here.png"),                          // 55 Operatingsystem
    T("categories/preferences-desktop.png"),             // 56 Setting
    T("devices/media-flash.png"),                        // 57 USB Devices
    D(TDrawn::Card, 0x8F5902),                           // 58 PCMCIA
    T("devices/camera-photo.png"),                       // 59 Image Device
    T("devices/input-keyboard.png"),                     // 60 Input Device
    T("devices/printer.png"),                            // 61 Printer
    T("actions/system-lock-screen.png"),                 // 62 Security Device
    T("devices/camera-video.png"),                       // 63 Video Device
    T("devices/drive-removable-media.png"),              // 64 Storage Device
    T("devices/media-flash.png"),                        // 65 USB Device
    D(TDrawn::Thermometer, 0xCC0000),                    // 66 Temperature
    D(TDrawn::Fan, 0x204A87),                            // 67 Fan
    T("devices/multimedia-player.png"),                  // 68 Firewire
    D(TDrawn::Logo, 0x204A87),                           // 69 Taveric
    T("places/network-server.png"),                      // 70 System
    T("mimetypes/x-office-spreadsheet.png"),             // 71 DMI
    T("devices/video-display.png"),                      // 72 Monitor
    T("places/folder-remote.png"),                       // 73 Network Drive
    D(TDrawn::Tick, 0x4E9A06),                           // 74 Yes
    D(TDrawn::Cross, 0xCC0000),                          // 75 No
    T("mimetypes/video-x-generic.png"),                  // 76 DirectX
    D(TDrawn::Chip, 0x8F5902),                           // 77 SMBus
    T("categories/applications-system.png"),             // 78 System Device
    T("emblems/emblem-system.png"),                      // 79 Service
    T("apps/system-software-update.png"),                // 80 Windows Update
    D(TDrawn::Infrared, 0xCC0000),                       // 81 Infrared
    T("actions/system-shutdown.png"),                    // 82 Power
    T("mimetypes/x-office-document.png"),                // 83 Document
    D(TDrawn::Tape, 0x555753),                           // 84 SequentialStorage
    T("devices/drive-removable-media.png"),              // 85 Removable Storage
    D(TDrawn::Lightning, 0xEDD400),                      // 86 Voltage
    D(TDrawn::Gauge, 0x204A87),                          // 87 Speed
    T("apps/preferences-system-windows.png"),            // 88 Windows
    D(TDrawn::Bluetooth, 0x204A87),                      // 89 Bluetooth
    T("devices/battery.png"),                            // 90 Battery
    D(TDrawn::Chart, 0x204A87),                          // 91 Chart
    Line(-1),                                            // 92 inactive chart line
    Line(0),                                             // 93..106 active chart lines
    Line(1),
    Line(2),
    Line(3),
    Line(4),
    Line(5),
    Line(6),
    Line(7),
    Line(8),
    Line(9),
    Line(10),
    Line(11),
    Line(12),
    Line(13),
    T("apps/utilities-terminal.png"),                       // 107 Processes
    T("actions/media-playback-start.png"),                  // 108 Running Process
    T("actions/media-playback-stop.png"),                   // 109 Stopped Process
    T("status/dialog-error.png"),                           // 110 Error
    T("status/dialog-warning.png"),                         // 111 Warning
    T("places/network-server.png"),                         // 112 iAMT
    T("places/server.png"),                                 // 113 IPMI
    T("places/network-workgroup.png"),                      // 114 SNMP
    D(TDrawn::Generic, 0x888A85),                           // 115 (no keyword)
    D(TDrawn::Generic, 0x888A85),                           // 116 (no keyword)
    D(TDrawn::Generic, 0x888A85),                           // 117 (no keyword)
    T("devices/drive-harddisk.png", TBadge::Thermometer),   // 118 HDD Temperature
    D(TDrawn::Cpu, 0x3465A4, TBadge::Thermometer),          // 119 CPU Temperature
    D(TDrawn::MemoryModule, 0x4E9A06, TBadge::Thermometer), // 120 Memory Temperature
    T("devices/video-display.png", TBadge::Thermometer),    // 121 GPU Temperature
    D(TDrawn::Chip, 0x2E3436, TBadge::Thermometer),         // 122 Chip Temperature
};

constexpr std::array<TIconSource, kToolImageCount> kToolSources = {
    T("actions/document-save.png"),              // tiSave
    D(TDrawn::Compare, 0x3465A4),                // tiCompare
    D(TDrawn::Compare, 0x3465A4, TBadge::Error), // tiCloseCompare
    T("actions/edit-find.png", TBadge::Next),    // tiFindNext
    T("actions/go-previous.png"),                // tiPrevious
    T("actions/go-next.png"),                    // tiNext
};

} // namespace

const TIconSource& IconSource(int entry) {
    return kIconSources.at(static_cast<size_t>(entry));
}

const TIconSource& ToolSource(int entry) {
    return kToolSources.at(static_cast<size_t>(entry));
}

} // namespace ostero::pictures::detail
