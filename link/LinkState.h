// State that the command handlers, the senders, the port close and the timer ticks hand to one another.
// Touched on the user-interface thread only.
#pragma once

#include <cstdint>

extern std::uint8_t pendingAddress;
extern std::uint8_t pendingWriteKind;   // 0: temperature offset (register 2); 1: humidity offset (register 3)
extern std::uint8_t continuousRunning;  // 1 while a continuous read runs
extern std::uint8_t scanStart;
extern std::uint8_t scanEnd;
extern std::uint8_t scanCurrent;

// The main dialog's window timers.
enum : unsigned {
    kReadCheckTimer = 1,
    kContinuousTimer = 2,
    kWriteCheckTimer = 3,
};
enum : unsigned {
    kCheckDelayMs = 200,
    kContinuousPeriodMs = 1000,
};
