#include "SensorReader.h"

#include "AgentCommands.h"
#include "report/ReportTree.h"
#include "support/TextCodec.h"

#include <sensors/sensors.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace ostero::vigant {

namespace {

constexpr int kGroup = 1;
constexpr int kProperty = 10;
constexpr int kIconCpu = 11, kIconMemory = 12, kIconChip = 13, kIconHarddisk = 9, kIconNetwork = 23,
              kIconTemperature = 66, kIconFan = 67, kIconVoltage = 86, kIconPower = 82;
constexpr const char* kVolatile = "4";

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Line(int code, int image, std::string_view name, std::string_view value,
                 std::string_view unit, std::string_view flags) {
    return AnswerLine({std::to_string(code), std::to_string(image), name, value, unit, flags});
}

// Reads at most `limit` bytes: files below /proc never block, but they can be large.
std::string ReadSmallFile(const std::string& path, size_t limit = 1 << 20) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (!in)
        return text;
    text.resize(limit);
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

} // namespace

TSensorReader::TSensorReader(std::string root) : Root_(std::move(root)) {
    if (Root_.empty() || Root_.back() != '/')
        Root_ += '/';
    // libsensors reads the real /sys only; with a fixture root it is left out.
    SensorsReady_ = Root_ == "/" && sensors_init(nullptr) == 0;
}

TSensorReader::~TSensorReader() {
    if (SensorsReady_)
        sensors_cleanup();
}

std::map<std::string, TSensorReader::TCpuTimes> TSensorReader::ReadCpuTimes() const {
    std::map<std::string, TCpuTimes> times;
    std::istringstream in(ReadSmallFile(Root_ + "proc/stat"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("cpu", 0) != 0)
            continue;
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        uint64_t value = 0, total = 0, idle = 0;
        for (int i = 0; fields >> value; ++i) {
            total += value;
            if (i == 3 || i == 4) // idle and I/O wait
                idle += value;
        }
        times[name] = {total - idle, total};
    }
    return times;
}

std::map<std::string, TSensorReader::TNetBytes> TSensorReader::ReadNetBytes() const {
    std::map<std::string, TNetBytes> bytes;
    std::istringstream in(ReadSmallFile(Root_ + "proc/net/dev"));
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        if (name == "lo")
            continue;
        std::istringstream fields(line.substr(colon + 1));
        uint64_t values[9] = {};
        for (uint64_t& value : values)
            fields >> value;
        bytes[name] = {values[0], values[8]};
    }
    return bytes;
}

void TSensorReader::HardwareSensors(std::vector<std::string>& lines) {
    if (!SensorsReady_)
        return;
    int chipNumber = 0;
    while (const sensors_chip_name* chip = sensors_get_detected_chips(nullptr, &chipNumber)) {
        char chipName[256];
        if (sensors_snprintf_chip_name(chipName, sizeof chipName, chip) < 0)
            continue;
        std::vector<std::string> chipLines;
        int featureNumber = 0;
        while (const sensors_feature* feature = sensors_get_features(chip, &featureNumber)) {
            sensors_subfeature_type input, alarm, limit;
            int image;
            std::string unit;
            int decimals = 1;
            switch (feature->type) {
            case SENSORS_FEATURE_TEMP:
                input = SENSORS_SUBFEATURE_TEMP_INPUT;
                alarm = SENSORS_SUBFEATURE_TEMP_ALARM;
                limit = SENSORS_SUBFEATURE_TEMP_CRIT;
                image = kIconTemperature;
                unit = " \xB0"
                       "C";
                break;
            case SENSORS_FEATURE_FAN:
                input = SENSORS_SUBFEATURE_FAN_INPUT;
                alarm = SENSORS_SUBFEATURE_FAN_ALARM;
                limit = SENSORS_SUBFEATURE_FAN_MIN;
                image = kIconFan;
                unit = " RPM";
                decimals = 0;
                break;
            case SENSORS_FEATURE_IN:
                input = SENSORS_SUBFEATURE_IN_INPUT;
                alarm = SENSORS_SUBFEATURE_IN_ALARM;
                limit = SENSORS_SUBFEATURE_IN_MAX;
                image = kIconVoltage;
                unit = " V";
                decimals = 3;
                break;
            case SENSORS_FEATURE_POWER:
                input = SENSORS_SUBFEATURE_POWER_INPUT;
                alarm = SENSORS_SUBFEATURE_POWER_ALARM;
                limit = SENSORS_SUBFEATURE_POWER_MAX;
                image = kIconPower;
                unit = " W";
                break;
            default:
                continue;
            }
            const sensors_subfeature* sub = sensors_get_subfeature(chip, feature, input);
            double value = 0;
            if (sub == nullptr || sensors_get_value(chip, sub->number, &value) != 0)
                continue;
            bool wrong = false;
            if (const sensors_subfeature* a = sensors_get_subfeature(chip, feature, alarm)) {
                double raised = 0;
                wrong = sensors_get_value(chip, a->number, &raised) == 0 && raised != 0;
            }
            if (const sensors_subfeature* l = sensors_get_subfeature(chip, feature, limit)) {
                double bound = 0;
                if (sensors_get_value(chip, l->number, &bound) == 0 && bound != 0)
                    wrong |= feature->type == SENSORS_FEATURE_FAN ? value < bound : value >= bound;
            }
            char* label = sensors_get_label(chip, feature);
            const std::string name = support::Utf8ToAnsi(label ? label : feature->name);
            std::free(label);
            const uint32_t flags = report::nfVolatile | (wrong ? report::nfAlert : 0);
            chipLines.push_back(
                Line(kProperty, image, name, Number(value, decimals), unit, std::to_string(flags)));
        }
        if (chipLines.empty())
            continue;
        lines.push_back(Line(kGroup, kIconChip, support::Utf8ToAnsi(chipName), "", "", ""));
        lines.insert(lines.end(), chipLines.begin(), chipLines.end());
    }
}

void TSensorReader::ProcessorLoad(std::vector<std::string>& lines,
                                  const std::map<std::string, TCpuTimes>& now) {
    if (now.empty())
        return;
    lines.push_back(Line(kGroup, kIconCpu, "Processor load", "", "", ""));
    // "cpu" (all) first, then the cores in their numeric order.
    std::vector<std::pair<int, std::string>> order;
    for (const auto& [name, times] : now)
        order.push_back({name == "cpu" ? -1 : std::atoi(name.c_str() + 3), name});
    std::sort(order.begin(), order.end());
    for (const auto& [number, name] : order) {
        const TCpuTimes& times = now.at(name);
        const auto last = LastCpu_.find(name);
        double load = 0;
        // Idle and I/O-wait counters may step back; such a reading counts as no load.
        if (last != LastCpu_.end() && times.Total > last->second.Total &&
            times.Busy >= last->second.Busy)
            load = 100.0 * static_cast<double>(times.Busy - last->second.Busy) /
                   static_cast<double>(times.Total - last->second.Total);
        const std::string label = number < 0 ? "Total" : "CPU " + std::to_string(number);
        lines.push_back(Line(kProperty, kIconCpu, label, Number(std::clamp(load, 0.0, 100.0), 1),
                             " %", kVolatile));
    }
}

void TSensorReader::MemoryUsage(std::vector<std::string>& lines) const {
    std::map<std::string, uint64_t> info;
    std::istringstream in(ReadSmallFile(Root_ + "proc/meminfo"));
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            info[line.substr(0, colon)] = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
    }
    if (info.count("MemTotal") == 0)
        return;
    const auto mb = [](uint64_t kb) { return Number(static_cast<double>(kb) / 1024.0, 0); };
    const uint64_t total = info["MemTotal"];
    const uint64_t available = info.count("MemAvailable") ? info["MemAvailable"] : info["MemFree"];
    const uint64_t used = total > available ? total - available : 0;
    lines.push_back(Line(kGroup, kIconMemory, "Memory usage", "", "", ""));
    lines.push_back(Line(kProperty, kIconMemory, "Physical memory", mb(total), " MB", "0"));
    lines.push_back(Line(kProperty, kIconMemory, "Used", mb(used), " MB", kVolatile));
    lines.push_back(Line(kProperty, kIconMemory, "Available", mb(available), " MB", kVolatile));
    lines.push_back(Line(kProperty, kIconMemory, "Load",
                         Number(total ? 100.0 * used / total : 0.0, 1), " %", kVolatile));
    const uint64_t swapTotal = info["SwapTotal"];
    lines.push_back(Line(kProperty, kIconMemory, "Swap space", mb(swapTotal), " MB", "0"));
    if (swapTotal > 0) {
        const uint64_t swapUsed = swapTotal - std::min(swapTotal, info["SwapFree"]);
        lines.push_back(Line(kProperty, kIconMemory, "Swap used", mb(swapUsed), " MB", kVolatile));
    }
}

void TSensorReader::DiskUsage(std::vector<std::string>& lines) const {
    // File systems on block devices only; network file systems could hang statvfs.
    std::istringstream in(ReadSmallFile(Root_ + "proc/mounts"));
    std::vector<std::string> points;
    std::set<std::string> devices;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string device, point, type;
        fields >> device >> point >> type;
        if (device.rfind("/dev/", 0) != 0 || !devices.insert(device).second)
            continue;
        points.push_back(point);
    }
    bool header = false;
    for (const std::string& point : points) {
        struct statvfs info {};
        if (statvfs((Root_ + point.substr(1)).c_str(), &info) != 0 || info.f_blocks == 0)
            continue;
        if (!header) {
            lines.push_back(Line(kGroup, kIconHarddisk, "Disk usage", "", "", ""));
            header = true;
        }
        const double total = static_cast<double>(info.f_blocks) * info.f_frsize;
        const double free = static_cast<double>(info.f_bavail) * info.f_frsize;
        const double usedShare =
            100.0 * (total - static_cast<double>(info.f_bfree) * info.f_frsize) / total;
        const uint32_t flags = report::nfVolatile | (usedShare >= 95.0 ? report::nfAlert : 0);
        const std::string name = support::Utf8ToAnsi(point);
        lines.push_back(Line(kProperty, kIconHarddisk, name + " used", Number(usedShare, 1), " %",
                             std::to_string(flags)));
        lines.push_back(Line(kProperty, kIconHarddisk, name + " free", Number(free / 1e9, 1), " GB",
                             kVolatile));
    }
}

void TSensorReader::NetworkThroughput(std::vector<std::string>& lines,
                                      const std::map<std::string, TNetBytes>& now, double seconds) {
    if (now.empty() || seconds <= 0)
        return;
    lines.push_back(Line(kGroup, kIconNetwork, "Network throughput", "", "", ""));
    for (const auto& [name, bytes] : now) {
        const auto last = LastNet_.find(name);
        double in = 0, out = 0;
        if (last != LastNet_.end()) {
            if (bytes.Received >= last->second.Received)
                in = static_cast<double>(bytes.Received - last->second.Received) / seconds;
            if (bytes.Sent >= last->second.Sent)
                out = static_cast<double>(bytes.Sent - last->second.Sent) / seconds;
        }
        const std::string device = support::Utf8ToAnsi(name);
        lines.push_back(Line(kProperty, kIconNetwork, device + " received", Number(in / 1024, 1),
                             " kB/s", kVolatile));
        lines.push_back(Line(kProperty, kIconNetwork, device + " sent", Number(out / 1024, 1),
                             " kB/s", kVolatile));
    }
}

std::vector<std::string> TSensorReader::Lines() {
    if (LastCpu_.empty()) {
        // Load and throughput need two readings.
        LastCpu_ = ReadCpuTimes();
        LastNet_ = ReadNetBytes();
        LastTime_ = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto cpu = ReadCpuTimes();
    const auto net = ReadNetBytes();
    const auto time = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(time - LastTime_).count();

    std::vector<std::string> lines;
    HardwareSensors(lines);
    ProcessorLoad(lines, cpu);
    MemoryUsage(lines);
    DiskUsage(lines);
    NetworkThroughput(lines, net, seconds);
    LastCpu_ = cpu;
    LastNet_ = net;
    LastTime_ = time;
    return lines;
}

} // namespace ostero::vigant
