#include "link/Frames.h"

#include <algorithm>

#include "link/Crc.h"

namespace {

RequestFrame WithCrc(std::uint8_t address, std::uint8_t function, std::uint16_t first, std::uint16_t second)
{
    RequestFrame frame{address, function,
                       static_cast<std::uint8_t>(first >> 8), static_cast<std::uint8_t>(first & 0xFF),
                       static_cast<std::uint8_t>(second >> 8), static_cast<std::uint8_t>(second & 0xFF)};
    const std::uint16_t crc = Crc16Modbus(frame.data(), kRequestSize - 2);
    frame[6] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[7] = static_cast<std::uint8_t>(crc >> 8);
    return frame;
}

}  // namespace

bool CrcMatches(const std::uint8_t* frame, std::size_t length)
{
    const std::uint16_t crc = Crc16Modbus(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

RequestFrame BuildReadRequest(std::uint8_t address)
{
    return WithCrc(address, kReadHoldingRegisters, kFirstRegister, kRegisterCount);
}

RequestFrame BuildWriteRequest(std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value)
{
    return WithCrc(address, kWriteSingleRegister, registerNumber, value);
}

ResponseCheck CheckReadResponse(const std::uint8_t* buffer, std::size_t count, std::uint8_t expectedAddress)
{
    if (count != kReadResponseSize) return ResponseCheck::BadLength;
    if (buffer[0] != expectedAddress) return ResponseCheck::BadAddress;
    if (!CrcMatches(buffer, kReadResponseSize)) return ResponseCheck::BadCrc;
    if (buffer[1] != kReadHoldingRegisters || buffer[2] != kRegisterBytes) return ResponseCheck::BadFormat;
    return ResponseCheck::Ok;
}

ResponseCheck CheckWriteResponse(const std::uint8_t* buffer, std::size_t count, const RequestFrame& request)
{
    if (count != kWriteResponseSize) return ResponseCheck::BadLength;
    if (buffer[1] != kWriteSingleRegister || buffer[3] != request[3]) return ResponseCheck::BadEcho;
    if (!CrcMatches(buffer, kWriteResponseSize)) return ResponseCheck::BadCrc;
    if (!std::equal(request.begin(), request.end(), buffer)) return ResponseCheck::BadEcho;
    return ResponseCheck::Ok;
}

std::uint8_t ExceptionCode(const std::uint8_t* buffer, std::size_t count, std::uint8_t address, std::uint8_t function)
{
    if (count != kExceptionResponseSize || buffer[0] != address || buffer[1] != (function | 0x80)) return 0;
    return CrcMatches(buffer, count) ? buffer[2] : 0;
}

std::uint16_t ResponseRegister(const std::uint8_t* response, int registerNumber)
{
    // After the address, the function code and the byte count.
    const std::uint8_t* field = response + 3 + 2 * registerNumber;
    return static_cast<std::uint16_t>((field[0] << 8) | field[1]);
}
