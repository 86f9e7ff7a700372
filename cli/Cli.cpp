#include "cli/Cli.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
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
    "  --format text|csv|json   output of read, scan, watch and set-offset (json: one object a line)\n"
    "  --timeout MS             how long a sensor may take to answer (default 200)\n"
    "  --interval MS            watch: from one read to the next (default 1000)\n"
    "  --count N                watch: rounds over the range (default: until Ctrl-C)\n"
    "  --help, --version\n"
    "  Options also take the form --format=csv; after --, every word is an operand.\n"
    "\n"
    "Exit status: 0 success, 1 a sensor failed (no answer, bad reply, exception, write not taken),\n"
    "the port was lost or the output could not be written, 2 bad usage or input, or a port that\n"
    "cannot be opened.\n";

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

// Its text is UTF-8, ready for standard error.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The run cannot go on (the port lost, the output failed); its line, if any, has been written.
struct RunEnded {
    int status;
};

enum class Format { Text, Csv, Json };
enum class Command { Read, Scan, Watch, SetOffset };

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
    bool operandsOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i];
        if (operandsOnly || word.rfind("--", 0) != 0) {
            options.words.push_back(word);
            continue;
        }
        if (word == "--") {
            operandsOnly = true;
            continue;
        }
        std::string value;
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
            word.erase(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            throw UsageError(word + " needs a value");
        }
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

// The program's own lines, in UTF-8 for the streams.
std::string Said(CliHost& host, const std::vector<const char*>& lines)
{
    std::string text;
    for (const char* line : lines) text += line;
    return host.Utf8FromProgramText(text);
}

std::string Said(CliHost& host, const std::string& text)
{
    return host.Utf8FromProgramText(text);
}

// Standard output; a failed write ends the run.
void Emit(CliHost& host, const std::string& text)
{
    host.Out(text);
    if (host.OutputFailed()) throw RunEnded{kExitSensorFailed};
}

// An input judged by the dialog's rule; a refusal is bad input.
int Accepted(CliHost& host, const InputRule& rule, const std::string& text)
{
    const InputJudgement judgement = JudgeInputText(rule, text);
    if (!judgement.value) throw UsageError(text + ": " + Said(host, judgement.refusal));
    return *judgement.value;
}

struct Range {
    std::uint8_t first;
    std::uint8_t last;
};

Range ParseRange(CliHost& host, const std::string& text)
{
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) throw UsageError(text + ": a range is FROM-TO, for example 0-63");
    const int first = Accepted(host, kRangeStartRule, text.substr(0, dash));
    const int last = Accepted(host, kRangeEndRule, text.substr(dash + 1));
    if (last < first) throw UsageError(text + ": " + Said(host, kRangeReversedLine));
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
    bool sent = false;     // the line fell quiet in time, so the request went out
    bool written = false;
    std::size_t count = 0;
    std::uint8_t bytes[kReplyCapacity] = {};
};

// The bus master: one request at a time, each only after the line has been quiet for 3.5 characters
// since the last byte either way, so that no sensor takes it for the tail of the frame before it and no
// request is sent into a reply still arriving. Bytes that come outside an exchange, or that start with
// another address than the one asked, are no answer of the address asked: they are discarded and
// named, a late reply as the late reply of the address that timed out before.
class Master {
public:
    Master(CliHost& host, const Options& options, std::string port)
        : host(host), line(host.Line()), timeoutMs(options.timeoutMs), port(std::move(port))
    {
    }

    Reply Exchange(const RequestFrame& request, std::size_t expected)
    {
        Reply reply;
        int timedOutBefore = unanswered;
        unanswered = -1;
        if (!AwaitQuiet(timedOutBefore)) return reply;
        reply.sent = true;
        // The write purges first: nothing an earlier exchange left is taken for this reply.
        reply.written = line.Write(request.data(), request.size());
        EndIfLost();
        lastByteAt = Clock::now();
        if (!reply.written) return reply;
        const Clock::time_point deadline = Clock::now() + milliseconds(timeoutMs);
        while (reply.count < expected && !host.Interrupted()) {
            unsigned waitMs = kSilenceMs;
            if (reply.count == 0) {
                const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) break;
                waitMs = static_cast<unsigned>(left);
            }
            const std::size_t got = Read(reply.bytes + reply.count, kReplyCapacity - reply.count, waitMs);
            if (got == 0 && reply.count > 0) break;
            if (got > 0 && reply.count == 0 && reply.bytes[0] != request[0]) {
                std::vector<std::uint8_t> frame(reply.bytes, reply.bytes + got);
                Drain(frame);
                Discard(frame, timedOutBefore, request[0]);
                timedOutBefore = -1;
                continue;
            }
            reply.count += got;
            if (ExceptionCode(reply.bytes, reply.count, request[0], request[1]) != 0) break;  // complete
        }
        if (reply.count == 0 && !host.Interrupted()) unanswered = request[0];
        return reply;
    }

    // Bytes were discarded: the bus has a fault even where every address asked answered.
    bool Discarded() const { return discards > 0; }

private:
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity, unsigned waitMs)
    {
        const std::size_t got = line.ReadArrived(buffer, capacity, waitMs);
        EndIfLost();
        if (got > 0) lastByteAt = Clock::now();
        return got;
    }

    // Adds what arrives until the line has been quiet for a reply's silence.
    void Drain(std::vector<std::uint8_t>& frame)
    {
        std::uint8_t chunk[kReplyCapacity];
        while (std::size_t got = Read(chunk, sizeof chunk, kSilenceMs)) frame.insert(frame.end(), chunk, chunk + got);
    }

    // Waits until the line has been quiet for 3.5 characters; false when it never is within the
    // time-out, so nothing may be sent. What arrives meanwhile is the late reply of timedOutBefore, if
    // that address got no answer in time.
    bool AwaitQuiet(int& timedOutBefore)
    {
        const Clock::time_point start = Clock::now();
        const milliseconds gap(kFrameGapMs);
        std::vector<std::uint8_t> discarded;
        for (;;) {
            const auto quiet = Clock::now() - lastByteAt;
            const auto left = quiet >= gap ? 0 : std::chrono::duration_cast<milliseconds>(gap - quiet).count() + 1;
            std::uint8_t chunk[kReplyCapacity];
            const std::size_t got = Read(chunk, sizeof chunk, static_cast<unsigned>(left));  // also what waits already
            discarded.insert(discarded.end(), chunk, chunk + got);
            if ((got == 0 && Clock::now() - lastByteAt >= gap) || host.Interrupted()) break;
            if (Clock::now() - start > milliseconds(timeoutMs)) return false;
        }
        if (!discarded.empty()) {
            Discard(discarded, timedOutBefore, -1);
            timedOutBefore = -1;
        }
        return true;
    }

    // Bytes that are no answer of the address asked (-1: none was). A frame of the address that timed
    // out before is its late reply; so is a garbled one, which is what a late reply becomes when the next
    // request is sent over it. Anything else answers nothing we asked.
    void Discard(const std::vector<std::uint8_t>& frame, int timedOutBefore, int asked)
    {
        ++discards;
        const bool intact = frame.size() >= 4 && CrcMatches(frame.data(), frame.size());
        const std::string late = "tarvik-cli: " + std::to_string(timedOutBefore) + ": late reply (after the " +
                                 std::to_string(timeoutMs) + " ms time-out)";
        if (timedOutBefore >= 0 && (frame[0] == timedOutBefore || asked < 0))
            host.Err(late + ", discarded\n");
        else if (timedOutBefore >= 0 && !intact)
            host.Err(late + ", garbled by the request to " + std::to_string(asked) + ", discarded\n");
        else if (asked >= 0)
            host.Err("tarvik-cli: " + std::to_string(frame.size()) + " bytes from address " + std::to_string(frame[0]) +
                     " while " + std::to_string(asked) + " was asked, discarded\n");
        else
            host.Err("tarvik-cli: " + std::to_string(frame.size()) + " bytes on the line answer no request, discarded\n");
    }

    void EndIfLost()
    {
        if (!line.Lost()) return;
        host.Err("tarvik-cli: " + port + ": the port has gone (unplugged or hung up)\n");
        throw RunEnded{kExitSensorFailed};
    }

    CliHost& host;
    SerialLine& line;
    const unsigned timeoutMs;
    const std::string port;
    // A program before us may have just stopped talking: the first request keeps its distance too.
    Clock::time_point lastByteAt = Clock::now();
    int unanswered = -1;  // the address whose request got no answer in time, until the next request
    int discards = 0;
};

// What became of one exchange: its status word for scripts and, for a failure, the line saying so.
struct Outcome {
    ExchangeStatusIndex status;
    std::string line;
    std::uint8_t exceptionCode = 0;

    bool Ok() const { return status == kStatusOk; }
};

Outcome Judge(CliHost& host, const Reply& reply, const RequestFrame& request, std::uint8_t checkKind)
{
    if (!reply.sent) return {kStatusLineBusy, "the line never fell quiet for 3.5 characters; nothing sent"};
    if (!reply.written) return {kStatusWriteFailed, Said(host, kWriteFailedLine)};
    if (reply.count == 0) return {kStatusNoAnswer, Said(host, ReportCheck(ResponseCheck::BadLength, checkKind).lines)};
    if (const std::uint8_t code = ExceptionCode(reply.bytes, reply.count, request[0], request[1]))
        return {kStatusException, Said(host, ExceptionLine(code)), code};
    const ResponseCheck check = checkKind == kReadCheckKind ? CheckReadResponse(reply.bytes, reply.count, request[0])
                                                            : CheckWriteResponse(reply.bytes, reply.count, request);
    const CheckReport report = ReportCheck(check, checkKind);
    return {report.status, Said(host, report.lines)};
}

struct Reading {
    std::string time;  // when the request went out
    std::uint8_t address = 0;
    Reply reply;
    Outcome outcome;
    ReadingTexts texts;

    bool Ok() const { return outcome.Ok(); }
    bool Answered() const { return reply.count > 0; }
};

Reading ReadSensor(CliHost& host, Master& master, std::uint8_t address)
{
    Reading reading;
    reading.time = IsoTime();
    reading.address = address;
    const RequestFrame request = BuildReadRequest(address);
    reading.reply = master.Exchange(request, kReadResponseSize);
    reading.outcome = Judge(host, reading.reply, request, kReadCheckKind);
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
    Emit(host, header + ",exception_code\n");
}

// One exchange as a CSV row or a JSON object; the rest of the text format is the command's.
void EmitRecord(CliHost& host, const Options& options, const Reading& reading)
{
    const std::string address = std::to_string(reading.address);
    const std::string code = reading.outcome.exceptionCode ? std::to_string(reading.outcome.exceptionCode) : "";
    if (options.format == Format::Csv) {
        std::string row = reading.time + "," + address + "," + kStatusWords[reading.outcome.status];
        for (const std::string& text : reading.texts) row += "," + WithoutBlank(Said(host, text));
        Emit(host, row + "," + code + "\n");
    } else if (options.format == Format::Json) {
        std::string object = "{\"time\":\"" + reading.time + "\",\"address\":" + address + ",\"status\":\"" +
                             kStatusWords[reading.outcome.status] + "\"";
        for (int n = 0; reading.Ok() && n < kRegisterCount; ++n) {
            const std::string value = WithoutBlank(Said(host, reading.texts[n]));
            object += std::string(",\"") + kReadingFields[n] + "\":" + (n < kNumericFields ? value : "\"" + value + "\"");
        }
        if (!code.empty()) object += ",\"exception_code\":" + code;
        Emit(host, object + "}\n");
    }
}

// One exchange on standard output as the format has it; its failure, if any, on standard error.
void Report(CliHost& host, const Options& options, Command command, const Reading& reading)
{
    const std::string address = std::to_string(reading.address);
    if (!reading.Ok())
        host.Err("tarvik-cli: " + (command == Command::Watch ? reading.time + " " : "") + address + ": " +
                 reading.outcome.line + "\n");
    if (options.format != Format::Text) return EmitRecord(host, options, reading);
    if (!reading.Ok()) return;
    switch (command) {
    case Command::Read:
        return Emit(host, Said(host, ReadRequestLine(reading.address) + "\n" + CrLfToLf(ReadingsLogBlock(reading.texts))));
    case Command::Scan:
        return Emit(host, address + ": " + Said(host, ReadingsLine(reading.texts, 5)) + "\n");
    case Command::Watch:
        return Emit(host, reading.time + " " + address + ": " + Said(host, ReadingsLine(reading.texts)) + "\n");
    case Command::SetOffset:
        return;  // its success line is its own
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
    if (!host.OpenPort(port, failure)) throw UsageError(Said(host, kOpenFailedLine) + " " + failure);
}

int ReadCommand(CliHost& host, const Options& options)
{
    Expect(options, 2, SIZE_MAX);
    std::vector<std::uint8_t> addresses;
    for (std::size_t i = 2; i < options.words.size(); ++i)
        addresses.push_back(static_cast<std::uint8_t>(Accepted(host, kSensorAddressRule, options.words[i])));
    Open(host, options.words[1]);
    Master master(host, options, options.words[1]);
    PrintHeader(host, options);
    int status = kExitOk;
    for (std::uint8_t address : addresses) {
        if (host.Interrupted()) return kExitSensorFailed;
        const Reading reading = ReadSensor(host, master, address);
        Report(host, options, Command::Read, reading);
        if (!reading.Ok()) status = kExitSensorFailed;
    }
    return master.Discarded() ? kExitSensorFailed : status;
}

int ScanCommand(CliHost& host, const Options& options)
{
    Expect(options, 1, 2);
    const Range range = ParseRange(host, options.words.size() > 2 ? options.words[2] : "0-63");
    Open(host, options.words[1]);
    Master master(host, options, options.words[1]);
    PrintHeader(host, options);
    int found = 0;
    bool failed = false;
    for (int address = range.first; address <= range.last && !host.Interrupted(); ++address) {
        const Reading reading = ReadSensor(host, master, static_cast<std::uint8_t>(address));
        // Silence is an empty address, not a fault.
        if (reading.outcome.status == kStatusNoAnswer) continue;
        Report(host, options, Command::Scan, reading);
        if (reading.Ok()) ++found;
        else failed = true;
    }
    if (host.Interrupted()) return kExitSensorFailed;
    if (found == 0) host.Err("tarvik-cli: no sensor answered in " + std::to_string(range.first) + "-" +
                             std::to_string(range.last) + "\n");
    return found > 0 && !failed && !master.Discarded() ? kExitOk : kExitSensorFailed;
}

int WatchCommand(CliHost& host, const Options& options)
{
    Expect(options, 2, 2);
    const Range range = ParseRange(host, options.words[2]);
    Open(host, options.words[1]);
    Master master(host, options, options.words[1]);
    PrintHeader(host, options);
    bool failed = false;
    Clock::time_point next = Clock::now();
    for (unsigned long round = 0; options.rounds == 0 || round < options.rounds; ++round) {
        for (int address = range.first; address <= range.last; ++address) {
            const auto wait = std::chrono::duration_cast<milliseconds>(next - Clock::now()).count();
            if (wait > 0) host.Pause(static_cast<unsigned>(wait));
            if (host.Interrupted()) return failed || master.Discarded() ? kExitSensorFailed : kExitOk;
            next = Clock::now() + milliseconds(options.intervalMs);
            const Reading reading = ReadSensor(host, master, static_cast<std::uint8_t>(address));
            Report(host, options, Command::Watch, reading);
            if (!reading.Ok()) failed = true;
        }
    }
    return failed || master.Discarded() ? kExitSensorFailed : kExitOk;
}

const OffsetKind& ParseOffsetKind(const std::string& word)
{
    for (const OffsetKind* kind : {&kTempOffset, &kHumOffset})
        if (word == kind->word) return *kind;
    throw UsageError(word + ": the offset is " + kTempOffset.word + " or " + kHumOffset.word);
}

// The dialog truncates an offset to tenths; a script asking for 1.59 is told rather than given 1.5.
void RefuseFinerThanTenths(const std::string& text)
{
    const std::size_t point = text.find('.');
    if (point != std::string::npos && text.find_first_not_of('0', point + 2) != std::string::npos)
        throw UsageError(text + ": an offset is set in tenths, one digit after the point");
}

int SetOffsetCommand(CliHost& host, const Options& options)
{
    Expect(options, 4, 4);
    const OffsetKind& kind = ParseOffsetKind(options.words[3]);
    // The dialog's order: the offset first, then the address.
    const int tenths = Accepted(host, kind.rule, options.words[4]);
    RefuseFinerThanTenths(options.words[4]);
    const auto address = static_cast<std::uint8_t>(Accepted(host, kSensorAddressRule, options.words[2]));
    Open(host, options.words[1]);
    Master master(host, options, options.words[1]);
    PrintHeader(host, options);

    const std::string prefix = "tarvik-cli: " + std::to_string(address) + ": ";
    const std::uint16_t value = EncodeSignedTenths(tenths);
    const RequestFrame request = BuildWriteRequest(address, kind.registerNumber, value);
    Reading echo;
    echo.time = IsoTime();
    echo.address = address;
    echo.reply = master.Exchange(request, kWriteResponseSize);
    echo.outcome = Judge(host, echo.reply, request, kind.writeKind);
    if (!echo.Ok()) {
        Report(host, options, Command::SetOffset, echo);
        return kExitSensorFailed;
    }
    Reading back = ReadSensor(host, master, address);
    if (!back.Ok()) {
        back.outcome.line = "read-back: " + back.outcome.line;
        Report(host, options, Command::SetOffset, back);
        return kExitSensorFailed;
    }
    if (ResponseRegister(back.reply.bytes, kind.registerNumber) != value) {
        // Echoed but not kept: the sensor shows another offset than the one written.
        const CheckReport notKept = ReportCheck(ResponseCheck::BadEcho, kind.writeKind);
        back.outcome = {notKept.status, Said(host, notKept.lines) + " read back " + back.texts[kind.registerNumber]};
        Report(host, options, Command::SetOffset, back);
        return kExitSensorFailed;
    }
    if (options.format == Format::Text) Emit(host, echo.outcome.line + "\n");
    else EmitRecord(host, options, back);
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
        if (word == "--") break;
        if (word == "--help" || word == "--version") {
            host.Out(word == "--help" ? kHelp : "tarvik-cli " TARVIK_VERSION "\n");
            return host.OutputFailed() ? kExitSensorFailed : kExitOk;
        }
    }
    // The report reads files and takes options of its own.
    if (!arguments.empty() && arguments.front() == "report")
        return ReportCommand(std::vector<std::string>(arguments.begin() + 1, arguments.end()), host);
    try {
        const int status = Run(host, ParseOptions(arguments));
        return host.OutputFailed() ? kExitSensorFailed : status;
    } catch (const UsageError& error) {
        host.Err(std::string("tarvik-cli: ") + error.what() + "\n");
        return kExitUsage;
    } catch (const RunEnded& ended) {
        return ended.status;
    }
}
