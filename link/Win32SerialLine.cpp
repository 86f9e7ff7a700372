#include "link/Win32SerialLine.h"

#include <algorithm>

#include "framework/Text.h"

namespace {

constexpr DWORD kQueueSize = 2048;
constexpr DWORD kWriteWaitMs = 1000;
constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;

// Cancels an operation that is still pending and waits until the system has let go of its buffer and
// OVERLAPPED; the bytes it moved before the cancel still count. CancelIo cancels all of this thread's
// I/O on the port, which is just this operation: every transfer is issued on the one UI thread.
DWORD CancelAndWaitOut(HANDLE port, OVERLAPPED& overlapped)
{
    ::CancelIo(port);
    DWORD transferred = 0;
    ::GetOverlappedResult(port, &overlapped, &transferred, TRUE);
    return transferred;
}

// A manual-reset event for one overlapped operation, closed when the operation is over.
class OperationEvent {
public:
    OperationEvent() : handle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    OperationEvent(const OperationEvent&) = delete;
    OperationEvent& operator=(const OperationEvent&) = delete;
    ~OperationEvent()
    {
        if (handle) ::CloseHandle(handle);
    }
    HANDLE get() const { return handle; }

private:
    HANDLE handle;
};

}  // namespace

Win32SerialLine::~Win32SerialLine()
{
    if (port != INVALID_HANDLE_VALUE) ::CloseHandle(port);
}

bool Win32SerialLine::Open(const std::string& devicePath)
{
    port = ::CreateFileW(WideFromUtf8(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    lost = false;
    return port != INVALID_HANDLE_VALUE;
}

bool Win32SerialLine::SetQueueSizes()
{
    return ::SetupComm(port, kQueueSize, kQueueSize);
}

bool Win32SerialLine::SetTimeouts()
{
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 500;
    timeouts.WriteTotalTimeoutConstant = 2000;
    return ::SetCommTimeouts(port, &timeouts);
}

bool Win32SerialLine::GetLineState()
{
    lineState = {};
    lineState.DCBlength = sizeof lineState;
    return ::GetCommState(port, &lineState);
}

bool Win32SerialLine::SetLineState()
{
    lineState.BaudRate = CBR_9600;
    lineState.ByteSize = 8;
    lineState.Parity = NOPARITY;
    lineState.StopBits = ONESTOPBIT;
    lineState.fBinary = TRUE;
    lineState.fParity = FALSE;
    lineState.fErrorChar = FALSE;
    lineState.fNull = FALSE;
    lineState.fAbortOnError = FALSE;
    lineState.fOutX = FALSE;
    lineState.fInX = FALSE;
    lineState.fOutxCtsFlow = FALSE;
    lineState.fOutxDsrFlow = FALSE;
    lineState.fDsrSensitivity = FALSE;
    // Enabled or disabled lines stay as the adapter wants them; only a handshake would gate the bytes.
    if (lineState.fDtrControl == DTR_CONTROL_HANDSHAKE) lineState.fDtrControl = DTR_CONTROL_ENABLE;
    if (lineState.fRtsControl == RTS_CONTROL_HANDSHAKE) lineState.fRtsControl = RTS_CONTROL_ENABLE;
    return ::SetCommState(port, &lineState);
}

bool Win32SerialLine::Purge()
{
    return ::PurgeComm(port, kPurgeBoth);
}

bool Win32SerialLine::Close()
{
    if (!::CloseHandle(port)) return false;
    port = INVALID_HANDLE_VALUE;
    return true;
}

bool Win32SerialLine::Write(const std::uint8_t* bytes, std::size_t length)
{
    if (port == INVALID_HANDLE_VALUE) return false;
    DWORD errors = 0;
    ::ClearCommError(port, &errors, nullptr);
    OperationEvent done;
    if (!done.get()) return false;
    ::PurgeComm(port, kPurgeBoth);

    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.get();
    if (!::WriteFile(port, bytes, static_cast<DWORD>(length), nullptr, &overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            lost = true;
            return false;
        }
        if (::WaitForSingleObject(done.get(), kWriteWaitMs) != WAIT_OBJECT_0) {
            CancelAndWaitOut(port, overlapped);
            return false;
        }
    }
    DWORD written = 0;
    return ::GetOverlappedResult(port, &overlapped, &written, FALSE) && written == length;
}

std::size_t Win32SerialLine::ReadQueued(std::uint8_t* buffer, std::size_t capacity)
{
    DWORD errors = 0;
    COMSTAT status = {};
    if (!::ClearCommError(port, &errors, &status)) {
        lost = true;
        return 0;
    }

    DWORD received = 0;
    // Windows completes a read of what waits at once; Wine leaves a read of an empty queue pending, so
    // none is started when nothing waits.
    if (status.cbInQue > 0) {
        OperationEvent done;
        if (done.get()) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = done.get();
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, capacity));
            if (::ReadFile(port, buffer, wanted, nullptr, &overlapped))
                ::GetOverlappedResult(port, &overlapped, &received, FALSE);
            else if (::GetLastError() == ERROR_IO_PENDING)
                received = CancelAndWaitOut(port, overlapped);
        }
    }
    return received;
}

std::size_t Win32SerialLine::ReadWaiting(std::uint8_t* buffer, std::size_t capacity)
{
    if (port == INVALID_HANDLE_VALUE) return 0;
    const std::size_t received = ReadQueued(buffer, capacity);
    ::PurgeComm(port, kPurgeBoth);
    return received;
}

std::size_t Win32SerialLine::ReadArrived(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs)
{
    if (port == INVALID_HANDLE_VALUE) return 0;
    const DWORD start = ::GetTickCount();
    for (;;) {
        const std::size_t received = ReadQueued(buffer, capacity);
        if (received > 0 || ::GetTickCount() - start >= waitMs) return received;
        ::Sleep(1);
    }
}
