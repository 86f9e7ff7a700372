// The simulator's framing of chunked byte streams with gaps and late wake-ups, and its fault answers:
// the frames are the model's, and each answer is the model's faults applied to the faultless answer.
#include "Model.h"
#include "tools/sim/Bus.h"
#include "tools/sim/FrameReceiver.h"

namespace {

Bytes Concatenated(const std::vector<sim::Burst>& bursts)
{
    Bytes bytes;
    for (const sim::Burst& burst : bursts) bytes.insert(bytes.end(), burst.bytes.begin(), burst.bytes.end());
    return bytes;
}

Bytes Faulted(Bytes reply, const Bytes& request, const sim::Sensor& s)
{
    using F = sim::Fault;
    const auto reseal = [&] { reply = Sealed(Bytes(reply.begin(), reply.end() - 2), Crc16Modbus); };
    if (s.Has(F::Silent)) return {};
    const auto code = static_cast<std::uint8_t>(s.Argument(F::Exception));
    if (s.Has(F::Exception)) reply = Sealed({request[0], static_cast<std::uint8_t>(request[1] | 0x80), code}, Crc16Modbus);
    if (s.Has(F::Address)) reply[0] = static_cast<std::uint8_t>(s.Argument(F::Address)), reseal();
    if (reply[1] == 6 && s.Has(F::EchoRegister)) reply[3] ^= 1, reseal();
    if (reply[1] == 6 && s.Has(F::EchoValue)) reply[5] ^= 1, reseal();
    if (reply[1] == 6 && s.Has(F::EchoCrc)) reply[reply.size() - 2] ^= 0xFF;
    if (reply[1] == 3 && s.Has(F::ByteCount)) reply[2] = static_cast<std::uint8_t>(s.Argument(F::ByteCount)), reseal();
    if (reply[1] == 3 && s.Has(F::Function)) reply[1] = static_cast<std::uint8_t>(s.Argument(F::Function)), reseal();
    if (s.Has(F::CrcLow)) reply[reply.size() - 2] ^= 0xFF;
    if (s.Has(F::CrcHigh)) reply.back() ^= 0xFF;
    if (s.Has(F::Short)) reply.pop_back();
    if (s.Has(F::Long)) reply.push_back(0);
    if (s.Has(F::Noise)) reply.insert(reply.begin(), static_cast<std::size_t>(s.Argument(F::Noise)), 0xFF);
    if (s.Has(F::Flood)) reply.resize(static_cast<std::size_t>(s.Argument(F::Flood)));
    for (std::size_t i = 0; s.Has(F::Flood) && i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(i);
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    sim::Bus bus;
    bus.drift = false;
    for (int n = in.Byte() % 4; n > 0; --n) {
        const std::uint8_t address = in.Byte() % 4;
        sim::Sensor& s = bus.sensors[address] = sim::DefaultSensor(address);
        // A switch bit for every kind the simulator has, however many: one it adds meets the model here.
        std::array<std::uint8_t, (sim::kFaultKinds + 7) / 8> switches{};
        for (std::uint8_t& byte : switches) byte = in.Byte();
        for (int f = 0; f < sim::kFaultKinds; ++f) {
            const sim::FaultKind& kind = sim::DescribeFault(static_cast<sim::Fault>(f));
            s.faultOn[f] = switches[f / 8] >> f % 8 & 1;
            s.faultArgument[f] = kind.minArgument + (in.Byte() << 8 | in.Byte()) % (kind.maxArgument - kind.minArgument + 1);
        }
    }

    sim::FrameReceiver receiver;
    std::vector<sim::ReceivedFrame> frames;
    std::vector<Bytes> model(1);
    std::vector<bool> merged(1);  // begun less than 3.5 characters (3.6458 ms) after the byte before it
    sim::FrameReceiver::Clock::time_point now{};
    std::optional<sim::FrameReceiver::Clock::time_point> lastByte;
    while (in.size) {
        const std::uint8_t step = in.Byte();
        now += std::chrono::microseconds(step * 40);
        if (!model.back().empty() && now - *lastByte >= std::chrono::microseconds(4000)) model.emplace_back(), merged.push_back(false);
        const Bytes chunk = in.Take(step & 1 ? 0 : in.Byte() % 32);  // none: a wake-up with nothing to read
        if (chunk.empty()) receiver.Expire(now, frames); else receiver.Take(chunk.data(), chunk.size(), now, {}, false, frames);
        for (std::uint8_t b : chunk) {
            Bytes& frame = model.back();
            if (frame.empty()) merged.back() = lastByte && now - *lastByte < std::chrono::nanoseconds(3645834);
            lastByte = now;
            if (frame.push_back(b), (frame.size() == 8 && SealOk(frame, Crc16Modbus)) || frame.size() == 256)
                model.emplace_back(), merged.push_back(false);
        }
    }
    receiver.Expire(now + std::chrono::seconds(1), frames);
    if (model.back().empty()) model.pop_back(), merged.pop_back();

    ORACLE(frames.size() == model.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Bytes& frame = model[i];
        ORACLE(frames[i].bytes == frame && frames[i].valid == (frame.size() >= 4 && SealOk(frame, Crc16Modbus)));
        ORACLE((frames[i].overlap == sim::Overlap::Merged) == merged[i]);
        const auto sensor = bus.sensors.find(frame[0]);
        if (!frames[i].valid || sensor == bus.sensors.end()) continue;
        sim::Bus faultless = bus;
        faultless.sensors[frame[0]].faultOn = {};
        const Bytes expected = Faulted(Concatenated(faultless.Answer(frame, 0)), frame, sensor->second);
        ORACLE(Concatenated(bus.Answer(frame, 0)) == expected);
    }
    return 0;
}
