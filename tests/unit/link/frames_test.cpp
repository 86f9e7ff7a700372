// The protocol's tables: the CRC, the two requests, and every outcome of the response checks.
#include <gtest/gtest.h>

#include "link/Crc.h"
#include "link/Frames.h"
#include "link/Readings.h"
#include "tools/sim/Crc.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes frame)
{
    const std::uint16_t crc = Crc16Modbus(frame.data(), frame.size());
    frame.insert(frame.end(), {std::uint8_t(crc & 0xFF), std::uint8_t(crc >> 8)});
    return frame;
}

Bytes Changed(Bytes frame, std::size_t index, std::uint8_t value) { return frame.at(index) = value, frame; }

}  // namespace

TEST(Crc, StandardCheckValueOfTheNineDigits)  // the program's and the simulator's, written apart
{
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16Modbus(digits, 9), 0x4B37);
    EXPECT_EQ(sim::ModbusCrc(digits, 9), 0x4B37);
}

TEST(Requests, CarryAddressFunctionAndFieldsHighByteFirstAndTheCrcLowByteFirst)
{
    const std::pair<RequestFrame, Bytes> cases[] = {
        {BuildReadRequest(5), {0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}},
        {BuildWriteRequest(1, 2, EncodeSignedTenths(-15)), {0x01, 0x06, 0x00, 0x02, 0x80, 0x0F, 0x09, 0xCE}},
        {BuildWriteRequest(1, 3, EncodeSignedTenths(0)), {0x01, 0x06, 0x00, 0x03, 0x00, 0x00, 0x79, 0xCA}},  // +0, never -0
    };
    for (const auto& [frame, bytes] : cases) EXPECT_EQ(Bytes(frame.begin(), frame.end()), bytes);
}

// Read answers: length, address, CRC; write echoes: length, function code and register, CRC; nothing else.
TEST(ResponseChecks, EachOutcomeInTheOrderTheChecksAreMade)
{
    const Bytes answer = WithCrc({5, 0x03, 0x10, 0, 0xEB, 1, 0xC8, 0x80, 0x0F, 0, 0, 0, 5, 0, 0x1A, 0, 0x10, 0, 0x12});
    const Bytes echo = WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19});
    const auto recrc = [](Bytes frame) { return WithCrc(Bytes(frame.begin(), frame.end() - 2)); };
    struct Case {
        const char* label;
        ResponseCheck (*check)(const std::uint8_t*, std::size_t, std::uint8_t);
        Bytes frame;
        std::uint8_t expected;  // address or register
        ResponseCheck result;
    };
    const Case cases[] = {
        {"read", CheckReadResponse, answer, 5, ResponseCheck::Ok},
        {"other function and count", CheckReadResponse, recrc(Changed(Changed(answer, 1, 4), 2, 0x0F)), 5, ResponseCheck::Ok},
        {"a byte short", CheckReadResponse, Bytes(answer.begin(), answer.end() - 1), 5, ResponseCheck::BadLength},
        {"a byte long", CheckReadResponse, WithCrc(Bytes(answer.begin(), answer.end() - 1)), 5, ResponseCheck::BadLength},
        {"other address", CheckReadResponse, recrc(Changed(answer, 0, 6)), 5, ResponseCheck::BadAddress},
        {"other address, bad CRC", CheckReadResponse, Changed(answer, 0, 6), 5, ResponseCheck::BadAddress},
        {"low CRC byte", CheckReadResponse, Changed(answer, 19, answer[19] ^ 1), 5, ResponseCheck::BadCrc},
        {"high CRC byte", CheckReadResponse, Changed(answer, 20, answer[20] ^ 1), 5, ResponseCheck::BadCrc},
        {"echo", CheckWriteResponse, echo, 2, ResponseCheck::Ok},
        {"echo a byte short", CheckWriteResponse, Bytes(echo.begin(), echo.end() - 1), 2, ResponseCheck::BadLength},
        {"echo of another register", CheckWriteResponse, echo, 3, ResponseCheck::BadEcho},
        {"echo of another function", CheckWriteResponse, recrc(Changed(echo, 1, 0x86)), 2, ResponseCheck::BadEcho},
        {"echo, low CRC byte", CheckWriteResponse, Changed(echo, 6, echo[6] ^ 1), 2, ResponseCheck::BadCrc},
        {"echo, high CRC byte", CheckWriteResponse, Changed(echo, 7, echo[7] ^ 1), 2, ResponseCheck::BadCrc},
    };
    for (const Case& c : cases) EXPECT_EQ(c.check(c.frame.data(), c.frame.size(), c.expected), c.result) << c.label;
}
