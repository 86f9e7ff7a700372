#include "link/SerialChannel.h"

#include <cstring>

#include "link/ExchangeTexts.h"
#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/SerialLine.h"
#include "link/Transactions.h"
#include "ports/SerInfo.h"
#include "res/resource.h"
#include "view/Buttons.h"
#include "view/Captions.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

std::uint8_t rxBuffer[kRxBufferSize];

namespace {

void OpenPort(Console& console)
{
    if (!OpenAndSetUp(console.line, SelectedPortPath(console))) {
        console.view.AppendLog(kOpenFailedLine, kAppendToPane);
        return;
    }
    console.view.SetControlText(IDC_OPEN_BUTTON, kClosePortCaption);
    console.view.EnableControl(IDC_PORT_COMBO, false);
    console.view.AppendLogWithSystemText("打开", SelectedPortName(console), "成功");
    EnableCommandButtons(console.view, true);
}

void ClosePort(Console& console)
{
    const std::string name = SelectedPortName(console);
    if (!console.line.Close()) {
        console.view.AppendLogWithSystemText("关闭", name, "失败");
        return;
    }
    console.view.SetControlText(IDC_OPEN_BUTTON, kOpenPortCaption);
    console.view.AppendLogWithSystemText("关闭", name, "");
    console.view.EnableControl(IDC_PORT_COMBO, true);
    EnableCommandButtons(console.view, false);
    AbandonExchange(console);
    console.view.StopTimer(kContinuousTimer);
    console.view.SetControlText(IDC_CONTINUOUS_BUTTON, kStartContinuousCaption);
    continuousRunning = kContinuousStopped;
}

}  // namespace

// A port that refuses a setting keeps whatever the last program left on it, unfit for the bus.
bool OpenAndSetUp(SerialLine& line, const std::string& path)
{
    if (!line.Open(path)) return false;
    if (line.SetQueueSizes() && line.SetTimeouts() && line.GetLineState() && line.SetLineState() && line.Purge())
        return true;
    line.Close();
    return false;
}

void OnOpenClicked(Console& console)
{
    const std::string caption = console.view.ControlText(IDC_OPEN_BUTTON);
    if (caption == kOpenPortCaption)
        OpenPort(console);
    else if (caption == kClosePortCaption)
        ClosePort(console);
}

std::string SelectedPortPath(Console& console)
{
    return portList.GetAt(console.view.SelectedPortEntry()).devicePath;
}

std::string SelectedPortName(Console& console)
{
    const std::string text = console.view.PortEntryText(console.view.SelectedPortEntry());
    return text.substr(0, text.find('-'));
}

bool SendFrame(Console& console, const std::uint8_t* frame)
{
    if (console.line.Write(frame, kRequestSize)) return true;
    console.view.AppendLog(kWriteFailedLine, kAppendToPane);
    return false;
}

std::size_t ReceivePending(Console& console)
{
    std::memset(rxBuffer, 0, sizeof rxBuffer);
    return console.line.ReadWaiting(rxBuffer, sizeof rxBuffer);
}
