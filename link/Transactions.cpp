#include "link/Transactions.h"

#include <cstdio>
#include <string>

#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/Readings.h"
#include "link/SerialChannel.h"
#include "view/Buttons.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

namespace {

// The lines of a check that failed. A write passes its offset's failure line, which follows a bad CRC
// and stands alone for a wrong echo; a read passes none (its checks never give a wrong echo).
void LogFailedCheck(ConsoleView& view, ResponseCheck check, const char* writeFailureLine)
{
    switch (check) {
    case ResponseCheck::Ok:
        break;
    case ResponseCheck::BadLength:
        view.AppendLog("接收数据长度不正确！", kAppendToPane);
        break;
    case ResponseCheck::BadAddress:
        view.AppendLog("接收地址不正确！", kAppendToPane);
        break;
    case ResponseCheck::BadFormat:
        view.AppendLog("接收数据格式不正确！", kAppendToPane);
        break;
    case ResponseCheck::BadEcho:
        view.AppendLog(writeFailureLine, kAppendToPane);
        break;
    case ResponseCheck::BadCrc:
        view.AppendLog("CRC校验不正确！", kAppendToPane);
        if (writeFailureLine) view.AppendLog(writeFailureLine, kAppendToPane);
        break;
    }
}

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
    pendingCheck = checkTimer;
    console.view.StartTimer(checkTimer, kCheckDelayMs);
}

void EndCheck(Console& console, unsigned checkTimer)
{
    pendingCheck = 0;
    console.view.StopTimer(checkTimer);
}

void CheckRead(Console& console)
{
    const std::size_t count = ReceivePending(console);
    const ResponseCheck check = CheckReadResponse(rxBuffer, count, pendingAddress);
    if (check == ResponseCheck::Ok) {
        const ReadingTexts texts = FormatReadings(rxBuffer);
        for (int n = 0; n < kRegisterCount; ++n) console.view.ReplaceEditText(ReadingFieldId(n), texts[n]);
        console.view.AppendLog(ReadingsLogBlock(texts), kAppendToPane);
    } else {
        LogFailedCheck(console.view, check, nullptr);
    }
    if (continuousRunning == kContinuousStopped) EnableCommandButtons(console.view, true);
    EndCheck(console, kReadCheckTimer);
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
    const bool temperature = pendingWriteKind == kTempOffsetWrite;
    const char* const successLine = temperature ? "温度偏移设置成功！" : "湿度偏移设置成功！";
    const char* const failureLine = temperature ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    const ResponseCheck check = CheckWriteResponse(rxBuffer, count, pendingWriteRequest);
    if (check == ResponseCheck::Ok)
        console.view.AppendLog(successLine, kAppendToPane);
    else
        LogFailedCheck(console.view, check, failureLine);
    EndCheck(console, kWriteCheckTimer);
    EnableCommandButtons(console.view, true);
}

}  // namespace

void SendReadRequest(Console& console, std::uint8_t address)
{
    const RequestFrame frame = BuildReadRequest(address);
    console.view.AppendLog(RequestLine("正在读取地址为：", address), kAppendToPane);
    pendingAddress = address;
    SendRequest(console, frame, kReadCheckTimer);
}

void SendWriteRequest(Console& console, std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value)
{
    pendingWriteRequest = BuildWriteRequest(address, registerNumber, value);
    console.view.AppendLog(RequestLine("正在设置地址为：", address), kAppendToPane);
    SendRequest(console, pendingWriteRequest, kWriteCheckTimer);
}

void AbandonExchange(Console& console)
{
    pendingCheck = 0;
    console.view.StopTimer(kReadCheckTimer);
    console.view.StopTimer(kWriteCheckTimer);
}

void AdvanceExchange(Console& console, unsigned timerId)
{
    // A tick that was already on its way when its exchange or run was ended.
    if (timerId == kContinuousTimer ? continuousRunning == kContinuousStopped : timerId != pendingCheck) return;
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
