// Putting a request on the wire, and the timer ticks that check its answer and pace a continuous read.
#pragma once

#include <cstdint>

struct Console;

void SendReadRequest(Console& console, std::uint8_t address);
void SendWriteRequest(Console& console, std::uint8_t address, std::uint8_t registerNumber, std::uint16_t value);
// Ends whatever exchange is in flight without a line: its check timer stops and a tick already on its
// way finds nothing to check.
void AbandonExchange(Console& console);
// One tick of a link timer: checks the answer of the pending read or write, or sends the continuous
// read's next request. Ids other than the three link timers, and ticks that no exchange or run waits
// for any more, change nothing.
void AdvanceExchange(Console& console, unsigned timerId);
