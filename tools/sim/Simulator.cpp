#include "tools/sim/Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

using Clock = std::chrono::steady_clock;

namespace {

const char* LogDirection(Overlap overlap)
{
    switch (overlap) {
    case Overlap::None: return "rx";
    case Overlap::Merged: return "rx-merged";
    case Overlap::Collided: return "rx-collided";
    }
    return "rx";
}

}

Simulator::Simulator(Bus& bus, Line& line, FrameLog& log, ControlChannels& control)
    : bus_(bus), line_(line), log_(log), control_(control)
{
}

double Simulator::SecondsSinceStart() const
{
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

std::string Simulator::Run(const std::string& command)
{
    return RunCommand(command, bus_, *this, SecondsSinceStart());
}

bool Simulator::Vanish(std::string& error)
{
    if (!line_.IsOpen()) {
        error = "the line has already vanished";
        return false;
    }
    line_.Close();
    receiver_.Reset();
    transmitter_.Drop();
    return true;
}

bool Simulator::Return(std::string& error)
{
    return line_.Open(error);
}

long Simulator::Write(const std::uint8_t* bytes, std::size_t length)
{
    const ssize_t written = write(line_.Fd(), bytes, length);
    if (written > 0) receiver_.Transmitted(Clock::now());
    if (written >= 0) return written;
    if (errno == EAGAIN || errno == EINTR) return 0;
    std::fprintf(stderr, "tarvik-sim: writing to %s: %s\n", line_.Path().c_str(), std::strerror(errno));
    return -1;
}

void Simulator::Sent(const timespec& firstByteAt, const std::vector<std::uint8_t>& bytes, bool collided)
{
    log_.Write(firstByteAt, collided ? "tx-collided" : "tx", bytes.data(), bytes.size());
}

bool Simulator::TakeFromLine()
{
    std::uint8_t buffer[4096];
    const ssize_t length = read(line_.Fd(), buffer, sizeof buffer);
    if (length < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (length <= 0) return false;
    std::vector<ReceivedFrame> frames;
    const bool replying = transmitter_.Transmitting();
    if (replying) transmitter_.Collide();
    receiver_.Take(buffer, static_cast<std::size_t>(length), Clock::now(), WallNow(), replying, frames);
    Answer(frames);
    return true;
}

void Simulator::Answer(std::vector<ReceivedFrame>& frames)
{
    for (const ReceivedFrame& frame : frames) {
        log_.Write(frame.firstByteAt, LogDirection(frame.overlap), frame.bytes.data(), frame.bytes.size());
        if (frame.Answerable()) transmitter_.Schedule(bus_.Answer(frame.bytes, SecondsSinceStart()), Clock::now());
    }
}

std::optional<timespec> Simulator::PollTimeout(Clock::time_point now) const
{
    std::optional<Clock::time_point> next = receiver_.Deadline();
    const std::optional<Clock::time_point> due = transmitter_.NextDue();
    if (due && (!next || *due < *next)) next = due;
    if (!next) return std::nullopt;
    const auto wait = std::max<std::chrono::nanoseconds::rep>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(*next - now).count());
    return timespec{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
}

bool Simulator::Serve(int signalFd)
{
    for (;;) {
        std::vector<pollfd> fds{{signalFd, POLLIN, 0}, {line_.Fd(), 0, 0}};
        if (line_.IsOpen()) fds[1].events = static_cast<short>(POLLIN | (transmitter_.Blocked() ? POLLOUT : 0));
        control_.AddPollFds(fds);

        const std::optional<timespec> wait = PollTimeout(Clock::now());
        if (ppoll(fds.data(), fds.size(), wait ? &*wait : nullptr, nullptr) < 0 && errno != EINTR) {
            std::fprintf(stderr, "tarvik-sim: poll: %s\n", std::strerror(errno));
            return false;
        }
        if (fds[0].revents) return true;

        if (line_.IsOpen() && (fds[1].revents & ~POLLOUT) && !TakeFromLine()) {
            std::fprintf(stderr, "tarvik-sim: the line %s has failed; closed it (the return command opens it again)\n",
                         line_.Path().c_str());
            std::string unused;
            Vanish(unused);
        }
        std::vector<ReceivedFrame> silenced;
        receiver_.Expire(Clock::now(), silenced);
        Answer(silenced);
        if (line_.IsOpen()) transmitter_.Run(Clock::now(), *this);
        control_.Serve(fds, 2, [this](const std::string& command) { return Run(command); });
    }
}

}
