// Cuts the bytes from the master into frames: a complete 8-byte request with a valid CRC ends a frame
// at once; otherwise 3.5 characters of silence do.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

namespace sim {

struct ReceivedFrame {
    timespec firstByteAt{};
    std::vector<std::uint8_t> bytes;
    bool valid = false;  // its CRC is right
};

class FrameReceiver {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kSilence = std::chrono::microseconds(4000);  // 3.5 x 1.0417 ms, rounded up
    static constexpr std::size_t kLongestFrame = 256;

    // A frame whose silence has ended by now is finished before the new bytes are taken.
    void Take(const std::uint8_t* bytes, std::size_t length, Clock::time_point now, const timespec& wallNow,
              std::vector<ReceivedFrame>& frames);
    void Expire(Clock::time_point now, std::vector<ReceivedFrame>& frames);
    // When the silence will have ended the frame being received, if one is.
    std::optional<Clock::time_point> Deadline() const;
    void Reset();

private:
    void Finish(std::vector<ReceivedFrame>& frames);

    ReceivedFrame pending_;
    Clock::time_point lastByteAt_{};
};

}
