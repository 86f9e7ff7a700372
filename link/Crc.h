#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF, no final XOR), bit by bit: the frames are 6 or
// 19 bytes, and a table would buy nothing here. Appended to a frame low byte first.
std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t length);
