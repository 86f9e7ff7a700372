// The simulator against independent Modbus masters: libmodbus as a library and mbpoll as a program.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "SimHarness.h"

using namespace simtest;

namespace {

class ModbusMaster {
public:
    explicit ModbusMaster(const std::string& path) : context_(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1))
    {
        if (!context_ || modbus_connect(context_) != 0) throw std::runtime_error("libmodbus cannot open " + path);
        modbus_set_response_timeout(context_, 0, 300000);
    }
    ~ModbusMaster()
    {
        modbus_close(context_);
        modbus_free(context_);
    }
    // The registers read, or empty with the error number in failure.
    std::vector<std::uint16_t> Read(int address, int first, int count)
    {
        std::vector<std::uint16_t> registers(static_cast<std::size_t>(count));
        modbus_set_slave(context_, address);
        const int read = modbus_read_registers(context_, first, count, registers.data());
        failure = read < 0 ? errno : 0;
        if (read != count) registers.clear();
        return registers;
    }
    int Write(int address, int reg, std::uint16_t value)
    {
        modbus_set_slave(context_, address);
        return modbus_write_register(context_, reg, value) == 1 ? 0 : errno;
    }
    int ReadInput(int address)
    {
        std::uint16_t registers[8];
        modbus_set_slave(context_, address);
        return modbus_read_input_registers(context_, 0, 8, registers) == 8 ? 0 : errno;
    }
    int failure = 0;

private:
    modbus_t* context_;
};

class SimInteropTest : public ::testing::Test {
protected:
    TempDir dir;
    SimProcess sim{{"--no-drift", "--link", dir.Path("line"), "--control", dir.Path("control"), "--log", dir.Path("log"),
                    "--sensor", "1:temp=23.5,hum=45.6", "--sensor", "2:temp=-1.5,hum=80", "--sensor", "63"}};
    ControlClient control{dir.Path("control")};
    LogReader log{dir.Path("log")};
    ModbusMaster master{dir.Path("line")};
};

using Words = std::vector<std::uint16_t>;

TEST_F(SimInteropTest, ReadsAllEightRegistersOfEveryAddress)
{
    EXPECT_EQ(master.Read(1, 0, 8), (Words{0x00EB, 0x01C8, 0, 0, 1, 0x0001, 0x0012, 0x0105}));
    EXPECT_EQ(master.Read(2, 0, 8), (Words{0x800F, 0x0320, 0, 0, 2, 0x0001, 0x0012, 0x0105}));
    // Default readings: 21.5 + (7 x address mod 40) tenths, 40.0 + (37 x address mod 200) tenths.
    EXPECT_EQ(master.Read(63, 0, 8), (Words{215 + 441 % 40, 400 + 2331 % 200, 0, 0, 63, 0x0001, 0x0012, 0x0105}));
}

TEST_F(SimInteropTest, ReadsAnyRangeInsideTheEightRegisters)
{
    EXPECT_EQ(master.Read(1, 4, 4), (Words{1, 0x0001, 0x0012, 0x0105}));
    EXPECT_EQ(master.Read(2, 0, 1), (Words{0x800F}));
    EXPECT_EQ(master.Read(2, 7, 1), (Words{0x0105}));
}

TEST_F(SimInteropTest, WrittenOffsetsShowInTheRegistersAndTheNextReadings)
{
    EXPECT_EQ(master.Write(1, 2, 0x800F), 0);  // -1.5
    EXPECT_EQ(master.Write(1, 3, 0x0064), 0);  // 10.0
    EXPECT_EQ(master.Read(1, 0, 8), (Words{0x00DC, 0x022C, 0x800F, 0x0064, 1, 0x0001, 0x0012, 0x0105}));
    EXPECT_EQ(control.Send("get 1 2"), "ok 0x800F");
    EXPECT_EQ(control.Send("get 1 0"), "ok 0x00DC");

    const std::vector<LogLine> lines = log.Next(6);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].direction + " " + lines[0].hex, "rx 01 06 00 02 80 0F 09 CE");
    EXPECT_EQ(lines[1].direction + " " + lines[1].hex, "tx 01 06 00 02 80 0F 09 CE");
    EXPECT_EQ(lines[2].hex, "01 06 00 03 00 64 78 21");
    EXPECT_EQ(lines[5].hex, "01 03 10 00 DC 02 2C 80 0F 00 64 00 01 00 01 00 12 01 05 B1 50");
    EXPECT_LE(lines[0].seconds, lines[1].seconds);
}

TEST_F(SimInteropTest, RefusesWhatTheSensorsDoNotDoWithExceptionReplies)
{
    EXPECT_EQ(master.ReadInput(1), EMBXILFUN);
    EXPECT_EQ(master.Write(1, 0, 5), EMBXILADD);
    EXPECT_EQ(master.Write(1, 4, 5), EMBXILADD);
    EXPECT_TRUE(master.Read(1, 4, 5).empty());
    EXPECT_EQ(master.failure, EMBXILADD);
    EXPECT_EQ(control.Send("get 1 4"), "ok 0x0001");  // nothing was written

    EXPECT_EQ(control.Send("fault 2 exception"), "ok");
    EXPECT_TRUE(master.Read(2, 0, 8).empty());
    EXPECT_EQ(master.failure, EMBXSFAIL);
    EXPECT_EQ(master.Write(2, 2, 0x0005), EMBXSFAIL);
    EXPECT_EQ(control.Send("get 2 2"), "ok 0x0000");
}

TEST_F(SimInteropTest, AbsentAndSilentAddressesTimeOut)
{
    EXPECT_TRUE(master.Read(9, 0, 8).empty());
    EXPECT_EQ(master.failure, ETIMEDOUT);

    EXPECT_EQ(control.Send("fault 1 silent"), "ok");
    EXPECT_TRUE(master.Read(1, 0, 8).empty());
    EXPECT_EQ(master.failure, ETIMEDOUT);
    EXPECT_EQ(control.Send("clear 1 silent"), "ok");
    EXPECT_EQ(master.Read(1, 0, 1), (Words{0x00EB}));

    EXPECT_EQ(control.Send("remove 2"), "ok");
    EXPECT_TRUE(master.Read(2, 0, 8).empty());
    EXPECT_EQ(master.failure, ETIMEDOUT);
}

TEST_F(SimInteropTest, MbpollReadsAndWritesAsACommandLineMaster)
{
    const std::string mbpoll = "mbpoll -m rtu -b 9600 -d 8 -s 1 -P none -t 4:hex -1 -o 1 -a 1 ";
    auto run = [](const std::string& command) {
        std::string output;
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
        char chunk[512];
        while (std::fgets(chunk, sizeof chunk, pipe.get())) output += chunk;
        return output;
    };
    EXPECT_NE(run(mbpoll + "-r 3 " + dir.Path("line") + " 0x8019").find("Written 1 references"), std::string::npos);
    const std::string read = run(mbpoll + "-r 1 -c 8 " + dir.Path("line"));
    EXPECT_NE(read.find("[1]: \t0x00D2\n[2]: \t0x01C8\n[3]: \t0x8019\n[4]: \t0x0000\n[5]: \t0x0001\n"
                        "[6]: \t0x0001\n[7]: \t0x0012\n[8]: \t0x0105\n"),
              std::string::npos)
        << read;
}

}
