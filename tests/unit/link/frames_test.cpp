#include "link/LinkFixture.h"

#include "link/Frames.h"
#include "link/Readings.h"

namespace {

Bytes AsBytes(const RequestFrame& frame)
{
    return Bytes(frame.begin(), frame.end());
}

Bytes Changed(Bytes frame, std::size_t index, std::uint8_t value)
{
    frame.at(index) = value;
    return frame;
}

Bytes Flipped(const Bytes& frame, std::size_t index)
{
    return Changed(frame, index, frame.at(index) ^ 0x01);
}

// The frame with its CRC made right again.
Bytes Recrc(Bytes frame)
{
    frame.resize(frame.size() - 2);
    return WithCrc(frame);
}

}  // namespace

TEST(Crc, StandardCheckValueOfTheNineDigits)
{
    const char digits[] = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
}

TEST(Requests, CarryAddressFunctionAndFieldsHighByteFirstAndTheCrcLowByteFirst)
{
    EXPECT_EQ(AsBytes(BuildReadRequest(1)), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C}));
    EXPECT_EQ(AsBytes(BuildReadRequest(5)), (Bytes{0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}));
    EXPECT_EQ(AsBytes(BuildWriteRequest(1, 2, 0x800F)), (Bytes{0x01, 0x06, 0x00, 0x02, 0x80, 0x0F, 0x09, 0xCE}));
    EXPECT_EQ(AsBytes(BuildWriteRequest(1, 3, 0x0064)), (Bytes{0x01, 0x06, 0x00, 0x03, 0x00, 0x64, 0x78, 0x21}));
}

// A read answer: length, then address, then CRC; function code and byte count are not looked at.
// A write echo: length, then function code and register, then CRC; address and value are not looked at.
TEST(ResponseChecks, EachOutcomeInTheOrderTheChecksAreMade)
{
    const Bytes answer = ExampleAnswer(5);
    const Bytes shorter(answer.begin(), answer.end() - 1);
    Bytes longer = answer;
    longer.push_back(0);
    const Bytes echo = AsBytes(BuildWriteRequest(1, 2, 0x0019));
    const Bytes otherRegister = AsBytes(BuildWriteRequest(1, 3, 0x0019));
    struct Case {
        ResponseCheck (*check)(const std::uint8_t*, std::size_t, std::uint8_t);
        Bytes frame;
        std::uint8_t expected;
        ResponseCheck result;
    };
    const Case cases[] = {
        {CheckReadResponse, answer, 5, ResponseCheck::Ok},
        {CheckReadResponse, ExampleAnswer(0), 0, ResponseCheck::Ok},
        {CheckReadResponse, Recrc(Changed(Changed(answer, 1, 0x04), 2, 0x0F)), 5, ResponseCheck::Ok},
        {CheckReadResponse, shorter, 5, ResponseCheck::BadLength},
        {CheckReadResponse, longer, 5, ResponseCheck::BadLength},
        {CheckReadResponse, {}, 5, ResponseCheck::BadLength},
        {CheckReadResponse, WithCrc({5, 0x83, 0x02}), 5, ResponseCheck::BadLength},  // an exception answer
        {CheckReadResponse, Changed(shorter, 0, 9), 5, ResponseCheck::BadLength},
        {CheckReadResponse, ExampleAnswer(6), 5, ResponseCheck::BadAddress},
        {CheckReadResponse, Flipped(ExampleAnswer(6), 20), 5, ResponseCheck::BadAddress},
        {CheckReadResponse, Flipped(answer, 3), 5, ResponseCheck::BadCrc},
        {CheckReadResponse, Flipped(answer, 19), 5, ResponseCheck::BadCrc},
        {CheckReadResponse, Flipped(answer, 20), 5, ResponseCheck::BadCrc},
        {CheckWriteResponse, AsBytes(BuildWriteRequest(1, 2, 0x800F)), 2, ResponseCheck::Ok},
        {CheckWriteResponse, AsBytes(BuildWriteRequest(42, 3, 0x1234)), 3, ResponseCheck::Ok},
        {CheckWriteResponse, Recrc(Changed(echo, 2, 0x7F)), 2, ResponseCheck::Ok},
        {CheckWriteResponse, Bytes(echo.begin(), echo.end() - 1), 2, ResponseCheck::BadLength},
        {CheckWriteResponse, {}, 2, ResponseCheck::BadLength},
        {CheckWriteResponse, otherRegister, 2, ResponseCheck::BadEcho},
        {CheckWriteResponse, Recrc(Changed(echo, 1, 0x86)), 2, ResponseCheck::BadEcho},
        {CheckWriteResponse, Flipped(otherRegister, 7), 2, ResponseCheck::BadEcho},
        {CheckWriteResponse, Flipped(echo, 5), 2, ResponseCheck::BadCrc},
        {CheckWriteResponse, Flipped(echo, 6), 2, ResponseCheck::BadCrc},
        {CheckWriteResponse, Flipped(echo, 7), 2, ResponseCheck::BadCrc},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(c.check(c.frame.data(), c.frame.size(), c.expected), c.result) << "case " << i;
    }
}

// The worked example's texts are checked where a read fills the read-outs.
TEST(ReadingTexts, NegativeZeroExtremesAndUpperCaseHexWithoutLeadingZeros)
{
    const Bytes answer = ReadAnswer(0, {0x8000, 0xFFFF, 0x7FFF, 0x8000, 0xFFFF, 0x001A, 0x0100, 0xABCD});
    EXPECT_EQ(FormatReadings(answer.data()),
              (ReadingTexts{"-0.0 ", "-3276.7 ", "3276.7", "-0.0", "65535", "1A", "100", "ABCD"}));
}
