// The four command buttons, which every layer switches together.
#pragma once

#include "res/resource.h"
#include "view/ConsoleView.h"

// The four command buttons, always in the order continuous, humidity offset, temperature offset, read.
inline void EnableCommandButtons(ConsoleView& view, bool enable)
{
    for (int id : {IDC_CONTINUOUS_BUTTON, IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON, IDC_READ_BUTTON})
        view.EnableControl(id, enable);
}
