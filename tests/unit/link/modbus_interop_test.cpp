// Our frames against libmodbus, an independent Modbus implementation, over a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "link/Crc.h"
#include "link/Frames.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal: we hold the master side, libmodbus opens the slave side by its path.
class PseudoTerminal {
public:
    PseudoTerminal() : master(::posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) slavePath = ::ptsname(master);
    }
    ~PseudoTerminal()
    {
        if (master >= 0) ::close(master);
    }
    bool Ready() const { return !slavePath.empty(); }

    void Write(const Bytes& bytes) const { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads until count bytes have come, or until none comes for a generous while.
    Bytes Read(std::size_t count) const
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

    std::string slavePath;

private:
    int master;
};

class LibmodbusPeer : public ::testing::Test {
protected:
    PseudoTerminal terminal;
    modbus_t* context = nullptr;
    std::mt19937 random{20240607};

    void SetUp() override
    {
        ASSERT_TRUE(terminal.Ready());
        context = modbus_new_rtu(terminal.slavePath.c_str(), 9600, 'N', 8, 1);
        ASSERT_NE(context, nullptr);
        ASSERT_EQ(modbus_connect(context), 0);
        // A frame libmodbus cannot complete must fail the test, not hang it.
        modbus_set_indication_timeout(context, 2, 0);
    }
    void TearDown() override
    {
        if (!context) return;
        modbus_close(context);
        modbus_free(context);
    }

    int Between(int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); }
};

using LibmodbusServer = LibmodbusPeer;
using LibmodbusMaster = LibmodbusPeer;

// libmodbus answers what it accepts: a frame with a wrong CRC or for another slave gets no reply.
Bytes Exchange(modbus_t* server, modbus_mapping_t* registers, const PseudoTerminal& terminal, const RequestFrame& request,
               std::size_t replyLength)
{
    terminal.Write(Bytes(request.begin(), request.end()));
    std::uint8_t indication[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(server, indication);
    if (length != static_cast<int>(request.size())) return {};
    if (modbus_reply(server, indication, length, registers) < 0) return {};
    return terminal.Read(replyLength);
}

}  // namespace

TEST_F(LibmodbusServer, AcceptsOurReadRequestsAndItsAnswersPassOurCheck)
{
    modbus_mapping_t* registers = modbus_mapping_new(0, 0, 8, 0);
    ASSERT_NE(registers, nullptr);
    for (int round = 0; round < 40; ++round) {
        const auto address = static_cast<std::uint8_t>(Between(1, 247));
        for (int n = 0; n < 8; ++n) registers->tab_registers[n] = static_cast<std::uint16_t>(Between(0, 0xFFFF));
        modbus_set_slave(context, address);

        const Bytes reply = Exchange(context, registers, terminal, BuildReadRequest(address), kReadResponseSize);
        ASSERT_EQ(CheckReadResponse(reply.data(), reply.size(), address), ResponseCheck::Ok) << "address " << int(address);
        for (int n = 0; n < 8; ++n) EXPECT_EQ(ResponseRegister(reply.data(), n), registers->tab_registers[n]);
    }
    modbus_mapping_free(registers);
}

TEST_F(LibmodbusServer, AcceptsOurOffsetWritesAndItsEchoesPassOurCheck)
{
    modbus_mapping_t* registers = modbus_mapping_new(0, 0, 8, 0);
    ASSERT_NE(registers, nullptr);
    for (int round = 0; round < 40; ++round) {
        const auto address = static_cast<std::uint8_t>(Between(1, 247));
        const auto registerNumber = static_cast<std::uint8_t>(Between(kTempOffsetRegister, kHumOffsetRegister));
        const auto value = static_cast<std::uint16_t>(Between(0, 0xFFFF));
        modbus_set_slave(context, address);

        const Bytes echo =
            Exchange(context, registers, terminal, BuildWriteRequest(address, registerNumber, value), kWriteResponseSize);
        ASSERT_EQ(CheckWriteResponse(echo.data(), echo.size(), registerNumber), ResponseCheck::Ok);
        EXPECT_EQ(registers->tab_registers[registerNumber], value);
    }
    modbus_mapping_free(registers);
}

TEST_F(LibmodbusServer, RefusesOurFrameWithOneCrcByteChanged)
{
    modbus_mapping_t* registers = modbus_mapping_new(0, 0, 8, 0);
    ASSERT_NE(registers, nullptr);
    modbus_set_slave(context, 1);
    RequestFrame request = BuildReadRequest(1);
    request[7] ^= 0x01;
    terminal.Write(Bytes(request.begin(), request.end()));
    std::uint8_t indication[MODBUS_RTU_MAX_ADU_LENGTH];
    EXPECT_EQ(modbus_receive(context, indication), -1);
    EXPECT_EQ(errno, EMBBADCRC);
    modbus_mapping_free(registers);
}

TEST_F(LibmodbusMaster, AppendsTheSameCrcAsOursToFramesOfAnyLength)
{
    for (int round = 0; round < 200; ++round) {
        Bytes body(static_cast<std::size_t>(Between(2, MODBUS_MAX_PDU_LENGTH + 1)));
        for (std::uint8_t& byte : body) byte = static_cast<std::uint8_t>(Between(0, 255));
        ASSERT_EQ(modbus_send_raw_request(context, body.data(), static_cast<int>(body.size())),
                  static_cast<int>(body.size() + 2));

        const Bytes sent = terminal.Read(body.size() + 2);
        ASSERT_EQ(sent.size(), body.size() + 2);
        const std::uint16_t crc = Crc16Modbus(body.data(), body.size());
        EXPECT_EQ(sent[body.size()], crc & 0xFF) << "round " << round;
        EXPECT_EQ(sent[body.size() + 1], crc >> 8) << "round " << round;
    }
}
