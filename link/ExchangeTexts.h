// The lines an exchange with a sensor reports, for every program that reports one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/Frames.h"

// A port that could not be opened, or whose settings were refused.
inline const char* const kOpenFailedLine = "打开COM失败!";
// A request that could not be written to the port.
inline const char* const kWriteFailedLine = "写串口失败";
// "正在读取地址为：5 的设备."
std::string ReadRequestLine(std::uint8_t address);
// "正在设置地址为：5 的设备."
std::string WriteRequestLine(std::uint8_t address);
// What a check is of: a write passes kTempOffsetWrite or kHumOffsetWrite, a read this.
inline constexpr std::uint8_t kReadCheckKind = 0xFF;
// The status words tarvik-cli writes for scripts and its report reads back: the one list of them.
enum ExchangeStatusIndex : std::uint8_t {
    kStatusOk, kStatusNoAnswer, kStatusBadLength, kStatusBadAddress, kStatusBadFormat, kStatusBadCrc,
    kStatusBadEcho, kStatusWriteFailed, kStatusException, kStatusLineBusy, kStatusCount
};
inline constexpr const char* kStatusWords[] = {"ok", "no-answer", "bad-length", "bad-address", "bad-format",
                                               "bad-crc", "bad-echo", "write-failed", "exception", "line-busy"};
static_assert(sizeof kStatusWords / sizeof kStatusWords[0] == kStatusCount, "a word for every status");
// What a check reports: its status for scripts (kStatusOk, kStatusBadCrc, ...), and its lines: a failure's
// one or two lines, or a write's success line (a read's success is its block of readings, so it
// reports none here).
struct CheckReport {
    ExchangeStatusIndex status;
    std::vector<const char*> lines;
};
CheckReport ReportCheck(ResponseCheck check, std::uint8_t checkKind);
// A sensor's exception reply, named where the code has a name: "异常应答：非法数据地址 (异常码 0x02)！".
std::string ExceptionLine(std::uint8_t code);
