#include "ports/SysfsPorts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute; empty when it is missing.
std::string Attribute(const fs::path& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// by-id link name -> the tty name it leads to.
std::multimap<std::string, std::string> ByIdLinks(const fs::path& directory)
{
    std::multimap<std::string, std::string> links;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error) links.emplace(target.filename().string(), "/dev/serial/by-id/" + entry.path().filename().string());
    }
    return links;
}

void DescribeUsb(const fs::path& device, const fs::path& top, SysfsPort& port)
{
    std::error_code error;
    for (fs::path dir = fs::canonical(device, error); !error && dir != top && dir.has_relative_path();
         dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor")) continue;
        port.usbId = Attribute(dir / "idVendor") + ":" + Attribute(dir / "idProduct");
        port.vendor = Attribute(dir / "manufacturer");
        port.product = Attribute(dir / "product");
        return;
    }
}

}  // namespace

std::vector<SysfsPort> ListSysfsPorts(const std::string& root)
{
    const fs::path base(root);
    const std::multimap<std::string, std::string> links = ByIdLinks(base / "dev/serial/by-id");
    std::error_code noSys;
    const fs::path sys = fs::canonical(base / "sys", noSys);
    std::vector<SysfsPort> ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(base / "sys/class/tty", error)) {
        const std::string name = entry.path().filename().string();
        const fs::path device = entry.path() / "device";
        if (!fs::exists(device)) continue;  // virtual terminals and pseudo-terminals have none
        // A UART slot the kernel probed and found empty reports port type 0.
        if (fs::exists(entry.path() / "type") && Attribute(entry.path() / "type") == "0") continue;
        SysfsPort port;
        port.devicePath = "/dev/" + name;
        DescribeUsb(device, sys, port);
        const auto named = links.equal_range(name);
        for (auto link = named.first; link != named.second; ++link) port.byId.push_back(link->second);
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SysfsPort& a, const SysfsPort& b) { return a.devicePath < b.devicePath; });
    return ports;
}
