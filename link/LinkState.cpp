#include "link/LinkState.h"

std::uint8_t pendingAddress = 0;
std::uint8_t pendingWriteKind = 0;
std::uint8_t continuousRunning = 0;
std::uint8_t scanStart = 0;
std::uint8_t scanEnd = 0;
std::uint8_t scanCurrent = 0;
