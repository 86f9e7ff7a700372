#include "cli/Report.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

enum Column {
    kTimeColumn,
    kAddressColumn,
    kStatusColumn,
    kTemperatureColumn,
    kHumidityColumn,
    kTempOffsetColumn,
    kHumOffsetColumn,
    kSensorAddressColumn,
    kTypeColumn,
    kHardwareColumn,
    kSoftwareColumn,
    kExceptionCodeColumn,
    kColumnCount
};
constexpr const char* kColumnNames[kColumnCount] = {
    "time", "address", "status", "temperature", "humidity", "temp_offset", "hum_offset",
    "sensor_address", "type", "hw_version", "sw_version", "exception_code"};
// Every file has these; the later ones may follow them, as newer versions of tarvik-cli write them.
constexpr int kRequiredColumns = kSoftwareColumn + 1;
constexpr int kAddressCount = 64;

struct Row {
    Millis time = 0;
    int address = 0;
    std::size_t status = 0;
    bool reading = false;  // the reading columns are filled
    std::array<int, kSeriesCount> tenths{};
    Offsets offsets;
    Identity identity;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<long> Whole(std::string_view text, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "-12.5", "3" or "0.0": a reading as the dialog shows it, in tenths.
std::optional<int> Tenths(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int fraction = 0;
    const std::size_t point = text.find('.');
    if (point != std::string_view::npos) {
        if (text.size() != point + 2 || !IsDigit(text.back())) return std::nullopt;
        fraction = text.back() - '0';
        text = text.substr(0, point);
    }
    const std::optional<long> whole = Whole(text, 5);
    if (!whole) return std::nullopt;
    const int tenths = static_cast<int>(*whole * 10 + fraction);
    return negative ? -tenths : tenths;
}

bool IsHexText(std::string_view text)
{
    if (text.empty() || text.size() > 4) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

std::string Shown(std::string_view text)
{
    return std::string(text.substr(0, 40)) + (text.size() > 40 ? "..." : "");
}

// One file's header and rows; every fault names the file and line.
class ReadingsFile {
public:
    ReadingsFile(std::string name, std::istream& in) : name(std::move(name)), in(in) {}

    // Reads the header and learns where each column is.
    void ReadHeader()
    {
        if (!std::getline(in, header)) Fail(in.bad() ? "cannot be read" : "empty file, no header");
        lineNumber = 1;
        if (!header.empty() && header.back() == '\r') header.pop_back();
        positions.fill(-1);
        std::vector<std::string_view> names;
        Split(header, names);
        for (std::size_t index = 0; index < names.size(); ++index) {
            const auto* known = std::find(std::begin(kColumnNames), std::end(kColumnNames), names[index]);
            if (known == std::end(kColumnNames)) Fail("not a readings header: unknown column " + Shown(names[index]));
            int& position = positions[static_cast<std::size_t>(known - std::begin(kColumnNames))];
            if (position >= 0) Fail("not a readings header: column " + Shown(names[index]) + " twice");
            position = static_cast<int>(index);
        }
        for (int column = 0; column < kRequiredColumns; ++column)
            if (positions[column] < 0) Fail(std::string("not a readings header: no column ") + kColumnNames[column]);
        columnCount = names.size();
    }

    // The next row, skipping the header repeated where runs were appended to one file; false at the end.
    bool Next(Row& row)
    {
        do {
            if (!std::getline(in, line)) {
                if (in.bad()) Fail("cannot be read");
                return false;
            }
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.pop_back();
        } while (line == header);
        Split(line, fields);
        Parse(row);
        return true;
    }

    [[noreturn]] void Fail(const std::string& reason) const
    {
        throw ReportInputError(name + (lineNumber > 0 ? ":" + std::to_string(lineNumber) : "") + ": " + reason);
    }

private:
    static void Split(std::string_view line, std::vector<std::string_view>& fields)
    {
        fields.clear();
        for (;;) {
            const std::size_t comma = line.find(',');
            fields.push_back(line.substr(0, comma));
            if (comma == std::string_view::npos) return;
            line.remove_prefix(comma + 1);
        }
    }

    std::string_view Field(Column column) const
    {
        return positions[column] < 0 ? std::string_view() : fields[static_cast<std::size_t>(positions[column])];
    }

    int TenthsField(Column column) const
    {
        const std::optional<int> value = Tenths(Field(column));
        if (!value) Fail(std::string(kColumnNames[column]) + ": not a number in tenths: " + Shown(Field(column)));
        return *value;
    }

    void Parse(Row& row) const
    {
        if (fields.size() != columnCount)
            Fail(std::to_string(fields.size()) + " fields where the header has " + std::to_string(columnCount));
        if (!ParseIsoTime(Field(kTimeColumn), row.time))
            Fail("time: not an ISO 8601 UTC time: " + Shown(Field(kTimeColumn)));
        const std::optional<long> address = Whole(Field(kAddressColumn), 2);
        if (!address || *address >= kAddressCount) Fail("address: not an address from 0 to 63: " + Shown(Field(kAddressColumn)));
        row.address = static_cast<int>(*address);
        const std::string_view status = Field(kStatusColumn);
        const auto* kind = std::find(std::begin(kStatusWords), std::end(kStatusWords), status);
        if (kind == std::end(kStatusWords)) Fail("status: unknown status " + Shown(status));
        row.status = static_cast<std::size_t>(kind - std::begin(kStatusWords));

        const std::string_view code = Field(kExceptionCodeColumn);
        if (!code.empty() && (!Whole(code, 3) || *Whole(code, 3) > 255))
            Fail("exception_code: not a code from 0 to 255: " + Shown(code));

        // A failed read leaves the reading columns empty; where they are filled they must be a reading.
        bool filled = false;
        for (int column = kTemperatureColumn; column <= kSoftwareColumn; ++column)
            filled = filled || !Field(static_cast<Column>(column)).empty();
        row.reading = filled || row.status == kStatusOk;
        if (!row.reading) return;
        row.tenths[kTemperature] = TenthsField(kTemperatureColumn);
        row.tenths[kHumidity] = TenthsField(kHumidityColumn);
        row.offsets = {TenthsField(kTempOffsetColumn), TenthsField(kHumOffsetColumn)};
        if (!Whole(Field(kSensorAddressColumn), 5))
            Fail("sensor_address: not a number: " + Shown(Field(kSensorAddressColumn)));
        for (Column column : {kTypeColumn, kHardwareColumn, kSoftwareColumn})
            if (!IsHexText(Field(column)))
                Fail(std::string(kColumnNames[column]) + ": not a hexadecimal number: " + Shown(Field(column)));
        row.identity = {std::string(Field(kTypeColumn)), std::string(Field(kHardwareColumn)),
                        std::string(Field(kSoftwareColumn))};
    }

    std::string name;
    std::istream& in;
    std::string header;
    std::string line;
    std::vector<std::string_view> fields;  // of line
    std::array<int, kColumnCount> positions{};
    std::size_t columnCount = 0;
    long long lineNumber = 0;
};

std::unique_ptr<std::istream> Open(const OpenInput& open, const std::string& name)
{
    std::unique_ptr<std::istream> in = open(name);
    if (!in) throw ReportInputError(name + ": cannot be read");
    return in;
}

void Widen(SeriesFigures& figures, int tenths)
{
    if (figures.count == 0 || tenths < figures.minTenths) figures.minTenths = tenths;
    if (figures.count == 0 || tenths > figures.maxTenths) figures.maxTenths = tenths;
    ++figures.count;
    figures.sumTenths += tenths;
}

// The first pass: every row checked and counted, the figures that do not depend on order.
void Survey(Report& report, const std::string& name, std::istream& in)
{
    ReadingsFile file(name, in);
    file.ReadHeader();
    SourceFile source{name, 0};
    // What this file last showed per address: a change within a file is a change over time.
    std::array<std::optional<Offsets>, kAddressCount> lastOffsets;
    std::array<std::optional<Identity>, kAddressCount> lastIdentity;
    Row row;
    while (file.Next(row)) {
        ++source.rows;
        if (report.rows == 0 || row.time < report.firstTime) report.firstTime = row.time;
        if (report.rows == 0 || row.time > report.lastTime) report.lastTime = row.time;
        ++report.rows;
        if (row.status != kStatusOk) ++report.failures;

        SensorRecord& sensor = report.sensors[row.address];
        sensor.address = row.address;
        if (sensor.rows == 0 || row.time < sensor.firstTime) sensor.firstTime = row.time;
        if (sensor.rows == 0 || row.time > sensor.lastTime) sensor.lastTime = row.time;
        ++sensor.rows;
        ++sensor.statusCounts[row.status];
        if (row.status != kStatusOk) continue;

        for (int series = 0; series < kSeriesCount; ++series) Widen(sensor.figures[series], row.tenths[series]);
        if (sensor.Ok() == 1 || row.time >= sensor.lastOkTime) {
            sensor.lastOkTime = row.time;
            sensor.lastTenths = row.tenths;
            sensor.lastIdentity = row.identity;
        }
        std::optional<Offsets>& offsets = lastOffsets[static_cast<std::size_t>(row.address)];
        if (!offsets || !(*offsets == row.offsets)) sensor.offsets.Observe(row.time, row.offsets);
        offsets = row.offsets;
        std::optional<Identity>& identity = lastIdentity[static_cast<std::size_t>(row.address)];
        if (!identity || !(*identity == row.identity)) sensor.identities.Observe(row.time, row.identity);
        identity = row.identity;
    }
    report.files.push_back(source);
}

std::size_t BucketOf(const Report& report, Millis time)
{
    const Millis span = report.lastTime - report.firstTime + 1;
    return static_cast<std::size_t>((time - report.firstTime) * kPlotBuckets / span);
}

// The second pass, over the rows the first one counted (a file still being written may have grown).
// A file rewritten meanwhile may hold rows the first pass did not see: those are left out.
void Plot(Report& report, const SourceFile& source, std::istream& in)
{
    ReadingsFile file(source.name, in);
    file.ReadHeader();
    Row row;
    for (long long n = 0; n < source.rows && file.Next(row); ++n) {
        const auto known = report.sensors.find(row.address);
        if (known == report.sensors.end() || row.time < report.firstTime || row.time > report.lastTime) continue;
        SensorRecord& sensor = known->second;
        Bucket& bucket = sensor.buckets[BucketOf(report, row.time)];
        if (row.status != kStatusOk) {
            if (bucket.failures == 0 || row.time < bucket.firstFailure) bucket.firstFailure = row.time;
            if (bucket.failures == 0 || row.time > bucket.lastFailure) bucket.lastFailure = row.time;
            ++bucket.failures;
            continue;
        }
        for (int series = 0; series < kSeriesCount; ++series) {
            const int tenths = row.tenths[series];
            Extreme& low = bucket.low[series];
            Extreme& high = bucket.high[series];
            if (bucket.okCount == 0 || tenths < low.tenths || (tenths == low.tenths && row.time < low.time)) low = {tenths, row.time};
            if (bucket.okCount == 0 || tenths > high.tenths || (tenths == high.tenths && row.time < high.time)) high = {tenths, row.time};
            // An offset written in the window moves the reading but not the sensor.
            const int offset = series == kTemperature ? row.offsets.temperature : row.offsets.humidity;
            if (row.time > sensor.lastOkTime - kSettlingWindowMs) Widen(sensor.recent[series], tenths - offset);
        }
        ++bucket.okCount;
    }
}

}  // namespace

template <typename Value>
void Timeline<Value>::Observe(Millis time, const Value& value)
{
    if (entries.size() >= kTimelineCapacity) {
        Collapse();
        if (entries.size() >= kTimelineCapacity) {
            ++dropped;
            return;
        }
    }
    entries.emplace_back(time, value);
}

template <typename Value>
void Timeline<Value>::Collapse()
{
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    entries.erase(std::unique(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.second == b.second; }),
                  entries.end());
}

template class Timeline<Offsets>;
template class Timeline<Identity>;

Report GatherReport(const std::vector<std::string>& names, const OpenInput& open)
{
    Report report;
    for (const std::string& name : names) Survey(report, name, *Open(open, name));
    for (auto& [address, sensor] : report.sensors) {
        sensor.offsets.Collapse();
        sensor.identities.Collapse();
        sensor.buckets.resize(kPlotBuckets);
    }
    for (const SourceFile& source : report.files) Plot(report, source, *Open(open, source.name));
    return report;
}

std::vector<std::vector<PlotPoint>> PlotLines(const Report& report, const SensorRecord& sensor, Series series)
{
    const Millis bucketWidth = (report.lastTime - report.firstTime) / kPlotBuckets + 1;
    const Millis meanSpacing = sensor.rows > 1 ? (sensor.lastTime - sensor.firstTime) / (sensor.rows - 1) : 0;
    const Millis pauseLimit = std::max(3 * meanSpacing, 2 * bucketWidth);

    std::vector<std::vector<PlotPoint>> lines;
    std::optional<PlotPoint> previous;
    std::size_t previousBucket = 0;
    auto add = [&](std::size_t index, PlotPoint point) {
        bool broken = !previous || point.time - previous->time > pauseLimit;
        for (std::size_t b = previousBucket; previous && !broken && b <= index; ++b) {
            const Bucket& between = sensor.buckets[b];
            broken = between.failures > 0 && between.firstFailure < point.time && between.lastFailure > previous->time;
        }
        if (broken) lines.emplace_back();
        lines.back().push_back(point);
        previous = point;
        previousBucket = index;
    };
    for (std::size_t index = 0; index < sensor.buckets.size(); ++index) {
        const Bucket& bucket = sensor.buckets[index];
        if (bucket.okCount == 0) continue;
        Extreme first = bucket.low[series];
        Extreme second = bucket.high[series];
        if (second.time < first.time) std::swap(first, second);
        add(index, {first.time, first.tenths});
        if (second.time != first.time) add(index, {second.time, second.tenths});
    }
    return lines;
}

bool ParseIsoTime(std::string_view text, Millis& time)
{
    // 2026-12-06T23:10:02.018Z
    static constexpr char kPattern[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != sizeof kPattern - 1) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kPattern[i] == 'd' ? !IsDigit(text[i]) : text[i] != kPattern[i]) return false;
    auto number = [&](std::size_t at, std::size_t length) { return static_cast<int>(*Whole(text.substr(at, length), length)); };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2), millis = number(20, 3);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 60) return false;
    int nextYear = 0;
    unsigned nextMonth = 0, nextDay = 0;
    CivilFromDays(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)), nextYear, nextMonth, nextDay);
    if (static_cast<int>(nextDay) != day) return false;  // 31 April, 30 February
    time = ((DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 24 + hour) * 60 + minute) * 60000 +
           second * 1000 + millis;
    return true;
}

// Howard Hinnant's civil-calendar algorithms: the proleptic Gregorian calendar in whole eras of 400 years.
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2));
}
