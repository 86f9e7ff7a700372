// Where control commands come from: clients of a unix stream socket, and standard input while it is
// open. Each complete line is handed to the caller; its reply goes back to the same place.
#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

namespace sim {

class ControlChannels {
public:
    using Runner = std::function<std::string(const std::string& command)>;

    ControlChannels() = default;
    ControlChannels(const ControlChannels&) = delete;
    ControlChannels& operator=(const ControlChannels&) = delete;
    ~ControlChannels();

    // Replaces a stale socket left at the path by an earlier run; the socket is removed again at exit.
    bool Listen(const std::string& socketPath, std::string& error);
    void WatchStandardInput();

    void AddPollFds(std::vector<pollfd>& fds) const;
    // fds as AddPollFds appended them (from index first), after poll.
    void Serve(const std::vector<pollfd>& fds, std::size_t first, const Runner& run);

private:
    struct Stream {
        int in;
        int out;
        std::string pending;
    };
    // False when the stream has ended.
    bool Pump(Stream& stream, const Runner& run);

    std::string socketPath_;
    int listener_ = -1;
    std::vector<Stream> streams_;
};

}
