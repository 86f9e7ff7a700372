// Filling portList with the machine's usable serial ports.
#pragma once

#include <stdexcept>
#include <string>

#include "ports/SerInfo.h"

class PortSystem;

// Raised by discovery; what() is the message text the operator sees.
class PortDiscoveryError : public std::runtime_error {
public:
    explicit PortDiscoveryError(const std::string& message) : std::runtime_error(message) {}
};

// Replaces portList with the ports that can be opened now. Raises PortDiscoveryError.
void EnumerateSerialPorts(PortSystem& system);
