#include "tools/sim/Bus.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tools/sim/Crc.h"

namespace sim {

namespace {

constexpr std::uint8_t kReadHolding = 0x03;
constexpr std::uint8_t kWriteSingle = 0x06;
constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;
constexpr int kMaxReadCount = 125;
constexpr std::uint8_t kNoiseByte = 0xFF;
constexpr double kPi = 3.14159265358979323846;

const FaultKind kFaultKindsTable[kFaultKinds] = {
    {"silent", nullptr, 0, 0, 0},
    {"address", "ADDR", -1, 0, 255},  // -1: the sensor's address plus one
    {"crc-low", nullptr, 0, 0, 0},
    {"crc-high", nullptr, 0, 0, 0},
    {"split", "GAP_MS", 300, 0, 60000},
    {"late", "DELAY_MS", 300, 0, 60000},
    {"exception", "CODE", 4, 1, 255},
    {"short", nullptr, 0, 0, 0},
    {"long", nullptr, 0, 0, 0},
    {"echo-reg", nullptr, 0, 0, 0},
    {"echo-crc", nullptr, 0, 0, 0},
    {"echo-value", nullptr, 0, 0, 0},
    {"function", "CODE", 4, 0, 255},
    {"byte-count", "COUNT", 15, 0, 255},
    {"noise", "COUNT", 3, 1, 1000},
    {"flood", "COUNT", 3000, 1, 60000},
};

std::uint16_t WordAt(const std::vector<std::uint8_t>& frame, std::size_t offset)
{
    return static_cast<std::uint16_t>(frame[offset] << 8 | frame[offset + 1]);
}

void RewriteCrc(std::vector<std::uint8_t>& frame)
{
    frame.resize(frame.size() - 2);
    AppendCrc(frame);
}

std::vector<std::uint8_t> ExceptionReply(std::uint8_t address, std::uint8_t function, int code)
{
    std::vector<std::uint8_t> reply{address, static_cast<std::uint8_t>(function | 0x80), static_cast<std::uint8_t>(code)};
    AppendCrc(reply);
    return reply;
}

// A slow swing, its phase set by the address so that neighbours do not move in step.
int DriftTenths(std::uint8_t address, int amplitudeTenths, double periodSeconds, double secondsSinceStart)
{
    const double angle = 2 * kPi * secondsSinceStart / periodSeconds + address;
    return static_cast<int>(std::lround(amplitudeTenths * std::sin(angle)));
}

}

const FaultKind& DescribeFault(Fault fault)
{
    return kFaultKindsTable[static_cast<int>(fault)];
}

bool FaultByName(const std::string& name, Fault& fault)
{
    for (int kind = 0; kind < kFaultKinds; ++kind) {
        if (name == kFaultKindsTable[kind].name) {
            fault = static_cast<Fault>(kind);
            return true;
        }
    }
    return false;
}

Sensor DefaultSensor(std::uint8_t address)
{
    Sensor sensor;
    sensor.baseTemperature = 215 + (address * 7) % 40;
    sensor.baseHumidity = 400 + (address * 37) % 200;
    sensor.registers[4] = address;
    sensor.registers[5] = 0x0001;
    sensor.registers[6] = 0x0012;
    sensor.registers[7] = 0x0105;
    return sensor;
}

std::uint16_t EncodeTenths(int tenths)
{
    const int magnitude = std::min(std::abs(tenths), 0x7FFF);
    return static_cast<std::uint16_t>(tenths < 0 ? 0x8000 | magnitude : magnitude);
}

int DecodeTenths(std::uint16_t word)
{
    const int magnitude = word & 0x7FFF;
    return (word & 0x8000) ? -magnitude : magnitude;
}

void AppendCrc(std::vector<std::uint8_t>& frame)
{
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool HasValidCrc(const std::uint8_t* frame, std::size_t length)
{
    if (length < 4) return false;
    const std::uint16_t crc = ModbusCrc(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

std::uint16_t Bus::ReadRegister(std::uint8_t address, const Sensor& sensor, int reg, double secondsSinceStart) const
{
    if (reg > 1 || sensor.frozenReading[reg]) return sensor.registers[reg];
    const bool temperature = reg == 0;
    const int base = temperature ? sensor.baseTemperature : sensor.baseHumidity;
    const int swing = !drift ? 0
                      : temperature ? DriftTenths(address, 3, 120, secondsSinceStart)
                                    : DriftTenths(address, 8, 180, secondsSinceStart);
    return EncodeTenths(base + swing + DecodeTenths(sensor.registers[reg + 2]));
}

std::vector<std::uint8_t> Bus::Serve(Sensor& sensor, const std::vector<std::uint8_t>& request, double secondsSinceStart)
{
    const std::uint8_t address = request[0];
    const std::uint8_t function = request[1];
    if (function != kReadHolding && function != kWriteSingle) return ExceptionReply(address, function, kIllegalFunction);
    if (request.size() != 8) return ExceptionReply(address, function, kIllegalValue);

    const std::uint16_t first = WordAt(request, 2);
    if (function == kReadHolding) {
        const std::uint16_t count = WordAt(request, 4);
        if (count < 1 || count > kMaxReadCount) return ExceptionReply(address, function, kIllegalValue);
        if (first + count > kRegisterCount) return ExceptionReply(address, function, kIllegalAddress);
        std::vector<std::uint8_t> reply{address, function, static_cast<std::uint8_t>(2 * count)};
        for (int reg = first; reg < first + count; ++reg) {
            const std::uint16_t word = ReadRegister(address, sensor, reg, secondsSinceStart);
            reply.push_back(static_cast<std::uint8_t>(word >> 8));
            reply.push_back(static_cast<std::uint8_t>(word & 0xFF));
        }
        AppendCrc(reply);
        return reply;
    }
    if (first != 2 && first != 3) return ExceptionReply(address, function, kIllegalAddress);
    sensor.registers[first] = WordAt(request, 4);
    return request;
}

// Faults combine in this order: silent ends it; an exception replaces the answer (a refused write
// stores nothing); then the address, the write echo's register, value and CRC, the read reply's
// function code and byte count, the CRC bytes, the length;
// then the timing: a flood instead of the reply, or late, noise before it, split in two.
std::vector<Burst> Bus::Answer(const std::vector<std::uint8_t>& request, double secondsSinceStart)
{
    const auto found = sensors.find(request[0]);
    if (found == sensors.end()) return {};
    Sensor& sensor = found->second;
    if (sensor.Has(Fault::Silent)) return {};

    std::vector<std::uint8_t> reply = sensor.Has(Fault::Exception)
                                          ? ExceptionReply(request[0], request[1], sensor.Argument(Fault::Exception))
                                          : Serve(sensor, request, secondsSinceStart);
    if (sensor.Has(Fault::Address)) {
        reply[0] = static_cast<std::uint8_t>(sensor.Argument(Fault::Address));
        RewriteCrc(reply);
    }
    const bool writeEcho = reply[1] == kWriteSingle;
    if (writeEcho && sensor.Has(Fault::EchoRegister)) {
        reply[3] ^= 0x01;  // register 2 <-> 3
        RewriteCrc(reply);
    }
    if (writeEcho && sensor.Has(Fault::EchoValue)) {
        reply[5] ^= 0x01;
        RewriteCrc(reply);
    }
    if (writeEcho && sensor.Has(Fault::EchoCrc)) reply[reply.size() - 2] ^= 0xFF;
    if (reply[1] == kReadHolding && (sensor.Has(Fault::Function) || sensor.Has(Fault::ByteCount))) {
        if (sensor.Has(Fault::Function)) reply[1] = static_cast<std::uint8_t>(sensor.Argument(Fault::Function));
        if (sensor.Has(Fault::ByteCount)) reply[2] = static_cast<std::uint8_t>(sensor.Argument(Fault::ByteCount));
        RewriteCrc(reply);
    }
    if (sensor.Has(Fault::CrcLow)) reply[reply.size() - 2] ^= 0xFF;
    if (sensor.Has(Fault::CrcHigh)) reply[reply.size() - 1] ^= 0xFF;
    if (sensor.Has(Fault::Short)) reply.pop_back();
    if (sensor.Has(Fault::Long)) reply.push_back(0x00);

    const double firstPause = turnaroundMs + (sensor.Has(Fault::Late) ? sensor.Argument(Fault::Late) : 0);
    if (sensor.Has(Fault::Flood)) {
        // As if a babbling module had filled the driver's queue: all at once, not paced.
        Burst flood{firstPause, false, std::vector<std::uint8_t>(static_cast<std::size_t>(sensor.Argument(Fault::Flood)))};
        for (std::size_t i = 0; i < flood.bytes.size(); ++i) flood.bytes[i] = static_cast<std::uint8_t>(i);
        return {flood};
    }

    std::vector<Burst> bursts;
    if (sensor.Has(Fault::Noise)) {
        bursts.push_back({firstPause, true, std::vector<std::uint8_t>(static_cast<std::size_t>(sensor.Argument(Fault::Noise)), kNoiseByte)});
    }
    const double replyPause = bursts.empty() ? firstPause : 0;
    if (sensor.Has(Fault::Split)) {
        const auto middle = reply.begin() + static_cast<std::ptrdiff_t>(reply.size() / 2);
        bursts.push_back({replyPause, true, std::vector<std::uint8_t>(reply.begin(), middle)});
        bursts.push_back({static_cast<double>(sensor.Argument(Fault::Split)), true, std::vector<std::uint8_t>(middle, reply.end())});
    } else {
        bursts.push_back({replyPause, true, reply});
    }
    return bursts;
}

}
