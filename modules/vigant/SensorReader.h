#pragma once
// "Sensors and usage": the hardware sensors that libsensors knows (temperatures, fans, voltages,
// power) and the usage figures of /proc (processor load per core, memory, swap, disk space,
// network throughput), as answer lines of the sensor enumeration.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ostero::vigant {

class TSensorReader {
public:
    // `root` is the folder /proc and /sys are read below ("/" in use; tests give a fixture).
    explicit TSensorReader(std::string root = "/");
    ~TSensorReader();
    TSensorReader(const TSensorReader&) = delete;
    TSensorReader& operator=(const TSensorReader&) = delete;

    // Lines of level-or-type code, image code, name, value, unit and flags (Windows-1252). Load
    // and throughput are measured since the previous call; the first call measures over a
    // short interval.
    std::vector<std::string> Lines();

private:
    struct TCpuTimes {
        uint64_t Busy = 0, Total = 0;
    };
    struct TNetBytes {
        uint64_t Received = 0, Sent = 0;
    };
    std::map<std::string, TCpuTimes> ReadCpuTimes() const;
    std::map<std::string, TNetBytes> ReadNetBytes() const;
    void HardwareSensors(std::vector<std::string>& lines);
    void ProcessorLoad(std::vector<std::string>& lines,
                       const std::map<std::string, TCpuTimes>& now);
    void MemoryUsage(std::vector<std::string>& lines) const;
    void DiskUsage(std::vector<std::string>& lines) const;
    void NetworkThroughput(std::vector<std::string>& lines,
                           const std::map<std::string, TNetBytes>& now, double seconds);

    std::string Root_;
    bool SensorsReady_ = false;
    std::map<std::string, TCpuTimes> LastCpu_;
    std::map<std::string, TNetBytes> LastNet_;
    std::chrono::steady_clock::time_point LastTime_;
};

} // namespace ostero::vigant
