#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "link/Readings.h"
#include "res/resource.h"

namespace {

// Bytes 3..18 of a read response hold the registers; the rest is not read by the formatting.
std::vector<std::uint8_t> Response(const std::vector<std::uint16_t>& registers)
{
    std::vector<std::uint8_t> frame(21, 0);
    for (std::size_t n = 0; n < registers.size(); ++n) {
        frame[3 + 2 * n] = registers[n] >> 8;
        frame[4 + 2 * n] = registers[n] & 0xFF;
    }
    return frame;
}

}  // namespace

TEST(SignedTenths, DecodeSignAndMagnitude)
{
    EXPECT_FLOAT_EQ(DecodeSignedTenths(0x00EB), 23.5f);
    EXPECT_FLOAT_EQ(DecodeSignedTenths(0x800F), -1.5f);
    EXPECT_FLOAT_EQ(DecodeSignedTenths(0xFFFF), -3276.7f);
    EXPECT_FLOAT_EQ(DecodeSignedTenths(0x7FFF), 3276.7f);
    EXPECT_TRUE(std::signbit(DecodeSignedTenths(0x8000)));
    EXPECT_FALSE(std::signbit(DecodeSignedTenths(0x0000)));
}

TEST(SignedTenths, EncodeNeverWritesNegativeZero)
{
    EXPECT_EQ(EncodeSignedTenths(25), 0x0019);
    EXPECT_EQ(EncodeSignedTenths(-25), 0x8019);
    EXPECT_EQ(EncodeSignedTenths(-100), 0x8064);
    EXPECT_EQ(EncodeSignedTenths(250), 0x00FA);
    EXPECT_EQ(EncodeSignedTenths(-250), 0x80FA);
    EXPECT_EQ(EncodeSignedTenths(0), 0x0000);
}

TEST(ReadingTexts, TemperatureAndHumidityEndInABlankOffsetsDoNot)
{
    EXPECT_EQ(FormatReadings(Response({0x00EB, 0x01C8, 0x800F, 0x0000, 5, 0x1A, 0x10, 0x12}).data()),
              (ReadingTexts{"23.5 ", "45.6 ", "-1.5", "0.0", "5", "1A", "10", "12"}));
}

TEST(ReadingTexts, NegativeZeroExtremesAndUpperCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ(FormatReadings(Response({0x8000, 0xFFFF, 0x7FFF, 0x8000, 0xFFFF, 0x001A, 0x0100, 0xABCD}).data()),
              (ReadingTexts{"-0.0 ", "-3276.7 ", "3276.7", "-0.0", "65535", "1A", "100", "ABCD"}));
}

TEST(ReadingTexts, EachRegisterHasItsReadOut)
{
    const int expected[] = {IDC_TEMPERATURE_EDIT, IDC_HUMIDITY_EDIT, IDC_TEMP_OFFSET_EDIT, IDC_HUM_OFFSET_EDIT,
                            IDC_ADDRESS_EDIT,     IDC_TYPE_EDIT,     IDC_HW_VERSION_EDIT,  IDC_SW_VERSION_EDIT};
    for (int n = 0; n < kRegisterCount; ++n) EXPECT_EQ(ReadingFieldId(n), expected[n]) << "register " << n;
}

TEST(ReadingsLog, TheBlockOfASuccessfulRead)
{
    const ReadingTexts texts = FormatReadings(Response({0x00EB, 0x01C8, 0x800F, 0x0000, 5, 0x1A, 0x10, 0x12}).data());
    EXPECT_EQ(ReadingsLogBlock(texts),
              "读取成功:\r\n"
              "温度23.5 度--湿度:45.6 %--温度偏移：-1.5\r\n"
              "湿度偏移：0.0--传感器地址：5--类型：1A\r\n"
              "硬件版本：10--软件版本：12\r\n");
}

TEST(ReadingsLog, NegativeZeroTemperatureKeepsItsSignAndBlank)
{
    const ReadingTexts texts = FormatReadings(Response({0x8000, 0, 0, 0, 0, 0, 0, 0}).data());
    EXPECT_EQ(ReadingsLogBlock(texts).substr(0, std::string("读取成功:\r\n温度-0.0 度--").size()),
              "读取成功:\r\n温度-0.0 度--");
}
