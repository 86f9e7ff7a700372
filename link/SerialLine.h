// The serial port as the link uses it. The Win32 binding does overlapped I/O on a COM handle;
// host tests use a fake. No operation leaves I/O in flight when it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens the device for reading and writing, exclusively, for overlapped I/O. False when it cannot.
    virtual bool Open(const std::string& devicePath) = 0;
    // Queue sizes 2048/2048, read time-outs "return at once", write time-outs 500 ms/byte + 2000 ms,
    // 9600 8N1 (everything else as the driver has it), both queues purged. Refusals are not reported.
    virtual void ApplyLineSettings() = 0;
    // Releases the handle; false when the system refuses (the port then stays open).
    virtual bool Close() = 0;

    // Clears the device's error state, purges both queues and writes the bytes, waiting at most
    // 1000 ms. False when the write was refused or did not complete in time (it is then cancelled).
    virtual bool Write(const std::uint8_t* bytes, std::size_t length) = 0;
    // Takes the bytes waiting in the input queue (at most capacity) into buffer, then purges both
    // queues. Never waits; 0 when nothing waits or the port is not open.
    virtual std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) = 0;
};
