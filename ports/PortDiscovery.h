// Filling portList with the machine's usable serial ports.
#pragma once

#include <stdexcept>
#include <string>

#include "ports/PortSystem.h"
#include "ports/SerInfo.h"

// Raised by discovery; what() is the message text the operator sees.
class PortDiscoveryError : public std::runtime_error {
public:
    explicit PortDiscoveryError(const std::string& message) : std::runtime_error(message) {}
};

// Replaces portList with the ports that can be opened now. Raises PortDiscoveryError; the records
// gathered before an error stay in portList, untested and incomplete.
void EnumerateSerialPorts(PortSystem& system);

// The steps of an enumeration. Each appends candidates to portList.
// By the system's version: the device installer from Windows 2000 on, else one of the two below.
void ChoosePortMethod(PortSystem& system);
void EnumerateByDeviceInterface(PortSystem& system);
// Windows NT 3.x/4.0: COM1 to COM16, left to the presence test.
void EnumerateComCandidates();
// Windows 95/98/Me: the serial ports under HKEY_LOCAL_MACHINE\Enum.
void EnumerateByRegistry(PortSystem& system);
// One record per instance key of a port device that names its port.
void ReadPortInstances(PortSystem& system, RegistryKey deviceKey, int isUsb);
// Overwrites the first record with the same portName (case-sensitive), or appends.
void AddOrReplacePort(SSerInfo record);

// Fills in the names a candidate lacks, and the port name and path its friendly name states.
void CompletePortRecord(SSerInfo& record);
