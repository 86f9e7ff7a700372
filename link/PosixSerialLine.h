// The serial line over a POSIX terminal device (termios). Held exclusively while open, by all three
// conventions: TIOCEXCL keeps other opens out (except root's), an flock on the device keeps out the
// programs that take one (picocom and others), and a UUCP lock file those that honour that convention.
#pragma once

#include <termios.h>

#include <string>

#include "link/SerialLine.h"

class PosixSerialLine : public SerialLine {
public:
    // lockDirectory: where the UUCP lock files live; empty for none.
    explicit PosixSerialLine(std::string lockDirectory) : lockDirectory(std::move(lockDirectory)) {}
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;
    ~PosixSerialLine() override;

    bool Open(const std::string& devicePath) override;
    // The kernel's queues have their own sizes, and reads never block on this line: nothing to set.
    bool SetQueueSizes() override { return true; }
    bool SetTimeouts() override { return true; }
    bool GetLineState() override;
    // Raw 9600 8N1: no parity check, no software or hardware flow control, no byte translated.
    bool SetLineState() override;
    bool Purge() override;
    bool Close() override;
    bool Write(const std::uint8_t* bytes, std::size_t length) override;
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) override;
    std::size_t ReadArrived(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs) override;
    // A hang-up, EIO or ENXIO: the adapter was unplugged or the far end of the terminal closed.
    bool Lost() const override { return lost; }

    // Why the last Open failed, in one line.
    const std::string& OpenFailure() const { return openFailure; }

private:
    bool TakeLock(const std::string& devicePath);
    bool TakeFlock(const std::string& realPath);
    bool TakeExclusive(const std::string& realPath);
    void NoteFailure(int error);
    void ReleaseLock();

    std::string lockDirectory;
    std::string lockPath;  // the lock file this line holds, empty when none
    std::string openFailure;
    termios state{};
    int fd = -1;
    bool lost = false;
    bool exclusive = false;  // TIOCEXCL is ours to clear
};
