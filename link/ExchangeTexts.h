// The lines an exchange with a sensor reports, for every program that reports one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/Frames.h"

// A request that could not be written to the port.
inline const char* const kWriteFailedLine = "写串口失败";
// "正在读取地址为：5 的设备."
std::string ReadRequestLine(std::uint8_t address);
// "正在设置地址为：5 的设备."
std::string WriteRequestLine(std::uint8_t address);
// The one line of a failed read check.
const char* ReadFailureLine(ResponseCheck check);
// What a write check reports: the success line, or the failure's one or two lines.
// writeKind kTempOffsetWrite is the temperature offset, any other the humidity offset.
std::vector<const char*> WriteOutcomeLines(ResponseCheck check, std::uint8_t writeKind);
