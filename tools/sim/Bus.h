// The simulated sensor modules and how each answers a request, faults included.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

constexpr int kRegisterCount = 8;
constexpr int kHighestAddress = 63;

// What a real bus does wrong, per address. Several may be on at once; they combine in a fixed order
// (see Bus::Answer).
enum class Fault {
    Silent,
    Address,
    CrcLow,
    CrcHigh,
    Split,
    Late,
    Exception,
    Short,
    Long,
    EchoRegister,
    EchoCrc,
    EchoValue,
    Function,
    ByteCount,
    Noise,
    Flood,
};
constexpr int kFaultKinds = static_cast<int>(Fault::Flood) + 1;

struct FaultKind {
    const char* name;
    const char* argumentName;  // nullptr: the fault takes no argument
    int defaultArgument;
    int minArgument;
    int maxArgument;
};
const FaultKind& DescribeFault(Fault fault);
bool FaultByName(const std::string& name, Fault& fault);

struct Sensor {
    int baseTemperature = 0;  // tenths of a degree
    int baseHumidity = 0;     // tenths of a percent
    // Registers 2..7 as stored; registers 0 and 1 only count while their reading is frozen.
    std::array<std::uint16_t, kRegisterCount> registers{};
    std::array<bool, 2> frozenReading{};
    std::array<bool, kFaultKinds> faultOn{};
    std::array<int, kFaultKinds> faultArgument{};

    bool Has(Fault fault) const { return faultOn[static_cast<int>(fault)]; }
    int Argument(Fault fault) const { return faultArgument[static_cast<int>(fault)]; }
};

// Plausible readings that differ from address to address; offsets zero.
Sensor DefaultSensor(std::uint8_t address);

// Registers 0..3 on the wire: bit 15 the sign, bits 14..0 the magnitude in tenths.
std::uint16_t EncodeTenths(int tenths);
int DecodeTenths(std::uint16_t word);

void AppendCrc(std::vector<std::uint8_t>& frame);
bool HasValidCrc(const std::uint8_t* frame, std::size_t length);

// One stretch of bytes put on the line, after a pause counted from the end of the previous stretch
// (the first one: from the end of the request). Paced stretches go out at the line's byte rate.
struct Burst {
    double pauseMs = 0;
    bool paced = true;
    std::vector<std::uint8_t> bytes;
};

class Bus {
public:
    std::map<std::uint8_t, Sensor> sensors;
    double turnaroundMs = 3.0;
    bool drift = true;

    // The register as a read at this moment reports it.
    std::uint16_t ReadRegister(std::uint8_t address, const Sensor& sensor, int reg, double secondsSinceStart) const;
    // A request with a valid CRC in, what goes back on the line out (nothing for an address that is not
    // simulated or a silent one). A write changes the sensor's register.
    std::vector<Burst> Answer(const std::vector<std::uint8_t>& request, double secondsSinceStart);

private:
    std::vector<std::uint8_t> Serve(Sensor& sensor, const std::vector<std::uint8_t>& request, double secondsSinceStart);
};

}
