#include "ports/SysfsPorts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// sysfs attributes are a line or two; nothing longer is read, whatever the tree holds.
constexpr std::size_t kAttributeLimit = 4096;

// The first line of a sysfs attribute; empty when it is missing or is not a regular file (a FIFO or a
// device node planted in the tree is never opened for reading, so it can neither block nor stream).
std::string Attribute(const fs::path& path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) return "";
    struct stat info {};
    std::string text(kAttributeLimit, '\0');
    ssize_t length = 0;
    if (::fstat(file, &info) == 0 && S_ISREG(info.st_mode)) length = ::read(file, text.data(), text.size());
    ::close(file);
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text.substr(0, text.find('\n'));
}

bool Exists(const fs::path& path)
{
    std::error_code error;
    return fs::exists(path, error);
}

// The entries of a directory; none when it cannot be read, and an entry that fails is skipped.
std::vector<fs::path> Entries(const fs::path& directory)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error))
        entries.push_back(entry->path());
    return entries;
}

// by-id link name -> the tty name it leads to.
std::multimap<std::string, std::string> ByIdLinks(const fs::path& directory)
{
    std::multimap<std::string, std::string> links;
    for (const fs::path& entry : Entries(directory)) {
        std::error_code error;
        const fs::path target = fs::read_symlink(entry, error);
        if (!error) links.emplace(target.filename().string(), "/dev/serial/by-id/" + entry.filename().string());
    }
    return links;
}

void DescribeUsb(const fs::path& device, const fs::path& top, SysfsPort& port)
{
    std::error_code error;
    // canonical fails on a symlink loop, which ends the walk with no USB names.
    for (fs::path dir = fs::canonical(device, error); !error && dir != top && dir.has_relative_path();
         dir = dir.parent_path()) {
        if (!Exists(dir / "idVendor")) continue;
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
    for (const fs::path& entry : Entries(base / "sys/class/tty")) {
        const std::string name = entry.filename().string();
        if (!Exists(entry / "device")) continue;  // virtual terminals and pseudo-terminals have none
        // A UART slot the kernel probed and found empty reports port type 0.
        if (Exists(entry / "type") && Attribute(entry / "type") == "0") continue;
        SysfsPort port;
        port.devicePath = "/dev/" + name;
        DescribeUsb(entry / "device", sys, port);
        const auto named = links.equal_range(name);
        for (auto link = named.first; link != named.second; ++link) port.byId.push_back(link->second);
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SysfsPort& a, const SysfsPort& b) { return a.devicePath < b.devicePath; });
    return ports;
}
