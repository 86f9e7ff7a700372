// tarvik-cli on Linux: the POSIX serial line, the ports sysfs knows, UTF-8 on the terminal.
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/Cli.h"
#include "cli/CliHost.h"
#include "link/PosixSerialLine.h"
#include "link/SerialChannel.h"
#include "ports/SysfsPorts.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

bool IsDirectory(const char* path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

std::string LockDirectory()
{
    for (const char* directory : {"/var/lock", "/run/lock"})
        if (IsDirectory(directory)) return directory;
    return "";
}

class PosixHost : public CliHost {
public:
    PosixHost() : line(LockDirectory()), toUtf8(::iconv_open("UTF-8", "CP936")) {}
    PosixHost(const PosixHost&) = delete;
    PosixHost& operator=(const PosixHost&) = delete;
    ~PosixHost() override
    {
        if (toUtf8 != reinterpret_cast<iconv_t>(-1)) ::iconv_close(toUtf8);
    }

    bool OpenPort(const std::string& port, std::string& failure) override
    {
        if (OpenAndSetUp(line, port)) return true;
        failure = line.OpenFailure().empty() ? port + ": the line settings were refused" : line.OpenFailure();
        return false;
    }
    SerialLine& Line() override { return line; }

    void ListPorts() override
    {
        const char* root = std::getenv("TARVIK_ROOT");
        for (const SysfsPort& port : ListSysfsPorts(root ? root : "/")) {
            std::string text = port.devicePath;
            if (!port.usbId.empty()) text += "  USB " + port.usbId;
            for (const std::string* name : {&port.vendor, &port.product})
                if (!name->empty()) text += "  " + *name;
            for (const std::string& link : port.byId) text += "  " + link;
            // sysfs gives its names in UTF-8 already.
            std::fputs((text + "\n").c_str(), stdout);
        }
    }

    void Out(const std::string& text) override { Write(text, stdout); }
    void Err(const std::string& text) override { Write(text, stderr); }
    void OutUtf8(const std::string& text) override
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    std::string Utf8FromArgument(const std::string& word) const override { return word; }

    void Pause(unsigned ms) override
    {
        if (!interrupted) ::poll(nullptr, 0, static_cast<int>(ms));  // a signal ends it early
    }
    bool Interrupted() const override { return interrupted != 0; }

private:
    void Write(const std::string& text, std::FILE* stream)
    {
        std::string utf8(text.size() * 3 / 2 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char* out = utf8.data();
        std::size_t outLeft = utf8.size();
        if (toUtf8 == reinterpret_cast<iconv_t>(-1) ||
            ::iconv(toUtf8, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            std::fputs(text.c_str(), stream);  // no converter or not code page 936: the bytes as they are
        } else {
            std::fwrite(utf8.data(), 1, utf8.size() - outLeft, stream);
        }
        std::fflush(stream);
    }

    PosixSerialLine line;
    iconv_t toUtf8;
};

}  // namespace

int main(int argc, char** argv)
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;  // no SA_RESTART: a wait on the line ends at once
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    PosixHost host;
    return RunCli(std::vector<std::string>(argv + 1, argv + argc), host);
}
