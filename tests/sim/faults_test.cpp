// Every fault mode, seen as raw bytes at the master's end of the line.
#include <gtest/gtest.h>

#include <memory>

#include "SimHarness.h"

using namespace simtest;
using std::chrono::microseconds;

namespace {

const Bytes kReadRequest = Hex("01 03 00 00 00 08 44 0C");
const Bytes kReply = Hex("01 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 1D 08");
const Bytes kWriteRequest = Hex("01 06 00 02 80 0F 09 CE");  // register 2 = -1.5

class SimFaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<TempDir>();
        sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--no-drift", "--sensor", "1:temp=23.5,hum=45.6", "--control", dir->Path("control"), "--log", dir->Path("log")});
        control = std::make_unique<ControlClient>(dir->Path("control"));
    }
    static void TearDownTestSuite()
    {
        control.reset();
        sim.reset();
        dir.reset();
    }
    void SetUp() override
    {
        ASSERT_EQ(control->Send("clear 1"), "ok");
        ASSERT_EQ(control->Send("set 1 toff=0,hoff=0"), "ok");
        log.Available();
    }

    // Sends the request with the fault on and returns the whole reply.
    Bytes Exchange(const std::string& fault, const Bytes& request)
    {
        EXPECT_EQ(control->Send("fault 1 " + fault), "ok");
        port.Write(request);
        return port.ReadReply();
    }
    static Bytes Join(Bytes front, const Bytes& back)
    {
        front.insert(front.end(), back.begin(), back.end());
        return front;
    }

    static std::unique_ptr<TempDir> dir;
    static std::unique_ptr<SimProcess> sim;
    static std::unique_ptr<ControlClient> control;
    RawPort port{sim->LinePath()};
    LogReader log{dir->Path("log")};
};

std::unique_ptr<TempDir> SimFaultTest::dir;
std::unique_ptr<SimProcess> SimFaultTest::sim;
std::unique_ptr<ControlClient> SimFaultTest::control;

TEST_F(SimFaultTest, ConformingReplyIsPacedAsANineThousandSixHundredBaudLine)
{
    port.Write(kReadRequest);
    EXPECT_EQ(port.Read(21), kReply);
    // A lower bound only: the turnaround and 21 byte times (3 + 21.9 ms) cannot be beaten.
    EXPECT_GE(port.arrivals.back() - port.writtenAt, microseconds(24800));
    EXPECT_TRUE(port.ReadFor(milliseconds(30)).empty());
}

TEST_F(SimFaultTest, SilentSendsNothing)
{
    ASSERT_EQ(control->Send("fault 1 silent"), "ok");
    port.Write(kReadRequest);
    EXPECT_TRUE(port.ReadFor(milliseconds(300)).empty());
    port.Write(kWriteRequest);
    EXPECT_TRUE(port.ReadFor(milliseconds(300)).empty());
    EXPECT_EQ(control->Send("get 1 2"), "ok 0x0000");  // as a dead module: nothing stored
}

TEST_F(SimFaultTest, AddressNamesAnotherAddressWithTheRightCrc)
{
    EXPECT_EQ(Exchange("address", kReadRequest), Hex("02 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 59 4C"));
    EXPECT_EQ(Exchange("address 7", kReadRequest), Hex("07 03 10 00 EB 01 C8 00 00 00 00 00 01 00 01 00 12 01 05 95 80"));
}

TEST_F(SimFaultTest, CrcFaultsInvertOneCrcByte)
{
    Bytes low = kReply, high = kReply;
    low[19] ^= 0xFF;
    high[20] ^= 0xFF;
    EXPECT_EQ(Exchange("crc-low", kReadRequest), low);
    ASSERT_EQ(control->Send("clear 1 crc-low"), "ok");
    EXPECT_EQ(Exchange("crc-high", kReadRequest), high);
}

TEST_F(SimFaultTest, SplitSendsTwoHalvesWithTheGapBetween)
{
    ASSERT_EQ(control->Send("fault 1 split 150"), "ok");
    port.Write(kReadRequest);
    EXPECT_EQ(port.Read(21), kReply);
    const std::vector<LogLine> lines = log.Next(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].hex, HexText(Bytes(kReply.begin(), kReply.begin() + 10)));
    EXPECT_EQ(lines[2].hex, HexText(Bytes(kReply.begin() + 10, kReply.end())));
    EXPECT_GE(lines[2].seconds - lines[1].seconds, 0.150);
}

TEST_F(SimFaultTest, LateReplyMissesTheMastersCheckAndComesAfterIt)
{
    EXPECT_EQ(Exchange("late 300", kReadRequest), kReply);
    const std::vector<LogLine> lines = log.Next(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_GE(lines[1].seconds - lines[0].seconds, 0.300);
}

TEST_F(SimFaultTest, ExceptionRepliesWithTheCodeAndStoresNothing)
{
    EXPECT_EQ(Exchange("exception", kReadRequest), Hex("01 83 04 40 F3"));
    EXPECT_EQ(Exchange("exception 2", kReadRequest), Hex("01 83 02 C0 F1"));
    EXPECT_EQ(Exchange("exception 2", kWriteRequest), Hex("01 86 02 C3 A1"));
    EXPECT_EQ(control->Send("get 1 2"), "ok 0x0000");
}

TEST_F(SimFaultTest, ShortAndLongChangeTheLengthByOne)
{
    EXPECT_EQ(Exchange("short", kReadRequest), Bytes(kReply.begin(), kReply.end() - 1));
    ASSERT_EQ(control->Send("clear 1"), "ok");
    EXPECT_EQ(Exchange("long", kReadRequest), Join(kReply, {0x00}));
}

TEST_F(SimFaultTest, WriteEchoFaultsNameTheOtherRegisterOrBreakTheCrc)
{
    EXPECT_EQ(Exchange("echo-reg", kWriteRequest), Hex("01 06 00 03 80 0F 58 0E"));
    EXPECT_EQ(control->Send("get 1 2"), "ok 0x800F");
    port.Write(kReadRequest);
    EXPECT_EQ(port.ReadReply().size(), 21u);  // reads are not echoes: untouched

    ASSERT_EQ(control->Send("clear 1"), "ok");
    EXPECT_EQ(Exchange("echo-crc", kWriteRequest), Hex("01 06 00 02 80 0F F6 CE"));
}

TEST_F(SimFaultTest, NoiseComesJustBeforeTheReply)
{
    EXPECT_EQ(Exchange("noise", kReadRequest), Join(Hex("FF FF FF"), kReply));
    EXPECT_EQ(Exchange("noise 5", kReadRequest), Join(Hex("FF FF FF FF FF"), kReply));
}

TEST_F(SimFaultTest, FloodSendsMoreThanAReceiveBufferAtOnce)
{
    const Bytes flood = Exchange("flood", kReadRequest);
    ASSERT_EQ(flood.size(), 3000u);
    for (std::size_t i = 0; i < flood.size(); ++i) ASSERT_EQ(flood[i], i & 0xFF) << i;
    EXPECT_EQ(Exchange("flood 2049", kReadRequest).size(), 2049u);
}

TEST_F(SimFaultTest, FaultsCombineAndClearOneByOne)
{
    ASSERT_EQ(control->Send("fault 1 noise 2"), "ok");
    ASSERT_EQ(control->Send("fault 1 short"), "ok");
    const std::string shown = control->Send("show 1");
    EXPECT_EQ(shown.substr(shown.find("faults=")), "faults=short,noise:2");
    port.Write(kReadRequest);
    EXPECT_EQ(port.ReadReply(), Join(Hex("FF FF"), Bytes(kReply.begin(), kReply.end() - 1)));
    ASSERT_EQ(control->Send("clear 1 noise"), "ok");
    port.Write(kReadRequest);
    EXPECT_EQ(port.ReadReply(), Bytes(kReply.begin(), kReply.end() - 1));
}

}
