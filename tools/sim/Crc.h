// The simulator's own CRC-16/MODBUS, table-driven, written apart from the program's: a fault in the
// program's framing must not be mirrored by its test peer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

constexpr std::array<std::uint16_t, 256> CrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned value = byte;
        for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xA001u : 0u);
        table[byte] = static_cast<std::uint16_t>(value);
    }
    return table;
}

// Reflected polynomial 0x8005, initial value 0xFFFF, no final XOR; sent low byte first.
inline std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t length)
{
    static constexpr std::array<std::uint16_t, 256> kTable = CrcTable();
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

}  // namespace sim
