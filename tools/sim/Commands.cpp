#include "tools/sim/Commands.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

const char kCommandHelp[] =
    "  add ADDR [SETTINGS]       a new sensor at ADDR (0-63)\n"
    "  remove ADDR               take the sensor off the bus\n"
    "  set ADDR SETTINGS         change readings and registers\n"
    "  get ADDR REG              one register (0-7) as a read reports it now: ok 0x00EB\n"
    "  show ADDR                 all registers, base readings and faults on one line\n"
    "  list                      the simulated addresses: ok 1 2\n"
    "  fault ADDR KIND [ARG]     switch a fault on (see below)\n"
    "  clear ADDR [KIND]         switch one fault, or all of the address, off\n"
    "  vanish                    close the line and remove the link, as an unplugged adapter\n"
    "  return                    a new line (and the link pointing to it): ok PATH\n"
    "  path                      the line's path: ok PATH\n"
    "  help                      the command names\n"
    "SETTINGS, separated by commas or blanks:\n"
    "  temp=23.5 hum=45.6        base readings (degC, %RH); the reading is base + drift + offset\n"
    "  toff=-1.5 hoff=2.0        offset registers 2 and 3, in the unit\n"
    "  rN=WORD                   register N (0-7) as a raw word, decimal or 0x hex; r0/r1 freeze the\n"
    "                            reading at that word until temp/hum is set again\n"
    "KIND [ARG]:\n"
    "  silent                    no answer, nothing stored (a dead module)\n"
    "  address [ADDR]            the reply names another address (default: this one + 1), CRC right\n"
    "  crc-low | crc-high        that CRC byte of every reply inverted\n"
    "  split [GAP_MS]            the reply in two halves with a gap (default 300)\n"
    "  late [DELAY_MS]           the reply that much later (default 300)\n"
    "  exception [CODE]          an exception reply to every request (default 4), nothing stored\n"
    "  short | long              the reply one byte short, or one 00 byte long\n"
    "  echo-reg                  a write echo naming the other offset register, CRC right\n"
    "  echo-crc                  a write echo with its CRC low byte inverted\n"
    "  echo-value                a write echo with another value (low bit flipped), CRC right\n"
    "  function [CODE]           a read reply with that function code (default 4), CRC right\n"
    "  byte-count [COUNT]        a read reply with that byte count (default 15), CRC right\n"
    "  noise [COUNT]             FF bytes just before the reply (default 3)\n"
    "  flood [COUNT]             instead of the reply COUNT bytes 00 01 02 .. at once (default 3000)\n";

namespace {

std::string Error(const std::string& reason)
{
    return "error: " + reason;
}

bool ParseInteger(const std::string& text, int base, long minimum, long maximum, long& value)
{
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseAddress(const std::string& text, std::uint8_t& address)
{
    long value = 0;
    if (!ParseInteger(text, 10, 0, kHighestAddress, value)) return false;
    address = static_cast<std::uint8_t>(value);
    return true;
}

bool ParseWord(const std::string& text, std::uint16_t& word)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    long value = 0;
    if (!ParseInteger(hex ? text.substr(2) : text, hex ? 16 : 10, 0, 0xFFFF, value)) return false;
    word = static_cast<std::uint16_t>(value);
    return true;
}

// A reading in its unit, to whole tenths within what the format can carry.
bool ParseTenths(const std::string& text, int& tenths)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || std::fabs(value) > 3276.7) return false;
    tenths = static_cast<int>(std::lround(value * 10));
    return true;
}

std::string FormatTenths(int tenths)
{
    char text[16];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "", std::abs(tenths) / 10, std::abs(tenths) % 10);
    return text;
}

std::string FormatWord(std::uint16_t word)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", word);
    return text;
}

bool ApplySetting(Sensor& sensor, const std::string& setting)
{
    const auto equals = setting.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = setting.substr(0, equals);
    const std::string value = setting.substr(equals + 1);
    int tenths = 0;
    if (key == "temp" || key == "hum") {
        if (!ParseTenths(value, tenths)) return false;
        const int reg = key == "temp" ? 0 : 1;
        (reg == 0 ? sensor.baseTemperature : sensor.baseHumidity) = tenths;
        sensor.frozenReading[reg] = false;
        return true;
    }
    if (key == "toff" || key == "hoff") {
        if (!ParseTenths(value, tenths)) return false;
        sensor.registers[key == "toff" ? 2 : 3] = EncodeTenths(tenths);
        return true;
    }
    long reg = 0;
    std::uint16_t word = 0;
    if (key.size() != 2 || key[0] != 'r' || !ParseInteger(key.substr(1), 10, 0, kRegisterCount - 1, reg) || !ParseWord(value, word)) {
        return false;
    }
    sensor.registers[reg] = word;
    if (reg < 2) sensor.frozenReading[reg] = true;
    return true;
}

// All or nothing: a sensor is changed only when every setting is understood.
bool ApplySettings(Sensor& sensor, const std::vector<std::string>& words, std::size_t first, std::string& error)
{
    Sensor changed = sensor;
    for (std::size_t i = first; i < words.size(); ++i) {
        std::istringstream list(words[i]);
        std::string setting;
        while (std::getline(list, setting, ',')) {
            if (setting.empty()) continue;
            if (!ApplySetting(changed, setting)) {
                error = "bad setting '" + setting + "'";
                return false;
            }
        }
    }
    sensor = changed;
    return true;
}

std::string Show(const Bus& bus, std::uint8_t address, const Sensor& sensor, double secondsSinceStart)
{
    std::string text = "ok";
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        text += " r" + std::to_string(reg) + "=" + FormatWord(bus.ReadRegister(address, sensor, reg, secondsSinceStart));
    }
    text += " temp=" + FormatTenths(sensor.baseTemperature) + " hum=" + FormatTenths(sensor.baseHumidity) + " faults=";
    std::string faults;
    for (int kind = 0; kind < kFaultKinds; ++kind) {
        if (!sensor.faultOn[kind]) continue;
        const FaultKind& fault = DescribeFault(static_cast<Fault>(kind));
        faults += (faults.empty() ? "" : ",") + std::string(fault.name);
        if (fault.argumentName) faults += ":" + std::to_string(sensor.faultArgument[kind]);
    }
    return text + (faults.empty() ? "none" : faults);
}

std::string SwitchFault(Sensor& sensor, std::uint8_t address, const std::vector<std::string>& words, bool on)
{
    const std::size_t most = on ? 4 : 3;
    if (words.size() > most || (on && words.size() < 3)) return Error("usage: " + words[0] + (on ? " ADDR KIND [ARG]" : " ADDR [KIND]"));
    if (!on && words.size() == 2) {
        sensor.faultOn.fill(false);
        return "ok";
    }
    Fault fault;
    if (!FaultByName(words[2], fault)) return Error("unknown fault '" + words[2] + "'");
    const int kind = static_cast<int>(fault);
    if (!on) {
        sensor.faultOn[kind] = false;
        return "ok";
    }
    const FaultKind& described = DescribeFault(fault);
    long argument = described.defaultArgument;
    if (fault == Fault::Address && words.size() == 3) argument = (address + 1) & 0xFF;
    if (words.size() == 4) {
        if (!described.argumentName) return Error(std::string(described.name) + " takes no argument");
        if (!ParseInteger(words[3], 10, described.minArgument, described.maxArgument, argument)) {
            return Error(std::string(described.argumentName) + " must be " + std::to_string(described.minArgument) + "-" +
                         std::to_string(described.maxArgument));
        }
    }
    sensor.faultOn[kind] = true;
    sensor.faultArgument[kind] = static_cast<int>(argument);
    return "ok";
}

std::string RunSensorCommand(const std::vector<std::string>& words, Bus& bus, double secondsSinceStart)
{
    const std::string& verb = words[0];
    std::uint8_t address = 0;
    if (words.size() < 2 || !ParseAddress(words[1], address)) return Error("usage: " + verb + " ADDR ... (ADDR 0-63)");
    const auto found = bus.sensors.find(address);
    std::string error;
    if (verb == "add") {
        if (found != bus.sensors.end()) return Error("address " + words[1] + " is already on the bus");
        Sensor sensor = DefaultSensor(address);
        if (!ApplySettings(sensor, words, 2, error)) return Error(error);
        bus.sensors[address] = sensor;
        return "ok";
    }
    if (found == bus.sensors.end()) return Error("no sensor at address " + words[1]);
    Sensor& sensor = found->second;
    if (verb == "remove" && words.size() == 2) {
        bus.sensors.erase(found);
        return "ok";
    }
    if (verb == "set" && words.size() > 2) return ApplySettings(sensor, words, 2, error) ? "ok" : Error(error);
    if (verb == "get" && words.size() == 3) {
        long reg = 0;
        if (!ParseInteger(words[2], 10, 0, kRegisterCount - 1, reg)) return Error("REG must be 0-7");
        return "ok " + FormatWord(bus.ReadRegister(address, sensor, static_cast<int>(reg), secondsSinceStart));
    }
    if (verb == "show" && words.size() == 2) return Show(bus, address, sensor, secondsSinceStart);
    if (verb == "fault" || verb == "clear") return SwitchFault(sensor, address, words, verb == "fault");
    return Error("wrong arguments for " + verb);
}

}

std::string RunCommand(const std::string& command, Bus& bus, LineControl& line, double secondsSinceStart)
{
    std::istringstream stream(command);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.empty()) return Error("empty command");

    const std::string& verb = words[0];
    std::string error;
    if (verb == "add" || verb == "remove" || verb == "set" || verb == "get" || verb == "show" || verb == "fault" || verb == "clear") {
        return RunSensorCommand(words, bus, secondsSinceStart);
    }
    if (words.size() > 1) return Error(verb + " takes no arguments");
    if (verb == "list") {
        std::string addresses = "ok";
        for (const auto& entry : bus.sensors) addresses += " " + std::to_string(entry.first);
        return addresses;
    }
    if (verb == "vanish") return line.Vanish(error) ? "ok" : Error(error);
    if (verb == "return") return line.Return(error) ? "ok " + line.Path() : Error(error);
    if (verb == "path") return line.Path().empty() ? Error("the line has vanished") : "ok " + line.Path();
    if (verb == "help") return "ok add remove set get show list fault clear vanish return path help";
    return Error("unknown command '" + verb + "'");
}

}
