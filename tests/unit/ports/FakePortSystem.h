// A machine's serial-port information as the system reports it, with the system's failure codes, and a
// record of what discovery asked and what it left open.
#pragma once

#include <algorithm>
#include <codecvt>
#include <cstring>
#include <list>
#include <locale>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"
#include "ports/PortSystem.h"

using Strings = std::vector<std::string>;
using Text = std::optional<std::string>;

struct FakeInterface {
    std::string devicePath;
    Text friendlyName, description, location;
};

struct FakeKey {
    std::string name;
    std::list<FakeKey> subkeys;  // in the order the system enumerates them
    std::map<std::string, std::string> values;
    bool opens = true;
};

// Error codes: 2 file not found, 5 access denied, 13 invalid data, 122 insufficient buffer, 234 more data.
class FakePortSystem : public PortSystem {
public:
    unsigned long versionError = 0, classDevsError = 0;  // not 0: the call fails with it
    OsVersion version{6, kVerPlatformWin32Nt};
    std::vector<FakeInterface> interfaces;
    std::optional<unsigned long> enumFailureIndex;  // fails with 0x1F there
    FakeKey localMachine;
    std::set<std::string> openablePaths;
    bool writesTerminators = true;  // false: texts come as a careless driver or a raw value gives them

    std::set<std::vector<unsigned long>> openArguments;  // access, share mode, disposition, flags
    std::map<std::uintptr_t, const FakeKey*> openHandles;
    int strayReleases = 0;  // handles released that were not open

    FakeKey& Key(const Strings& path)  // under HKEY_LOCAL_MACHINE, made where missing
    {
        FakeKey* key = &localMachine;
        for (const std::string& name : path) {
            auto found = std::find_if(key->subkeys.begin(), key->subkeys.end(), [&](auto& k) { return k.name == name; });
            key = found != key->subkeys.end() ? &*found : &key->subkeys.emplace_back(FakeKey{name, {}, {}, true});
        }
        return *key;
    }
    bool EverythingReleased() const { return openHandles.empty() && strayReleases == 0; }

    bool GetOsVersion(OsVersion& reported) override { return reported = version, versionError == 0 || Fail(versionError); }
    DeviceInfoSet GetComPortDevices(unsigned long) override
    {
        return classDevsError ? (Fail(classDevsError), kInvalidDeviceInfoSet) : DeviceInfoSet(Hold(nullptr));
    }
    bool EnumComPortInterface(DeviceInfoSet devices, unsigned long index) override
    {
        if (!openHandles.count(std::uintptr_t(devices)) || enumFailureIndex == index) return Fail(0x1F);
        if (index >= interfaces.size()) return Fail(kErrorNoMoreItems);
        return enumerated = &interfaces[index], true;
    }
    bool GetInterfaceDetail(DeviceInfoSet, InterfaceDetail& detail, unsigned long size) override
    {
        detailed = enumerated;
        return Write(detailed->devicePath, detail.devicePath, (size - offsetof(InterfaceDetail, devicePath)) / 2) || Fail(122);
    }
    bool GetDeviceProperty(DeviceInfoSet, unsigned long property, char16_t* buffer, unsigned long size) override
    {
        const Text& text = property == kSpdrpFriendlyName ? detailed->friendlyName
                           : property == kSpdrpDeviceDesc ? detailed->description
                                                          : detailed->location;
        return text ? Write(*text, buffer, size / 2) || Fail(122) : Fail(13);
    }
    void DestroyDeviceInfoList(DeviceInfoSet devices) override { Release(std::uintptr_t(devices)); }
    long OpenRegistryKey(RegistryKey parent, const char16_t* wideName, unsigned long, RegistryKey& opened) override
    {
        const std::string name = Utf8(wideName);
        for (const FakeKey& subkey : Resolve(parent)->subkeys) {
            if (subkey.name == name && !subkey.opens) return 5;
            if (subkey.name == name) return opened = RegistryKey(Hold(&subkey)), kErrorSuccess;
        }
        return 2;
    }
    long EnumRegistrySubkey(RegistryKey key, unsigned long index, char16_t* name, unsigned long& length) override
    {
        const std::list<FakeKey>& subkeys = Resolve(key)->subkeys;
        if (index >= subkeys.size()) return kErrorNoMoreItems;
        const std::string& subkeyName = std::next(subkeys.begin(), long(index))->name;
        if (!Write(subkeyName, name, length)) return 234;
        return length = static_cast<unsigned long>(Utf16(subkeyName).size()), kErrorSuccess;
    }
    long QueryRegistryValue(RegistryKey key, const char16_t* valueName, char16_t* data, unsigned long& length) override
    {
        const auto& values = Resolve(key)->values;
        const auto value = values.find(Utf8(valueName));
        if (value == values.end()) return 2;
        if (!Write(value->second, data, length / 2)) return 234;
        return length = static_cast<unsigned long>(2 * (Utf16(value->second).size() + writesTerminators)), kErrorSuccess;
    }
    void CloseRegistryKey(RegistryKey key) override { Release(std::uintptr_t(key)); }
    FileHandle OpenDevice(const char* path, unsigned long access, unsigned long share, unsigned long disposition,
                          unsigned long flags) override
    {
        openArguments.insert({access, share, disposition, flags});
        return openablePaths.count(path) ? FileHandle(Hold(nullptr)) : (Fail(2), kInvalidFileHandle);
    }
    void CloseDevice(FileHandle file) override { Release(std::uintptr_t(file)); }
    unsigned long LastError() override { return lastError; }

private:
    bool Fail(unsigned long error) { return lastError = error, false; }
    // The machine's texts are written in UTF-8 here and given as the wide calls give them, converted by the
    // standard library rather than the program.
    static std::u16string Utf16(const std::string& text)
    {
        return std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>().from_bytes(text);
    }
    static std::string Utf8(const std::u16string& text)
    {
        return std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>().to_bytes(text);
    }
    // Capacity in characters.
    bool Write(const std::string& text, char16_t* buffer, unsigned long capacity) const
    {
        const std::u16string wide = Utf16(text);
        const std::size_t length = wide.size() + writesTerminators;
        return length <= capacity && std::memcpy(buffer, wide.c_str(), 2 * length);
    }
    std::uintptr_t Hold(const FakeKey* key) { return openHandles[nextHandle] = key, nextHandle++; }
    void Release(std::uintptr_t handle) { strayReleases += openHandles.erase(handle) == 0; }
    const FakeKey* Resolve(RegistryKey key) const
    {
        return key == kLocalMachineKey ? &localMachine : openHandles.at(std::uintptr_t(key));
    }

    unsigned long lastError = 0;
    const FakeInterface* enumerated = nullptr;
    const FakeInterface* detailed = nullptr;
    std::uintptr_t nextHandle = 0x100;
};
