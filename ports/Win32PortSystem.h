// Port discovery's system calls on Windows: each method forwards to its one Win32 call.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "ports/PortSystem.h"

class Win32PortSystem : public PortSystem {
public:
    Win32PortSystem() = default;

    bool GetOsVersion(OsVersion& version) override;

    DeviceInfoSet GetComPortDevices(unsigned long flags) override;
    bool EnumComPortInterface(DeviceInfoSet devices, unsigned long memberIndex) override;
    bool GetInterfaceDetail(DeviceInfoSet devices, InterfaceDetail& detail, unsigned long detailSize) override;
    bool GetDeviceProperty(DeviceInfoSet devices, unsigned long property, char16_t* buffer,
                           unsigned long bufferSize) override;
    void DestroyDeviceInfoList(DeviceInfoSet devices) override;

    long OpenRegistryKey(RegistryKey parent, const char16_t* subKey, unsigned long access, RegistryKey& opened) override;
    long EnumRegistrySubkey(RegistryKey key, unsigned long index, char16_t* name, unsigned long& nameLength) override;
    long QueryRegistryValue(RegistryKey key, const char16_t* valueName, char16_t* data, unsigned long& dataLength) override;
    void CloseRegistryKey(RegistryKey key) override;

    FileHandle OpenDevice(const char* path, unsigned long desiredAccess, unsigned long shareMode,
                          unsigned long creationDisposition, unsigned long flagsAndAttributes) override;
    void CloseDevice(FileHandle file) override;

    unsigned long LastError() override;

private:
    // The records one device-installer call fills for the next: the interface last enumerated, and the
    // device its detail named.
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    SP_DEVINFO_DATA deviceData{};
};
