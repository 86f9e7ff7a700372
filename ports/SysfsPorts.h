// The machine's serial ports as Linux describes them in sysfs and /dev/serial/by-id, found without
// opening any of them.
#pragma once

#include <string>
#include <vector>

struct SysfsPort {
    std::string devicePath;          // "/dev/ttyUSB0"
    std::string usbId;               // "0403:6001" for a USB adapter, else empty
    std::string vendor;              // the USB device's manufacturer and product names, when it gives them
    std::string product;
    std::vector<std::string> byId;   // the /dev/serial/by-id links that lead to it
};

// Every tty with a device behind it, by name, except UART slots the kernel found no UART in. root is
// where sys/ and dev/ are looked up ("/" on a running machine).
std::vector<SysfsPort> ListSysfsPorts(const std::string& root);
