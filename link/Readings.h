// A sensor's eight registers as the dialog shows them in its read-outs and writes them to the pane.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/Frames.h"

// Sign and magnitude in tenths: bit 15 the sign, so 0x8000 is negative zero.
float DecodeSignedTenths(std::uint16_t raw);
// Whole tenths into sign and magnitude; zero is always 0x0000.
std::uint16_t EncodeSignedTenths(int tenths);

// The read-out showing register n.
int ReadingFieldId(int registerNumber);

using ReadingTexts = std::array<std::string, kRegisterCount>;

// The texts of the eight read-outs, register 0 first, from a checked read response.
ReadingTexts FormatReadings(const std::uint8_t* response);
// "读取成功:" and the three lines of readings, as one pane entry ending in a line break.
std::string ReadingsLogBlock(const ReadingTexts& texts);
// The block's readings from firstRegister on, on one line: "温度23.5 度--湿度:45.6 %--...".
std::string ReadingsLine(const ReadingTexts& texts, int firstRegister = 0);
