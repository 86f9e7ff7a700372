// Filling portList with the machine's usable serial ports.
#pragma once

#include <string>
#include <vector>

#include "ports/PortSystem.h"
#include "ports/SerInfo.h"

// What went wrong on the way, one line for the operator each: a port whose interface or registry entry
// fails is skipped and the walk goes on; a failure of the walk itself ends it.
using DiscoveryErrors = std::vector<std::string>;

// Replaces portList with the ports that can be opened now, every record complete.
DiscoveryErrors EnumerateSerialPorts(PortSystem& system);

// The steps of an enumeration. Each appends candidates to portList and its failures to errors.
// By the system's version: the device installer from Windows 2000 on, else one of the two below.
void ChoosePortMethod(PortSystem& system, DiscoveryErrors& errors);
void EnumerateByDeviceInterface(PortSystem& system, DiscoveryErrors& errors);
// Windows NT 3.x/4.0: COM1 to COM16, left to the presence test.
void EnumerateComCandidates();
// Windows 95/98/Me: the serial ports under HKEY_LOCAL_MACHINE\Enum.
void EnumerateByRegistry(PortSystem& system, DiscoveryErrors& errors);
// One record per instance key of a port device that names its port.
void ReadPortInstances(PortSystem& system, RegistryKey deviceKey, int isUsb, DiscoveryErrors& errors);
// Overwrites the first record with the same portName (case-sensitive), or appends.
void AddOrReplacePort(SSerInfo record);

// The name under which the system opens a port by its name: "\\.\" and the name, which also reaches
// COM10 and above.
inline std::string DevicePathFor(const std::string& portName)
{
    return "\\\\.\\" + portName;
}

// Fills in the names a candidate lacks, and the port name and path its friendly name states.
void CompletePortRecord(SSerInfo& record);
