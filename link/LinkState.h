// State that the command handlers, the senders, the port close and the timer ticks hand to one another.
// Touched on the user-interface thread only.
#pragma once

#include <cstdint>

#include "link/Frames.h"

extern std::uint8_t pendingAddress;
extern std::uint8_t pendingWriteKind;   // kTempOffsetWrite or kHumOffsetWrite
extern RequestFrame pendingWriteRequest;  // the write request last sent, which its echo must repeat
extern std::uint8_t continuousRunning;  // kContinuousRunning while a continuous read runs
extern std::uint8_t scanStart;
extern std::uint8_t scanEnd;
extern std::uint8_t scanCurrent;
// The check timer whose first tick ends the exchange in flight, 0 when none is: a tick of a check
// timer that the exchange no longer waits for changes nothing.
extern unsigned pendingCheck;

constexpr std::uint8_t kTempOffsetWrite = 0;  // register 2
constexpr std::uint8_t kHumOffsetWrite = 1;   // register 3
constexpr std::uint8_t kContinuousStopped = 0;
constexpr std::uint8_t kContinuousRunning = 1;

// Every link-state global back to zero, as at program start.
void ResetLinkState();

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
