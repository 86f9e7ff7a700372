#include "link/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWriteWaitMs = 1000;

// "LCK..ttyUSB0" for /dev/ttyUSB0; below /dev the slashes become '_' ("LCK..pts_3").
std::string LockName(const std::string& realPath)
{
    std::string name = realPath.rfind("/dev/", 0) == 0 ? realPath.substr(5) : realPath.substr(realPath.rfind('/') + 1);
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

// The process a lock file names, when it still runs.
pid_t LiveHolder(const std::string& lockPath)
{
    FILE* file = std::fopen(lockPath.c_str(), "r");
    if (!file) return 0;
    long pid = 0;
    const bool read = std::fscanf(file, "%ld", &pid) == 1;
    std::fclose(file);
    if (!read || pid <= 0) return 0;
    return (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

PosixSerialLine::~PosixSerialLine()
{
    Close();
}

bool PosixSerialLine::TakeLock(const std::string& realPath)
{
    if (lockDirectory.empty()) return true;
    const std::string path = lockDirectory + "/" + LockName(realPath);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int lock = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (lock >= 0) {
            char pid[16];
            const int length = std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(::getpid()));
            const bool written = ::write(lock, pid, static_cast<std::size_t>(length)) == length;
            ::close(lock);
            if (!written) {
                ::unlink(path.c_str());
                break;
            }
            lockPath = path;
            return true;
        }
        if (errno != EEXIST) break;  // a lock directory we may not write to: TIOCEXCL still holds the port
        if (const pid_t holder = LiveHolder(path)) {
            openFailure = realPath + " is held by process " + std::to_string(holder) + " (lock file " + path + ")";
            return false;
        }
        ::unlink(path.c_str());  // stale: its process is gone
    }
    return true;
}

void PosixSerialLine::ReleaseLock()
{
    if (!lockPath.empty()) ::unlink(lockPath.c_str());
    lockPath.clear();
}

bool PosixSerialLine::Open(const std::string& devicePath)
{
    openFailure.clear();
    char real[PATH_MAX];
    if (!::realpath(devicePath.c_str(), real)) {
        openFailure = devicePath + ": " + std::strerror(errno);
        return false;
    }
    if (!TakeLock(real)) return false;
    fd = ::open(real, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        openFailure = errno == EBUSY ? std::string(real) + " is held by another program"
                                     : std::string(real) + ": " + std::strerror(errno);
    } else if (!::isatty(fd)) {
        openFailure = std::string(real) + " is not a serial line";
    } else if (::ioctl(fd, TIOCEXCL) != 0) {
        openFailure = std::string(real) + ": " + std::strerror(errno);
    } else {
        return true;
    }
    Close();
    return false;
}

bool PosixSerialLine::GetLineState()
{
    return ::tcgetattr(fd, &state) == 0;
}

bool PosixSerialLine::SetLineState()
{
    state.c_iflag = 0;  // no parity check, no XON/XOFF, no byte translated or stripped
    state.c_oflag = 0;
    state.c_lflag = 0;
    state.c_cflag = CS8 | CREAD | CLOCAL;  // one stop bit, no parity, no RTS/CTS handshake
    state.c_cc[VMIN] = 0;
    state.c_cc[VTIME] = 0;
    return ::cfsetispeed(&state, B9600) == 0 && ::cfsetospeed(&state, B9600) == 0 &&
           ::tcsetattr(fd, TCSANOW, &state) == 0;
}

bool PosixSerialLine::Purge()
{
    return ::tcflush(fd, TCIOFLUSH) == 0;
}

bool PosixSerialLine::Close()
{
    if (fd >= 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        fd = -1;
    }
    ReleaseLock();
    return true;
}

bool PosixSerialLine::Write(const std::uint8_t* bytes, std::size_t length)
{
    if (fd < 0) return false;
    ::tcflush(fd, TCIOFLUSH);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd, bytes + written, length - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, static_cast<int>(left.count()));
    }
    return true;
}

std::size_t PosixSerialLine::ReadWaiting(std::uint8_t* buffer, std::size_t capacity)
{
    const std::size_t received = ReadArrived(buffer, capacity, 0);
    if (fd >= 0) ::tcflush(fd, TCIOFLUSH);
    return received;
}

std::size_t PosixSerialLine::ReadArrived(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs)
{
    if (fd < 0) return 0;
    pollfd ready{fd, POLLIN, 0};
    // A signal (Ctrl-C) ends the wait early with nothing.
    if (::poll(&ready, 1, static_cast<int>(waitMs)) <= 0 || !(ready.revents & POLLIN)) return 0;
    const ssize_t n = ::read(fd, buffer, capacity);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}
