#include "cli/Cli.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <stdexcept>

#include "cli/CliHost.h"
#include "cli/ReportCommand.h"
#include "console/InputRules.h"
#include "link/ExchangeTexts.h"
#include "link/Frames.h"
#include "link/LinkState.h"
#include "link/Readings.h"
#include "link/SerialLine.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kHelp =
    "usage: tarvik-cli COMMAND [OPTIONS]\n"
    "\n"
    "  ports                                   the machine's serial ports\n"
    "  read PORT ADDR...                       read each sensor once\n"
    "  scan PORT [FROM-TO]                     which addresses answer (default 0-63)\n"
    "  watch PORT FROM-TO                      read the range in turn until Ctrl-C or --count rounds\n"
    "  set-offset PORT ADDR temp|hum VALUE     write an offset, check its echo and read it back\n"
    "  report FILE.csv... [-o OUT.html] [--title TEXT]\n"
    "                                          one page with a table and trend plots per sensor\n"
    "\n"
    "  --format text|csv|json   output of read, scan and watch (json: one object a line)\n"
    "  --timeout MS             how long a sensor may take to answer (default 200)\n"
    "  --interval MS            watch: from one read to the next (default 1000)\n"
    "  --count N                watch: rounds over the range (default: until Ctrl-C)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 success, 1 a sensor failed (no answer, bad reply, write not taken),\n"
    "2 bad usage or input, or a port that cannot be opened.\n";

// A gap this long ends a reply. Modbus ends a frame after 3.5 characters (3.65 ms at 9600 baud), but a
// reply passes through USB adapters that hand bytes on in bursts (16 ms apart by default on FTDI
// chips) and through a scheduler that can hold the sender for longer than that: measured on a busy
// machine, 4 ms cut whole replies in two. A full reply ends at its last byte regardless.
constexpr unsigned kSilenceMs = 30;
constexpr std::size_t kReplyCapacity = 256;

constexpr const char* kReadingFields[kRegisterCount] = {
    "temperature", "humidity", "temp_offset", "hum_offset", "sensor_address", "type", "hw_version", "sw_version"};
// Registers 0 to 4 are numbers; the type and the versions are the hexadecimal texts the dialog shows.
constexpr int kNumericFields = 5;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Format { Text, Csv, Json };
enum class Command { Read, Scan, Watch };

struct Options {
    Format format = Format::Text;
    unsigned timeoutMs = kCheckDelayMs;
    unsigned intervalMs = kContinuousPeriodMs;
    unsigned long rounds = 0;  // 0: until Ctrl-C
    std::vector<std::string> words;
};

unsigned long Count(const std::string& option, const std::string& text, unsigned long lowest, unsigned long highest)
{
    unsigned long value = 0;
    bool valid = !text.empty() && text.size() <= 9;
    for (char c : text) {
        if (c < '0' || c > '9') valid = false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!valid || value < lowest || value > highest)
        throw UsageError(option + " takes a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest));
    return value;
}

Options ParseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word.rfind("--", 0) != 0) {
            options.words.push_back(word);
            continue;
        }
        if (i + 1 >= arguments.size()) throw UsageError(word + " needs a value");
        const std::string& value = arguments[++i];
        if (word == "--format") {
            if (value == "text") options.format = Format::Text;
            else if (value == "csv") options.format = Format::Csv;
            else if (value == "json") options.format = Format::Json;
            else throw UsageError("--format is text, csv or json");
        } else if (word == "--timeout") {
            options.timeoutMs = static_cast<unsigned>(Count(word, value, 1, 60000));
        } else if (word == "--interval") {
            options.intervalMs = static_cast<unsigned>(Count(word, value, 0, 86400000));
        } else if (word == "--count") {
            options.rounds = Count(word, value, 1, 999999999);
        } else {
            throw UsageError("unknown option " + word);
        }
    }
    return options;
}

std::string Joined(const std::vector<const char*>& lines)
{
    std::string text;
    for (const char* line : lines) text += line;
    return text;
}

// An input judged by the dialog's rule; a refusal is bad input.
int Accepted(const InputRule& rule, const std::string& text)
{
    const InputJudgement judgement = JudgeInputText(rule, text);
    if (!judgement.value) throw UsageError(text + ": " + Joined(judgement.refusal));
    return *judgement.value;
}

struct Range {
    std::uint8_t first;
    std::uint8_t last;
};

Range ParseRange(const std::string& text)
{
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) throw UsageError(text + ": a range is FROM-TO, for example 0-63");
    const int first = Accepted(kRangeStartRule, text.substr(0, dash));
    const int last = Accepted(kRangeEndRule, text.substr(dash + 1));
    if (last < first) throw UsageError(text + ": " + kRangeReversedLine);
    return {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last)};
}

std::string IsoTime()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long millis = static_cast<long>(
        std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    std::snprintf(text + length, sizeof text - length, ".%03ldZ", millis);
    return text;
}

struct Reply {
    bool written = false;
    std::size_t count = 0;
    std::uint8_t bytes[kReplyCapacity] = {};
};

// One request and its reply. The reply is over at its full size, or once the line has been quiet for
// kSilenceMs after bytes came, or at the time-out when nothing came.
Reply Exchange(CliHost& host, const RequestFrame& request, std::size_t expected, unsigned timeoutMs)
{
    Reply reply;
    SerialLine& line = host.Line();
    // The write purges first: nothing an earlier exchange left is taken for this reply.
    reply.written = line.Write(request.data(), request.size());
    const Clock::time_point deadline = Clock::now() + milliseconds(timeoutMs);
    while (reply.written && reply.count < expected && !host.Interrupted()) {
        unsigned waitMs = kSilenceMs;
        if (reply.count == 0) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            waitMs = static_cast<unsigned>(left);
        }
        const std::size_t got = line.ReadArrived(reply.bytes + reply.count, kReplyCapacity - reply.count, waitMs);
        if (got == 0 && reply.count > 0) break;
        reply.count += got;
    }
    return reply;
}

struct Reading {
    std::string time;  // when the request went out
    std::uint8_t address = 0;
    Reply reply;
    ResponseCheck check = ResponseCheck::BadLength;
    ReadingTexts texts;

    bool Ok() const { return check == ResponseCheck::Ok; }
    bool Answered() const { return reply.count > 0; }
    const char* Status() const
    {
        if (!reply.written) return "write-failed";
        if (!Answered()) return "no-answer";
        switch (check) {
        case ResponseCheck::Ok: return "ok";
        case ResponseCheck::BadAddress: return "bad-address";
        case ResponseCheck::BadFormat: return "bad-format";
        case ResponseCheck::BadCrc: return "bad-crc";
        default: return "bad-length";
        }
    }
    // The dialog's line for what went wrong.
    std::string FailureLine() const { return reply.written ? Joined(CheckLines(check, kReadCheckKind)) : kWriteFailedLine; }
};

Reading ReadSensor(CliHost& host, const Options& options, std::uint8_t address)
{
    Reading reading;
    reading.time = IsoTime();
    reading.address = address;
    reading.reply = Exchange(host, BuildReadRequest(address), kReadResponseSize, options.timeoutMs);
    if (reading.reply.written) reading.check = CheckReadResponse(reading.reply.bytes, reading.reply.count, address);
    if (reading.Ok()) reading.texts = FormatReadings(reading.reply.bytes);
    return reading;
}

std::string WithoutBlank(std::string text)
{
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string CrLfToLf(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

void PrintHeader(CliHost& host, const Options& options)
{
    if (options.format != Format::Csv) return;
    std::string header = "time,address,status";
    for (const char* field : kReadingFields) header += std::string(",") + field;
    host.Out(header + "\n");
}

// One exchange on standard output as the format has it; its failure, if any, on standard error.
void Report(CliHost& host, const Options& options, Command command, const Reading& reading)
{
    const std::string address = std::to_string(reading.address);
    if (!reading.Ok()) host.Err("tarvik-cli: " + (command == Command::Watch ? reading.time + " " : "") + address + ": " +
                                reading.FailureLine() + "\n");
    if (options.format == Format::Csv) {
        std::string row = reading.time + "," + address + "," + reading.Status();
        for (const std::string& text : reading.texts) row += "," + WithoutBlank(text);
        host.Out(row + "\n");
    } else if (options.format == Format::Json) {
        std::string object = "{\"time\":\"" + reading.time + "\",\"address\":" + address + ",\"status\":\"" +
                             reading.Status() + "\"";
        for (int n = 0; reading.Ok() && n < kRegisterCount; ++n) {
            const std::string value = WithoutBlank(reading.texts[n]);
            object += std::string(",\"") + kReadingFields[n] + "\":" + (n < kNumericFields ? value : "\"" + value + "\"");
        }
        host.Out(object + "}\n");
    } else if (reading.Ok()) {
        if (command == Command::Read)
            host.Out(ReadRequestLine(reading.address) + "\n" + CrLfToLf(ReadingsLogBlock(reading.texts)));
        else if (command == Command::Scan)
            host.Out(address + ": " + ReadingsLine(reading.texts, 5) + "\n");
        else
            host.Out(reading.time + " " + address + ": " + ReadingsLine(reading.texts) + "\n");
    }
}

void Expect(const Options& options, std::size_t lowest, std::size_t highest)
{
    const std::size_t operands = options.words.size() - 1;
    if (operands < lowest || operands > highest) throw UsageError(options.words[0] + ": wrong number of operands");
}

void Open(CliHost& host, const std::string& port)
{
    std::string failure;
    if (!host.OpenPort(port, failure)) throw UsageError("打开COM失败! " + failure);
}

int ReadCommand(CliHost& host, const Options& options)
{
    Expect(options, 2, SIZE_MAX);
    std::vector<std::uint8_t> addresses;
    for (std::size_t i = 2; i < options.words.size(); ++i)
        addresses.push_back(static_cast<std::uint8_t>(Accepted(kSensorAddressRule, options.words[i])));
    Open(host, options.words[1]);
    PrintHeader(host, options);
    int status = kExitOk;
    for (std::uint8_t address : addresses) {
        if (host.Interrupted()) return kExitSensorFailed;
        const Reading reading = ReadSensor(host, options, address);
        Report(host, options, Command::Read, reading);
        if (!reading.Ok()) status = kExitSensorFailed;
    }
    return status;
}

int ScanCommand(CliHost& host, const Options& options)
{
    Expect(options, 1, 2);
    const Range range = ParseRange(options.words.size() > 2 ? options.words[2] : "0-63");
    Open(host, options.words[1]);
    PrintHeader(host, options);
    int found = 0;
    bool failed = false;
    for (int address = range.first; address <= range.last && !host.Interrupted(); ++address) {
        const Reading reading = ReadSensor(host, options, static_cast<std::uint8_t>(address));
        // Silence is an empty address, not a fault.
        if (!reading.Answered() && reading.reply.written) continue;
        Report(host, options, Command::Scan, reading);
        if (reading.Ok()) ++found;
        else failed = true;
    }
    if (found == 0) host.Err("tarvik-cli: no sensor answered in " + std::to_string(range.first) + "-" +
                             std::to_string(range.last) + "\n");
    return found > 0 && !failed && !host.Interrupted() ? kExitOk : kExitSensorFailed;
}

int WatchCommand(CliHost& host, const Options& options)
{
    Expect(options, 2, 2);
    const Range range = ParseRange(options.words[2]);
    Open(host, options.words[1]);
    PrintHeader(host, options);
    bool failed = false;
    Clock::time_point next = Clock::now();
    for (unsigned long round = 0; options.rounds == 0 || round < options.rounds; ++round) {
        for (int address = range.first; address <= range.last; ++address) {
            const auto wait = std::chrono::duration_cast<milliseconds>(next - Clock::now()).count();
            if (wait > 0) host.Pause(static_cast<unsigned>(wait));
            if (host.Interrupted()) return failed ? kExitSensorFailed : kExitOk;
            next = Clock::now() + milliseconds(options.intervalMs);
            const Reading reading = ReadSensor(host, options, static_cast<std::uint8_t>(address));
            Report(host, options, Command::Watch, reading);
            if (!reading.Ok()) failed = true;
        }
    }
    return failed ? kExitSensorFailed : kExitOk;
}

int SetOffsetCommand(CliHost& host, const Options& options)
{
    Expect(options, 4, 4);
    const std::string& kind = options.words[3];
    if (kind != "temp" && kind != "hum") throw UsageError(kind + ": the offset is temp or hum");
    const bool temperature = kind == "temp";
    const std::uint8_t writeKind = temperature ? 0 : 1;
    const std::uint8_t registerNumber = temperature ? kTempOffsetRegister : kHumOffsetRegister;
    // The dialog's order: the offset first, then the address.
    const int tenths = Accepted(temperature ? kTempOffsetRule : kHumOffsetRule, options.words[4]);
    const auto address = static_cast<std::uint8_t>(Accepted(kSensorAddressRule, options.words[2]));
    Open(host, options.words[1]);

    const std::string prefix = "tarvik-cli: " + std::to_string(address) + ": ";
    const std::uint16_t value = EncodeSignedTenths(tenths);
    const RequestFrame request = BuildWriteRequest(address, registerNumber, value);
    const Reply echo = Exchange(host, request, kWriteResponseSize, options.timeoutMs);
    if (!echo.written) {
        host.Err(prefix + kWriteFailedLine + "\n");
        return kExitSensorFailed;
    }
    const ResponseCheck check = CheckWriteResponse(echo.bytes, echo.count, request);
    const std::string outcome = Joined(CheckLines(check, writeKind));
    if (check != ResponseCheck::Ok) {
        host.Err(prefix + outcome + "\n");
        return kExitSensorFailed;
    }
    const Reading back = ReadSensor(host, options, address);
    if (!back.Ok()) {
        host.Err(prefix + "read-back: " + back.FailureLine() + "\n");
        return kExitSensorFailed;
    }
    if (ResponseRegister(back.reply.bytes, registerNumber) != value) {
        // Echoed but not kept: the sensor shows another offset than the one written.
        host.Err(prefix + Joined(CheckLines(ResponseCheck::BadEcho, writeKind)) + " read back " +
                 back.texts[registerNumber] + "\n");
        return kExitSensorFailed;
    }
    host.Out(outcome + "\n");
    return kExitOk;
}

int Run(CliHost& host, const Options& options)
{
    if (options.words.empty()) throw UsageError("no command");
    const std::string& command = options.words[0];
    if (command == "ports") {
        Expect(options, 0, 0);
        host.ListPorts();
        return kExitOk;
    }
    if (command == "read") return ReadCommand(host, options);
    if (command == "scan") return ScanCommand(host, options);
    if (command == "watch") return WatchCommand(host, options);
    if (command == "set-offset") return SetOffsetCommand(host, options);
    throw UsageError("unknown command " + command);
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliHost& host)
{
    for (const std::string& word : arguments) {
        if (word == "--help") {
            host.Out(kHelp);
            return kExitOk;
        }
        if (word == "--version") {
            host.Out("tarvik-cli " TARVIK_VERSION "\n");
            return kExitOk;
        }
    }
    // The report reads files and takes options of its own.
    if (!arguments.empty() && arguments.front() == "report")
        return ReportCommand(std::vector<std::string>(arguments.begin() + 1, arguments.end()), host);
    try {
        return Run(host, ParseOptions(arguments));
    } catch (const UsageError& error) {
        host.Err(std::string("tarvik-cli: ") + error.what() + "\n");
        return kExitUsage;
    }
}
