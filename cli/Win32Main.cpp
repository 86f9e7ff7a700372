// tarvik-cli on Windows: the dialog's serial line and port discovery, texts written for the console.
#include <windows.h>

#include "cli/Cli.h"
#include "cli/CliHost.h"
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

// "COM5" opens as \\.\COM5, which also reaches COM10 and above; a full device path is taken as it is.
std::string DevicePath(const std::string& port)
{
    return port.rfind("\\\\", 0) == 0 ? port : "\\\\.\\" + port;
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

// A console gets UTF-16; a pipe or a file gets UTF-8.
void Write(DWORD stream, const std::wstring& wide)
{
    const HANDLE handle = ::GetStdHandle(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        const std::string utf8 = Utf8FromWide(wide);
        ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

class Win32Host : public CliHost {
public:
    bool OpenPort(const std::string& port, std::string& failure) override
    {
        if (OpenAndSetUp(line, DevicePath(port))) return true;
        failure = OpenFailure(port, ::GetLastError());
        return false;
    }
    SerialLine& Line() override { return line; }

    void ListPorts() override
    {
        Win32PortSystem system;
        // As the dialog's drop-down shows them; the system's texts are carried as UTF-8.
        for (const std::string& error : EnumerateSerialPorts(system))
            Write(STD_ERROR_HANDLE, WideFromUtf8("tarvik-cli: " + error + "\n"));
        for (std::ptrdiff_t i = 0; i < portList.GetSize(); ++i)
            Write(STD_OUTPUT_HANDLE, WideFromUtf8(PortEntryText(portList[i]) + "\n"));
    }

    void Out(const std::string& text) override { Write(STD_OUTPUT_HANDLE, WideFromProgramText(text)); }
    void Err(const std::string& text) override { Write(STD_ERROR_HANDLE, WideFromProgramText(text)); }
    void OutUtf8(const std::string& text) override { Write(STD_OUTPUT_HANDLE, WideFromUtf8(text)); }
    std::string Utf8FromArgument(const std::string& word) const override
    {
        const int length = ::MultiByteToWideChar(CP_ACP, 0, word.data(), static_cast<int>(word.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, word.data(), static_cast<int>(word.size()), wide.data(), length);
        return Utf8FromWide(wide);
    }

    void Pause(unsigned ms) override { ::WaitForSingleObject(interruptEvent, ms); }
    bool Interrupted() const override { return ::WaitForSingleObject(interruptEvent, 0) == WAIT_OBJECT_0; }

private:
    Win32SerialLine line;
};

}  // namespace

int main(int argc, char** argv)
{
    interruptEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Win32Host host;
    return RunCli(std::vector<std::string>(argv + 1, argv + argc), host);
}
