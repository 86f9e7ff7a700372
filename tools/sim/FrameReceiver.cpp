#include "tools/sim/FrameReceiver.h"

#include "tools/sim/Bus.h"

namespace sim {

namespace {
constexpr std::size_t kRequestLength = 8;
}

void FrameReceiver::Take(const std::uint8_t* bytes, std::size_t length, Clock::time_point now, const timespec& wallNow,
                         bool replying, std::vector<ReceivedFrame>& frames)
{
    // A late wake-up must not append these bytes to a frame whose silence has already ended it.
    Expire(now, frames);
    for (std::size_t i = 0; i < length; ++i) {
        if (pending_.bytes.empty()) {
            pending_.firstByteAt = wallNow;
            if (lastByteAt_ && now - *lastByteAt_ < kFrameGap) pending_.overlap = Overlap::Merged;
        }
        if (replying) pending_.overlap = Overlap::Collided;
        pending_.bytes.push_back(bytes[i]);
        lastByteAt_ = now;
        const bool request = pending_.bytes.size() == kRequestLength && HasValidCrc(pending_.bytes.data(), kRequestLength);
        if (request || pending_.bytes.size() == kLongestFrame) Finish(frames);
    }
}

void FrameReceiver::Expire(Clock::time_point now, std::vector<ReceivedFrame>& frames)
{
    if (!pending_.bytes.empty() && now - *lastByteAt_ >= kSilence) Finish(frames);
}

std::optional<FrameReceiver::Clock::time_point> FrameReceiver::Deadline() const
{
    if (pending_.bytes.empty()) return std::nullopt;
    return *lastByteAt_ + kSilence;
}

void FrameReceiver::Reset()
{
    pending_ = ReceivedFrame{};
}

void FrameReceiver::Finish(std::vector<ReceivedFrame>& frames)
{
    pending_.valid = HasValidCrc(pending_.bytes.data(), pending_.bytes.size());
    frames.push_back(std::move(pending_));
    pending_ = ReceivedFrame{};
}

}
