#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/Crc.h"
#include "link/Frames.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes AsBytes(const RequestFrame& frame)
{
    return Bytes(frame.begin(), frame.end());
}

// A conforming read response for address 5: 23.5, 45.6, -1.5, 0.0, 5, 0x1A, 0x10, 0x12.
Bytes ReadResponse(std::uint8_t address = 5)
{
    Bytes frame = {address, 0x03, 0x10, 0x00, 0xEB, 0x01, 0xC8, 0x80, 0x0F, 0x00, 0x00,
                   0x00, 0x05, 0x00, 0x1A, 0x00, 0x10, 0x00, 0x12};
    const std::uint16_t crc = Crc16Modbus(frame.data(), frame.size());
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    return frame;
}

Bytes WithFreshCrc(Bytes frame)
{
    const std::uint16_t crc = Crc16Modbus(frame.data(), frame.size() - 2);
    frame[frame.size() - 2] = crc & 0xFF;
    frame[frame.size() - 1] = crc >> 8;
    return frame;
}

ResponseCheck CheckRead(const Bytes& frame, std::uint8_t expected)
{
    return CheckReadResponse(frame.data(), frame.size(), expected);
}

ResponseCheck CheckWrite(const Bytes& frame, std::uint8_t expected)
{
    return CheckWriteResponse(frame.data(), frame.size(), expected);
}

}  // namespace

TEST(Crc, StandardCheckValueOfTheNineDigits)
{
    const char digits[] = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
}

TEST(Requests, ReadRequestsCarryAddressFunctionRangeAndCrcLowByteFirst)
{
    EXPECT_EQ(AsBytes(BuildReadRequest(1)), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C}));
    EXPECT_EQ(AsBytes(BuildReadRequest(5)), (Bytes{0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}));
}

TEST(Requests, WriteRequestsCarryRegisterAndValueHighByteFirst)
{
    EXPECT_EQ(AsBytes(BuildWriteRequest(1, 2, 0x800F)), (Bytes{0x01, 0x06, 0x00, 0x02, 0x80, 0x0F, 0x09, 0xCE}));
    EXPECT_EQ(AsBytes(BuildWriteRequest(1, 3, 0x0064)), (Bytes{0x01, 0x06, 0x00, 0x03, 0x00, 0x64, 0x78, 0x21}));
}

TEST(ReadCheck, AcceptsAConformingResponseAndIgnoresFunctionCodeAndByteCount)
{
    EXPECT_EQ(CheckRead(ReadResponse(), 5), ResponseCheck::Ok);
    Bytes odd = ReadResponse();
    odd[1] = 0x04;
    odd[2] = 0x0F;
    EXPECT_EQ(CheckRead(WithFreshCrc(odd), 5), ResponseCheck::Ok);
    EXPECT_EQ(CheckRead(ReadResponse(0), 0), ResponseCheck::Ok);
}

TEST(ReadCheck, LengthIsCheckedFirst)
{
    Bytes shorter = ReadResponse();
    shorter.pop_back();
    Bytes longer = ReadResponse();
    longer.push_back(0);
    EXPECT_EQ(CheckRead(shorter, 5), ResponseCheck::BadLength);
    EXPECT_EQ(CheckRead(longer, 5), ResponseCheck::BadLength);
    EXPECT_EQ(CheckRead({}, 5), ResponseCheck::BadLength);
    // A Modbus exception response is not recognised as such.
    EXPECT_EQ(CheckRead(WithFreshCrc({0x05, 0x83, 0x02, 0, 0}), 5), ResponseCheck::BadLength);
    // Wrong address and CRC too: the length decides.
    Bytes wrongEverything = shorter;
    wrongEverything[0] = 9;
    EXPECT_EQ(CheckRead(wrongEverything, 5), ResponseCheck::BadLength);
}

TEST(ReadCheck, AnotherAddressIsRefusedEvenWithItsCrcRight)
{
    EXPECT_EQ(CheckRead(ReadResponse(6), 5), ResponseCheck::BadAddress);
    Bytes badCrcToo = ReadResponse(6);
    badCrcToo[20] ^= 0xFF;
    EXPECT_EQ(CheckRead(badCrcToo, 5), ResponseCheck::BadAddress);
}

TEST(ReadCheck, EitherCrcByteWrongOrACorruptedRegisterIsABadCrc)
{
    for (std::size_t index : {3u, 19u, 20u}) {
        Bytes frame = ReadResponse();
        frame[index] ^= 0x01;
        EXPECT_EQ(CheckRead(frame, 5), ResponseCheck::BadCrc) << "byte " << index;
    }
}

TEST(WriteCheck, AcceptsTheEchoFromAnyAddressWithAnyValue)
{
    EXPECT_EQ(CheckWrite(AsBytes(BuildWriteRequest(1, 2, 0x800F)), 2), ResponseCheck::Ok);
    EXPECT_EQ(CheckWrite(AsBytes(BuildWriteRequest(42, 3, 0x1234)), 3), ResponseCheck::Ok);
    Bytes highRegisterByte = AsBytes(BuildWriteRequest(1, 2, 0));
    highRegisterByte[2] = 0x7F;
    EXPECT_EQ(CheckWrite(WithFreshCrc(highRegisterByte), 2), ResponseCheck::Ok);
}

TEST(WriteCheck, LengthThenEchoThenCrc)
{
    Bytes echo = AsBytes(BuildWriteRequest(1, 2, 0x0019));
    Bytes shorter(echo.begin(), echo.end() - 1);
    EXPECT_EQ(CheckWrite(shorter, 2), ResponseCheck::BadLength);
    EXPECT_EQ(CheckWrite({}, 2), ResponseCheck::BadLength);

    EXPECT_EQ(CheckWrite(AsBytes(BuildWriteRequest(1, 3, 0x0019)), 2), ResponseCheck::BadEcho);
    Bytes wrongFunction = echo;
    wrongFunction[1] = 0x86;
    EXPECT_EQ(CheckWrite(WithFreshCrc(wrongFunction), 2), ResponseCheck::BadEcho);
    // The echo is examined before the CRC, which is then not looked at.
    Bytes wrongRegisterAndCrc = AsBytes(BuildWriteRequest(1, 3, 0x0019));
    wrongRegisterAndCrc[7] ^= 0xFF;
    EXPECT_EQ(CheckWrite(wrongRegisterAndCrc, 2), ResponseCheck::BadEcho);

    for (std::size_t index : {5u, 6u, 7u}) {
        Bytes corrupted = echo;
        corrupted[index] ^= 0x40;
        EXPECT_EQ(CheckWrite(corrupted, 2), ResponseCheck::BadCrc) << "byte " << index;
    }
}

TEST(ReadResponseRegisters, AreTakenHighByteFirstFromOffsetThree)
{
    const Bytes frame = ReadResponse();
    EXPECT_EQ(ResponseRegister(frame.data(), 0), 0x00EB);
    EXPECT_EQ(ResponseRegister(frame.data(), 2), 0x800F);
    EXPECT_EQ(ResponseRegister(frame.data(), 7), 0x0012);
}
