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

// Opens the subkey for reading, visits it and closes it again; when it cannot be opened, writes its
// failure line instead and the walk goes on without it.
template <class Visit>
void WithSubkey(PortSystem& system, RegistryKey parent, const std::u16string& name, const std::string& failureMessage,
                DiscoveryErrors& errors, Visit visit)
{
    RegistryKey opened{};
    if (system.OpenRegistryKey(parent, name.c_str(), kKeyRead, opened) != kErrorSuccess) {
        errors.push_back(failureMessage);
        return;
    }
    const OwnedRegistryKey owned(system, opened);
    visit(opened);
}

// Visits the subkeys of key from index 0 until the system's enumeration fails, for whatever reason: the
// end, or a name that does not fit in the buffer, which ends this level of the walk.
template <class Visit>
void ForEachSubkey(PortSystem& system, RegistryKey key, Visit visit)
{
    char16_t name[kRegistryNameSize];
    for (unsigned long index = 0;; ++index) {
        unsigned long nameLength = kRegistryNameSize;
        if (system.EnumRegistrySubkey(key, index, name, nameLength) != kErrorSuccess) return;
        visit(TerminatedText(name, kRegistryNameSize, nameLength));
    }
}

// A value's text, whatever its type; nothing when it is missing or does not fit.
std::optional<std::string> ReadValueText(PortSystem& system, RegistryKey key, const char16_t* valueName)
{
    char16_t data[kRegistryValueSize];
    unsigned long dataLength = sizeof data;
    if (system.QueryRegistryValue(key, valueName, data, dataLength) != kErrorSuccess) return std::nullopt;
    return Utf8FromUtf16(TerminatedText(data, kRegistryValueSize, dataLength / sizeof(char16_t)));
}

bool IsSerialPortDevice(const std::u16string& deviceId)
{
    return deviceId == u"*PNP0500" || deviceId == u"*PNP0501";
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

void EnumerateByRegistry(PortSystem& system, DiscoveryErrors& errors)
{
    const std::string enumMessage = "Could not read from HKLM\\Enum";
    WithSubkey(system, kLocalMachineKey, u"Enum", enumMessage, errors, [&](RegistryKey enumKey) {
        ForEachSubkey(system, enumKey, [&](const std::u16string& enumeratorName) {
            const std::string enumeratorMessage = enumMessage + "\\" + Utf8FromUtf16(enumeratorName);
            const int isUsb = enumeratorName == u"USBPORTS" ? 1 : 0;
            WithSubkey(system, enumKey, enumeratorName, enumeratorMessage, errors, [&](RegistryKey enumeratorKey) {
                ForEachSubkey(system, enumeratorKey, [&](const std::u16string& deviceId) {
                    if (!isUsb && !IsSerialPortDevice(deviceId)) return;
                    const std::string deviceMessage = enumeratorMessage + "\\" + Utf8FromUtf16(deviceId);
                    WithSubkey(system, enumeratorKey, deviceId, deviceMessage, errors,
                               [&](RegistryKey deviceKey) { ReadPortInstances(system, deviceKey, isUsb, errors); });
                });
            });
        });
    });
}

void ReadPortInstances(PortSystem& system, RegistryKey deviceKey, int isUsb, DiscoveryErrors& errors)
{
    ForEachSubkey(system, deviceKey, [&](const std::u16string& instanceName) {
        const std::string failure = "Could not read from HKLM\\Enum\\...\\" + Utf8FromUtf16(instanceName);
        WithSubkey(system, deviceKey, instanceName, failure, errors, [&](RegistryKey instanceKey) {
            const std::optional<std::string> portName = ReadValueText(system, instanceKey, u"PORTNAME");
            if (!portName) return;
            SSerInfo record;
            record.devicePath = DevicePathFor(*portName);
            record.portName = *portName;
            record.friendlyName = ReadValueText(system, instanceKey, u"FRIENDLYNAME").value_or(std::string());
            record.isUsb = isUsb;
            AddOrReplacePort(std::move(record));
        });
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
