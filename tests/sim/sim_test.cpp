// tarvik-sim as a separate process, as its users run it: every fault mode seen at the master's end of
// the line, and two independent Modbus masters, libmodbus as a library and mbpoll as a program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Numbers = std::vector<long>;

Bytes Hex(const std::string& text)
{
    std::istringstream stream(text);
    Bytes bytes;
    for (unsigned byte; stream >> std::hex >> byte;) bytes.push_back(std::uint8_t(byte));
    return bytes;
}

// The simulator with its standard input and output on pipes: a command in, its reply line out. The
// first line it prints is the path of its line.
class Sim {
public:
    explicit Sim(std::vector<const char*> arguments)
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("pipe");
        arguments.insert(arguments.begin(), TARVIK_SIM_PATH);
        arguments.push_back(nullptr);
        if ((pid = ::fork()) == 0) {
            ::dup2(in[0], 0), ::dup2(out[1], 1);
            ::execv(TARVIK_SIM_PATH, const_cast<char**>(arguments.data()));
            ::_exit(127);
        }
        ::close(in[0]), ::close(out[1]);
        input = in[1];
        output = ::fdopen(out[0], "r");
        path = Command("");
    }
    ~Sim() { ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0), ::close(input), std::fclose(output); }
    // Sends the command (none when empty) and returns the next line of output.
    std::string Command(const std::string& command)
    {
        const std::string line = command + "\n";
        char reply[512] = {};
        if (!command.empty() && ::write(input, line.data(), line.size()) != ssize_t(line.size())) return "";
        return std::fgets(reply, sizeof reply, output) ? std::string(reply, std::strcspn(reply, "\n")) : "";
    }
    std::string path;

private:
    pid_t pid;
    int input;
    FILE* output;
};

// The fault kinds as the simulator lists them, the one list every table of faults is held to.
std::vector<std::string> ListedFaults()
{
    std::vector<std::string> kinds;
    FILE* listing = ::popen(TARVIK_SIM_PATH " --list-faults", "r");
    char line[128];
    while (listing && std::fgets(line, sizeof line, listing)) kinds.emplace_back(line, std::strcspn(line, " \n"));
    if (listing) ::pclose(listing);
    return kinds;
}

// The fault kinds a row switches on: "noise 2,short" holds noise and short.
std::vector<std::string> KindsOf(const std::string& faults)
{
    std::vector<std::string> kinds;
    std::istringstream list(faults);
    for (std::string fault; std::getline(list, fault, ',');) kinds.push_back(fault.substr(0, fault.find(' ')));
    return kinds;
}

const Bytes kRead = Hex("01 03 00 00 00 08 44 0C");
const std::string kRegisters = "01 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 ";  // the reply before its CRC
const Bytes kReply = Hex(kRegisters + "1D 08");
const Bytes kWrite = Hex("01 06 00 02 80 0F 09 CE");  // register 2 = -1.5

}  // namespace

// Each row: the faults switched on for sensor 1, the request, the whole reply, the least time from the
// request to the reply's last byte, and register 2 afterwards (what a write stored). Every fault the
// simulator lists is in a row.
TEST(SimFaults, EachModeAsTheMasterSeesIt)
{
    Bytes flood(3000);
    for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = std::uint8_t(i);
    struct Case {
        const char* faults;
        Bytes request, reply;
        double atLeastMs;  // a lower bound only: the turnaround and 21 byte times cannot be beaten
        const char* stored;
    };
    const Case cases[] = {
        {"", kRead, kReply, 24.8, "ok 0x0000"},
        {"", kWrite, kWrite, 0, "ok 0x800F"},
        {"silent", kRead, {}, 0, "ok 0x0000"},
        {"silent", kWrite, {}, 0, "ok 0x0000"},
        {"address", kRead, Hex("02 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 59 4C"), 0, "ok 0x0000"},
        {"crc-low", kRead, Hex(kRegisters + "E2 08"), 0, "ok 0x0000"},
        {"crc-high", kRead, Hex(kRegisters + "1D F7"), 0, "ok 0x0000"},
        {"split 150", kRead, kReply, 150 + 21.8, "ok 0x0000"},
        {"late 300", kRead, kReply, 300 + 21.8, "ok 0x0000"},
        {"exception", kRead, Hex("01 83 04 40 F3"), 0, "ok 0x0000"},
        {"exception 2", kWrite, Hex("01 86 02 C3 A1"), 0, "ok 0x0000"},
        {"short", kRead, Hex(kRegisters + "1D"), 0, "ok 0x0000"},
        {"long", kRead, Hex(kRegisters + "1D 08 00"), 0, "ok 0x0000"},
        {"echo-reg", kWrite, Hex("01 06 00 03 80 0F 58 0E"), 0, "ok 0x800F"},
        {"echo-crc", kWrite, Hex("01 06 00 02 80 0F F6 CE"), 0, "ok 0x800F"},
        {"echo-value", kWrite, Hex("01 06 00 02 80 0E C8 0E"), 0, "ok 0x800F"},
        {"function", kRead, Hex("01 04 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 AC 7D"), 0, "ok 0x0000"},
        {"byte-count", kRead, Hex("01 03 0F 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 25 3E"), 0, "ok 0x0000"},
        {"noise 2,short", kRead, Hex("FF FF " + kRegisters + "1D"), 0, "ok 0x0000"},
        {"flood", kRead, flood, 0, "ok 0x0000"},
    };
    const std::vector<std::string> listed = ListedFaults();
    ASSERT_FALSE(listed.empty());
    for (const std::string& kind : listed) {
        const auto hasKind = [&](const Case& c) {
            const std::vector<std::string> kinds = KindsOf(c.faults);
            return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
        };
        EXPECT_TRUE(std::any_of(std::begin(cases), std::end(cases), hasKind)) << "no row for the fault " << kind;
    }
    Sim sim({"--no-drift", "--sensor", "1:temp=23.5,hum=45.6"});
    const int port = ::open(sim.path.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    ASSERT_TRUE(port >= 0 && ::tcgetattr(port, &raw) == 0);
    ::cfmakeraw(&raw), ::tcsetattr(port, TCSANOW, &raw);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("faults: ") + c.faults + (c.request == kRead ? ", read" : ", write"));
        ASSERT_EQ(sim.Command("clear 1") + sim.Command("set 1 toff=0"), "okok");
        std::istringstream faults(c.faults);
        for (std::string fault; std::getline(faults, fault, ',');) ASSERT_EQ(sim.Command("fault 1 " + fault), "ok");

        // Timed from before the write: the simulator cannot have the request earlier, so the least time holds
        // however late this thread runs again after it.
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(::write(port, c.request.data(), c.request.size()), ssize_t(c.request.size()));
        Bytes reply;
        double lastMs = 0;
        std::uint8_t byte;
        pollfd readable{port, POLLIN, 0};
        // The first byte within a generous second, then until the line has been quiet a while.
        while (::poll(&readable, 1, reply.empty() ? 1000 : 250) == 1 && ::read(port, &byte, 1) == 1) {
            reply.push_back(byte);
            lastMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
        }
        EXPECT_EQ(reply, c.reply);
        EXPECT_GE(lastMs, c.atLeastMs);
        EXPECT_EQ(sim.Command("get 1 2"), c.stored);
    }
    ::close(port);
}

// The line as strict as a real bus. Each row: how many bytes of sensor 1's reply the master takes and
// how long it then waits before it asks sensor 2; what it receives in all, its 21st byte (the last of
// sensor 1's reply) and its 22nd (the first of sensor 2's, 0 when none). A request right behind the reply
// is merged with it and one sent into it collides (the rest of the reply inverted): neither is answered.
TEST(SimLine, MergedAndCollidedFramesGoUnanswered)
{
    const Bytes read2 = Hex("02 03 00 00 00 08 44 3F");
    struct Case {
        const char* name;
        std::size_t afterBytes;
        int pauseMs;
        std::vector<std::size_t> received;  // count, 21st byte, 22nd byte
    };
    const Case cases[] = {
        {"right behind the reply", 21, 0, {21, 0x08, 0}},
        {"into the reply", 1, 0, {21, 0x08 ^ 0xFF, 0}},
        {"after 3.5 characters of silence", 21, 6, {42, 0x08, 0x02}},
    };
    Sim sim({"--no-drift", "--sensor", "1:temp=23.5,hum=45.6", "--sensor", "2"});
    const int port = ::open(sim.path.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    ASSERT_TRUE(port >= 0 && ::tcgetattr(port, &raw) == 0);
    ::cfmakeraw(&raw), ::tcsetattr(port, TCSANOW, &raw);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(::write(port, kRead.data(), kRead.size()), ssize_t(kRead.size()));
        Bytes received;
        std::uint8_t byte;
        pollfd readable{port, POLLIN, 0};
        while (received.size() < c.afterBytes && ::poll(&readable, 1, 1000) == 1 && ::read(port, &byte, 1) == 1)
            received.push_back(byte);
        std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        ASSERT_EQ(::write(port, read2.data(), read2.size()), ssize_t(read2.size()));
        while (::poll(&readable, 1, 300) == 1 && ::read(port, &byte, 1) == 1) received.push_back(byte);
        const std::size_t count = received.size();
        received.resize(std::max<std::size_t>(count, 22));  // so that the bytes below can be read
        EXPECT_EQ((std::vector<std::size_t>{count, received[20], received[21]}), c.received);
    }
    ::close(port);
}

// libmodbus reads and writes the sensors (what a sensor refuses gets an exception, an absent one no answer);
// then mbpoll, a master on the command line, writes an offset and reads what both wrote.
TEST(SimPeers, LibmodbusAndMbpollAsMasters)
{
    Sim sim({"--no-drift", "--sensor", "1:temp=23.5,hum=45.6", "--sensor", "63"});
    modbus_t* master = modbus_new_rtu(sim.path.c_str(), 9600, 'N', 8, 1);
    ASSERT_TRUE(master && modbus_connect(master) == 0);
    modbus_set_response_timeout(master, 0, 300000);
    // libmodbus sends its next request as soon as a reply is in; on a pseudo-terminal, with no adapter
    // latency between, the bus would take it for the reply's tail. A master must keep 3.5 characters apart.
    const auto quiet = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    const auto read = [&](int address, int first, int count) {  // the registers, or the error number
        std::uint16_t registers[8] = {};
        quiet();
        modbus_set_slave(master, address);
        return modbus_read_registers(master, first, count, registers) == count ? Numbers(registers, registers + count)
                                                                                : Numbers{errno};
    };
    const auto write = [&](int address, int reg, std::uint16_t value) {
        return quiet(), modbus_set_slave(master, address), modbus_write_register(master, reg, value) == 1 ? 0 : errno;
    };
    EXPECT_EQ(read(1, 0, 8), (Numbers{0x00EB, 0x01C8, 0, 0, 1, 0x0001, 0x0012, 0x0105}));
    EXPECT_EQ(read(63, 0, 2), (Numbers{215 + 7 * 63 % 40, 400 + 37 * 63 % 200}));  // the default readings
    EXPECT_EQ(write(1, 2, 0x800F), 0);  // -1.5
    EXPECT_EQ(write(1, 3, 0x0064), 0);  // 10.0
    EXPECT_EQ(read(1, 0, 4), (Numbers{0x00DC, 0x022C, 0x800F, 0x0064}));
    EXPECT_EQ(write(1, 4, 5), EMBXILADD);  // only the offsets are writable
    EXPECT_EQ(read(9, 0, 8), Numbers{ETIMEDOUT});  // no sensor there
    modbus_close(master);
    modbus_free(master);

    const auto mbpoll = [&](const std::string& options) {
        std::string output;
        const std::string command = "mbpoll -m rtu -b 9600 -d 8 -s 1 -P none -t 4:hex -1 -o 1 -a 1 " + options + " 2>&1";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        char chunk[512];
        while (std::fgets(chunk, sizeof chunk, pipe.get())) output += chunk;
        return output;
    };
    EXPECT_NE(mbpoll("-r 3 " + sim.path + " 0x8019").find("Written 1 references"), std::string::npos);
    const std::string registers = mbpoll("-r 1 -c 8 " + sim.path);
    EXPECT_NE(registers.find("[1]: \t0x00D2\n[2]: \t0x022C\n[3]: \t0x8019\n[4]: \t0x0064\n[5]: \t0x0001\n"
                             "[6]: \t0x0001\n[7]: \t0x0012\n[8]: \t0x0105\n"), std::string::npos) << registers;
}
