#include "link/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Writes our process id into a lock file at path that did not exist. The file is written in full under
// a name of our own and then linked into place, so no reader sees it empty and no name planted in the
// shared directory (a symlink, a FIFO) redirects the write. False with errno set when it cannot.
bool CreateLockFile(const std::string& directory, const std::string& path)
{
    const std::string draft = directory + "/LTMP." + std::to_string(::getpid());
    ::unlink(draft.c_str());
    const int file = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (file < 0) return false;
    char pid[16];
    const int length = std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(file, pid, static_cast<std::size_t>(length)) == length;
    ::close(file);
    const bool linked = written && ::link(draft.c_str(), path.c_str()) == 0;
    const int error = written ? errno : EIO;
    ::unlink(draft.c_str());
    errno = error;
    return linked;
}

// What an existing lock file says: nothing (gone, or its process has ended), a live holder, or a refusal
// when it is anything but a regular file. It is never followed nor waited on.
struct LockFileHolder {
    pid_t pid = 0;
    std::string refusal;
};

LockFileHolder ReadLockFile(const std::string& path)
{
    LockFileHolder holder;
    const int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        if (errno == ELOOP) holder.refusal = "lock file " + path + " is a symbolic link; refused";
        else if (errno != ENOENT) holder.refusal = "lock file " + path + ": " + std::strerror(errno);
        return holder;
    }
    struct stat info {};
    char text[32] = {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        holder.refusal = "lock file " + path + " is not a regular file; refused";
    } else if (::read(file, text, sizeof text - 1) > 0) {
        const long pid = std::strtol(text, nullptr, 10);
        if (pid > 0 && pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            holder.pid = static_cast<pid_t>(pid);
    }
    ::close(file);
    return holder;
}

// The process holding an flock on the file open at fd, from /proc/locks; 0 when it cannot be told.
long FlockHolder(int fd)
{
    struct stat info {};
    std::FILE* locks = ::fstat(fd, &info) == 0 ? std::fopen("/proc/locks", "re") : nullptr;
    if (!locks) return 0;
    long holder = 0;
    char line[256];
    while (holder == 0 && std::fgets(line, sizeof line, locks)) {
        long pid = 0;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(line, "%*s FLOCK %*s %*s %ld %x:%x:%lu", &pid, &major, &minor, &inode) == 4 &&
            major == ::major(info.st_dev) && minor == ::minor(info.st_dev) && inode == info.st_ino)
            holder = pid;
    }
    std::fclose(locks);
    return holder;
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
        if (CreateLockFile(lockDirectory, path)) {
            lockPath = path;
            return true;
        }
        if (errno != EEXIST) break;  // a lock directory we may not write to: TIOCEXCL and flock still hold
        const LockFileHolder holder = ReadLockFile(path);
        if (!holder.refusal.empty()) {
            openFailure = holder.refusal;
            return false;
        }
        if (holder.pid != 0) {
            openFailure = realPath + " is held by process " + std::to_string(holder.pid) + " (lock file " + path + ")";
            return false;
        }
        ::unlink(path.c_str());  // stale: its process is gone
    }
    return true;
}

bool PosixSerialLine::TakeFlock(const std::string& realPath)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK) {
        openFailure = realPath + ": " + std::strerror(errno);
    } else if (const long holder = FlockHolder(fd)) {
        openFailure = realPath + " is held by process " + std::to_string(holder) + " (flock)";
    } else {
        openFailure = realPath + " is held by another program (flock)";
    }
    return false;
}

// Root's open passes another program's TIOCEXCL: asked first, so that it is neither ignored nor, at our
// close, cleared.
bool PosixSerialLine::TakeExclusive(const std::string& realPath)
{
    int held = 0;
    if (::ioctl(fd, TIOCGEXCL, &held) == 0 && held) {
        openFailure = realPath + " is held by another program (exclusive open)";
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        openFailure = realPath + ": " + std::strerror(errno);
        return false;
    }
    exclusive = true;
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
    } else if (TakeFlock(real) && TakeExclusive(real)) {
        lost = false;
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
        if (exclusive) ::ioctl(fd, TIOCNXCL);
        exclusive = false;
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
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            NoteFailure(errno);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, static_cast<int>(left.count()));
        if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lost = true;
            return false;
        }
    }
    return true;
}

void PosixSerialLine::NoteFailure(int error)
{
    if (error == EIO || error == ENXIO) lost = true;
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
    if (::poll(&ready, 1, static_cast<int>(waitMs)) <= 0) return 0;
    if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        lost = true;
        return 0;
    }
    const ssize_t n = ::read(fd, buffer, capacity);
    if (n < 0) NoteFailure(errno);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}
