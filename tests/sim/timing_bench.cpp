// Prints how tarvik-sim times its replies as a master sees them: request written -> first byte
// (turnaround + one byte time), first -> last byte, request -> last byte, and the byte spacing.
// Figures only; nothing is asserted.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SimHarness.h"

using namespace simtest;

namespace {

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void Report(const char* name, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double value : values) sum += value;
    std::printf("%-28s min %7.3f  median %7.3f  mean %7.3f  max %7.3f ms\n", name, values.front(), values[values.size() / 2],
                sum / static_cast<double>(values.size()), values.back());
}

}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    const std::string turnaround = argc > 2 ? argv[2] : "3";
    TempDir dir;
    SimProcess sim({"--turnaround", turnaround, "--log", dir.Path("log")});
    RawPort port(sim.LinePath());
    LogReader log(dir.Path("log"));

    std::vector<double> toFirst, firstToLast, toLast, spacing, logged;
    for (int round = 0; round < std::max(rounds, 1); ++round) {
        port.Write(Hex("01 03 00 00 00 08 44 0C"));
        if (port.Read(21).size() != 21) {
            std::fprintf(stderr, "no complete reply in round %d\n", round);
            return 1;
        }
        toFirst.push_back(Ms(port.arrivals.front() - port.writtenAt));
        firstToLast.push_back(Ms(port.arrivals.back() - port.arrivals.front()));
        toLast.push_back(Ms(port.arrivals.back() - port.writtenAt));
        for (std::size_t i = 1; i < port.arrivals.size(); ++i) spacing.push_back(Ms(port.arrivals[i] - port.arrivals[i - 1]));
        const std::vector<LogLine> lines = log.Next(2);
        if (lines.size() == 2) logged.push_back((lines[1].seconds - lines[0].seconds) * 1000);
    }
    std::printf("tarvik-sim reply timing, %d reads of 21 bytes, turnaround %s ms (ideal: first byte at turnaround + 1.042 ms,\n"
                "last byte 21 x 1.042 = 21.875 ms after the turnaround)\n",
                std::max(rounds, 1), turnaround.c_str());
    Report("request -> first byte", toFirst);
    Report("first -> last byte", firstToLast);
    Report("request -> last byte", toLast);
    Report("byte to byte", spacing);
    Report("log rx -> tx (sim's clock)", logged);
    return 0;
}
