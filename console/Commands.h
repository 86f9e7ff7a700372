// The operator's commands, entered from the dialog's message map.
#pragma once

struct Console;

void OnReadClicked(Console& console);
void OnSetTempOffsetClicked(Console& console);
void OnSetHumOffsetClicked(Console& console);
void OnContinuousClicked(Console& console);
// Refills the port drop-down from a fresh enumeration (at start-up and on every drop-down).
// Each discovery error becomes a line in the pane; the list shows the complete records found.
void OnPortDropDown(Console& console);
// The offset inputs' character filter (EN_CHANGE of 1009 and 1011): all its passes, written back once.
void FilterOffsetText(Console& console, int controlId);
