// The event loop: bytes from the line become frames, frames become paced replies, control lines
// become commands, and a stop signal ends it all.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "tools/sim/Bus.h"
#include "tools/sim/Commands.h"
#include "tools/sim/ControlChannels.h"
#include "tools/sim/FrameLog.h"
#include "tools/sim/FrameReceiver.h"
#include "tools/sim/Line.h"
#include "tools/sim/Transmitter.h"

namespace sim {

class Simulator : public LineControl, private Transmitter::Output {
public:
    Simulator(Bus& bus, Line& line, FrameLog& log, ControlChannels& control);

    std::string Run(const std::string& command);
    // Serves until a signal arrives on signalFd (a signalfd): true; false when waiting itself failed.
    bool Serve(int signalFd);

    bool Vanish(std::string& error) override;
    bool Return(std::string& error) override;
    std::string Path() const override { return line_.Path(); }

private:
    long Write(const std::uint8_t* bytes, std::size_t length) override;
    void Sent(const timespec& firstByteAt, const std::vector<std::uint8_t>& bytes, bool collided) override;

    double SecondsSinceStart() const;
    // False when the line has failed (a device unplugged).
    bool TakeFromLine();
    void Answer(std::vector<ReceivedFrame>& frames);
    std::optional<timespec> PollTimeout(std::chrono::steady_clock::time_point now) const;

    Bus& bus_;
    Line& line_;
    FrameLog& log_;
    ControlChannels& control_;
    FrameReceiver receiver_;
    Transmitter transmitter_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}
