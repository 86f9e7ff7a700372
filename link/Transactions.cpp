#include "link/Transactions.h"

#include "link/ExchangeTexts.h"
#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/Readings.h"
#include "link/SerialChannel.h"
#include "view/Buttons.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

namespace {

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
        for (const char* line : ReportCheck(check, kReadCheckKind).lines) console.view.AppendLog(line, kAppendToPane);
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
    for (const char* line : ReportCheck(CheckWriteResponse(rxBuffer, count, pendingWriteRequest), pendingWriteKind).lines)
        console.view.AppendLog(line, kAppendToPane);
    EndCheck(console, kWriteCheckTimer);
    EnableCommandButtons(console.view, true);
}

}  // namespace

void SendReadRequest(Console& console, std::uint8_t address)
{
    const RequestFrame frame = BuildReadRequest(address);
    console.view.AppendLog(ReadRequestLine(address), kAppendToPane);
    pendingAddress = address;
    SendRequest(console, frame, kReadCheckTimer);
}

void SendWriteRequest(Console& console, std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value)
{
    pendingWriteRequest = BuildWriteRequest(address, registerNumber, value);
    console.view.AppendLog(WriteRequestLine(address), kAppendToPane);
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
