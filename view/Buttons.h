// The buttons whose state every layer reads or switches: the four command buttons, and the open button,
// whose caption is the port's state.
#pragma once

#include "res/resource.h"
#include "view/Captions.h"
#include "view/ConsoleView.h"

// The port is open while the open button offers to close it.
inline bool PortShownOpen(const ConsoleView& view)
{
    return view.ControlText(IDC_OPEN_BUTTON) == kClosePortCaption;
}

// The four command buttons, always in the order continuous, humidity offset, temperature offset, read.
inline void EnableCommandButtons(ConsoleView& view, bool enable)
{
    for (int id : {IDC_CONTINUOUS_BUTTON, IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON, IDC_READ_BUTTON})
        view.EnableControl(id, enable);
}
