#pragma once
// CRC-16/ARC: reflected polynomial 0xA001 (0x8005 reflected), initial value 0, no final
// inversion. Guards the crypted content of XML documents; its check value ("123456789") is
// 0xBB3D.

#include <cstdint>
#include <string_view>

namespace ostero::support {

// The CRC of `bytes`. Passing the CRC of earlier bytes as `crc` continues over a text given in
// pieces: Crc16Arc(b, Crc16Arc(a)) equals Crc16Arc(a + b).
uint16_t Crc16Arc(std::string_view bytes, uint16_t crc = 0);

} // namespace ostero::support
