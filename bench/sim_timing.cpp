// Prints how tarvik-sim times its replies as a master on its line sees them: request written -> first
// byte (turnaround + one byte time), first -> last byte, request -> last byte, and the byte spacing.
// Figures only; nothing is asserted.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void Report(const char* name, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double value : values) sum += value;
    std::printf("%-24s min %7.3f  median %7.3f  mean %7.3f  max %7.3f ms\n", name, values.front(), values[values.size() / 2],
                sum / static_cast<double>(values.size()), values.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = std::max(argc > 1 ? std::atoi(argv[1]) : 50, 1);
    const char* turnaround = argc > 2 ? argv[2] : "3";
    int output[2];
    if (argc < 4 || ::pipe(output) != 0) return std::fprintf(stderr, "usage: ROUNDS TURNAROUND_MS TARVIK_SIM\n"), 2;
    const pid_t sim = ::fork();
    if (sim == 0) {
        ::dup2(output[1], 1);
        ::execl(argv[3], argv[3], "--turnaround", turnaround, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    FILE* lines = ::fdopen(output[0], "r");
    char path[256] = {};
    const int port = std::fgets(path, sizeof path, lines) ? ::open(std::strtok(path, "\n"), O_RDWR | O_NOCTTY) : -1;
    termios raw{};
    if (port < 0 || ::tcgetattr(port, &raw) != 0) return std::fprintf(stderr, "no line from %s\n", argv[3]), 1;
    ::cfmakeraw(&raw);
    ::tcsetattr(port, TCSANOW, &raw);

    std::vector<double> toFirst, firstToLast, toLast, spacing;
    const unsigned char request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C};
    for (int round = 0; round < rounds; ++round) {
        if (::write(port, request, sizeof request) != sizeof request) return 1;
        const Clock::time_point written = Clock::now();
        std::vector<Clock::time_point> arrivals;
        unsigned char byte;
        pollfd readable = {port, POLLIN, 0};
        while (arrivals.size() < 21 && ::poll(&readable, 1, 1000) == 1 && ::read(port, &byte, 1) == 1)
            arrivals.push_back(Clock::now());
        if (arrivals.size() != 21) return std::fprintf(stderr, "no complete reply in round %d\n", round), 1;
        toFirst.push_back(Ms(arrivals.front() - written));
        firstToLast.push_back(Ms(arrivals.back() - arrivals.front()));
        toLast.push_back(Ms(arrivals.back() - written));
        for (std::size_t i = 1; i < arrivals.size(); ++i) spacing.push_back(Ms(arrivals[i] - arrivals[i - 1]));
    }
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    std::printf("tarvik-sim reply timing, %d reads of 21 bytes, turnaround %s ms (ideal: first byte at turnaround + "
                "1.042 ms,\nlast byte 21 x 1.042 = 21.875 ms after the turnaround)\n", rounds, turnaround);
    Report("request -> first byte", toFirst);
    Report("first -> last byte", firstToLast);
    Report("request -> last byte", toLast);
    Report("byte to byte", spacing);
    return 0;
}
