#include "tools/sim/FrameLog.h"

#include <cerrno>
#include <cstring>

namespace sim {

timespec WallNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

namespace {

std::string FormatFrameLine(const timespec& when, const char* direction, const std::uint8_t* bytes, std::size_t length)
{
    char head[48];
    std::snprintf(head, sizeof head, "%lld.%06ld %s", static_cast<long long>(when.tv_sec), when.tv_nsec / 1000, direction);
    std::string line = head;
    static const char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < length; ++i) {
        line += ' ';
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
    }
    return line + '\n';
}

}

FrameLog::~FrameLog()
{
    if (out_ && out_ != stdout) std::fclose(out_);
}

bool FrameLog::Open(const std::string& path, std::string& error)
{
    if (path.empty()) return true;
    out_ = path == "-" ? stdout : std::fopen(path.c_str(), "w");
    if (!out_) error = "cannot write the log " + path + ": " + std::strerror(errno);
    return out_ != nullptr;
}

void FrameLog::Write(const timespec& when, const char* direction, const std::uint8_t* bytes, std::size_t length)
{
    if (!out_) return;
    std::fputs(FormatFrameLine(when, direction, bytes, length).c_str(), out_);
    std::fflush(out_);
}

}
