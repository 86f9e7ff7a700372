#include "ports/Win32PortSystem.h"

#include "framework/Text.h"

#include <cstddef>
#include <cstdint>

namespace {

// GUID_DEVINTERFACE_COMPORT, by value: not every import library carries it.
const GUID kComPortInterfaceClass = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kDigcfPresent == DIGCF_PRESENT && kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(kSpdrpDeviceDesc == SPDRP_DEVICEDESC && kSpdrpFriendlyName == SPDRP_FRIENDLYNAME &&
              kSpdrpLocationInformation == SPDRP_LOCATION_INFORMATION);
static_assert(kVerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);
static_assert(kKeyRead == KEY_READ);
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE && kOpenExisting == OPEN_EXISTING);
static_assert(offsetof(InterfaceDetail, devicePath) == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));
static_assert(alignof(InterfaceDetail) >= alignof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
static_assert(sizeof(char16_t) == sizeof(WCHAR));
static_assert(sizeof(DeviceInfoSet) == sizeof(HDEVINFO) && sizeof(RegistryKey) == sizeof(HKEY) &&
              sizeof(FileHandle) == sizeof(HANDLE));

template <class Native, class Handle>
Native ToNative(Handle handle)
{
    return reinterpret_cast<Native>(static_cast<std::uintptr_t>(handle));
}

template <class Handle, class Native>
Handle FromNative(Native native)
{
    return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(native));
}

// The system's wide characters are the core's UTF-16 code units.
wchar_t* Wide(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}
const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

}  // namespace

bool Win32PortSystem::GetOsVersion(OsVersion& version)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return false;
    version.majorVersion = info.dwMajorVersion;
    version.platformId = info.dwPlatformId;
    return true;
}

DeviceInfoSet Win32PortSystem::GetComPortDevices(unsigned long flags)
{
    return FromNative<DeviceInfoSet>(SetupDiGetClassDevsA(&kComPortInterfaceClass, nullptr, nullptr, flags));
}

bool Win32PortSystem::EnumComPortInterface(DeviceInfoSet devices, unsigned long memberIndex)
{
    interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    return SetupDiEnumDeviceInterfaces(ToNative<HDEVINFO>(devices), nullptr, &kComPortInterfaceClass, memberIndex,
                                       &interfaceData) != FALSE;
}

bool Win32PortSystem::GetInterfaceDetail(DeviceInfoSet devices, InterfaceDetail& detail, unsigned long detailSize)
{
    // The system checks the size field against its own structure: 8 on x64, 6 on x86.
    detail.systemSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    deviceData = {};
    deviceData.cbSize = sizeof deviceData;
    return SetupDiGetDeviceInterfaceDetailW(ToNative<HDEVINFO>(devices), &interfaceData,
                                            reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(&detail), detailSize,
                                            nullptr, &deviceData) != FALSE;
}

bool Win32PortSystem::GetDeviceProperty(DeviceInfoSet devices, unsigned long property, char16_t* buffer,
                                        unsigned long bufferSize)
{
    return SetupDiGetDeviceRegistryPropertyW(ToNative<HDEVINFO>(devices), &deviceData, property, nullptr,
                                             reinterpret_cast<BYTE*>(buffer), bufferSize, nullptr) != FALSE;
}

void Win32PortSystem::DestroyDeviceInfoList(DeviceInfoSet devices)
{
    SetupDiDestroyDeviceInfoList(ToNative<HDEVINFO>(devices));
}

long Win32PortSystem::OpenRegistryKey(RegistryKey parent, const char16_t* subKey, unsigned long access,
                                      RegistryKey& opened)
{
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(ToNative<HKEY>(parent), Wide(subKey), 0, access, &key);
    opened = FromNative<RegistryKey>(key);
    return result;
}

long Win32PortSystem::EnumRegistrySubkey(RegistryKey key, unsigned long index, char16_t* name, unsigned long& nameLength)
{
    return RegEnumKeyExW(ToNative<HKEY>(key), index, Wide(name), &nameLength, nullptr, nullptr, nullptr, nullptr);
}

long Win32PortSystem::QueryRegistryValue(RegistryKey key, const char16_t* valueName, char16_t* data,
                                         unsigned long& dataLength)
{
    return RegQueryValueExW(ToNative<HKEY>(key), Wide(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                            &dataLength);
}

void Win32PortSystem::CloseRegistryKey(RegistryKey key)
{
    RegCloseKey(ToNative<HKEY>(key));
}

FileHandle Win32PortSystem::OpenDevice(const char* path, unsigned long desiredAccess, unsigned long shareMode,
                                       unsigned long creationDisposition, unsigned long flagsAndAttributes)
{
    return FromNative<FileHandle>(
        CreateFileW(WideFromUtf8(path).c_str(), desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes,
                    nullptr));
}

void Win32PortSystem::CloseDevice(FileHandle file)
{
    CloseHandle(ToNative<HANDLE>(file));
}

unsigned long Win32PortSystem::LastError()
{
    return GetLastError();
}
