// Puts replies on the line as a 9600-baud 8N1 line would: each paced byte is written when it has
// fully crossed the wire, 10 bit times after the one before.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <vector>

#include "tools/sim/Bus.h"

namespace sim {

class Transmitter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kByteTime = std::chrono::nanoseconds(1041667);

    class Output {
    public:
        virtual ~Output() = default;
        // Bytes taken by the line (0 when it is full for now), or -1 when it failed.
        virtual long Write(const std::uint8_t* bytes, std::size_t length) = 0;
        // collided: the master talked over it, so the bytes from then on are garbled.
        virtual void Sent(const timespec& firstByteAt, const std::vector<std::uint8_t>& bytes, bool collided) = 0;
    };

    // A reply goes out after the request, and after any reply still going out.
    void Schedule(const std::vector<Burst>& bursts, Clock::time_point requestEnd);
    void Run(Clock::time_point now, Output& output);
    // When the next byte is due; nothing while idle or while the line is full.
    std::optional<Clock::time_point> NextDue() const;
    bool Blocked() const { return blocked_; }
    // A stretch of a reply is going out: its first byte is on the line and its last not yet.
    bool Transmitting() const { return !queue_.empty() && queue_.front().sent > 0; }
    // The master has sent over the stretch going out: what is left of it reaches it garbled.
    void Collide();
    void Drop();

private:
    struct Pending {
        Clock::time_point firstDue;
        bool paced;
        std::vector<std::uint8_t> bytes;
        std::size_t sent;
        timespec firstByteAt;
        bool collided;
    };
    std::size_t DueCount(const Pending& pending, Clock::time_point now) const;

    std::deque<Pending> queue_;
    Clock::time_point lastEnd_{};
    bool blocked_ = false;
};

}
