#include "ports/PortDiscovery.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>

#include "ports/DiscoverySupport.h"

namespace {

// The size field and room for a device path of 256 characters with its terminating zero: 518 bytes.
constexpr unsigned long kInterfaceDetailSize = offsetof(InterfaceDetail, devicePath) + sizeof(InterfaceDetail::devicePath);
static_assert(kInterfaceDetailSize == 518);

constexpr std::size_t kPropertySize = 256;

// The device installer lists ports by interface from Windows 2000 (version 5.0) on.
constexpr unsigned long kWindows2000Major = 5;

// A text property of the device of the last interface detail; nothing when it cannot be read.
std::optional<std::string> ReadDeviceProperty(PortSystem& system, DeviceInfoSet devices, unsigned long property)
{
    char16_t text[kPropertySize] = {};
    if (!system.GetDeviceProperty(devices, property, text, sizeof text)) return std::nullopt;
    return Utf8FromUtf16(TerminatedText(text, kPropertySize, kPropertySize));
}

// Where text ends in " (" ... ")", with " (" not at its start and no other ")" before the end: the
// position of " (". Otherwise npos.
std::size_t PortSuffixStart(const std::string& text)
{
    const std::size_t open = text.find(" (");
    const std::size_t close = text.find(')');
    if (open == std::string::npos || open == 0 || close != text.size() - 1) return std::string::npos;
    return open;
}

}  // namespace

DiscoveryErrors EnumerateSerialPorts(PortSystem& system)
{
    portList.RemoveAll();
    DiscoveryErrors errors;
    ChoosePortMethod(system, errors);

    // A candidate that cannot be opened now (absent, or held by a program) is dropped; the next one
    // moves into its index and is examined there.
    for (std::ptrdiff_t index = 0; index < portList.GetSize();) {
        const FileHandle port = system.OpenDevice(portList[index].devicePath.c_str(), kGenericRead | kGenericWrite,
                                                  0, kOpenExisting, 0);
        if (port == kInvalidFileHandle) {
            portList.RemoveAt(index);
            continue;
        }
        system.CloseDevice(port);
        CompletePortRecord(portList[index]);
        ++index;
    }
    return errors;
}

void ChoosePortMethod(PortSystem& system, DiscoveryErrors& errors)
{
    OsVersion version;
    if (!system.GetOsVersion(version)) {
        errors.push_back(WithErrorCode("Could not get OS version.", system.LastError()));
        return;
    }

    if (version.majorVersion >= kWindows2000Major) {
        EnumerateByDeviceInterface(system, errors);
    } else if (version.platformId == kVerPlatformWin32Nt) {
        EnumerateComCandidates();
    } else {
        EnumerateByRegistry(system, errors);
    }
}

void EnumerateByDeviceInterface(PortSystem& system, DiscoveryErrors& errors)
{
    const DeviceInfoSet devices = system.GetComPortDevices(kDigcfPresent | kDigcfDeviceInterface);
    if (devices == kInvalidDeviceInfoSet) {
        errors.push_back(WithErrorCode("SetupDiGetClassDevs failed.", system.LastError()));
        return;
    }
    const OwnedDeviceInfoSet ownedDevices(system, devices);

    InterfaceDetail detail;
    for (unsigned long memberIndex = 0;; ++memberIndex) {
        if (!system.EnumComPortInterface(devices, memberIndex)) {
            // Past a failure the walk cannot know which members remain: it ends here.
            const unsigned long error = system.LastError();
            if (error != kErrorNoMoreItems) errors.push_back(WithErrorCode("SetupDiEnumDeviceInterfaces failed.", error));
            return;
        }

        std::memset(detail.devicePath, 0, sizeof detail.devicePath);
        if (!system.GetInterfaceDetail(devices, detail, kInterfaceDetailSize)) {
            errors.push_back(WithErrorCode("SetupDiGetDeviceInterfaceDetail failed.", system.LastError()));
            continue;
        }
        constexpr std::size_t kPathCapacity = std::size(InterfaceDetail{}.devicePath);
        const std::string devicePath = Utf8FromUtf16(TerminatedText(detail.devicePath, kPathCapacity, kPathCapacity));

        const std::optional<std::string> friendlyName = ReadDeviceProperty(system, devices, kSpdrpFriendlyName);
        const std::optional<std::string> description =
            friendlyName ? ReadDeviceProperty(system, devices, kSpdrpDeviceDesc) : std::nullopt;
        const std::optional<std::string> location = ReadDeviceProperty(system, devices, kSpdrpLocationInformation);
        if (!friendlyName || !description) continue;

        SSerInfo record;
        record.devicePath = devicePath;
        record.friendlyName = *friendlyName;
        record.isUsb = location && location->compare(0, 3, "USB") == 0 ? 1 : 0;
        record.description = *description;
        portList.Add(record);
    }
}

void CompletePortRecord(SSerInfo& record)
{
    if (record.friendlyName.empty()) record.friendlyName = record.portName;

    if (record.description.empty()) {
        record.description = record.friendlyName;
        const std::size_t suffix = PortSuffixStart(record.description);
        if (suffix != std::string::npos) record.description.resize(suffix);
    }

    const std::size_t suffix = PortSuffixStart(record.friendlyName);
    if (suffix == std::string::npos) return;
    const std::size_t innerStart = suffix + 2;
    std::string inner = record.friendlyName.substr(innerStart, record.friendlyName.size() - 1 - innerStart);
    // A longer text names a mapping such as COM3->COM4, whose first name is the port.
    if (inner.size() > 6) {
        const std::size_t arrow = inner.find("->");
        inner = arrow == std::string::npos ? std::string() : inner.substr(0, arrow);
    }
    record.portName = inner;
    // Without a port name the candidate's own path, which the presence test has just opened, is the one
    // that still names the device.
    if (!inner.empty()) record.devicePath = DevicePathFor(inner);
}
