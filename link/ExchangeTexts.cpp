#include "link/ExchangeTexts.h"

#include <cstdio>

#include "link/LinkState.h"

namespace {

std::string RequestLine(const char* lead, std::uint8_t address)
{
    char number[8];
    std::snprintf(number, sizeof number, "%d ", address);
    return std::string(lead) + number + "的设备.";
}

}  // namespace

std::string ReadRequestLine(std::uint8_t address)
{
    return RequestLine("正在读取地址为：", address);
}

std::string WriteRequestLine(std::uint8_t address)
{
    return RequestLine("正在设置地址为：", address);
}

// Every outcome is named and there is no default, so a new one fails the build (-Werror) until it has its
// report.
CheckReport ReportCheck(ResponseCheck check, std::uint8_t checkKind)
{
    const bool read = checkKind == kReadCheckKind;
    const bool temperature = checkKind == kTempOffsetWrite;
    const char* const writeFailureLine = temperature ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    switch (check) {
    case ResponseCheck::Ok:
        if (read) return {kStatusOk, {}};
        return {kStatusOk, {temperature ? "温度偏移设置成功！" : "湿度偏移设置成功！"}};
    case ResponseCheck::BadLength:
        return {kStatusBadLength, {"接收数据长度不正确！"}};
    case ResponseCheck::BadAddress:
        return {kStatusBadAddress, {"接收地址不正确！"}};
    case ResponseCheck::BadFormat:
        return {kStatusBadFormat, {"接收数据格式不正确！"}};
    case ResponseCheck::BadEcho:
        return {kStatusBadEcho, {writeFailureLine}};
    case ResponseCheck::BadCrc:
        if (read) return {kStatusBadCrc, {"CRC校验不正确！"}};
        return {kStatusBadCrc, {"CRC校验不正确！", writeFailureLine}};
    }
    return {kStatusBadLength, {}};
}

std::string ExceptionLine(std::uint8_t code)
{
    const char* name = nullptr;
    switch (code) {
    case 0x01: name = "非法功能"; break;
    case 0x02: name = "非法数据地址"; break;
    case 0x03: name = "非法数据值"; break;
    case 0x04: name = "从站设备故障"; break;
    case 0x06: name = "从站设备忙"; break;
    case 0x0B: name = "网关目标设备无响应"; break;
    }
    char number[24];
    std::snprintf(number, sizeof number, "异常码 0x%02X", code);
    return std::string("异常应答：") + (name ? std::string(name) + " (" + number + ")" : std::string(number)) + "！";
}
