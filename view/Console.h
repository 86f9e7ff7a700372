// The three things every operator command works with: the dialog, the serial line and the system's
// port information. The Win32 dialog binds real ones; host tests bind fakes.
#pragma once

class ConsoleView;
class SerialLine;
class PortSystem;

struct Console {
    ConsoleView& view;
    SerialLine& line;
    PortSystem& ports;
};
