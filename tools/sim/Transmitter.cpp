#include "tools/sim/Transmitter.h"

#include <algorithm>

#include "tools/sim/FrameLog.h"

namespace sim {

void Transmitter::Schedule(const std::vector<Burst>& bursts, Clock::time_point requestEnd)
{
    Clock::time_point end = std::max(requestEnd, lastEnd_);
    for (const Burst& burst : bursts) {
        if (burst.bytes.empty()) continue;
        const auto pause = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(burst.pauseMs));
        const Clock::time_point firstDue = end + pause + (burst.paced ? kByteTime : Clock::duration::zero());
        queue_.push_back({firstDue, burst.paced, burst.bytes, 0, {}, false});
        end = burst.paced ? firstDue + kByteTime * static_cast<long>(burst.bytes.size() - 1) : firstDue;
    }
    lastEnd_ = end;
}

std::size_t Transmitter::DueCount(const Pending& pending, Clock::time_point now) const
{
    if (now < pending.firstDue) return 0;
    if (!pending.paced) return pending.bytes.size();
    const auto due = static_cast<std::size_t>((now - pending.firstDue) / kByteTime) + 1;
    return std::min(due, pending.bytes.size());
}

void Transmitter::Run(Clock::time_point now, Output& output)
{
    blocked_ = false;
    while (!queue_.empty()) {
        Pending& pending = queue_.front();
        const std::size_t due = DueCount(pending, now);
        if (due <= pending.sent) return;
        const timespec writtenAt = WallNow();
        const long written = output.Write(pending.bytes.data() + pending.sent, due - pending.sent);
        if (written < 0) {
            queue_.pop_front();
            continue;
        }
        if (pending.sent == 0 && written > 0) pending.firstByteAt = writtenAt;
        pending.sent += static_cast<std::size_t>(written);
        if (pending.sent < due) {
            blocked_ = true;
            return;
        }
        if (pending.sent < pending.bytes.size()) return;
        output.Sent(pending.firstByteAt, pending.bytes, pending.collided);
        queue_.pop_front();
    }
}

std::optional<Transmitter::Clock::time_point> Transmitter::NextDue() const
{
    if (queue_.empty() || blocked_) return std::nullopt;
    const Pending& pending = queue_.front();
    return pending.paced ? pending.firstDue + kByteTime * static_cast<long>(pending.sent) : pending.firstDue;
}

void Transmitter::Collide()
{
    Pending& pending = queue_.front();
    for (std::size_t i = pending.sent; i < pending.bytes.size(); ++i) pending.bytes[i] ^= 0xFF;
    pending.collided = true;
}

void Transmitter::Drop()
{
    queue_.clear();
    lastEnd_ = {};
    blocked_ = false;
}

}
