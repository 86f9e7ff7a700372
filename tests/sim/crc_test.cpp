// The program's CRC and the simulator's, each against the CRC libmodbus appends to a frame it sends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

#include "link/Crc.h"
#include "tools/sim/Crc.h"

TEST(Crc, ProgramAndSimulatorMatchLibmodbus)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    modbus_t* context = modbus_new_rtu(::ptsname(master), 9600, 'N', 8, 1);
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(modbus_connect(context), 0);

    std::mt19937 random(20261206);
    for (int length = 2; length <= 64; ++length) {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(length));
        for (std::uint8_t& byte : frame) byte = static_cast<std::uint8_t>(random());
        ASSERT_EQ(modbus_send_raw_request(context, frame.data(), length), length + 2);
        std::uint8_t sent[72];
        std::size_t got = 0;
        pollfd readable = {master, POLLIN, 0};
        while (got < frame.size() + 2 && ::poll(&readable, 1, 2000) == 1) {
            const ssize_t chunk = ::read(master, sent + got, sizeof sent - got);
            if (chunk <= 0) break;
            got += static_cast<std::size_t>(chunk);
        }
        ASSERT_EQ(got, frame.size() + 2);
        const auto libmodbusCrc = static_cast<std::uint16_t>(sent[length] | sent[length + 1] << 8);
        EXPECT_EQ(Crc16Modbus(frame.data(), frame.size()), libmodbusCrc) << "length " << length;
        EXPECT_EQ(sim::ModbusCrc(frame.data(), frame.size()), libmodbusCrc) << "length " << length;
    }
    modbus_close(context);
    modbus_free(context);
    ::close(master);
}
