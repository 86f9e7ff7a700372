// The program's one serial port: open/close from the open button, one frame out, one batch in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Console;
class SerialLine;

constexpr std::size_t kRxBufferSize = 2048;
extern std::uint8_t rxBuffer[kRxBufferSize];

void OnOpenClicked(Console& console);
// Opens the port and makes its line state whole for the bus; a port that refuses any of the set-up
// is closed again. False when it is not open.
bool OpenAndSetUp(SerialLine& line, const std::string& path);
// devicePath of the record selected in the port drop-down; CInvalidArgException when none is.
std::string SelectedPortPath(Console& console);
// The selected entry's text before its first '-'.
std::string SelectedPortName(Console& console);
// Writes the 8 bytes; on failure logs "写串口失败" and returns false.
bool SendFrame(Console& console, const std::uint8_t* frame);
// Zeroes rxBuffer, fills it from byte 0 with what waits at the port, returns the count (0..2048).
std::size_t ReceivePending(Console& console);
