// The four Modbus RTU frames the program exchanges with a sensor, and the checks a response must pass.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kRequestSize = 8;
constexpr std::size_t kReadResponseSize = 21;
constexpr std::size_t kWriteResponseSize = 8;
constexpr std::uint8_t kReadHoldingRegisters = 0x03;
constexpr std::uint8_t kWriteSingleRegister = 0x06;
constexpr std::uint8_t kRegisterBytes = 0x10;  // the byte count of a read answer's eight registers
constexpr std::uint8_t kTempOffsetRegister = 2;
constexpr std::uint8_t kHumOffsetRegister = 3;
// A read asks for all of a sensor's registers, from register 0.
constexpr std::uint16_t kFirstRegister = 0;
constexpr int kRegisterCount = 8;

// The line: 9600 baud, 8N1, ten bits a character.
constexpr unsigned kLineBaud = 9600;
constexpr unsigned kBitsPerCharacter = 10;
// Modbus RTU ends a frame with 3.5 characters of silence (3.65 ms at 9600 baud), in whole ms rounded up.
constexpr unsigned kFrameGapMs = (35 * kBitsPerCharacter * 1000 + 10 * kLineBaud - 1) / (10 * kLineBaud);

using RequestFrame = std::array<std::uint8_t, kRequestSize>;

// Registers 0 to 7 in one request.
RequestFrame BuildReadRequest(std::uint8_t address);
RequestFrame BuildWriteRequest(std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value);

// A frame whose last two bytes are the CRC of the bytes before them (low byte first); length >= 2.
bool CrcMatches(const std::uint8_t* frame, std::size_t length);

enum class ResponseCheck { Ok, BadLength, BadAddress, BadFormat, BadEcho, BadCrc };

// Length, then the address byte, then the CRC, then function code 0x03 and byte count 0x10.
ResponseCheck CheckReadResponse(const std::uint8_t* buffer, std::size_t count, std::uint8_t expectedAddress);
// Length, then function code and register number, then the CRC, then the rest of the echo: a write
// succeeded only when the sensor echoed the request byte for byte.
ResponseCheck CheckWriteResponse(const std::uint8_t* buffer, std::size_t count, const RequestFrame& request);

// A sensor's refusal: 5 bytes, the address asked, the request's function code with bit 7 set, the
// exception code, a good CRC. The code, or 0 when the bytes are no such frame.
constexpr std::size_t kExceptionResponseSize = 5;
std::uint8_t ExceptionCode(const std::uint8_t* buffer, std::size_t count, std::uint8_t address, std::uint8_t function);

// Register n (0..7) of a read response, high byte first.
std::uint16_t ResponseRegister(const std::uint8_t* response, int registerNumber);
