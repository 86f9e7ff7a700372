// The serial line over a Win32 COM handle opened for overlapped I/O. Every operation ends its own I/O
// before it returns: nothing is left in flight on the handle, its buffer or its event.
#pragma once

#include <windows.h>

#include "link/SerialLine.h"

class Win32SerialLine : public SerialLine {
public:
    Win32SerialLine() = default;
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;
    ~Win32SerialLine() override;

    bool Open(const std::string& devicePath) override;
    bool SetQueueSizes() override;
    bool SetTimeouts() override;
    bool GetLineState() override;
    bool SetLineState() override;
    bool Purge() override;
    bool Close() override;
    bool Write(const std::uint8_t* bytes, std::size_t length) override;
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) override;
    std::size_t ReadArrived(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs) override;
    // An open COM handle refuses a status query or a write outright only when its device has gone.
    bool Lost() const override { return lost; }

private:
    // The bytes in the input queue now (at most capacity); 0 when the status query fails.
    std::size_t ReadQueued(std::uint8_t* buffer, std::size_t capacity);

    // INVALID_HANDLE_VALUE whenever no port is open, also after a close: a stale value could name
    // whatever object the system hands that number to next.
    HANDLE port = INVALID_HANDLE_VALUE;
    // The line state GetLineState read, which SetLineState changes and writes back.
    DCB lineState{};
    bool lost = false;
};
