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

// Read answers: length, address, CRC, then function code and byte count. Write echoes: length,
// function code and register, CRC, then the request repeated byte for byte.
TEST(ResponseChecks, EachOutcomeInTheOrderTheChecksAreMade)
{
    const Bytes answer = WithCrc({5, 0x03, 0x10, 0, 0xEB, 1, 0xC8, 0x80, 0x0F, 0, 0, 0, 5, 0, 0x1A, 0, 0x10, 0, 0x12});
    const RequestFrame request = BuildWriteRequest(1, 2, 0x8019);
    const Bytes echo(request.begin(), request.end());
    const auto recrc = [](Bytes frame) { return WithCrc(Bytes(frame.begin(), frame.end() - 2)); };
    struct Case {
        const char* label;
        Bytes frame;
        ResponseCheck result;
    };
    const Case reads[] = {
        {"read", answer, ResponseCheck::Ok},
        {"a byte short", Bytes(answer.begin(), answer.end() - 1), ResponseCheck::BadLength},
        {"a byte long", WithCrc(Bytes(answer.begin(), answer.end() - 1)), ResponseCheck::BadLength},
        {"other address", recrc(Changed(answer, 0, 6)), ResponseCheck::BadAddress},
        {"other address, bad CRC", Changed(answer, 0, 6), ResponseCheck::BadAddress},
        {"low CRC byte", Changed(answer, 19, answer[19] ^ 1), ResponseCheck::BadCrc},
        {"high CRC byte", Changed(answer, 20, answer[20] ^ 1), ResponseCheck::BadCrc},
        {"other function, bad CRC", Changed(answer, 1, 4), ResponseCheck::BadCrc},
        {"other function", recrc(Changed(answer, 1, 4)), ResponseCheck::BadFormat},
        {"other byte count", recrc(Changed(answer, 2, 0x0F)), ResponseCheck::BadFormat},
    };
    for (const Case& c : reads) EXPECT_EQ(CheckReadResponse(c.frame.data(), c.frame.size(), 5), c.result) << c.label;
    const Case writes[] = {
        {"echo", echo, ResponseCheck::Ok},
        {"echo a byte short", Bytes(echo.begin(), echo.end() - 1), ResponseCheck::BadLength},
        {"echo a byte long", WithCrc(Bytes(echo.begin(), echo.end() - 1)), ResponseCheck::BadLength},
        {"echo of another register", recrc(Changed(echo, 3, 3)), ResponseCheck::BadEcho},
        {"echo of another function", recrc(Changed(echo, 1, 0x86)), ResponseCheck::BadEcho},
        {"echo, low CRC byte", Changed(echo, 6, echo[6] ^ 1), ResponseCheck::BadCrc},
        {"echo, high CRC byte", Changed(echo, 7, echo[7] ^ 1), ResponseCheck::BadCrc},
        {"echo from another address", recrc(Changed(echo, 0, 7)), ResponseCheck::BadEcho},
        {"echo, register high byte", recrc(Changed(echo, 2, 0x7F)), ResponseCheck::BadEcho},
        {"echo of another value", recrc(Changed(echo, 5, 0x18)), ResponseCheck::BadEcho},
    };
    for (const Case& c : writes) EXPECT_EQ(CheckWriteResponse(c.frame.data(), c.frame.size(), request), c.result) << c.label;
}
