// The hardware module: processors, memory, mainboard and BIOS, PCI and USB devices, disks,
// network adapters, displays, input devices, batteries and sound, read from /proc and /sys.
#include "DeviceNames.h"
#include "ModuleKit.h"

#include "support/TextCodec.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace ostero::modules {

namespace {

// Icon numbers of the report's picture list.
enum : uint16_t {
    icPciDevices = 2,
    icCpus = 3,
    icMemoryModules = 4,
    icMassStorage = 6,
    icCdrom = 7,
    icHarddisk = 9,
    icPciDevice = 10,
    icCpu = 11,
    icMemoryModule = 12,
    icInfo = 16,
    icIdentError = 19,
    icIdentUnknown = 20,
    icBios = 21,
    icPciBridge = 22,
    icPciNetwork = 23,
    icPciMultimedia = 24,
    icPciDisplay = 25,
    icPciUsb = 26,
    icPciStorage = 27,
    icMainboard = 30,
    icFrequency = 31,
    icFailed = 32,
    icSerial = 43,
    icUsbDevices = 57,
    icInputDevice = 60,
    icUsbDevice = 65,
    icSystem = 70,
    icDmi = 71,
    icMonitor = 72,
    icRemovable = 85,
    icBattery = 90,
    icWireless = 35,
};

constexpr const char* kRootNeeded = "Root rights are needed to read this";

uint64_t ToNumber(const std::string& text, int base = 10) {
    try {
        return text.empty() ? 0 : std::stoull(text, nullptr, base);
    } catch (...) {
        return 0;
    }
}

// A sysfs attribute as a property; unreadable for this user: says so; missing: left out.
void SysProperty(TSubList& list, const std::string& name, const std::string& path,
                 int32_t flags = 0, uint16_t image = 0) {
    auto result = ReadSysFile(path, 4096);
    if (result.Denied) {
        list.Property(name, kRootNeeded, image, flags);
        return;
    }
    if (!result.Text)
        return;
    const std::string value = Trim(result.Text->substr(0, result.Text->find('\n')));
    if (!value.empty())
        list.Property(name, value, image, flags);
}

// --- Processors.

std::vector<std::map<std::string, std::string>> CpuInfoBlocks() {
    std::vector<std::map<std::string, std::string>> blocks(1);
    for (const std::string& line : SplitLines(ReadText("/proc/cpuinfo"))) {
        const size_t colon = line.find(':');
        if (Trim(line).empty() || colon == std::string::npos) {
            if (!blocks.back().empty())
                blocks.emplace_back();
            continue;
        }
        blocks.back()[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    return blocks;
}

std::string Value(const std::map<std::string, std::string>& block, const char* key) {
    const auto it = block.find(key);
    return it == block.end() ? std::string() : it->second;
}

void FillProcessors(TSubList& list) {
    // Blocks without a processor number describe the machine (ARM: "Hardware", "Serial").
    std::vector<std::map<std::string, std::string>> blocks;
    std::map<std::string, std::string> machine;
    for (auto& block : CpuInfoBlocks()) {
        if (block.count("processor"))
            blocks.push_back(std::move(block));
        else
            machine.insert(block.begin(), block.end());
    }
    std::set<std::string> packages, cores;
    for (const auto& b : blocks) {
        packages.insert(Value(b, "physical id"));
        cores.insert(Value(b, "physical id") + "/" + Value(b, "core id"));
    }
    list.Group(0, icCpus, "Summary");
    if (blocks.empty()) {
        list.Note("No processor information found (/proc/cpuinfo)", icFailed, nfAlert);
        return;
    }
    const auto& first = blocks.front();
    std::string model = Value(first, "model name");
    if (model.empty())
        model = Value(first, "Processor"); // ARM
    if (model.empty())
        model = Value(first, "cpu model");
    list.Property("Processor", model, icCpu, 0, kBoldLine);
    if (!Value(first, "vendor_id").empty())
        list.Property("Vendor", Value(first, "vendor_id"));
    list.Property("Packages", std::to_string(packages.size()));
    list.Property("Cores", std::to_string(cores.size()));
    list.Property("Logical processors", std::to_string(blocks.size()));
    for (const auto& [key, name] :
         std::initializer_list<std::pair<const char*, const char*>>{{"cpu family", "Family"},
                                                                    {"model", "Model"},
                                                                    {"stepping", "Stepping"},
                                                                    {"microcode", "Microcode"},
                                                                    {"cache size", "Cache size"}}) {
        if (!Value(first, key).empty())
            list.Property(name, Value(first, key));
    }
    std::string flags = Value(first, "flags");
    if (flags.empty())
        flags = Value(first, "Features");
    if (!flags.empty())
        list.Property("Features", flags);
    if (!Value(machine, "Hardware").empty())
        list.Property("Hardware", Value(machine, "Hardware"));
    if (!Value(machine, "Serial").empty())
        list.Property("Serial number", Value(machine, "Serial"), icSerial, nfPrivate);
    const std::string bugs = Value(first, "bugs");
    if (!bugs.empty())
        list.Property("Known processor bugs", bugs, 0, nfHighlight);

    for (size_t i = 0; i < blocks.size(); ++i) {
        const auto& b = blocks[i];
        const std::string number =
            Value(b, "processor").empty() ? std::to_string(i) : Value(b, "processor");
        list.Group(0, icCpu, "CPU " + number);
        if (!Value(b, "physical id").empty())
            list.Property("Package", Value(b, "physical id"));
        if (!Value(b, "core id").empty())
            list.Property("Core", Value(b, "core id"));
        const std::string cpuDir = "/sys/devices/system/cpu/cpu" + number;
        const std::string current = ReadValue(cpuDir + "/cpufreq/scaling_cur_freq");
        if (!current.empty())
            list.Property("Current clock", std::to_string(ToNumber(current) / 1000) + " MHz",
                          icFrequency, nfVolatile);
        else if (!Value(b, "cpu MHz").empty())
            list.Property("Current clock", Value(b, "cpu MHz") + " MHz", icFrequency, nfVolatile);
        const std::string maxFreq = ReadValue(cpuDir + "/cpufreq/cpuinfo_max_freq");
        if (!maxFreq.empty())
            list.Property("Maximum clock", std::to_string(ToNumber(maxFreq) / 1000) + " MHz");
        const std::string governor = ReadValue(cpuDir + "/cpufreq/scaling_governor");
        if (!governor.empty())
            list.Property("Governor", governor);
        for (const std::string& index : ListFolder(cpuDir + "/cache")) {
            if (!StartsWith(index, "index"))
                continue;
            const std::string dir = cpuDir + "/cache/" + index;
            const std::string type = ReadValue(dir + "/type");
            list.Property("L" + ReadValue(dir + "/level") + " cache" +
                              (type == "Unified" || type.empty() ? "" : " (" + type + ")"),
                          ReadValue(dir + "/size"));
        }
    }
}

// --- Memory.

uint16_t Word(const std::string& raw, size_t offset) {
    return offset + 1 < raw.size()
               ? static_cast<uint16_t>(static_cast<uint8_t>(raw[offset]) |
                                       static_cast<uint8_t>(raw[offset + 1]) << 8)
               : 0;
}

// String number `index` (1-based) of an SMBIOS structure.
std::string SmbiosString(const std::string& raw, size_t offset) {
    if (offset >= raw.size() || raw.size() < 2)
        return {};
    const uint8_t index = static_cast<uint8_t>(raw[offset]);
    const size_t length = static_cast<uint8_t>(raw[1]);
    if (index == 0 || length > raw.size())
        return {};
    size_t pos = length;
    for (uint8_t n = 1; pos < raw.size(); ++n) {
        const size_t end = raw.find('\0', pos);
        if (end == std::string::npos || end == pos)
            return {};
        if (n == index)
            return Trim(raw.substr(pos, end - pos));
        pos = end + 1;
    }
    return {};
}

const char* MemoryTypeName(uint8_t type) {
    switch (type) {
    case 0x12:
        return "DDR";
    case 0x13:
        return "DDR2";
    case 0x18:
        return "DDR3";
    case 0x1A:
        return "DDR4";
    case 0x1B:
        return "LPDDR";
    case 0x1C:
        return "LPDDR2";
    case 0x1D:
        return "LPDDR3";
    case 0x1E:
        return "LPDDR4";
    case 0x22:
        return "DDR5";
    case 0x23:
        return "LPDDR5";
    case 0x07:
        return "RAM";
    default:
        return "Other";
    }
}

void FillMemoryModules(TSubList& list) {
    list.Group(0, icMemoryModules, "Memory modules");
    const std::string base = "/sys/firmware/dmi/entries";
    if (!PathExists(base)) {
        list.Note("No DMI tables found on this machine", icInfo);
        return;
    }
    int found = 0;
    for (const std::string& entry : ListFolder(base)) {
        if (!StartsWith(entry, "17-"))
            continue;
        auto result = ReadSysFile(base + "/" + entry + "/raw", 4096);
        if (result.Denied) {
            list.Note("Root rights are needed to read the memory module table", icInfo,
                      nfHighlight);
            return;
        }
        const std::string raw = result.Text.value_or("");
        if (raw.size() < 0x15 || static_cast<uint8_t>(raw[0]) != 17)
            continue;
        uint64_t sizeMiB = Word(raw, 0x0C);
        if (sizeMiB == 0 || sizeMiB == 0xFFFF)
            continue; // empty slot or unknown
        if (sizeMiB == 0x7FFF && raw.size() >= 0x20)
            sizeMiB = (Word(raw, 0x1C) | uint64_t{Word(raw, 0x1E)} << 16) & 0x7FFFFFFF;
        else if (sizeMiB & 0x8000)
            sizeMiB = (sizeMiB & 0x7FFF) / 1024; // given in KiB
        ++found;
        std::string slot = SmbiosString(raw, 0x10);
        list.Group(1, icMemoryModule, slot.empty() ? "Module " + std::to_string(found) : slot);
        list.Property("Size", FormatBytes(sizeMiB << 20));
        list.Property("Type", MemoryTypeName(static_cast<uint8_t>(raw[0x12])));
        if (raw.size() > 0x16 && Word(raw, 0x15) != 0)
            list.Property("Speed", std::to_string(Word(raw, 0x15)) + " MT/s", icFrequency);
        const std::string bank = SmbiosString(raw, 0x11);
        if (!bank.empty())
            list.Property("Bank", bank);
        const std::string maker = SmbiosString(raw, 0x17);
        if (!maker.empty())
            list.Property("Manufacturer", maker);
        const std::string part = SmbiosString(raw, 0x1A);
        if (!part.empty())
            list.Property("Part number", part);
        const std::string serial = SmbiosString(raw, 0x18);
        if (!serial.empty())
            list.Property("Serial number", serial, icSerial, nfPrivate);
    }
    if (found == 0)
        list.Note("No memory modules listed in the DMI tables", icInfo);
}

void FillMemory(TSubList& list) {
    std::map<std::string, uint64_t> info;
    for (const std::string& line : SplitLines(ReadText("/proc/meminfo"))) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            info[line.substr(0, colon)] = ToNumber(Trim(line.substr(colon + 1))) * 1024;
    }
    list.Group(0, icMemoryModule, "Main memory");
    if (info.empty()) {
        list.Note("No memory information found (/proc/meminfo)", icFailed, nfAlert);
    } else {
        const uint64_t total = info["MemTotal"];
        const uint64_t available = info["MemAvailable"];
        list.Property("Total", FormatBytes(total), icMemoryModule, 0, kBoldLine);
        // Less than a twentieth available: the machine is short of memory.
        const int32_t low = total > 0 && available < total / 20 ? nfAlert : 0;
        list.Property("Available", FormatBytes(available), 0, nfVolatile | low);
        list.Property("Free", FormatBytes(info["MemFree"]), 0, nfVolatile);
        list.Property("Buffers", FormatBytes(info["Buffers"]), 0, nfVolatile);
        list.Property("Cached", FormatBytes(info["Cached"]), 0, nfVolatile);
        list.Property("Swap total", FormatBytes(info["SwapTotal"]));
        list.Property("Swap free", FormatBytes(info["SwapFree"]), 0, nfVolatile);
    }
    FillMemoryModules(list);
}

// --- Mainboard and BIOS.

void FillMainboard(TSubList& list) {
    const std::string dmi = "/sys/class/dmi/id/";
    if (!PathExists(dmi)) {
        list.Note("No DMI information on this machine (/sys/class/dmi/id)", icInfo);
        return;
    }
    list.Group(0, icSystem, "System");
    SysProperty(list, "Manufacturer", dmi + "sys_vendor");
    SysProperty(list, "Product", dmi + "product_name");
    SysProperty(list, "Version", dmi + "product_version");
    SysProperty(list, "Family", dmi + "product_family");
    SysProperty(list, "Serial number", dmi + "product_serial", nfPrivate, icSerial);
    SysProperty(list, "UUID", dmi + "product_uuid", nfPrivate);
    list.Group(0, icMainboard, "Mainboard");
    SysProperty(list, "Manufacturer", dmi + "board_vendor");
    SysProperty(list, "Product", dmi + "board_name");
    SysProperty(list, "Version", dmi + "board_version");
    SysProperty(list, "Serial number", dmi + "board_serial", nfPrivate, icSerial);
    SysProperty(list, "Asset tag", dmi + "board_asset_tag", nfPrivate);
    list.Group(0, icDmi, "Chassis");
    SysProperty(list, "Manufacturer", dmi + "chassis_vendor");
    SysProperty(list, "Type", dmi + "chassis_type");
    SysProperty(list, "Serial number", dmi + "chassis_serial", nfPrivate, icSerial);
    list.Group(0, icBios, "BIOS");
    SysProperty(list, "Vendor", dmi + "bios_vendor");
    SysProperty(list, "Version", dmi + "bios_version");
    SysProperty(list, "Date", dmi + "bios_date");
    SysProperty(list, "Release", dmi + "bios_release");
    list.Property("Firmware interface", PathExists("/sys/firmware/efi") ? "UEFI" : "Legacy BIOS");
}

// --- PCI devices.

uint16_t PciIcon(uint8_t classCode, uint8_t subclass) {
    switch (classCode) {
    case 0x01:
        return icPciStorage;
    case 0x02:
        return icPciNetwork;
    case 0x03:
        return icPciDisplay;
    case 0x04:
        return icPciMultimedia;
    case 0x06:
        return icPciBridge;
    case 0x0C:
        return subclass == 0x03 ? icPciUsb : icPciDevice;
    case 0x0D:
        return icWireless;
    default:
        return icPciDevice;
    }
}

std::string Hex4(uint64_t value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04X", static_cast<unsigned>(value & 0xFFFF));
    return text;
}

void FillPci(TSubList& list) {
    const std::string base = "/sys/bus/pci/devices";
    const auto addresses = ListFolder(base);
    if (addresses.empty()) {
        list.Note("No PCI devices found", icInfo);
        return;
    }
    const TIdDatabase ids = TIdDatabase::Load(
        {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids", "/usr/share/pci.ids"});
    struct TDevice {
        std::string Address;
        uint32_t Class;
    };
    std::vector<TDevice> devices;
    for (const std::string& address : addresses)
        devices.push_back({address, static_cast<uint32_t>(
                                        ToNumber(ReadValue(base + "/" + address + "/class"), 16))});
    // Grouped by class, in address order inside a class.
    std::stable_sort(devices.begin(), devices.end(), [](const TDevice& a, const TDevice& b) {
        return (a.Class >> 16) < (b.Class >> 16);
    });
    int lastClass = -1;
    for (const TDevice& device : devices) {
        const auto classCode = static_cast<uint8_t>(device.Class >> 16);
        const auto subclass = static_cast<uint8_t>(device.Class >> 8);
        if (classCode != lastClass) {
            lastClass = classCode;
            std::string className = ids.Class(classCode);
            if (className.empty())
                className = "Class " + Hex4(classCode).substr(2);
            list.Group(0, PciIcon(classCode, subclass), className);
        }
        const std::string dir = base + "/" + device.Address;
        const auto vendor = static_cast<uint16_t>(ToNumber(ReadValue(dir + "/vendor"), 16));
        const auto id = static_cast<uint16_t>(ToNumber(ReadValue(dir + "/device"), 16));
        std::string vendorName = ids.Vendor(vendor);
        std::string deviceName = ids.Device(vendor, id);
        if (vendorName.empty())
            vendorName = "Vendor " + Hex4(vendor);
        if (deviceName.empty())
            deviceName = "Device " + Hex4(id);
        const std::string driver = LinkName(dir + "/driver");
        // A bridge without a driver is normal; any other device without one is not working.
        const bool missingDriver = driver.empty() && classCode != 0x06;
        list.Group(
            1, missingDriver ? static_cast<uint16_t>(icIdentError) : PciIcon(classCode, subclass),
            vendorName + " " + deviceName);
        list.Property("Address", device.Address);
        list.Property("Vendor ID", Hex4(vendor));
        list.Property("Device ID", Hex4(id));
        const uint64_t subVendor = ToNumber(ReadValue(dir + "/subsystem_vendor"), 16);
        const uint64_t subDevice = ToNumber(ReadValue(dir + "/subsystem_device"), 16);
        if (subVendor != 0)
            list.Property("Subsystem", Hex4(subVendor) + ":" + Hex4(subDevice));
        const std::string subclassName = ids.Subclass(classCode, subclass);
        if (!subclassName.empty())
            list.Property("Type", subclassName);
        const std::string revision = ReadValue(dir + "/revision");
        if (!revision.empty())
            list.Property("Revision", revision);
        if (!driver.empty())
            list.Property("Driver", driver);
        else if (missingDriver)
            list.Property("Driver", "none (the device is not in use)", icIdentError, nfAlert);
        else
            list.Property("Driver", "none");
        const std::string link = ReadValue(dir + "/current_link_speed");
        if (!link.empty() && link != "Unknown")
            list.Property("Link", link + ", width x" + ReadValue(dir + "/current_link_width"), 0,
                          nfVolatile);
    }
}

// --- USB devices.

const char* UsbClassName(uint8_t code) {
    switch (code) {
    case 0x01:
        return "Audio";
    case 0x02:
        return "Communications";
    case 0x03:
        return "Human interface device";
    case 0x06:
        return "Image";
    case 0x07:
        return "Printer";
    case 0x08:
        return "Mass storage";
    case 0x09:
        return "Hub";
    case 0x0A:
        return "CDC data";
    case 0x0B:
        return "Smart card";
    case 0x0E:
        return "Video";
    case 0xE0:
        return "Wireless controller";
    case 0xEF:
        return "Miscellaneous";
    case 0xFF:
        return "Vendor specific";
    default:
        return "";
    }
}

void FillUsb(TSubList& list) {
    const std::string base = "/sys/bus/usb/devices";
    const TIdDatabase ids = TIdDatabase::Load(
        {"/usr/share/misc/usb.ids", "/var/lib/usbutils/usb.ids", "/usr/share/hwdata/usb.ids"});
    int count = 0;
    const auto entries = ListFolder(base);
    for (const std::string& name : entries) {
        const std::string dir = base + "/" + name;
        const std::string vendorText = ReadValue(dir + "/idVendor");
        if (vendorText.empty())
            continue; // an interface, not a device
        ++count;
        const auto vendor = static_cast<uint16_t>(ToNumber(vendorText, 16));
        const auto product = static_cast<uint16_t>(ToNumber(ReadValue(dir + "/idProduct"), 16));
        std::string title = ReadValue(dir + "/product");
        if (title.empty())
            title = ids.Device(vendor, product);
        if (title.empty())
            title = "USB device " + Hex4(vendor) + ":" + Hex4(product);
        const auto deviceClass =
            static_cast<uint8_t>(ToNumber(ReadValue(dir + "/bDeviceClass"), 16));
        // Drivers of the device's interfaces ("1-1:1.0"); a device none of whose interfaces has
        // a driver is not in use.
        std::set<std::string> drivers;
        bool anyInterface = false;
        for (const std::string& sub : entries) {
            if (!StartsWith(sub, name + ":"))
                continue;
            anyInterface = true;
            const std::string driver = LinkName(base + "/" + sub + "/driver");
            if (!driver.empty())
                drivers.insert(driver);
        }
        const bool missingDriver = anyInterface && drivers.empty();
        list.Group(0, missingDriver ? icIdentError : icUsbDevice, title);
        std::string maker = ReadValue(dir + "/manufacturer");
        if (maker.empty())
            maker = ids.Vendor(vendor);
        if (!maker.empty())
            list.Property("Manufacturer", maker);
        list.Property("Vendor and product ID", Hex4(vendor) + ":" + Hex4(product));
        list.Property("Bus and device", ReadValue(dir + "/busnum") + ":" +
                                            ReadValue(dir + "/devnum") + " (" + name + ")");
        const std::string version = ReadValue(dir + "/version");
        if (!version.empty())
            list.Property("USB version", version);
        const std::string speed = ReadValue(dir + "/speed");
        if (!speed.empty())
            list.Property("Speed", speed + " Mbit/s");
        if (UsbClassName(deviceClass)[0] != '\0')
            list.Property("Class", UsbClassName(deviceClass));
        const std::string power = ReadValue(dir + "/bMaxPower");
        if (!power.empty())
            list.Property("Maximum power", power);
        const std::string serial = ReadValue(dir + "/serial");
        if (!serial.empty())
            list.Property("Serial number", serial, icSerial, nfPrivate);
        std::string driverText;
        for (const auto& d : drivers)
            driverText += (driverText.empty() ? "" : ", ") + d;
        if (missingDriver)
            list.Property("Driver", "none (the device is not in use)", icIdentError, nfAlert);
        else if (!driverText.empty())
            list.Property("Driver", driverText);
    }
    if (count == 0)
        list.Note("No USB devices found", icInfo);
}

// --- Disks.

void FillDisks(TSubList& list) {
    int count = 0;
    for (const std::string& name : ListFolder("/sys/block")) {
        if (StartsWith(name, "loop") || StartsWith(name, "ram") || StartsWith(name, "zram"))
            continue;
        const std::string dir = "/sys/block/" + name;
        const uint64_t sectors = ToNumber(ReadValue(dir + "/size"));
        const bool removable = ReadValue(dir + "/removable") == "1";
        const bool rotational = ReadValue(dir + "/queue/rotational") == "1";
        const bool optical = StartsWith(name, "sr");
        if (sectors == 0 && !removable && !optical)
            continue; // no medium behind it
        ++count;
        std::string model = Trim(ReadValue(dir + "/device/model"));
        const std::string vendor = Trim(ReadValue(dir + "/device/vendor"));
        const uint16_t icon = optical ? icCdrom : removable ? icRemovable : icHarddisk;
        list.Group(0, icon, model.empty() ? name : model + " (" + name + ")");
        if (!vendor.empty())
            list.Property("Vendor", vendor);
        list.Property("Device", "/dev/" + name);
        list.Property("Size", sectors ? FormatBytes(sectors * 512) : "no medium");
        if (!optical)
            list.Property("Kind", StartsWith(name, "nvme") ? "NVMe solid-state disk"
                                  : rotational             ? "Hard disk"
                                                           : "Solid-state or virtual disk");
        list.Property("Removable", removable ? "Yes" : "No");
        const std::string firmware = ReadValue(dir + "/device/firmware_rev");
        if (!firmware.empty())
            list.Property("Firmware", firmware);
        std::string serial = ReadValue(dir + "/device/serial");
        if (serial.empty())
            serial = ReadValue(dir + "/serial");
        if (!serial.empty())
            list.Property("Serial number", serial, icSerial, nfPrivate);
        const std::string block = ReadValue(dir + "/queue/logical_block_size");
        if (!block.empty())
            list.Property("Logical block size", block + " Bytes");
        const std::string scheduler = ReadValue(dir + "/queue/scheduler");
        if (!scheduler.empty())
            list.Property("I/O scheduler", scheduler);
        for (const std::string& part : ListFolder(dir)) {
            if (!PathExists(dir + "/" + part + "/partition"))
                continue;
            list.Property("Partition " + part,
                          FormatBytes(ToNumber(ReadValue(dir + "/" + part + "/size")) * 512),
                          icMassStorage);
        }
    }
    if (count == 0)
        list.Note("No disks found", icInfo);
}

// --- Network adapters.

void FillNetwork(TSubList& list) {
    int count = 0;
    for (const std::string& name : ListFolder("/sys/class/net")) {
        const std::string dir = "/sys/class/net/" + name;
        const std::string type = ReadValue(dir + "/type");
        if (type == "772")
            continue; // loopback
        ++count;
        const bool wireless = PathExists(dir + "/wireless") || PathExists(dir + "/phy80211");
        const bool physical = PathExists(dir + "/device");
        const std::string driver = LinkName(dir + "/device/driver");
        list.Group(0, wireless ? icWireless : icPciNetwork, name);
        list.Property("Kind", wireless ? "Wireless" : physical ? "Wired" : "Virtual");
        if (!driver.empty())
            list.Property("Driver", driver);
        const std::string mac = ReadValue(dir + "/address");
        if (!mac.empty())
            list.Property("MAC address", mac, 0, nfPrivate);
        const std::string state = ReadValue(dir + "/operstate");
        list.Property("State", state, 0,
                      nfVolatile | (physical && state == "down" ? nfHighlight : 0));
        const std::string speed = ReadValue(dir + "/speed");
        if (!speed.empty() && speed != "-1")
            list.Property("Speed", speed + " Mbit/s", 0, nfVolatile);
        const std::string duplex = ReadValue(dir + "/duplex");
        if (!duplex.empty())
            list.Property("Duplex", duplex, 0, nfVolatile);
        list.Property("MTU", ReadValue(dir + "/mtu"));
        list.Property("Received", FormatBytes(ToNumber(ReadValue(dir + "/statistics/rx_bytes"))), 0,
                      nfVolatile);
        list.Property("Sent", FormatBytes(ToNumber(ReadValue(dir + "/statistics/tx_bytes"))), 0,
                      nfVolatile);
        const uint64_t errors = ToNumber(ReadValue(dir + "/statistics/rx_errors")) +
                                ToNumber(ReadValue(dir + "/statistics/tx_errors"));
        list.Property("Errors", std::to_string(errors), 0, nfVolatile | (errors ? nfHighlight : 0));
    }
    if (count == 0)
        list.Note("No network adapters found", icInfo);
}

// --- Displays (EDID).

std::string EdidText(const std::string& e, size_t offset) {
    std::string text = e.substr(offset + 5, 13);
    const size_t end = text.find('\n');
    return Trim(text.substr(0, end));
}

void FillDisplays(TSubList& list) {
    int count = 0;
    for (const std::string& name : ListFolder("/sys/class/drm")) {
        if (!StartsWith(name, "card") || name.find('-') == std::string::npos)
            continue;
        const std::string dir = "/sys/class/drm/" + name;
        const std::string status = ReadValue(dir + "/status");
        const std::string edid = ReadText(dir + "/edid", 32768);
        const std::string connector = name.substr(name.find('-') + 1);
        if (edid.size() < 128) {
            if (status == "connected") {
                ++count;
                list.Group(0, icMonitor, connector);
                list.Property("Status", status, 0, nfVolatile);
                list.Note("The display sends no identification (EDID)", icIdentUnknown);
            }
            continue;
        }
        static const char kHeader[] = "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00";
        ++count;
        if (edid.compare(0, 8, std::string(kHeader, 8)) != 0) {
            list.Group(0, icIdentError, connector);
            list.Note("The display's identification (EDID) is damaged", icFailed, nfAlert);
            continue;
        }
        auto byte = [&edid](size_t i) { return static_cast<uint8_t>(edid[i]); };
        const uint16_t id = static_cast<uint16_t>(byte(8) << 8 | byte(9));
        std::string maker = {static_cast<char>('A' - 1 + ((id >> 10) & 31)),
                             static_cast<char>('A' - 1 + ((id >> 5) & 31)),
                             static_cast<char>('A' - 1 + (id & 31))};
        std::string model, serial;
        for (size_t d = 54; d + 18 <= 126; d += 18) {
            if (byte(d) != 0 || byte(d + 1) != 0)
                continue;
            if (byte(d + 3) == 0xFC)
                model = EdidText(edid, d);
            else if (byte(d + 3) == 0xFF)
                serial = EdidText(edid, d);
        }
        list.Group(0, icMonitor, (model.empty() ? "Display" : model) + " (" + connector + ")");
        list.Property("Manufacturer ID", maker);
        list.Property("Product code", Hex4(byte(10) | byte(11) << 8));
        if (!serial.empty())
            list.Property("Serial number", serial, icSerial, nfPrivate);
        if (byte(17) > 0)
            list.Property(
                "Manufactured",
                (byte(16) > 0 && byte(16) <= 54 ? "week " + std::to_string(byte(16)) + " " : "") +
                    std::to_string(1990 + byte(17)));
        list.Property("EDID version", std::to_string(byte(18)) + "." + std::to_string(byte(19)));
        if (byte(21) > 0 && byte(22) > 0)
            list.Property("Size",
                          std::to_string(byte(21)) + " x " + std::to_string(byte(22)) + " cm");
        if (byte(54) != 0 || byte(55) != 0) {
            const unsigned width = byte(56) | (byte(58) & 0xF0) << 4;
            const unsigned height = byte(59) | (byte(61) & 0xF0) << 4;
            list.Property("Preferred resolution",
                          std::to_string(width) + " x " + std::to_string(height));
        }
        list.Property("Status", status, 0, nfVolatile);
    }
    if (count == 0)
        list.Note("No connected displays found", icInfo);
}

// --- Input devices.

void FillInput(TSubList& list) {
    int count = 0;
    std::map<char, std::string> fields;
    auto flush = [&]() {
        if (fields.empty())
            return;
        std::string name = fields['N'];
        const size_t q = name.find('"');
        if (q != std::string::npos)
            name = name.substr(q + 1,
                               name.rfind('"') > q ? name.rfind('"') - q - 1 : std::string::npos);
        ++count;
        list.Group(0, icInputDevice, name.empty() ? "Input device" : name);
        if (!fields['I'].empty())
            list.Property("Identification", fields['I']);
        const std::string phys = Trim(fields['P'].substr(std::min(fields['P'].size(), size_t{5})));
        if (!phys.empty())
            list.Property("Connection", phys);
        const std::string handlers = fields['H'].substr(std::min(fields['H'].size(), size_t{9}));
        if (!Trim(handlers).empty())
            list.Property("Handlers", Trim(handlers));
        fields.clear();
    };
    for (const std::string& line : SplitLines(ReadText("/proc/bus/input/devices"))) {
        if (line.size() < 3 || line[1] != ':') {
            flush();
            continue;
        }
        fields[line[0]] = Trim(line.substr(3));
    }
    flush();
    if (count == 0)
        list.Note("No input devices found", icInfo);
}

// --- Batteries and power supplies.

void FillBatteries(TSubList& list) {
    int count = 0;
    for (const std::string& name : ListFolder("/sys/class/power_supply")) {
        const std::string dir = "/sys/class/power_supply/" + name;
        const std::string type = ReadValue(dir + "/type");
        ++count;
        if (type != "Battery") {
            list.Group(0, icBattery, name + " (" + (type.empty() ? "power supply" : type) + ")");
            const std::string online = ReadValue(dir + "/online");
            if (!online.empty())
                list.Property("Connected", online == "1" ? "Yes" : "No", 0, nfVolatile);
            continue;
        }
        list.Group(0, icBattery, name);
        SysProperty(list, "Manufacturer", dir + "/manufacturer");
        SysProperty(list, "Model", dir + "/model_name");
        SysProperty(list, "Technology", dir + "/technology");
        SysProperty(list, "Serial number", dir + "/serial_number", nfPrivate, icSerial);
        SysProperty(list, "Status", dir + "/status", nfVolatile);
        const std::string capacity = ReadValue(dir + "/capacity");
        if (!capacity.empty())
            list.Property("Charge", capacity + " %", 0,
                          nfVolatile | (ToNumber(capacity) < 10 ? nfAlert : 0));
        std::string full = ReadValue(dir + "/energy_full"),
                    design = ReadValue(dir + "/energy_full_design");
        const char* unit = "Wh";
        if (full.empty()) {
            full = ReadValue(dir + "/charge_full");
            design = ReadValue(dir + "/charge_full_design");
            unit = "Ah";
        }
        auto amount = [unit](uint64_t micro) {
            char text[32];
            std::snprintf(text, sizeof(text), "%.1f %s", static_cast<double>(micro) / 1e6, unit);
            return std::string(text);
        };
        if (!full.empty())
            list.Property("Full capacity", amount(ToNumber(full)));
        if (!design.empty() && ToNumber(design) > 0) {
            list.Property("Design capacity", amount(ToNumber(design)));
            const uint64_t health = ToNumber(full) * 100 / ToNumber(design);
            // Below half of its design capacity a battery is worn out.
            list.Property("Health", std::to_string(health) + " %", 0, health < 50 ? nfAlert : 0);
        }
        SysProperty(list, "Charge cycles", dir + "/cycle_count");
    }
    if (count == 0)
        list.Note("No batteries or power supplies found", icInfo);
}

// --- Sound.

void FillSound(TSubList& list) {
    const auto lines = SplitLines(ReadText("/proc/asound/cards"));
    int count = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t bracket = line.find('[');
        const size_t colon = line.find("]:");
        if (bracket == std::string::npos || colon == std::string::npos)
            continue;
        const std::string number = Trim(line.substr(0, bracket));
        if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])))
            continue;
        ++count;
        const std::string rest = line.substr(colon + 2);
        const size_t dash = rest.find(" - ");
        const std::string driver = Trim(rest.substr(0, dash));
        const std::string name = dash == std::string::npos ? driver : Trim(rest.substr(dash + 3));
        list.Group(0, icPciMultimedia, name);
        list.Property("Card",
                      number + " (" + Trim(line.substr(bracket + 1, colon - bracket - 1)) + ")");
        list.Property("Driver", driver);
        if (i + 1 < lines.size() && !Trim(lines[i + 1]).empty() && lines[i + 1][0] == ' ')
            list.Property("Description", Trim(lines[i + 1]));
        for (const std::string& file : ListFolder("/proc/asound/card" + number)) {
            if (!StartsWith(file, "codec#"))
                continue;
            const std::string codec = ReadText("/proc/asound/card" + number + "/" + file, 4096);
            const auto codecLines = SplitLines(codec);
            if (!codecLines.empty() && StartsWith(codecLines[0], "Codec: "))
                list.Property("Codec", codecLines[0].substr(7));
        }
    }
    for (const std::string& line : SplitLines(ReadText("/proc/asound/pcm"))) {
        const auto parts = line.find(':');
        if (parts == std::string::npos)
            continue;
        // "00-00: id : name : playback 1 : capture 1"
        std::vector<std::string> f;
        const std::string rest = line.substr(parts + 1);
        size_t start = 0;
        for (size_t sep; (sep = rest.find(" : ", start)) != std::string::npos; start = sep + 3)
            f.push_back(Trim(rest.substr(start, sep - start)));
        f.push_back(Trim(rest.substr(start)));
        if (count == 0 || f.size() < 3)
            continue;
        std::string directions;
        for (size_t i = 2; i < f.size(); ++i)
            directions += (i > 2 ? ", " : "") + f[i];
        list.Property("Stream " + line.substr(0, parts), f[0] + " (" + directions + ")");
    }
    if (count == 0)
        list.Note("No sound cards found", icInfo);
}

TInfoModule gModule({
    {icCpus, 0, "Processors", "CPU", FillProcessors},
    {icMemoryModules, 0, "Memory", "MEMORY", FillMemory},
    {icMainboard, 0, "Mainboard and BIOS", "MAINBOARD", FillMainboard},
    {icPciDevices, 0, "PCI devices", "PCI", FillPci},
    {icUsbDevices, 0, "USB devices", "USB", FillUsb},
    {icHarddisk, 0, "Disks", "DISKS", FillDisks},
    {icPciNetwork, 0, "Network adapters", "NETWORK", FillNetwork},
    {icMonitor, 0, "Displays", "DISPLAYS", FillDisplays},
    {icInputDevice, 0, "Input devices", "INPUT", FillInput},
    {icBattery, 0, "Batteries and power supplies", "POWER", FillBatteries},
    {icPciMultimedia, 0, "Sound", "SOUND", FillSound},
});

} // namespace

} // namespace ostero::modules

OSTERO_DEFINE_INFO_MODULE_EXPORTS(ostero::modules::gModule)

// The DMI texts: fields of 66 bytes; 0..2 BIOS vendor, version and date, 5..8 system maker,
// product, version and serial number, 9..11 board maker, product and version, 12 chassis maker.
OSTERO_MODULE_EXPORT void fnDevScanDMI(ostero::sources::DmiRecord* record) {
    using namespace ostero::modules;
    if (!record)
        return;
    static const std::pair<int, const char*> kFields[] = {
        {0, "bios_vendor"},  {1, "bios_version"},    {2, "bios_date"},      {5, "sys_vendor"},
        {6, "product_name"}, {7, "product_version"}, {8, "product_serial"}, {9, "board_vendor"},
        {10, "board_name"},  {11, "board_version"},  {12, "chassis_vendor"}};
    try {
        for (const auto& [field, file] : kFields) {
            const std::string text =
                ostero::support::Utf8ToAnsi(ReadValue(std::string("/sys/class/dmi/id/") + file));
            CopyText(record->Data + field * ostero::sources::kDmiFieldWidth,
                     ostero::sources::kDmiFieldWidth, text);
        }
    } catch (...) {
        // A record left partly empty is all the caller needs to cope with.
    }
}
