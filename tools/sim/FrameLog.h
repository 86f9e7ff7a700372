// The record of every frame on the line: "<epoch seconds.micro> <rx|tx> <HEX BYTES>", flushed per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace sim {

// Wall-clock time, so that the log can be laid beside timestamps taken by other programs.
timespec WallNow();

class FrameLog {
public:
    FrameLog() = default;
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;
    ~FrameLog();

    // "-" is standard output; an empty path logs nothing.
    bool Open(const std::string& path, std::string& error);
    void Write(const timespec& when, const char* direction, const std::uint8_t* bytes, std::size_t length);

private:
    std::FILE* out_ = nullptr;
};

}
