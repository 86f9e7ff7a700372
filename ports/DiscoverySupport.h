// Helpers shared by the discovery walks: texts from system buffers, the error texts, handle ownership.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

#include "ports/PortDiscovery.h"
#include "ports/PortSystem.h"
#include "ports/SystemText.h"

// The text the system left in buffer. The system may leave it unterminated, so it is cut at length
// characters, and in any case before the buffer's last character, by writing the terminating zero there.
inline std::u16string TerminatedText(char16_t* buffer, std::size_t capacity, std::size_t length)
{
    buffer[std::min(length, capacity - 1)] = u'\0';
    return buffer;
}

// An error line with the system's error code.
inline std::string WithErrorCode(const std::string& message, unsigned long errorCode)
{
    char code[24];
    std::snprintf(code, sizeof code, "%lx", errorCode);
    return message + " (err=" + code + ")";
}

// Releases a system handle when the walk holding it leaves its scope, whichever way it leaves.
template <class Handle, void (PortSystem::*release)(Handle)>
class OwnedHandle {
public:
    OwnedHandle(PortSystem& system, Handle handle) : system(system), handle(handle) {}
    ~OwnedHandle() { (system.*release)(handle); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Handle Get() const { return handle; }

private:
    PortSystem& system;
    const Handle handle;
};

using OwnedDeviceInfoSet = OwnedHandle<DeviceInfoSet, &PortSystem::DestroyDeviceInfoList>;
using OwnedRegistryKey = OwnedHandle<RegistryKey, &PortSystem::CloseRegistryKey>;
