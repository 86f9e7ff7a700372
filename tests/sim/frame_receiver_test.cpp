#include <gtest/gtest.h>

#include "tools/sim/FrameReceiver.h"

using sim::FrameReceiver;
using Bytes = std::vector<std::uint8_t>;

// The loop woke up only when the next bytes had come, after the first part's silence had ended (or not).
TEST(FrameReceiver, BytesAfterAMissedDeadlineStartANewFrame)
{
    struct Case {
        int gapUs;
        std::vector<Bytes> frames;
    };
    const Case cases[] = {{3999, {{1, 3, 0, 0, 0}}}, {4000, {{1, 3}, {0, 0, 0}}}, {250000, {{1, 3}, {0, 0, 0}}}};
    for (const Case& c : cases) {
        FrameReceiver receiver;
        std::vector<sim::ReceivedFrame> frames;
        const FrameReceiver::Clock::time_point start{};
        const Bytes first{1, 3}, second{0, 0, 0};
        receiver.Take(first.data(), first.size(), start, {}, frames);
        receiver.Take(second.data(), second.size(), start + std::chrono::microseconds(c.gapUs), {}, frames);
        receiver.Expire(start + std::chrono::seconds(1), frames);
        std::vector<Bytes> got;
        for (const sim::ReceivedFrame& frame : frames) got.push_back(frame.bytes);
        EXPECT_EQ(got, c.frames) << c.gapUs;
    }
}
