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

// Every outcome is named, so a new one does not compile until it has its lines.
std::vector<const char*> CheckLines(ResponseCheck check, std::uint8_t checkKind)
{
    const bool read = checkKind == kReadCheckKind;
    const bool temperature = checkKind == kTempOffsetWrite;
    const char* const writeFailureLine = temperature ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    switch (check) {
    case ResponseCheck::Ok:
        if (read) return {};
        return {temperature ? "温度偏移设置成功！" : "湿度偏移设置成功！"};
    case ResponseCheck::BadLength:
        return {"接收数据长度不正确！"};
    case ResponseCheck::BadAddress:
        return {"接收地址不正确！"};
    case ResponseCheck::BadFormat:
        return {"接收数据格式不正确！"};
    case ResponseCheck::BadEcho:
        return {writeFailureLine};
    case ResponseCheck::BadCrc:
        if (read) return {"CRC校验不正确！"};
        return {"CRC校验不正确！", writeFailureLine};
    }
    return {};
}
