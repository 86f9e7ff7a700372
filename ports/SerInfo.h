// One serial port as the program lists it, and the list the port drop-down shows.
#pragma once

#include <string>

#include "framework/Array.h"

// The texts are the system's, in UTF-8 (see ports/SystemText.h).
struct SSerInfo {
    std::string devicePath;
    std::string portName;
    std::string friendlyName;
    int isUsb = 0;  // the system's 32-bit BOOL: 0 or 1
    std::string description;
};

// Entry i of the port drop-down stands for record i.
extern CArray<SSerInfo, SSerInfo&> portList;

// The drop-down text of a record: portName + "-->" + friendlyName, in UTF-8.
std::string PortEntryText(const SSerInfo& record);
