// The commissioning record: tarvik-cli's readings files (read, scan and watch with --format csv)
// gathered per sensor, with each sensor's series reduced for plotting. Files are read twice: the first
// pass checks every row and finds the time span, the second fills fixed time buckets, so memory holds
// the buckets and never the rows, and files may overlap or come in any order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/ExchangeTexts.h"

// Milliseconds since 1970-01-01 UTC.
using Millis = std::int64_t;

// A file that is not tarvik-cli's readings CSV: "FILE:LINE: reason" (or "FILE: reason").
class ReportInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Temperature and humidity, the two plotted series; readings are held in tenths.
enum Series { kTemperature, kHumidity, kSeriesCount };

// Spread of a sensor's readings less their offsets over its last ten minutes beyond which it is marked
// as not yet settled (tenths).
inline constexpr Millis kSettlingWindowMs = 10 * 60 * 1000;
inline constexpr std::array<int, kSeriesCount> kSettledSpreadTenths = {10, 30};  // 1.0 ℃, 3.0 %RH
// A sensor answering less than this share of its reads is marked.
inline constexpr int kGoodSuccessPercent = 95;
// The time axis is cut into this many buckets; each keeps its minimum and maximum, so a plotted
// series has at most twice as many points.
inline constexpr int kPlotBuckets = 1000;
// The observations of offsets and versions a sensor keeps; a file that changes them on more rows is
// summarised by its count of changes beyond.
inline constexpr std::size_t kTimelineCapacity = 64;

struct Offsets {
    int temperature = 0;
    int humidity = 0;
    bool operator==(const Offsets& other) const { return temperature == other.temperature && humidity == other.humidity; }
};
// Type, hardware and software versions as the dialog shows them (hexadecimal texts).
struct Identity {
    std::string type, hardware, software;
    bool operator==(const Identity& other) const
    {
        return type == other.type && hardware == other.hardware && software == other.software;
    }
};

// Values seen at moments, in time order once collapsed: the first value and each change.
template <typename Value>
class Timeline {
public:
    void Observe(Millis time, const Value& value);
    // Puts the observations in time order and keeps only the first of each run of equal values.
    void Collapse();
    // Once collapsed: the first value and each change, in time order.
    const std::vector<std::pair<Millis, Value>>& Changes() const { return entries; }
    // Observations that did not fit.
    long long Dropped() const { return dropped; }

private:
    std::vector<std::pair<Millis, Value>> entries;
    long long dropped = 0;
};

struct Extreme {
    int tenths = 0;
    Millis time = 0;
};
struct Bucket {
    long long okCount = 0;
    long long failures = 0;
    std::array<Extreme, kSeriesCount> low{}, high{};
    Millis firstFailure = 0, lastFailure = 0;
};

struct SeriesFigures {
    long long count = 0;
    long long sumTenths = 0;
    int minTenths = 0, maxTenths = 0;
};

struct SensorRecord {
    int address = 0;
    long long rows = 0;
    std::array<long long, kStatusCount> statusCounts{};  // by ExchangeStatusIndex
    std::array<SeriesFigures, kSeriesCount> figures{};
    Millis firstTime = 0, lastTime = 0;  // of any row

    // The latest successful reading.
    Millis lastOkTime = 0;
    std::array<int, kSeriesCount> lastTenths{};
    Identity lastIdentity;

    Timeline<Offsets> offsets;
    Timeline<Identity> identities;

    // Filled by the second pass.
    std::array<SeriesFigures, kSeriesCount> recent{};  // the last kSettlingWindowMs, offsets taken off
    std::vector<Bucket> buckets;

    long long Ok() const { return statusCounts[kStatusOk]; }
    bool PoorSuccess() const { return rows > 0 && Ok() * 100 < kGoodSuccessPercent * rows; }
    bool Unsettled(Series series) const
    {
        return recent[series].count > 0 && recent[series].maxTenths - recent[series].minTenths > kSettledSpreadTenths[series];
    }
};

struct SourceFile {
    std::string name;
    long long rows = 0;
};

struct Report {
    std::vector<SourceFile> files;
    long long rows = 0, failures = 0;
    Millis firstTime = 0, lastTime = 0;
    std::map<int, SensorRecord> sensors;  // by address
};

// Opens a named file for reading; null when it cannot be read.
using OpenInput = std::function<std::unique_ptr<std::istream>(const std::string& name)>;

// Reads the files; throws ReportInputError at the first row that is not tarvik-cli's readings.
Report GatherReport(const std::vector<std::string>& names, const OpenInput& open);

struct PlotPoint {
    Millis time;
    int tenths;
};
// A series as lines to draw: a new line starts wherever a read failed between two points, or where the
// readings pause for longer than three times the sensor's mean spacing.
std::vector<std::vector<PlotPoint>> PlotLines(const Report& report, const SensorRecord& sensor, Series series);

// Millis since the epoch of an ISO 8601 UTC time as tarvik-cli writes it ("2026-12-06T23:10:02.018Z").
bool ParseIsoTime(std::string_view text, Millis& time);
// Days since 1970-01-01 of a civil date, and back.
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day);
void CivilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day);
