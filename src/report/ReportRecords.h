#pragma once
// The record layer shared by the report file readers (load, scan, compare). Internal to the
// report library.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostero::report::detail {

constexpr int kAttempts = 6;
constexpr size_t kMaxText = 1023;
constexpr size_t kOwnRecordMax = 1032;
constexpr size_t kSiblingRecordMax = 1028;
constexpr size_t kHeaderEnd = 21; // signature (5) + header (16)
constexpr uint32_t kChartHeaderCode = 0xFF00;
constexpr uint32_t kChartDataCode = 0xFF01;
constexpr uint32_t kMissingBits = 0xDD5E0B6B; // -1e18 as a single
constexpr double kMissingLimit = -1e17;
constexpr uintmax_t kMaxFileSize = uintmax_t{512} << 20;

// A chart header gives at most 255 series, and so do all headers of a file together: every data
// record adds a point to every series, so series beyond that would multiply the points.
constexpr size_t kMaxChartSeries = 255;
// The longest chart data record: its X value and a value for each series.
constexpr size_t kOwnChartDataMax = 16 + 4 * kMaxChartSeries;
constexpr size_t kSiblingChartDataMax = 12 + 4 * kMaxChartSeries;
// A stored chart value takes 4 bytes, so the points of a well-formed file never outnumber a
// quarter of its bytes. A data record that ends before its last values stands for missing points
// without bytes behind them; a file gets this many such points before it counts as damaged.
constexpr size_t kChartPointsWithoutBytes = 65536;
constexpr size_t ChartPointBudget(size_t fileSize) {
    return fileSize / 4 + kChartPointsWithoutBytes;
}

constexpr std::string_view kOwnSignature("\4TRPT", 5);
constexpr std::string_view kSiblingSignature("\4SRPT", 5);

inline uint32_t GetU16(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8);
}
inline uint32_t GetU32(std::string_view b, size_t at) {
    return GetU16(b, at) | (GetU16(b, at + 2) << 16);
}

// One parsed record body.
struct TRecord {
    uint32_t Image = 0;
    uint32_t Code = 0;
    uint32_t Flags = 0;
    std::string_view Body;
    std::string_view Text; // raw stored text (node records and chart header)
};

enum class TFormat { Own, Sibling };

constexpr size_t ChartDataRecordMax(TFormat format) {
    return format == TFormat::Own ? kOwnChartDataMax : kSiblingChartDataMax;
}

// Reads the record at `pos`; false for a truncated, over-long or too short record.
bool ReadRecord(std::string_view bytes, size_t& pos, TFormat format, uint8_t version, TRecord& rec);

// The whole file, or false when it cannot be read or is too large (`tooLarge` set then).
bool ReadWholeFile(const std::string& fileName, std::string& bytes, bool& tooLarge);

} // namespace ostero::report::detail
