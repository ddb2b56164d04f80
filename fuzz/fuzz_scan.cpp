// Scans arbitrary bytes as a sibling report, for a text and for image codes. What must hold for
// any input: the answer is -3..-1, 0, or the number of a record that exists, and a text scan
// finds nothing later than a scan for any text of the same record would.
#include "report/ReportFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace ostero::report;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Every record is at least four bytes of length and four of codes.
    const int maxRecords = static_cast<int>(size / 8);
    const int errors = ScanReportBytes(input, std::string(), {19, 20, 32, 36, 41, 42, 44});
    const int text = ScanReportBytes(input, "e", {});
    const int both = ScanReportBytes(input, "e", {19, 20, 32, 36, 41, 42, 44});
    for (int result : {errors, text, both}) {
        if (result < -3 || result > maxRecords)
            std::abort();
    }
    // Searching for more can only stop earlier.
    if (errors > 0 && (both <= 0 || both > errors))
        std::abort();
    if (text > 0 && (both <= 0 || both > text))
        std::abort();
    return 0;
}
