// The operating-system calls that port discovery makes, one method per call, with the arguments the
// discovery walks choose. The Win32 binding only forwards them; host tests put a fake in its place.
// Buffers come back exactly as the system left them: terminating them is the caller's job.
#pragma once

#include <cstdint>

// System handles, opaque to the walks.
enum class DeviceInfoSet : std::uintptr_t {};
enum class FileHandle : std::uintptr_t {};
enum class RegistryKey : std::uintptr_t {};

// The system's invalid handle value, (HANDLE)-1, for device information sets and files alike.
constexpr DeviceInfoSet kInvalidDeviceInfoSet = static_cast<DeviceInfoSet>(~std::uintptr_t(0));
constexpr FileHandle kInvalidFileHandle = static_cast<FileHandle>(~std::uintptr_t(0));
// HKEY_LOCAL_MACHINE: the 32-bit value 0x80000002, sign-extended to the width of a handle.
constexpr RegistryKey kLocalMachineKey =
    static_cast<RegistryKey>(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(-0x7FFFFFFE)));

// The system's constants that the walks pass or test, by value (the binding checks them against the
// system headers).
constexpr long kErrorSuccess = 0;
constexpr unsigned long kErrorNoMoreItems = 259;
constexpr unsigned long kDigcfPresent = 0x02;
constexpr unsigned long kDigcfDeviceInterface = 0x10;
constexpr unsigned long kSpdrpDeviceDesc = 0;
constexpr unsigned long kSpdrpFriendlyName = 12;
constexpr unsigned long kSpdrpLocationInformation = 13;
constexpr unsigned long kVerPlatformWin32Nt = 2;
constexpr unsigned long kKeyRead = 0x20019;
constexpr unsigned long kGenericRead = 0x80000000;
constexpr unsigned long kGenericWrite = 0x40000000;
constexpr unsigned long kOpenExisting = 3;

struct OsVersion {
    unsigned long majorVersion = 0;
    unsigned long platformId = 0;
};

// Laid out as the system's SP_DEVICE_INTERFACE_DETAIL_DATA_W: a size field, which the binding sets to the
// size of the system structure's fixed part, then room for a device path of 256 characters and its zero.
struct InterfaceDetail {
    std::uint32_t systemSize;
    char16_t devicePath[257];
};

class PortSystem {
public:
    virtual ~PortSystem() = default;

    // GetVersionExA. False when the system refuses (see LastError).
    virtual bool GetOsVersion(OsVersion& version) = 0;

    // SetupDiGetClassDevsA on the COM-port interface class, no enumerator, no window.
    virtual DeviceInfoSet GetComPortDevices(unsigned long flags) = 0;
    // SetupDiEnumDeviceInterfaces on the COM-port interface class, no device filter. The binding keeps the
    // interface record it fills for the next detail call.
    virtual bool EnumComPortInterface(DeviceInfoSet devices, unsigned long memberIndex) = 0;
    // SetupDiGetDeviceInterfaceDetailW of the interface last enumerated, into detailSize bytes of detail,
    // no required-size output. The binding keeps the device record it fills (zeroed before every call)
    // for the property reads.
    virtual bool GetInterfaceDetail(DeviceInfoSet devices, InterfaceDetail& detail, unsigned long detailSize) = 0;
    // SetupDiGetDeviceRegistryPropertyW of the device of the last detail, no type or required-size output;
    // bufferSize in bytes.
    virtual bool GetDeviceProperty(DeviceInfoSet devices, unsigned long property, char16_t* buffer,
                                   unsigned long bufferSize) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void DestroyDeviceInfoList(DeviceInfoSet devices) = 0;

    // RegOpenKeyExW with no options. Returns the system's error code, 0 on success.
    virtual long OpenRegistryKey(RegistryKey parent, const char16_t* subKey, unsigned long access,
                                 RegistryKey& opened) = 0;
    // RegEnumKeyExW without class or time outputs. nameLength: the buffer's size in, the name's length out,
    // in characters.
    virtual long EnumRegistrySubkey(RegistryKey key, unsigned long index, char16_t* name, unsigned long& nameLength) = 0;
    // RegQueryValueExW without type output. dataLength: the buffer's size in, the bytes written out.
    virtual long QueryRegistryValue(RegistryKey key, const char16_t* valueName, char16_t* data, unsigned long& dataLength) = 0;
    // RegCloseKey.
    virtual void CloseRegistryKey(RegistryKey key) = 0;

    // CreateFileW of the path (UTF-8, as the port records carry it), without security attributes or template.
    virtual FileHandle OpenDevice(const char* path, unsigned long desiredAccess, unsigned long shareMode,
                                unsigned long creationDisposition, unsigned long flagsAndAttributes) = 0;
    // CloseHandle.
    virtual void CloseDevice(FileHandle file) = 0;

    // GetLastError.
    virtual unsigned long LastError() = 0;
};
