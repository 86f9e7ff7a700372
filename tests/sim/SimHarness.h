// Runs tarvik-sim as a child process and talks to it the way its users do: through the line it
// prints, its control socket and its frame log.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kCeiling{3000};  // generous: waits poll for their condition and end early

Bytes Hex(const std::string& text);  // "01 03 0A" -> bytes
std::string HexText(const Bytes& bytes);

class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return root_ + "/" + name; }

private:
    std::string root_;
};

class SimProcess {
public:
    // Starts the simulator and waits for the first line of its output, the path of its line (empty
    // when it ended first). With pipeInput its standard input is a pipe (WriteInput), else /dev/null.
    explicit SimProcess(const std::vector<std::string>& arguments, bool pipeInput = false);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& LinePath() const { return linePath_; }
    std::string ReadOutputLine();
    void WriteInput(const std::string& text);
    // Sends the signal and waits for the exit: the exit status, or -1 when it did not exit normally.
    int Stop(int signal);
    // Waits for an exit that needs no signal (a refused start).
    int WaitExit();
    // Everything the simulator wrote to standard error (complete once it has exited).
    std::string ErrorText();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int input_ = -1;
    int errors_ = -1;
    std::string outputBuffer_;
    std::string errorText_;
    std::string linePath_;
};

// One connection to the control socket; a command in, its reply line out.
class ControlClient {
public:
    explicit ControlClient(const std::string& socketPath);
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;
    std::string Send(const std::string& command);

private:
    int fd_ = -1;
    std::string buffer_;
};

// The master's end of the line, raw 9600 8N1, as a master program would open it.
class RawPort {
public:
    explicit RawPort(const std::string& path);
    ~RawPort();
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;

    void Write(const Bytes& bytes);
    // Until count bytes have arrived or the ceiling has passed.
    Bytes Read(std::size_t count, milliseconds ceiling = kCeiling);
    // Everything that arrives within the window.
    Bytes ReadFor(milliseconds window);
    // A reply: waits for its first byte, then takes bytes until the line has been quiet a while.
    Bytes ReadReply(milliseconds quiet = milliseconds(100));
    // The far end has closed the line (as a vanished adapter).
    bool HungUp() const;
    // When the latest Write ended, and when each byte of the latest Read arrived.
    Clock::time_point writtenAt{};
    std::vector<Clock::time_point> arrivals;

private:
    int fd_ = -1;
};

struct LogLine {
    double seconds = 0;
    std::string direction;
    std::string hex;
};

// Follows the simulator's frame log from where the previous call stopped.
class LogReader {
public:
    explicit LogReader(std::string path) : path_(std::move(path)) {}
    // The next count lines; fewer when the ceiling passes first. Each line must have the log's format.
    std::vector<LogLine> Next(std::size_t count, milliseconds ceiling = kCeiling);
    // Whatever complete lines are there now.
    std::vector<LogLine> Available() { return Next(SIZE_MAX, milliseconds(0)); }

private:
    std::string path_;
    std::size_t consumed_ = 0;
};

// The path of the simulator binary under test.
const char* SimulatorPath();

}
