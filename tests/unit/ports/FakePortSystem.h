// A machine's serial-port information as the system reports it, with the system's failure codes, and a
// record of what discovery asked and what it left open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"
#include "ports/PortSystem.h"

using Strings = std::vector<std::string>;

constexpr unsigned long kErrorFileNotFound = 2;
constexpr unsigned long kErrorAccessDenied = 5;
constexpr unsigned long kErrorInvalidData = 13;
constexpr unsigned long kErrorInsufficientBuffer = 122;
constexpr unsigned long kErrorMoreData = 234;

struct FakeInterface {
    std::string devicePath;
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDescription;
    std::optional<std::string> location;
};

struct FakeRegistryKey {
    std::string name;
    std::list<FakeRegistryKey> subkeys;  // in the order the system enumerates them
    std::map<std::string, std::string> values;
    bool opens = true;
};

class FakePortSystem : public PortSystem {
public:
    // The machine.
    bool versionSucceeds = true;
    OsVersion version{6, kVerPlatformWin32Nt};
    std::vector<FakeInterface> interfaces;
    unsigned long classDevsError = 0;  // not 0: the device information set cannot be made
    std::optional<unsigned long> enumFailureIndex;
    unsigned long enumFailureError = 0;
    FakeRegistryKey localMachine;
    std::set<std::string> openablePaths;
    // Whether texts come with their terminating zero. Without it they are written as they stand, as a
    // value stored without one, or a careless driver, gives them.
    bool writesTerminators = true;

    // What discovery did.
    std::vector<std::string> calls;  // device-installer and version calls, in order
    std::vector<std::string> presenceOpens;
    std::set<std::vector<unsigned long>> presenceArguments;  // access, share mode, disposition, flags
    std::set<unsigned long> registryAccess;

    // The key under HKEY_LOCAL_MACHINE at path, made where missing.
    FakeRegistryKey& Key(const std::vector<std::string>& path)
    {
        FakeRegistryKey* key = &localMachine;
        for (const std::string& name : path) {
            auto found = key->subkeys.begin();
            while (found != key->subkeys.end() && found->name != name) ++found;
            key = found != key->subkeys.end() ? &*found : &key->subkeys.emplace_back(FakeRegistryKey{name, {}, {}, true});
        }
        return *key;
    }

    bool EverythingReleased() const { return openHandles.empty() && strayReleases == 0; }

    bool GetOsVersion(OsVersion& reported) override
    {
        calls.push_back("version");
        if (versionSucceeds) reported = version;
        return versionSucceeds || Fail(kErrorInvalidData);
    }

    DeviceInfoSet GetComPortDevices(unsigned long flags) override
    {
        calls.push_back("class devices " + std::to_string(flags));
        if (classDevsError != 0) {
            lastError = classDevsError;
            return kInvalidDeviceInfoSet;
        }
        return static_cast<DeviceInfoSet>(Hold(nullptr));
    }

    bool EnumComPortInterface(DeviceInfoSet devices, unsigned long memberIndex) override
    {
        calls.push_back("interface " + std::to_string(memberIndex));
        if (!Holds(devices)) return Fail(kErrorInvalidData);
        if (enumFailureIndex && memberIndex == *enumFailureIndex) return Fail(enumFailureError);
        if (memberIndex >= interfaces.size()) return Fail(kErrorNoMoreItems);
        enumerated = &interfaces[memberIndex];
        return true;
    }

    bool GetInterfaceDetail(DeviceInfoSet devices, InterfaceDetail& detail, unsigned long detailSize) override
    {
        calls.push_back("detail");
        if (!Holds(devices) || !enumerated) return Fail(kErrorInvalidData);
        const unsigned long room = detailSize - static_cast<unsigned long>(offsetof(InterfaceDetail, devicePath));
        if (!WriteText(enumerated->devicePath, detail.devicePath, room)) return Fail(kErrorInsufficientBuffer);
        detailed = enumerated;
        return true;
    }

    bool GetDeviceProperty(DeviceInfoSet devices, unsigned long property, char* buffer, unsigned long bufferSize) override
    {
        calls.push_back("property " + std::to_string(property));
        if (!Holds(devices) || !detailed) return Fail(kErrorInvalidData);
        const std::optional<std::string>& text = property == kSpdrpFriendlyName ? detailed->friendlyName
                                               : property == kSpdrpDeviceDesc   ? detailed->deviceDescription
                                               : property == kSpdrpLocationInformation ? detailed->location
                                                                                         : std::nullopt;
        if (!text) return Fail(kErrorInvalidData);
        if (!WriteText(*text, buffer, bufferSize)) return Fail(kErrorInsufficientBuffer);
        return true;
    }

    void DestroyDeviceInfoList(DeviceInfoSet devices) override
    {
        calls.push_back("destroy");
        Release(static_cast<std::uintptr_t>(devices));
    }

    long OpenRegistryKey(RegistryKey parent, const char* subKey, unsigned long access, RegistryKey& opened) override
    {
        registryAccess.insert(access);
        const FakeRegistryKey* parentKey = Resolve(parent);
        if (!parentKey) return kErrorInvalidData;
        for (const FakeRegistryKey& subkey : parentKey->subkeys) {
            if (subkey.name != subKey) continue;
            if (!subkey.opens) return kErrorAccessDenied;
            opened = static_cast<RegistryKey>(Hold(&subkey));
            return kErrorSuccess;
        }
        return kErrorFileNotFound;
    }

    long EnumRegistrySubkey(RegistryKey key, unsigned long index, char* name, unsigned long& nameLength) override
    {
        const FakeRegistryKey* parent = Resolve(key);
        if (!parent) return kErrorInvalidData;
        if (index >= parent->subkeys.size()) return kErrorNoMoreItems;
        const std::string& subkeyName = std::next(parent->subkeys.begin(), static_cast<std::ptrdiff_t>(index))->name;
        if (!WriteText(subkeyName, name, nameLength)) return kErrorMoreData;
        nameLength = static_cast<unsigned long>(subkeyName.size());
        return kErrorSuccess;
    }

    long QueryRegistryValue(RegistryKey key, const char* valueName, char* data, unsigned long& dataLength) override
    {
        const FakeRegistryKey* owner = Resolve(key);
        if (!owner) return kErrorInvalidData;
        const auto value = owner->values.find(valueName);
        if (value == owner->values.end()) return kErrorFileNotFound;
        if (!WriteText(value->second, data, dataLength)) return kErrorMoreData;
        dataLength = static_cast<unsigned long>(value->second.size() + (writesTerminators ? 1 : 0));
        return kErrorSuccess;
    }

    void CloseRegistryKey(RegistryKey key) override { Release(static_cast<std::uintptr_t>(key)); }

    FileHandle OpenDevice(const char* path, unsigned long desiredAccess, unsigned long shareMode,
                          unsigned long creationDisposition, unsigned long flagsAndAttributes) override
    {
        presenceOpens.push_back(path);
        presenceArguments.insert({desiredAccess, shareMode, creationDisposition, flagsAndAttributes});
        if (openablePaths.count(path) == 0) {
            lastError = kErrorFileNotFound;
            return kInvalidFileHandle;
        }
        return static_cast<FileHandle>(Hold(nullptr));
    }

    void CloseDevice(FileHandle file) override { Release(static_cast<std::uintptr_t>(file)); }

    unsigned long LastError() override { return lastError; }

private:
    bool Fail(unsigned long error)
    {
        lastError = error;
        return false;
    }

    // Copies text into a buffer of capacity bytes, with its terminating zero when the system writes one.
    bool WriteText(const std::string& text, char* buffer, unsigned long capacity) const
    {
        const std::size_t length = text.size() + (writesTerminators ? 1 : 0);
        if (length > capacity) return false;
        std::memcpy(buffer, text.data(), length);
        return true;
    }

    // Every open handle, with the registry key it stands for (none for a device or a device information set).
    std::uintptr_t Hold(const FakeRegistryKey* key)
    {
        openHandles[nextHandle] = key;
        return nextHandle++;
    }
    bool Holds(DeviceInfoSet devices) const { return openHandles.count(static_cast<std::uintptr_t>(devices)) != 0; }
    void Release(std::uintptr_t handle)
    {
        if (openHandles.erase(handle) == 0) ++strayReleases;
    }
    const FakeRegistryKey* Resolve(RegistryKey key) const
    {
        if (key == kLocalMachineKey) return &localMachine;
        const auto open = openHandles.find(static_cast<std::uintptr_t>(key));
        return open == openHandles.end() ? nullptr : open->second;
    }

    unsigned long lastError = 0;
    int strayReleases = 0;  // handles released that were not open
    std::map<std::uintptr_t, const FakeRegistryKey*> openHandles;
    const FakeInterface* enumerated = nullptr;
    const FakeInterface* detailed = nullptr;
    std::uintptr_t nextHandle = 0x100;
};

// Runs a discovery step on an empty list and returns its error text, empty when it raised none.
inline std::string ErrorOf(void (*step)(PortSystem&), FakePortSystem& system)
{
    portList.RemoveAll();
    try {
        step(system);
    } catch (const PortDiscoveryError& error) {
        return error.what();
    }
    return std::string();
}

inline std::string EnumerateReportingError(FakePortSystem& system)
{
    return ErrorOf(EnumerateSerialPorts, system);
}

inline std::vector<std::string> PortNames()
{
    std::vector<std::string> names;
    for (std::ptrdiff_t index = 0; index < portList.GetSize(); ++index) names.push_back(portList[index].portName);
    return names;
}

inline std::vector<std::string> EntryTexts()
{
    std::vector<std::string> texts;
    for (std::ptrdiff_t index = 0; index < portList.GetSize(); ++index) texts.push_back(PortEntryText(portList[index]));
    return texts;
}
