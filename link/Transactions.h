// Putting a request on the wire, and the timer ticks that check its answer and pace a continuous read.
#pragma once

#include <cstdint>

struct Console;

void SendReadRequest(Console& console, std::uint8_t address);
void SendWriteRequest(Console& console, std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value);
// One tick of a link timer: checks the answer of the pending read or write, or sends the continuous
// read's next request. Ids other than the three link timers change nothing.
void AdvanceExchange(Console& console, unsigned timerId);
