#include "link/Transactions.h"

#include <cstdio>
#include <string>

#include "console/Console.h"
#include "console/ConsoleView.h"
#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/Readings.h"
#include "link/SerialChannel.h"

namespace {

const char* const kBadLengthLine = "接收数据长度不正确！";
const char* const kBadCrcLine = "CRC校验不正确！";

std::string RequestLine(const char* lead, std::uint8_t address)
{
    char number[8];
    std::snprintf(number, sizeof number, "%d ", address);
    return std::string(lead) + number + "的设备.";
}

void SendRequest(Console& console, const RequestFrame& frame, unsigned checkTimer)
{
    // Whatever an earlier exchange left at the port must not be taken for this request's answer.
    ReceivePending(console);
    SendFrame(console, frame.data());
    console.view.StartTimer(checkTimer, kCheckDelayMs);
}

void CheckRead(Console& console)
{
    const std::size_t count = ReceivePending(console);
    switch (CheckReadResponse(rxBuffer, count, pendingAddress)) {
    case ResponseCheck::Ok: {
        const ReadingTexts texts = FormatReadings(rxBuffer);
        for (int n = 0; n < kRegisterCount; ++n) console.view.ReplaceEditText(ReadingFieldId(n), texts[n]);
        console.view.AppendLog(ReadingsLogBlock(texts), false);
        break;
    }
    case ResponseCheck::BadAddress:
        console.view.AppendLog("接收地址不正确！", false);
        break;
    case ResponseCheck::BadCrc:
        console.view.AppendLog(kBadCrcLine, false);
        break;
    default:  // BadLength
        console.view.AppendLog(kBadLengthLine, false);
        break;
    }
    if (!continuousRunning) EnableCommandButtons(console.view, true);
    console.view.StopTimer(kReadCheckTimer);
}

void PaceContinuousRead(Console& console)
{
    scanCurrent = scanCurrent < scanEnd ? static_cast<std::uint8_t>(scanCurrent + 1) : scanStart;
    SendReadRequest(console, scanCurrent);
    console.view.StartTimer(kContinuousTimer, kContinuousPeriodMs);
}

void CheckWrite(Console& console)
{
    const std::size_t count = ReceivePending(console);
    const bool temperature = pendingWriteKind == 0;
    const std::uint8_t expectedRegister = temperature ? kTempOffsetRegister : kHumOffsetRegister;
    const char* const successLine = temperature ? "温度偏移设置成功！" : "湿度偏移设置成功！";
    const char* const failureLine = temperature ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    switch (CheckWriteResponse(rxBuffer, count, expectedRegister)) {
    case ResponseCheck::Ok:
        console.view.AppendLog(successLine, false);
        break;
    case ResponseCheck::BadEcho:
        console.view.AppendLog(failureLine, false);
        break;
    case ResponseCheck::BadCrc:
        console.view.AppendLog(kBadCrcLine, false);
        console.view.AppendLog(failureLine, false);
        break;
    default:  // BadLength
        console.view.AppendLog(kBadLengthLine, false);
        break;
    }
    console.view.StopTimer(kWriteCheckTimer);
    // The port may have been closed while the write was pending: a closed port never offers commands.
    if (PortShownOpen(console.view)) EnableCommandButtons(console.view, true);
}

}  // namespace

void SendReadRequest(Console& console, std::uint8_t address)
{
    const RequestFrame frame = BuildReadRequest(address);
    console.view.AppendLog(RequestLine("正在读取地址为：", address), false);
    pendingAddress = address;
    SendRequest(console, frame, kReadCheckTimer);
}

void SendWriteRequest(Console& console, std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value)
{
    const RequestFrame frame = BuildWriteRequest(address, registerNumber, value);
    console.view.AppendLog(RequestLine("正在设置地址为：", address), false);
    SendRequest(console, frame, kWriteCheckTimer);
}

void OnTimer(Console& console, unsigned timerId)
{
    switch (timerId) {
    case kReadCheckTimer:
        CheckRead(console);
        break;
    case kContinuousTimer:
        PaceContinuousRead(console);
        break;
    case kWriteCheckTimer:
        CheckWrite(console);
        break;
    default:
        break;
    }
}
