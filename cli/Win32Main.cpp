// tarvik-cli on Windows: the dialog's serial line and port discovery, texts written for the console.
#include <windows.h>

#include "cli/Cli.h"
#include "cli/CliHost.h"
#include "cli/FileStreams.h"
#include "framework/Text.h"
#include "link/SerialChannel.h"
#include "link/Win32SerialLine.h"
#include "ports/PortDiscovery.h"
#include "ports/Win32PortSystem.h"

namespace {

HANDLE interruptEvent = nullptr;  // set by Ctrl-C; lives as long as the process

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    ::SetEvent(interruptEvent);
    return TRUE;
}

std::string OpenFailure(const std::string& port, DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return port + " is held by another program";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return port + ": no such port";
    default:
        return port + ": error " + std::to_string(error);
    }
}

// A console gets UTF-16; a pipe or a file gets UTF-8. False when the stream refused the text.
bool Write(DWORD stream, const std::string& utf8)
{
    const HANDLE handle = ::GetStdHandle(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const std::wstring wide = WideFromUtf8(utf8);
        return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    return ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) && written == utf8.size();
}

class Win32Host : public CliHost {
public:
    bool OpenPort(const std::string& port, std::string& failure) override
    {
        // A port named by its device path ("\\.\COM3") is opened as it is.
        if (OpenAndSetUp(line, port.rfind("\\\\", 0) == 0 ? port : DevicePathFor(port))) return true;
        failure = OpenFailure(port, ::GetLastError());
        return false;
    }
    SerialLine& Line() override { return line; }

    void ListPorts() override
    {
        Win32PortSystem system;
        // As the dialog's drop-down shows them; the system's texts are carried as UTF-8.
        for (const std::string& error : EnumerateSerialPorts(system)) Err("tarvik-cli: " + error + "\n");
        for (std::ptrdiff_t i = 0; i < portList.GetSize(); ++i) Out(PortEntryText(portList[i]) + "\n");
    }

    std::string Utf8FromProgramText(const std::string& text) override { return Utf8FromWide(WideFromProgramText(text)); }
    void Out(const std::string& text) override
    {
        if (outputFailed || Write(STD_OUTPUT_HANDLE, text)) return;
        outputFailed = true;
        const DWORD error = ::GetLastError();
        // A reader that has gone (a closed pipe) ends the run quietly.
        if (error != ERROR_NO_DATA && error != ERROR_BROKEN_PIPE)
            Err("tarvik-cli: standard output: error " + std::to_string(error) + "\n");
    }
    void Err(const std::string& text) override { Write(STD_ERROR_HANDLE, text); }
    bool OutputFailed() const override { return outputFailed; }

    std::unique_ptr<std::istream> OpenFile(const std::string& name) override
    {
        return ReadableFile(WideFromUtf8(name).c_str());
    }

    bool WriteWholeFile(const std::string& name, const std::string& bytes) override
    {
        const std::wstring path = WideFromUtf8(name);
        if (WrittenWhole(path.c_str(), bytes)) return true;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            ::DeleteFileW(path.c_str());
        return false;
    }

    void Pause(unsigned ms) override { ::WaitForSingleObject(interruptEvent, ms); }
    bool Interrupted() const override { return ::WaitForSingleObject(interruptEvent, 0) == WAIT_OBJECT_0; }

private:
    Win32SerialLine line;
    bool outputFailed = false;
};

}  // namespace

// The arguments as the user typed them, from the UTF-16 command line, carried as UTF-8.
int wmain(int argc, wchar_t** argv)
{
    interruptEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf8FromWide(argv[i]));
    Win32Host host;
    return RunCli(arguments, host);
}
