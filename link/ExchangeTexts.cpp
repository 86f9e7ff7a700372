#include "link/ExchangeTexts.h"

#include <cstdio>

#include "link/LinkState.h"

namespace {

const char* const kBadLengthLine = "接收数据长度不正确！";
const char* const kBadCrcLine = "CRC校验不正确！";

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

const char* ReadFailureLine(ResponseCheck check)
{
    switch (check) {
    case ResponseCheck::BadAddress:
        return "接收地址不正确！";
    case ResponseCheck::BadFormat:
        return "接收数据格式不正确！";
    case ResponseCheck::BadCrc:
        return kBadCrcLine;
    default:  // BadLength
        return kBadLengthLine;
    }
}

std::vector<const char*> WriteOutcomeLines(ResponseCheck check, std::uint8_t writeKind)
{
    const bool temperature = writeKind == kTempOffsetWrite;
    const char* const failureLine = temperature ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    switch (check) {
    case ResponseCheck::Ok:
        return {temperature ? "温度偏移设置成功！" : "湿度偏移设置成功！"};
    case ResponseCheck::BadEcho:
        return {failureLine};
    case ResponseCheck::BadCrc:
        return {kBadCrcLine, failureLine};
    default:  // BadLength
        return {kBadLengthLine};
    }
}
