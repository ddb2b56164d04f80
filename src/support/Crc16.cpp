#include "support/Crc16.h"

#include <array>

namespace ostero::support {

namespace {

// One entry per byte value: the register after shifting that byte through eight steps.
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
        table[byte] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

} // namespace

uint16_t Crc16Arc(std::string_view bytes, uint16_t crc) {
    for (const char c : bytes)
        crc = static_cast<uint16_t>((crc >> 8) ^
                                    kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFFu]);
    return crc;
}

} // namespace ostero::support
