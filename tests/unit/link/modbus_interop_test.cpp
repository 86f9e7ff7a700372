// Our frames against libmodbus, an independent Modbus implementation, over a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "link/Frames.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// libmodbus opens the slave side of a pseudo-terminal by its path; the test holds the master side.
class Libmodbus : public ::testing::Test {
protected:
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    modbus_t* context = nullptr;
    modbus_mapping_t* registers = modbus_mapping_new(0, 0, 8, 0);
    std::mt19937 random{20240607};

    void SetUp() override
    {
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        ASSERT_NE(registers, nullptr);
        context = modbus_new_rtu(::ptsname(master), 9600, 'N', 8, 1);
        ASSERT_NE(context, nullptr);
        ASSERT_EQ(modbus_connect(context), 0);
        // A frame libmodbus cannot complete must fail the test, not hang it.
        modbus_set_indication_timeout(context, 2, 0);
    }
    void TearDown() override
    {
        if (context) {
            modbus_close(context);
            modbus_free(context);
        }
        modbus_mapping_free(registers);
        if (master >= 0) ::close(master);
    }

    int Between(int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); }

    // Reads until count bytes have come, or until none comes for a generous while.
    Bytes Receive(std::size_t count)
    {
        Bytes bytes;
        std::uint8_t chunk[512];
        pollfd readable = {master, POLLIN, 0};
        while (bytes.size() < count && ::poll(&readable, 1, 2000) == 1) {
            const ssize_t got = ::read(master, chunk, sizeof chunk);
            if (got <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    // Our request to libmodbus serving as the given slave, and its reply; empty when it refuses the request.
    Bytes Exchange(std::uint8_t slave, const RequestFrame& request, std::size_t replyLength)
    {
        modbus_set_slave(context, slave);
        EXPECT_EQ(::write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
        std::uint8_t indication[MODBUS_RTU_MAX_ADU_LENGTH];
        const int length = modbus_receive(context, indication);
        if (length != static_cast<int>(request.size())) return {};
        if (modbus_reply(context, indication, length, registers) < 0) return {};
        return Receive(replyLength);
    }
};

}  // namespace

TEST_F(Libmodbus, ServesOurReadsAndOffsetWritesAndItsRepliesPassOurChecks)
{
    // It does check the CRC: a frame with one CRC byte changed gets no reply.
    RequestFrame broken = BuildReadRequest(1);
    broken[7] ^= 0x01;
    EXPECT_TRUE(Exchange(1, broken, kReadResponseSize).empty());
    EXPECT_EQ(errno, EMBBADCRC);

    for (int round = 0; round < 40; ++round) {
        const auto address = static_cast<std::uint8_t>(Between(1, 247));
        for (int n = 0; n < 8; ++n) registers->tab_registers[n] = static_cast<std::uint16_t>(Between(0, 0xFFFF));
        const Bytes reply = Exchange(address, BuildReadRequest(address), kReadResponseSize);
        ASSERT_EQ(CheckReadResponse(reply.data(), reply.size(), address), ResponseCheck::Ok) << "address " << int(address);
        for (int n = 0; n < 8; ++n) EXPECT_EQ(ResponseRegister(reply.data(), n), registers->tab_registers[n]);

        const auto registerNumber = static_cast<std::uint8_t>(Between(kTempOffsetRegister, kHumOffsetRegister));
        const auto value = static_cast<std::uint16_t>(Between(0, 0xFFFF));
        const Bytes echo = Exchange(address, BuildWriteRequest(address, registerNumber, value), kWriteResponseSize);
        ASSERT_EQ(CheckWriteResponse(echo.data(), echo.size(), registerNumber), ResponseCheck::Ok);
        EXPECT_EQ(registers->tab_registers[registerNumber], value);
    }
}

