#include "tools/sim/ControlChannels.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr std::size_t kLongestCommand = 4096;

void SendAll(int fd, const std::string& text, bool socket)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t sent = socket ? send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL)
                                    : write(fd, text.data() + done, text.size() - done);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return;
        done += static_cast<std::size_t>(sent);
    }
}

}

ControlChannels::~ControlChannels()
{
    for (const Stream& stream : streams_) {
        if (stream.in != STDIN_FILENO) close(stream.in);
    }
    if (listener_ >= 0) {
        close(listener_);
        unlink(socketPath_.c_str());
    }
}

bool ControlChannels::Listen(const std::string& socketPath, std::string& error)
{
    sockaddr_un address{};
    if (socketPath.size() >= sizeof address.sun_path) {
        error = "the control socket path is too long: " + socketPath;
        return false;
    }
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    struct stat existing{};
    if (lstat(socketPath.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) unlink(socketPath.c_str());

    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 8) != 0) {
        error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        if (listener_ >= 0) close(listener_);
        listener_ = -1;
        return false;
    }
    socketPath_ = socketPath;
    return true;
}

void ControlChannels::WatchStandardInput()
{
    streams_.push_back({STDIN_FILENO, STDOUT_FILENO, {}});
}

void ControlChannels::AddPollFds(std::vector<pollfd>& fds) const
{
    if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
    for (const Stream& stream : streams_) fds.push_back({stream.in, POLLIN, 0});
}

void ControlChannels::Serve(const std::vector<pollfd>& fds, std::size_t first, const Runner& run)
{
    std::size_t index = first;
    const bool accept = listener_ >= 0 && fds[index++].revents != 0;
    std::vector<Stream> kept;
    for (Stream& stream : streams_) {
        if (fds[index++].revents == 0 || Pump(stream, run)) {
            kept.push_back(std::move(stream));
        } else if (stream.in != STDIN_FILENO) {
            close(stream.in);
        }
    }
    streams_ = std::move(kept);
    if (accept) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) streams_.push_back({client, client, {}});
    }
}

bool ControlChannels::Pump(Stream& stream, const Runner& run)
{
    char buffer[1024];
    const ssize_t length = read(stream.in, buffer, sizeof buffer);
    if (length < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (length <= 0) return false;
    stream.pending.append(buffer, static_cast<std::size_t>(length));

    const bool socket = stream.in == stream.out;
    std::size_t end;
    while ((end = stream.pending.find('\n')) != std::string::npos) {
        std::string command = stream.pending.substr(0, end);
        stream.pending.erase(0, end + 1);
        if (!command.empty() && command.back() == '\r') command.pop_back();
        SendAll(stream.out, run(command) + "\n", socket);
    }
    if (stream.pending.size() > kLongestCommand) {
        stream.pending.clear();
        SendAll(stream.out, "error: command too long\n", socket);
    }
    return true;
}

}
