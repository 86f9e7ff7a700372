// The control language: one command a line, one reply line each.
#pragma once

#include <string>

#include "tools/sim/Bus.h"

namespace sim {

// What the commands may do to the line itself.
class LineControl {
public:
    virtual ~LineControl() = default;
    virtual bool Vanish(std::string& error) = 0;
    virtual bool Return(std::string& error) = 0;
    virtual std::string Path() const = 0;  // empty while the line has vanished
};

// The reply without its newline: "ok", "ok <data>" or "error: <reason>". Readings are reported as a
// read at that moment would report them.
std::string RunCommand(const std::string& command, Bus& bus, LineControl& line, double secondsSinceStart);

// Every command with its arguments, for --help.
extern const char kCommandHelp[];

}
