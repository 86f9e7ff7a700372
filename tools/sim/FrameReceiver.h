// Cuts the bytes from the master into frames: a complete 8-byte request with a valid CRC ends a frame
// at once; otherwise 3.5 characters of silence do. A frame that began less than 3.5 characters after
// the last byte on the line (either way) is the tail of that frame to every receiver on a real bus, and
// one sent while a reply is going out collides with it: neither is answered.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

namespace sim {

enum class Overlap { None, Merged, Collided };

struct ReceivedFrame {
    timespec firstByteAt{};
    std::vector<std::uint8_t> bytes;
    bool valid = false;  // its CRC is right
    Overlap overlap = Overlap::None;

    bool Answerable() const { return valid && overlap == Overlap::None; }
};

class FrameReceiver {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kSilence = std::chrono::microseconds(4000);  // 3.5 x 1.0417 ms, rounded up
    // The least silence between two frames: 3.5 characters of 10 bits at 9600 baud.
    static constexpr Clock::duration kFrameGap = std::chrono::nanoseconds(3645834);
    static constexpr std::size_t kLongestFrame = 256;

    // A frame whose silence has ended by now is finished before the new bytes are taken. replying: a
    // reply is going out, so these bytes collide with it.
    void Take(const std::uint8_t* bytes, std::size_t length, Clock::time_point now, const timespec& wallNow,
              bool replying, std::vector<ReceivedFrame>& frames);
    // The simulator put a byte on the line at now: the next frame must keep its distance from it too.
    void Transmitted(Clock::time_point now) { lastByteAt_ = now; }
    void Expire(Clock::time_point now, std::vector<ReceivedFrame>& frames);
    // When the silence will have ended the frame being received, if one is.
    std::optional<Clock::time_point> Deadline() const;
    void Reset();

private:
    void Finish(std::vector<ReceivedFrame>& frames);

    ReceivedFrame pending_;
    std::optional<Clock::time_point> lastByteAt_;  // none before the first byte either way
};

}
