#include "console/Commands.h"

#include <optional>

#include "console/InputRules.h"
#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/Readings.h"
#include "link/SerialChannel.h"
#include "link/Transactions.h"
#include "ports/PortDiscovery.h"
#include "res/resource.h"
#include "view/Buttons.h"
#include "view/Captions.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

namespace {

// During a continuous read only its own button stays enabled, as the way to stop it.
void EnableButtonsBesideContinuous(ConsoleView& view, bool enable)
{
    for (int id : {IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON, IDC_READ_BUTTON}) view.EnableControl(id, enable);
}

void WriteOffset(Console& console, const OffsetKind& kind)
{
    const std::optional<int> tenths = ValidateInput(console.view, kind.rule);
    if (!tenths) return;
    const std::optional<int> address = ValidateInput(console.view, kSensorAddressRule);
    if (!address) return;
    EnableCommandButtons(console.view, false);
    pendingWriteKind = kind.writeKind;
    SendWriteRequest(console, static_cast<std::uint8_t>(*address), kind.registerNumber, EncodeSignedTenths(*tenths));
}

void StartContinuousRead(Console& console)
{
    const std::optional<int> start = ValidateInput(console.view, kRangeStartRule);
    if (!start) return;
    const std::optional<int> end = ValidateInput(console.view, kRangeEndRule);
    if (!end) return;
    if (*end < *start) {
        console.view.AppendLog(kRangeReversedLine, kAppendToPane);
        return;
    }
    scanEnd = static_cast<std::uint8_t>(*end);
    scanStart = scanCurrent = static_cast<std::uint8_t>(*start);
    EnableButtonsBesideContinuous(console.view, false);
    console.view.SetControlText(IDC_CONTINUOUS_BUTTON, kStopContinuousCaption);
    continuousRunning = kContinuousRunning;
    SendReadRequest(console, scanCurrent);
    console.view.StartTimer(kContinuousTimer, kContinuousPeriodMs);
}

void StopContinuousRead(Console& console)
{
    EnableButtonsBesideContinuous(console.view, true);
    console.view.SetControlText(IDC_CONTINUOUS_BUTTON, kStartContinuousCaption);
    continuousRunning = kContinuousStopped;
    // A read of the run still awaited is abandoned without a line.
    AbandonExchange(console);
    console.view.StopTimer(kContinuousTimer);
}

}  // namespace

void OnReadClicked(Console& console)
{
    const std::optional<int> address = ValidateInput(console.view, kSensorAddressRule);
    if (!address) return;
    EnableCommandButtons(console.view, false);
    SendReadRequest(console, static_cast<std::uint8_t>(*address));
}

void OnSetTempOffsetClicked(Console& console)
{
    WriteOffset(console, kTempOffset);
}

void OnSetHumOffsetClicked(Console& console)
{
    WriteOffset(console, kHumOffset);
}

void OnContinuousClicked(Console& console)
{
    if (console.view.ControlText(IDC_CONTINUOUS_BUTTON) == kStartContinuousCaption)
        StartContinuousRead(console);
    else
        StopContinuousRead(console);
}

void OnPortDropDown(Console& console)
{
    console.view.ResetPortEntries();
    // The lines name registry keys as the system gave them.
    for (const std::string& error : EnumerateSerialPorts(console.ports))
        console.view.AppendLogWithSystemText("", error, "");
    for (std::ptrdiff_t i = 0; i < portList.GetSize(); ++i) console.view.AddPortEntry(PortEntryText(portList[i]));
    console.view.SelectPortEntry(0);
}

void FilterOffsetText(Console& console, int controlId)
{
    const std::string text = console.view.ControlText(controlId);
    const std::string filtered = FilteredOffsetText(text);
    // Written back once, whatever the length: the change notification this raises finds nothing left
    // to remove, so the filter never nests deeper than one call.
    if (filtered != text) console.view.SetControlText(controlId, filtered);
}
