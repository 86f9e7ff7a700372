// Port discovery on systems before Windows 2000, which have no device-installer interfaces for ports.
#include "ports/PortDiscovery.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "ports/DiscoverySupport.h"

namespace {

constexpr std::size_t kRegistryNameSize = 128;
constexpr std::size_t kRegistryValueSize = 128;

RegistryKey OpenForReading(PortSystem& system, RegistryKey parent, const std::string& name,
                           const std::string& failureMessage)
{
    RegistryKey opened{};
    if (system.OpenRegistryKey(parent, name.c_str(), kKeyRead, opened) != kErrorSuccess) {
        throw PortDiscoveryError(failureMessage);
    }
    return opened;
}

// Visits the subkeys of key from index 0 until the system's enumeration fails, for whatever reason: the
// end, or a name that does not fit in the buffer, which ends this level of the walk.
template <class Visit>
void ForEachSubkey(PortSystem& system, RegistryKey key, Visit visit)
{
    char name[kRegistryNameSize];
    for (unsigned long index = 0;; ++index) {
        unsigned long nameLength = sizeof name;
        if (system.EnumRegistrySubkey(key, index, name, nameLength) != kErrorSuccess) return;
        visit(TerminatedText(name, sizeof name, nameLength));
    }
}

// A value's text, whatever its type; nothing when it is missing or does not fit.
std::optional<std::string> ReadValueText(PortSystem& system, RegistryKey key, const char* valueName)
{
    char data[kRegistryValueSize];
    unsigned long dataLength = sizeof data;
    if (system.QueryRegistryValue(key, valueName, data, dataLength) != kErrorSuccess) return std::nullopt;
    return TerminatedText(data, sizeof data, dataLength);
}

bool IsSerialPortDevice(const std::string& deviceId)
{
    return deviceId == "*PNP0500" || deviceId == "*PNP0501";
}

}  // namespace

void EnumerateComCandidates()
{
    for (int number = 1; number <= 16; ++number) {
        SSerInfo record;
        record.portName = "COM" + std::to_string(number);
        record.devicePath = DevicePathFor(record.portName);
        portList.Add(record);
    }
}

void EnumerateByRegistry(PortSystem& system)
{
    const std::string enumMessage = "Could not read from HKLM\\Enum";
    const OwnedRegistryKey enumKey(system, OpenForReading(system, kLocalMachineKey, "Enum", enumMessage));

    ForEachSubkey(system, enumKey.Get(), [&](const std::string& enumeratorName) {
        const std::string enumeratorMessage = enumMessage + "\\" + enumeratorName;
        const OwnedRegistryKey enumeratorKey(system, OpenForReading(system, enumKey.Get(), enumeratorName, enumeratorMessage));
        const int isUsb = enumeratorName == "USBPORTS" ? 1 : 0;

        ForEachSubkey(system, enumeratorKey.Get(), [&](const std::string& deviceId) {
            if (!isUsb && !IsSerialPortDevice(deviceId)) return;
            const OwnedRegistryKey deviceKey(
                system, OpenForReading(system, enumeratorKey.Get(), deviceId, enumeratorMessage + "\\" + deviceId));
            ReadPortInstances(system, deviceKey.Get(), isUsb);
        });
    });
}

void ReadPortInstances(PortSystem& system, RegistryKey deviceKey, int isUsb)
{
    ForEachSubkey(system, deviceKey, [&](const std::string& instanceName) {
        const OwnedRegistryKey instanceKey(
            system, OpenForReading(system, deviceKey, instanceName, "Could not read from HKLM\\Enum\\...\\" + instanceName));

        const std::optional<std::string> portName = ReadValueText(system, instanceKey.Get(), "PORTNAME");
        if (!portName) return;

        SSerInfo record;
        record.devicePath = DevicePathFor(*portName);
        record.portName = *portName;
        record.friendlyName = ReadValueText(system, instanceKey.Get(), "FRIENDLYNAME").value_or(std::string());
        record.isUsb = isUsb;
        AddOrReplacePort(std::move(record));
    });
}

void AddOrReplacePort(SSerInfo record)
{
    for (std::ptrdiff_t index = 0; index < portList.GetSize(); ++index) {
        if (portList[index].portName == record.portName) {
            portList[index] = std::move(record);
            return;
        }
    }
    portList.Add(record);
}
