// The tool around the bus: its start, line, frame cutting, log, control language and stop.
#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "SimHarness.h"

using namespace simtest;

namespace {

const Bytes kReadRequest = Hex("01 03 00 00 00 08 44 0C");

bool Exists(const std::string& path)
{
    struct stat info{};
    return lstat(path.c_str(), &info) == 0;
}

std::string LinkTarget(const std::string& path)
{
    char target[256];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

TEST(SimToolTest, WithoutOptionsServesSensorsOneAndTwoOnANewPseudoTerminal)
{
    SimProcess sim({});
    ASSERT_EQ(sim.LinePath().rfind("/dev/pts/", 0), 0u) << sim.LinePath();
    RawPort port(sim.LinePath());
    for (const char* request : {"01 03 00 04 00 04 05 C8", "02 03 00 04 00 04 05 FB"}) {
        port.Write(Hex(request));
        const Bytes reply = port.ReadReply();
        ASSERT_EQ(reply.size(), 13u);
        EXPECT_EQ(HexText(Bytes(reply.begin(), reply.begin() + 11)).substr(2),
                  " 03 08 00 0" + std::string(1, request[1]) + " 00 01 00 12 01 05");
    }
    port.Write(Hex("03 03 00 00 00 08 45 EE"));
    EXPECT_TRUE(port.ReadFor(milliseconds(200)).empty());
    EXPECT_EQ(sim.Stop(SIGINT), 0);
}

TEST(SimToolTest, VanishClosesTheLineAndRemovesTheLinkReturnMakesANewOneAtTheSameLink)
{
    TempDir dir;
    const std::string link = dir.Path("COM5");
    SimProcess sim({"--link", link, "--control", dir.Path("control")});
    ControlClient control(dir.Path("control"));
    EXPECT_EQ(LinkTarget(link), sim.LinePath());
    RawPort before(link);

    EXPECT_EQ(control.Send("vanish"), "ok");
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(before.HungUp());
    EXPECT_EQ(control.Send("path"), "error: the line has vanished");
    EXPECT_EQ(control.Send("vanish"), "error: the line has already vanished");

    const std::string reply = control.Send("return");
    ASSERT_EQ(reply.rfind("ok /dev/pts/", 0), 0u) << reply;
    EXPECT_EQ(LinkTarget(link), reply.substr(3));
    EXPECT_EQ(control.Send("return"), "error: the line is already there");
    RawPort after(link);
    after.Write(kReadRequest);
    EXPECT_EQ(after.ReadReply().size(), 21u);
}

TEST(SimToolTest, StopsCleanlyOnEitherSignalAndRemovesItsLinkAndSocket)
{
    for (int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        SimProcess sim({"--link", dir.Path("line"), "--control", dir.Path("control")});
        ASSERT_TRUE(Exists(dir.Path("line")) && Exists(dir.Path("control")));
        EXPECT_EQ(sim.Stop(signal), 0);
        EXPECT_FALSE(Exists(dir.Path("line")));
        EXPECT_FALSE(Exists(dir.Path("control")));
    }
}

TEST(SimToolTest, AttachesToAnExistingSerialDeviceAndWaitsTheTurnaround)
{
    int master = -1, device = -1;
    char devicePath[128];
    ASSERT_EQ(openpty(&master, &device, devicePath, nullptr, nullptr), 0);
    TempDir dir;
    SimProcess sim({"--device", devicePath, "--turnaround", "40", "--log", dir.Path("log")});
    EXPECT_EQ(sim.LinePath(), devicePath);
    ASSERT_EQ(write(master, kReadRequest.data(), kReadRequest.size()), 8);
    LogReader log(dir.Path("log"));
    const std::vector<LogLine> lines = log.Next(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].hex, HexText(kReadRequest));
    EXPECT_EQ(lines[1].hex.size(), 21u * 3 - 1);
    EXPECT_GE(lines[1].seconds - lines[0].seconds, 0.040);
    close(device);
    close(master);
}

class SimFramingTest : public ::testing::Test {
protected:
    TempDir dir;
    SimProcess sim{{"--no-drift", "--sensor", "1:temp=23.5,hum=45.6", "--log", dir.Path("log")}};
    RawPort port{sim.LinePath()};
    LogReader log{dir.Path("log")};
};

TEST_F(SimFramingTest, LogsEveryFrameWithWallClockTimeAndUpperCaseHex)
{
    port.Write(kReadRequest);
    EXPECT_EQ(port.ReadReply().size(), 21u);
    const std::vector<LogLine> lines = log.Next(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].direction + " " + lines[0].hex, "rx 01 03 00 00 00 08 44 0C");
    EXPECT_EQ(lines[1].direction + " " + lines[1].hex, "tx 01 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 1D 08");
    EXPECT_NEAR(lines[0].seconds, static_cast<double>(std::time(nullptr)), 5.0);
}

TEST_F(SimFramingTest, ARequestInPiecesWithinTheSilenceIsOneFrame)
{
    port.Write(Bytes(kReadRequest.begin(), kReadRequest.begin() + 3));
    usleep(1000);
    port.Write(Bytes(kReadRequest.begin() + 3, kReadRequest.end()));
    EXPECT_EQ(port.ReadReply().size(), 21u);
    EXPECT_EQ(log.Next(1).at(0).hex, HexText(kReadRequest));
}

TEST_F(SimFramingTest, PiecesApartAndBadCrcsAreLoggedAndIgnored)
{
    port.Write(Bytes(kReadRequest.begin(), kReadRequest.begin() + 4));
    EXPECT_TRUE(port.ReadFor(milliseconds(30)).empty());
    port.Write(Bytes(kReadRequest.begin() + 4, kReadRequest.end()));
    EXPECT_TRUE(port.ReadFor(milliseconds(30)).empty());
    port.Write(Hex("01 03 00 00 00 08 44 0D"));
    EXPECT_TRUE(port.ReadFor(milliseconds(100)).empty());
    const std::vector<LogLine> lines = log.Next(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].direction + " " + lines[0].hex, "rx 01 03 00 00");
    EXPECT_EQ(lines[1].direction + " " + lines[1].hex, "rx 00 08 44 0C");
    EXPECT_EQ(lines[2].direction + " " + lines[2].hex, "rx 01 03 00 00 00 08 44 0D");
}

TEST_F(SimFramingTest, AValidRequestIsAnsweredEvenWithBytesRightBehindIt)
{
    Bytes request = kReadRequest;
    request.push_back(0xAA);
    port.Write(request);
    EXPECT_EQ(port.ReadReply().size(), 21u);
    const std::vector<LogLine> lines = log.Next(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].hex, HexText(kReadRequest));
    EXPECT_EQ(lines[1].direction + " " + lines[1].hex, "rx AA");
    EXPECT_EQ(lines[2].direction, "tx");
}

TEST(SimControlTest, CommandsChangeTheBusAndRefuseWhatTheyDoNotUnderstand)
{
    TempDir dir;
    SimProcess sim({"--no-drift", "--control", dir.Path("control")});
    ControlClient control(dir.Path("control"));
    const std::vector<std::pair<std::string, std::string>> exchanges = {
        {"list", "ok 1 2"},
        {"add 7 temp=-1.5,hum=30", "ok"},
        {"show 7", "ok r0=0x800F r1=0x012C r2=0x0000 r3=0x0000 r4=0x0007 r5=0x0001 r6=0x0012 r7=0x0105 temp=-1.5 hum=30.0 faults=none"},
        {"set 7 toff=2.5 hoff=-0.5", "ok"},
        {"get 7 0", "ok 0x000A"},
        {"get 7 1", "ok 0x0127"},
        {"set 7 r0=0x8000", "ok"},
        {"get 7 0", "ok 0x8000"},
        {"set 7 temp=20", "ok"},
        {"get 7 0", "ok 0x00E1"},
        {"set 7 r4=0x0009,r6=0xFFFF", "ok"},
        {"get 7 6", "ok 0xFFFF"},
        {"set 7 hoff=1.0,temp=abc", "error: bad setting 'temp=abc'"},
        {"get 7 3", "ok 0x8005"},
        {"fault 7 late", "ok"},
        {"fault 7 address 200", "ok"},
        {"show 7", "ok r0=0x00E1 r1=0x0127 r2=0x0019 r3=0x8005 r4=0x0009 r5=0x0001 r6=0xFFFF r7=0x0105 temp=20.0 hum=30.0 "
                   "faults=address:200,late:300"},
        {"list", "ok 1 2 7"},
        {"remove 7", "ok"},
        {"get 7 0", "error: no sensor at address 7"},
        {"add 1", "error: address 1 is already on the bus"},
        {"add 64", "error: usage: add ADDR ... (ADDR 0-63)"},
        {"set 1 r8=1", "error: bad setting 'r8=1'"},
        {"set 1 r2=65536", "error: bad setting 'r2=65536'"},
        {"set 1 temp=nan", "error: bad setting 'temp=nan'"},
        {"get 1 8", "error: REG must be 0-7"},
        {"fault 1 late 60001", "error: DELAY_MS must be 0-60000"},
        {"fault 1 silent 3", "error: silent takes no argument"},
        {"fault 1 loud", "error: unknown fault 'loud'"},
        {"clear 1 loud", "error: unknown fault 'loud'"},
        {"list 1", "error: list takes no arguments"},
        {"", "error: empty command"},
        {"reboot", "error: unknown command 'reboot'"},
    };
    for (const auto& [command, reply] : exchanges) EXPECT_EQ(control.Send(command), reply) << command;
}

TEST(SimControlTest, StandardInputTakesCommandsAndAConfigFileRunsThemAtStart)
{
    TempDir dir;
    std::ofstream(dir.Path("bus.conf")) << "# two sensors, one slow\n\nadd 5 temp=20.0\r\nfault 5 late 100\n";
    SimProcess sim({"--no-drift", "--config", dir.Path("bus.conf")}, true);
    sim.WriteInput("list\nshow 5\n");
    EXPECT_EQ(sim.ReadOutputLine(), "ok 1 2 5");
    EXPECT_EQ(sim.ReadOutputLine().substr(0, 13), "ok r0=0x00C8 ");

    std::ofstream(dir.Path("bad.conf")) << "add 5\nadd 99\n";
    SimProcess refused({"--config", dir.Path("bad.conf")});
    EXPECT_EQ(refused.LinePath(), "");
    EXPECT_EQ(refused.WaitExit(), 1);
    EXPECT_EQ(refused.ErrorText(), "tarvik-sim: " + dir.Path("bad.conf") + ":2: error: usage: add ADDR ... (ADDR 0-63)\n");
}

TEST(SimControlTest, UnknownOptionsAreRefused)
{
    SimProcess sim({"--baud", "19200"});
    EXPECT_EQ(sim.WaitExit(), 2);
    EXPECT_EQ(sim.ErrorText(), "tarvik-sim: unknown option: --baud (see --help)\n");
}

}
