// The serial port as the link uses it. Two bindings: Win32SerialLine (overlapped I/O on a COM handle,
// for the dialog and the Windows console tool) and PosixSerialLine (a termios device, for tarvik-cli on
// Linux); host tests use a fake. No operation leaves I/O in flight when it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens the device (its path in UTF-8, as the port records carry it) for reading and writing,
    // held exclusively. False when it cannot.
    virtual bool Open(const std::string& devicePath) = 0;
    // The set-up of an open port, in this order; each false when the system refuses. Where the system
    // has the setting (Win32): driver queues of 2048 bytes each way.
    virtual bool SetQueueSizes() = 0;
    // Reads return at once with what has arrived. Win32: writes may take 500 ms a byte plus 2000 ms.
    virtual bool SetTimeouts() = 0;
    // Reads the line state the driver holds, as the last program left it.
    virtual bool GetLineState() = 0;
    // Writes that state back made whole for the bus: binary, 9600 8N1, no parity checking, no
    // error-character replacement, no NUL stripping, no abort on error, no XON/XOFF either way, no
    // CTS or DSR output flow control, no DSR sensitivity, DTR and RTS out of handshake mode (the POSIX
    // line: raw, no software or hardware flow control, modem lines ignored). Any of these left on
    // swallows, stalls or drops bytes that occur in register values and CRCs.
    virtual bool SetLineState() = 0;
    // Discards whatever waits in either queue.
    virtual bool Purge() = 0;
    // Releases the port; false when the system refuses (the port then stays open).
    virtual bool Close() = 0;

    // Clears the device's error state, purges both queues and writes the bytes, waiting at most
    // 1000 ms. False when the write was refused or did not complete in time.
    virtual bool Write(const std::uint8_t* bytes, std::size_t length) = 0;
    // Takes the bytes waiting in the input queue (at most capacity) into buffer, then purges both
    // queues. Never waits; 0 when nothing waits or the port is not open.
    virtual std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) = 0;
    // Waits up to waitMs for bytes, then takes what waits (at most capacity), purging nothing, so a
    // reply can be gathered as it arrives. 0 when none came in time or the port is not open.
    virtual std::size_t ReadArrived(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs) = 0;
    // The device has gone (unplugged, hung up): no later operation on it can succeed until it is
    // opened again.
    virtual bool Lost() const = 0;
};
