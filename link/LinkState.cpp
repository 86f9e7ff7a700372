#include "link/LinkState.h"

std::uint8_t pendingAddress = 0;
std::uint8_t pendingWriteKind = kTempOffsetWrite;
RequestFrame pendingWriteRequest = {};
std::uint8_t continuousRunning = kContinuousStopped;
std::uint8_t scanStart = 0;
std::uint8_t scanEnd = 0;
std::uint8_t scanCurrent = 0;
unsigned pendingCheck = 0;

void ResetLinkState()
{
    pendingAddress = scanStart = scanEnd = scanCurrent = 0;
    pendingWriteKind = kTempOffsetWrite;
    continuousRunning = kContinuousStopped;
    pendingWriteRequest = {};
    pendingCheck = 0;
}
