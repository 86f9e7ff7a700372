#include "link/Readings.h"

#include <cstdio>

#include "link/Frames.h"
#include "res/resource.h"

namespace {

enum class Decoding { SignedTenths, Unsigned };

struct RegisterDisplay {
    int fieldId;
    Decoding decoding;
    const char* format;
    const char* label;  // before the text in the log
    const char* unit;   // after the text in the log
    bool lineEnds;      // the pane's block breaks its line after this reading; "--" separates otherwise
};

// The temperature and humidity formats end in a blank, which shows in the read-out and in the log.
constexpr RegisterDisplay kDisplays[kRegisterCount] = {
    {IDC_TEMPERATURE_EDIT, Decoding::SignedTenths, "%.1f ", "温度", "度", false},
    {IDC_HUMIDITY_EDIT, Decoding::SignedTenths, "%.1f ", "湿度:", "%", false},
    {IDC_TEMP_OFFSET_EDIT, Decoding::SignedTenths, "%.1f", "温度偏移：", "", true},
    {IDC_HUM_OFFSET_EDIT, Decoding::SignedTenths, "%.1f", "湿度偏移：", "", false},
    {IDC_ADDRESS_EDIT, Decoding::Unsigned, "%d", "传感器地址：", "", false},
    {IDC_TYPE_EDIT, Decoding::Unsigned, "%X", "类型：", "", true},
    {IDC_HW_VERSION_EDIT, Decoding::Unsigned, "%X", "硬件版本：", "", false},
    {IDC_SW_VERSION_EDIT, Decoding::Unsigned, "%X", "软件版本：", "", true},
};

std::string Piece(const ReadingTexts& texts, int n)
{
    return kDisplays[n].label + texts[n] + kDisplays[n].unit;
}

std::string FormatRegister(const RegisterDisplay& display, std::uint16_t raw)
{
    char text[32];
    if (display.decoding == Decoding::SignedTenths)
        std::snprintf(text, sizeof text, display.format, static_cast<double>(DecodeSignedTenths(raw)));
    else
        std::snprintf(text, sizeof text, display.format, static_cast<unsigned>(raw));
    return text;
}

}  // namespace

float DecodeSignedTenths(std::uint16_t raw)
{
    const float magnitude = static_cast<float>(raw & 0x7FFF) / 10.0f;
    return (raw & 0x8000) ? -magnitude : magnitude;
}

std::uint16_t EncodeSignedTenths(int tenths)
{
    if (tenths >= 0) return static_cast<std::uint16_t>(tenths);
    return static_cast<std::uint16_t>(0x8000 | -tenths);
}

int ReadingFieldId(int registerNumber)
{
    return kDisplays[registerNumber].fieldId;
}

ReadingTexts FormatReadings(const std::uint8_t* response)
{
    ReadingTexts texts;
    for (int n = 0; n < kRegisterCount; ++n) texts[n] = FormatRegister(kDisplays[n], ResponseRegister(response, n));
    return texts;
}

std::string ReadingsLogBlock(const ReadingTexts& texts)
{
    std::string block = "读取成功:\r\n";
    for (int n = 0; n < kRegisterCount; ++n) block += Piece(texts, n) + (kDisplays[n].lineEnds ? "\r\n" : "--");
    return block;
}

std::string ReadingsLine(const ReadingTexts& texts, int firstRegister)
{
    std::string line = Piece(texts, firstRegister);
    for (int n = firstRegister + 1; n < kRegisterCount; ++n) line += "--" + Piece(texts, n);
    return line;
}
