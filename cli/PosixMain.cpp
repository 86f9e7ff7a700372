// tarvik-cli on Linux: the POSIX serial line, the ports sysfs knows, UTF-8 on the terminal.
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/Cli.h"
#include "cli/CliHost.h"
#include "cli/FileStreams.h"
#include "link/PosixSerialLine.h"
#include "link/SerialChannel.h"
#include "ports/SysfsPorts.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where the machine's tree starts: "/" unless TARVIK_ROOT names another (the tests' private trees).
std::string Root()
{
    const char* root = std::getenv("TARVIK_ROOT");
    return root ? root : "/";
}

std::string LockDirectory()
{
    for (const char* directory : {"var/lock", "run/lock"})
        if (IsDirectory(Root() + "/" + directory)) return Root() + "/" + directory;
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
        for (const SysfsPort& port : ListSysfsPorts(Root())) {
            std::string text = port.devicePath;
            if (!port.usbId.empty()) text += "  USB " + port.usbId;
            for (const std::string* name : {&port.vendor, &port.product})
                if (!name->empty()) text += "  " + *name;
            for (const std::string& link : port.byId) text += "  " + link;
            Out(text + "\n");  // sysfs gives its names in UTF-8 already
        }
    }

    std::string Utf8FromProgramText(const std::string& text) override
    {
        std::string utf8(text.size() * 3 / 2 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char* out = utf8.data();
        std::size_t outLeft = utf8.size();
        if (toUtf8 == reinterpret_cast<iconv_t>(-1) || ::iconv(toUtf8, nullptr, nullptr, nullptr, nullptr) != 0 ||
            ::iconv(toUtf8, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
            return text;  // no converter or not code page 936: the bytes as they are
        utf8.resize(utf8.size() - outLeft);
        return utf8;
    }

    void Out(const std::string& text) override
    {
        if (outputFailed) return;
        if (Write(text, stdout)) return;
        outputFailed = true;
        if (errno == EPIPE) readerGone = true;
        else Err(std::string("tarvik-cli: standard output: ") + std::strerror(errno) + "\n");
    }
    void Err(const std::string& text) override { Write(text, stderr); }
    bool OutputFailed() const override { return outputFailed; }

    std::unique_ptr<std::istream> OpenFile(const std::string& name) override { return ReadableFile(name); }

    bool WriteWholeFile(const std::string& name, const std::string& bytes) override
    {
        if (WrittenWhole(name, bytes)) return true;
        struct stat info;
        if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(name.c_str());
        return false;
    }
    bool ReaderGone() const { return readerGone; }

    void Pause(unsigned ms) override
    {
        if (!interrupted) ::poll(nullptr, 0, static_cast<int>(ms));  // a signal ends it early
    }
    bool Interrupted() const override { return interrupted != 0; }

private:
    static bool Write(const std::string& text, std::FILE* stream)
    {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
    }

    PosixSerialLine line;
    iconv_t toUtf8;
    bool outputFailed = false;
    bool readerGone = false;
};

}  // namespace

int main(int argc, char** argv)
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;  // no SA_RESTART: a wait on the line ends at once
    sigemptyset(&action.sa_mask);
    for (int stop : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(stop, &action, nullptr);
    // A closed pipe is a failed write, so that the port and its lock file are released before the end.
    ::signal(SIGPIPE, SIG_IGN);
    int status = 0;
    bool readerGone = false;
    {
        PosixHost host;
        status = RunCli(std::vector<std::string>(argv + 1, argv + argc), host);
        readerGone = host.ReaderGone();
    }
    if (readerGone) {
        ::signal(SIGPIPE, SIG_DFL);  // ends as a writer to a closed pipe does, quietly
        ::raise(SIGPIPE);
    }
    return status;
}
