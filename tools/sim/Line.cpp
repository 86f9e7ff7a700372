#include "tools/sim/Line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sim {

namespace {

std::string Failure(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Raw 9600 8N1: no echo, no translation of any byte, no modem control.
bool SetRaw9600(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

}

Line::Line(std::string devicePath, std::string linkPath) : devicePath_(std::move(devicePath)), linkPath_(std::move(linkPath)) {}

Line::~Line()
{
    Close();
}

bool Line::Open(std::string& error)
{
    if (IsOpen()) {
        error = "the line is already there";
        return false;
    }
    const bool opened = devicePath_.empty() ? OpenPseudoTerminal(error) : OpenDevice(error);
    if (opened && PlaceLink(error)) return true;
    Close();
    return false;
}

bool Line::OpenPseudoTerminal(std::string& error)
{
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = Failure("cannot create a pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(fd_, name, sizeof name) != 0) {
        error = Failure("cannot name the pseudo-terminal");
        return false;
    }
    path_ = name;
    heldFarEnd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (heldFarEnd_ < 0 || !SetRaw9600(heldFarEnd_)) {
        error = Failure("cannot set up " + path_);
        return false;
    }
    return true;
}

bool Line::OpenDevice(std::string& error)
{
    path_ = devicePath_;
    fd_ = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || !SetRaw9600(fd_) || tcflush(fd_, TCIOFLUSH) != 0) {
        error = Failure("cannot use " + devicePath_);
        return false;
    }
    return true;
}

// Made beside the link and renamed over it, so that the path never points nowhere while it is replaced.
bool Line::PlaceLink(std::string& error)
{
    if (linkPath_.empty()) return true;
    const std::string fresh = linkPath_ + ".new" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(path_.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), linkPath_.c_str()) != 0) {
        error = Failure("cannot link " + linkPath_ + " to " + path_);
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

void Line::Close()
{
    if (!linkPath_.empty() && !path_.empty()) {
        char target[256];
        const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (length > 0 && path_ == std::string(target, static_cast<std::size_t>(length))) unlink(linkPath_.c_str());
    }
    if (fd_ >= 0) close(fd_);
    if (heldFarEnd_ >= 0) close(heldFarEnd_);
    fd_ = heldFarEnd_ = -1;
    path_.clear();
}

}
