// tarvik-sim: a bus of Modbus RTU temperature/humidity sensor modules behind a serial line.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tools/sim/Simulator.h"

namespace {

const char kUsage[] =
    "usage: tarvik-sim [options]\n"
    "Simulates Modbus RTU temperature/humidity sensors (function 03 reads, 06 writes of registers 2 and 3)\n"
    "on a new pseudo-terminal at 9600 8N1 and prints its path as the first line of output. SIGINT or\n"
    "SIGTERM end it.\n"
    "options:\n"
    "  --sensor ADDR[:SETTINGS]  a sensor at ADDR (0-63), e.g. 5:temp=23.5,hum=45.6; repeatable; without\n"
    "                            any, sensors 1 and 2 with default readings\n"
    "  --config FILE             run the control commands in FILE (one a line, # comments) at start\n"
    "  --link PATH               keep a symlink at PATH pointing to the line (replaced if present,\n"
    "                            removed at exit and while the line has vanished)\n"
    "  --device PATH             use this serial device (9600 8N1) instead of a pseudo-terminal\n"
    "  --control PATH            accept control commands on a unix stream socket at PATH\n"
    "                            (standard input takes them too, while it is open)\n"
    "  --log FILE                log every frame, '-' for standard output:\n"
    "                            <epoch seconds.micro> <rx|tx> <HEX BYTES>\n"
    "  --turnaround MS           pause from a request to the first reply byte (default 3)\n"
    "  --no-drift                readings exactly base + offset, for tests\n"
    "  --list-faults             the fault kinds, one a line: KIND [ARG]; the tests enumerate them from here\n"
    "  --help                    this text\n"
    "Control commands (one a line; each gets one reply line: ok [DATA] or error: REASON):\n";

struct Options {
    std::vector<std::string> sensors;
    std::string config;
    std::string link;
    std::string device;
    std::string control;
    std::string log;
    double turnaroundMs = 3.0;
    bool drift = true;
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-drift") {
            options.drift = false;
            continue;
        }
        if (i + 1 == argc) {
            error = "unknown option or missing value: " + option;
            return false;
        }
        const std::string value = argv[++i];
        if (option == "--sensor") {
            options.sensors.push_back(value);
        } else if (option == "--config") {
            options.config = value;
        } else if (option == "--link") {
            options.link = value;
        } else if (option == "--device") {
            options.device = value;
        } else if (option == "--control") {
            options.control = value;
        } else if (option == "--log") {
            options.log = value;
        } else if (option == "--turnaround") {
            char* end = nullptr;
            options.turnaroundMs = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(options.turnaroundMs >= 0 && options.turnaroundMs <= 10000)) {
                error = "--turnaround wants milliseconds from 0 to 10000";
                return false;
            }
        } else {
            error = "unknown option: " + option;
            return false;
        }
    }
    return true;
}

bool RunConfig(const std::string& path, sim::Simulator& simulator, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const auto start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::string reply = simulator.Run(line);
        if (reply.rfind("error", 0) == 0) {
            error = path + ":" + std::to_string(number) + ": " + reply;
            return false;
        }
    }
    return true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "tarvik-sim: %s\n", message.c_str());
    return 1;
}

}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::printf("%s%s", kUsage, sim::kCommandHelp);
            return 0;
        }
        if (std::string(argv[i]) == "--list-faults") {
            for (int kind = 0; kind < sim::kFaultKinds; ++kind) {
                const sim::FaultKind& fault = sim::DescribeFault(static_cast<sim::Fault>(kind));
                const std::string argument = fault.argumentName ? std::string(" ") + fault.argumentName : "";
                std::printf("%s%s\n", fault.name, argument.c_str());
            }
            return 0;
        }
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tarvik-sim: %s (see --help)\n", error.c_str());
        return 2;
    }

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    const int signalFd = signalfd(-1, &stops, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);
    // Started in the background of a terminal, a read of standard input then fails instead of stopping us.
    std::signal(SIGTTIN, SIG_IGN);
    // Pacing wants wake-ups within a few microseconds of the byte time, not the default 50.
    prctl(PR_SET_TIMERSLACK, 1UL);

    sim::Bus bus;
    bus.turnaroundMs = options.turnaroundMs;
    bus.drift = options.drift;
    sim::Line line(options.device, options.link);
    sim::FrameLog log;
    sim::ControlChannels control;
    sim::Simulator simulator(bus, line, log, control);

    if (options.sensors.empty()) options.sensors = {"1", "2"};
    for (const std::string& sensor : options.sensors) {
        std::string command = "add " + sensor;
        const auto colon = command.find(':');
        if (colon != std::string::npos) command[colon] = ' ';
        const std::string reply = simulator.Run(command);
        if (reply != "ok") {
            std::fprintf(stderr, "tarvik-sim: --sensor %s: %s\n", sensor.c_str(), reply.c_str());
            return 2;
        }
    }
    if (signalFd < 0) return Fail("cannot watch for signals");
    if (!log.Open(options.log, error) || !line.Open(error)) return Fail(error);
    if (!options.control.empty() && !control.Listen(options.control, error)) return Fail(error);
    if (!options.config.empty() && !RunConfig(options.config, simulator, error)) return Fail(error);
    if (fcntl(STDIN_FILENO, F_GETFD) != -1) control.WatchStandardInput();

    std::printf("%s\n", line.Path().c_str());
    std::fflush(stdout);
    return simulator.Serve(signalFd) ? 0 : 1;
}
