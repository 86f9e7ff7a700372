#include "cli/ReportPage.h"

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The record's word for a status; every status is named and there is no default, so a new one fails the
// build until it has its word here.
const char* StatusLabel(ExchangeStatusIndex status)
{
    switch (status) {
    case kStatusOk: return u8"成功";
    case kStatusNoAnswer: return u8"无应答";
    case kStatusBadLength: return u8"长度不正确";
    case kStatusBadAddress: return u8"地址不正确";
    case kStatusBadFormat: return u8"格式不正确";
    case kStatusBadCrc: return u8"CRC校验不正确";
    case kStatusBadEcho: return u8"回显不符";
    case kStatusWriteFailed: return u8"发送失败";
    case kStatusException: return u8"异常应答";
    case kStatusLineBusy: return u8"总线忙";
    case kStatusCount: break;
    }
    return "";
}

const char* const kStyle =
    "@page { size: A4; margin: 14mm; }\n"
    "body { font-family: \"Microsoft YaHei\", \"SimSun\", \"Noto Sans CJK SC\", \"WenQuanYi Micro Hei\", sans-serif;\n"
    "       color: #222; max-width: 182mm; margin: 1em auto; padding: 0 1em; font-size: 10.5pt; line-height: 1.5; }\n"
    "h1, h2 { color: #0d47a1; margin: 0.4em 0; }\n"
    "table { border-collapse: collapse; margin: 0.4em 0; }\n"
    "th, td { border: 1px solid #bbb; padding: 0.15em 0.5em; text-align: left; vertical-align: top; }\n"
    "th { background: #e3f2fd; font-weight: normal; }\n"
    "td.n { text-align: right; }\n"
    "section.sensor { break-inside: avoid; page-break-inside: avoid; border-top: 2px solid #0d47a1; margin-top: 1.2em; }\n"
    "section.flagged { border-top-color: #c62828; }\n"
    "section.flagged h2, p.flag { color: #c62828; }\n"
    "p.flag { font-weight: bold; margin: 0.2em 0; }\n"
    "svg { display: block; margin: 0.4em 0; max-width: 100%; height: auto; }\n"
    "svg text { font-size: 11px; fill: #444; }\n"
    "@media print { body { margin: 0; padding: 0; } h1 { margin-top: 0; } }\n";

// The plot's frame, in SVG units.
constexpr int kPlotLeft = 56;
constexpr int kPlotRight = 640;
constexpr int kPlotWidth = 700;
constexpr int kPanelHeight = 120;
constexpr std::array<int, kSeriesCount> kPanelTop = {16, 166};
constexpr int kAxisY = kPanelTop[kHumidity] + kPanelHeight;
constexpr int kPlotHeight = kAxisY + 44;
constexpr std::array<const char*, kSeriesCount> kSeriesColour = {"#d84315", "#1565c0"};
constexpr std::array<const char*, kSeriesCount> kSeriesName = {u8"温度", u8"湿度"};
constexpr std::array<const char*, kSeriesCount> kSeriesUnit = {u8"℃", u8"%RH"};

std::string Tenths(long long tenths)
{
    const long long magnitude = std::llabs(tenths);
    return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

// sum / count tenths to hundredths, halves away from zero.
std::string Mean(long long sumTenths, long long count)
{
    const long long magnitude = (std::llabs(sumTenths) * 20 + count) / (2 * count);
    const char* sign = sumTenths < 0 && magnitude != 0 ? "-" : "";
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02lld", magnitude % 100);
    return sign + std::to_string(magnitude / 100) + "." + digits;
}

// ok out of rows as a percentage with one decimal, halves up.
std::string Share(long long ok, long long rows)
{
    const long long permille = (ok * 2000 + rows) / (2 * rows);
    return std::to_string(permille / 10) + "." + std::to_string(permille % 10) + "%";
}

struct LocalTime {
    int year;
    unsigned month, day;
    int hour, minute, second;
    int offset;  // minutes east of UTC
};

LocalTime Local(Millis time, const UtcOffsetAt& utcOffset)
{
    LocalTime local{};
    local.offset = utcOffset(time);
    const Millis seconds = (time >= 0 ? time / 1000 : (time - 999) / 1000) + local.offset * 60;
    const Millis days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const Millis ofDay = seconds - days * 86400;
    CivilFromDays(days, local.year, local.month, local.day);
    local.hour = static_cast<int>(ofDay / 3600);
    local.minute = static_cast<int>(ofDay / 60 % 60);
    local.second = static_cast<int>(ofDay % 60);
    return local;
}

std::string Formatted(const char* format, const LocalTime& local)
{
    char text[40];
    std::snprintf(text, sizeof text, format, local.year, local.month, local.day, local.hour, local.minute, local.second);
    return text;
}

std::string AxisLabel(const LocalTime& local, Millis step, Millis span)
{
    char text[24];
    if (step < 60000)
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.hour, local.minute, local.second);
    else if (span < 86400000)
        std::snprintf(text, sizeof text, "%02d:%02d", local.hour, local.minute);
    else
        std::snprintf(text, sizeof text, "%02u-%02u %02d:%02d", local.month, local.day, local.hour, local.minute);
    return text;
}

std::string DateTime(Millis time, const UtcOffsetAt& utcOffset)
{
    return Formatted("%04d-%02u-%02u %02d:%02d:%02d", Local(time, utcOffset));
}

std::string OffsetName(int minutes)
{
    char text[16];
    std::snprintf(text, sizeof text, "UTC%c%02d:%02d", minutes < 0 ? '-' : '+', std::abs(minutes) / 60, std::abs(minutes) % 60);
    return text;
}

std::string Coordinate(double value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

class Page {
public:
    Page(const Report& report, const UtcOffsetAt& utcOffset) : report(report), utcOffset(utcOffset) {}

    std::string Make(const std::string& title)
    {
        out += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + EscapeHtml(title) +
               "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n<h1>" + EscapeHtml(title) + "</h1>\n";
        Overview();
        for (auto& [address, sensor] : report.sensors) Sensor(sensor);
        out += "</body>\n</html>\n";
        return std::move(out);
    }

private:
    void Overview()
    {
        out += "<table class=\"overview\">\n<tr><th>" + std::string(u8"时间范围") + "</th><td id=\"span\">";
        if (report.rows == 0) {
            out += u8"没有读数";
        } else {
            out += DateTime(report.firstTime, utcOffset) + " " + OffsetName(utcOffset(report.firstTime)) + u8" 至 " +
                   DateTime(report.lastTime, utcOffset) + " " + OffsetName(utcOffset(report.lastTime));
        }
        out += u8"</td></tr>\n<tr><th>数据文件</th><td id=\"files\">";
        for (const SourceFile& file : report.files)
            out += (&file == &report.files.front() ? "" : "<br>") + EscapeHtml(file.name) + u8"（" + std::to_string(file.rows) + u8" 行）";
        out += u8"</td></tr>\n<tr><th>传感器</th><td id=\"sensors\">" + std::to_string(report.sensors.size()) + u8" 个</td></tr>\n" +
               u8"<tr><th>读取次数</th><td id=\"rows\">" + std::to_string(report.rows) + "</td></tr>\n" +
               u8"<tr><th>失败次数</th><td id=\"failures\">" + std::to_string(report.failures) + "</td></tr>\n</table>\n" +
               u8"<p>时间均为本地时间。失败指没有得到正确回答的读取。最后十分钟内温度（不计偏移）变化超过 " +
               Tenths(kSettledSpreadTenths[kTemperature]) + u8" ℃ 或湿度变化超过 " + Tenths(kSettledSpreadTenths[kHumidity]) +
               u8" %RH 的传感器标为“尚未稳定”，成功率低于 " + std::to_string(kGoodSuccessPercent) + u8"% 的标为“通信不可靠”。</p>\n";
    }

    void Sensor(const SensorRecord& sensor)
    {
        const bool flagged = sensor.Unsettled(kTemperature) || sensor.Unsettled(kHumidity) || sensor.PoorSuccess();
        out += "<section class=\"sensor" + std::string(flagged ? " flagged" : "") + "\" id=\"sensor-" +
               std::to_string(sensor.address) + u8"\">\n<h2>地址 " + std::to_string(sensor.address) + "</h2>\n";
        for (int series = 0; series < kSeriesCount; ++series)
            if (sensor.Unsettled(static_cast<Series>(series)))
                out += u8"<p class=\"flag unsettled\">尚未稳定：最后十分钟内" + std::string(kSeriesName[series]) + u8"（不计偏移）变化 " +
                       Tenths(sensor.recent[series].maxTenths - sensor.recent[series].minTenths) + " " + kSeriesUnit[series] +
                       u8"（超过 " + Tenths(kSettledSpreadTenths[series]) + " " + kSeriesUnit[series] + u8"）。</p>\n";
        if (sensor.PoorSuccess())
            out += u8"<p class=\"flag poor\">通信不可靠：成功率 " + Share(sensor.Ok(), sensor.rows) + u8"，低于 " +
                   std::to_string(kGoodSuccessPercent) + u8"%。</p>\n";
        if (sensor.Ok() > 0) {
            Identities(sensor);
            Readings(sensor);
            Offsets(sensor);
        } else {
            out += u8"<p class=\"no-reading\">没有一次读取成功。</p>\n";
        }
        Outcomes(sensor);
        Plot(sensor);
        out += "</section>\n";
    }

    void Identities(const SensorRecord& sensor)
    {
        const Identity& last = sensor.lastIdentity;
        out += u8"<table class=\"identity\"><tr><th>类型</th><td class=\"type\">" + EscapeHtml(last.type) +
               u8"</td><th>硬件版本</th><td class=\"hw\">" + EscapeHtml(last.hardware) + u8"</td><th>软件版本</th><td class=\"sw\">" +
               EscapeHtml(last.software) + "</td></tr></table>\n";
        const auto& changes = sensor.identities.Changes();
        if (changes.size() < 2 && sensor.identities.Dropped() == 0) return;
        out += u8"<p class=\"identity-changes\">运行中类型或版本有变化：";
        for (const auto& [time, identity] : changes)
            out += "<br>" + DateTime(time, utcOffset) + u8" 起 类型：" + EscapeHtml(identity.type) + u8"--硬件版本：" +
                   EscapeHtml(identity.hardware) + u8"--软件版本：" + EscapeHtml(identity.software);
        Dropped(sensor.identities.Dropped());
        out += "</p>\n";
    }

    void Readings(const SensorRecord& sensor)
    {
        out += u8"<table class=\"readings\">\n<tr><th></th><th>最后读数</th><th>最小</th><th>最大</th><th>平均</th></tr>\n";
        for (int series = 0; series < kSeriesCount; ++series) {
            const SeriesFigures& figures = sensor.figures[series];
            out += "<tr class=\"" + std::string(series == kTemperature ? "temp" : "hum") + "\"><th>" + kSeriesName[series] + u8"（" +
                   kSeriesUnit[series] + u8"）</th><td class=\"n last\">" + Tenths(sensor.lastTenths[series]) +
                   "</td><td class=\"n min\">" + Tenths(figures.minTenths) + "</td><td class=\"n max\">" + Tenths(figures.maxTenths) +
                   "</td><td class=\"n mean\">" + Mean(figures.sumTenths, figures.count) + "</td></tr>\n";
        }
        out += u8"</table>\n<p>最后读数于 <span class=\"last-time\">" + DateTime(sensor.lastOkTime, utcOffset) + u8"</span>。</p>\n";
    }

    void Offsets(const SensorRecord& sensor)
    {
        out += u8"<table class=\"offsets\">\n<tr><th>偏移</th><th>温度偏移（℃）</th><th>湿度偏移（%RH）</th></tr>\n";
        const auto& changes = sensor.offsets.Changes();
        for (const auto& [time, offsets] : changes)
            out += "<tr><td>" + std::string(&offsets == &changes.front().second ? u8"首次读到 " : u8"改为 ") + DateTime(time, utcOffset) +
                   "</td><td class=\"n toff\">" + Tenths(offsets.temperature) + "</td><td class=\"n hoff\">" +
                   Tenths(offsets.humidity) + "</td></tr>\n";
        out += "</table>\n";
        if (sensor.offsets.Dropped() > 0) {
            out += "<p>";
            Dropped(sensor.offsets.Dropped());
            out += "</p>\n";
        }
    }

    void Dropped(long long count)
    {
        if (count > 0) out += u8"<br>（另有 " + std::to_string(count) + u8" 处变化未列出）";
    }

    void Outcomes(const SensorRecord& sensor)
    {
        out += u8"<table class=\"outcomes\">\n<tr><th>读取次数</th><td class=\"n rows\">" + std::to_string(sensor.rows) +
               u8"</td></tr>\n<tr><th>成功率</th><td class=\"n success\">" + Share(sensor.Ok(), sensor.rows) + "</td></tr>\n";
        for (std::size_t status = 0; status < kStatusCount; ++status)
            if (status != kStatusOk && sensor.statusCounts[status] > 0)
                out += "<tr class=\"status\" data-status=\"" + std::string(kStatusWords[status]) + "\"><th>" +
                       StatusLabel(static_cast<ExchangeStatusIndex>(status)) + u8"（" + kStatusWords[status] + u8"）</th><td class=\"n\">" +
                       std::to_string(sensor.statusCounts[status]) + "</td></tr>\n";
        out += "</table>\n";
    }

    double X(Millis time) const
    {
        const Millis span = std::max<Millis>(report.lastTime - report.firstTime, 1);
        return kPlotLeft + static_cast<double>(time - report.firstTime) * (kPlotRight - kPlotLeft) / static_cast<double>(span);
    }

    void Plot(const SensorRecord& sensor)
    {
        out += "<svg class=\"trend\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kPlotWidth) + "\" height=\"" +
               std::to_string(kPlotHeight) + "\" viewBox=\"0 0 " + std::to_string(kPlotWidth) + " " + std::to_string(kPlotHeight) +
               u8"\" role=\"img\" aria-label=\"地址 " + std::to_string(sensor.address) + u8" 的温度和湿度曲线\">\n";
        for (int series = 0; series < kSeriesCount; ++series) Panel(sensor, static_cast<Series>(series));
        TimeAxis();
        for (std::size_t b = 0; b < sensor.buckets.size(); ++b)
            if (sensor.buckets[b].failures > 0) {
                const std::string x = Coordinate(X(sensor.buckets[b].firstFailure));
                out += "<line class=\"failure\" x1=\"" + x + "\" y1=\"" + std::to_string(kAxisY + 1) + "\" x2=\"" + x + "\" y2=\"" +
                       std::to_string(kAxisY + 9) + "\" stroke=\"#c62828\" stroke-width=\"1.5\"/>\n";
            }
        const auto& changes = sensor.offsets.Changes();
        for (std::size_t n = 1; n < changes.size(); ++n) {
            const std::string x = Coordinate(X(changes[n].first));
            out += "<line class=\"offset-change\" x1=\"" + x + "\" y1=\"" + std::to_string(kPanelTop[0]) + "\" x2=\"" + x + "\" y2=\"" +
                   std::to_string(kAxisY) + "\" stroke=\"#6a1b9a\" stroke-dasharray=\"4 3\"/>\n<text x=\"" + x + "\" y=\"" +
                   std::to_string(kPanelTop[0] - 4) + u8"\" text-anchor=\"middle\" style=\"fill:#6a1b9a\">偏移</text>\n";
        }
        out += u8"<text x=\"" + std::to_string(kPlotRight + 6) + "\" y=\"" + std::to_string(kAxisY + 9) +
               u8"\" style=\"fill:#c62828\">| 失败</text>\n</svg>\n";
    }

    void Panel(const SensorRecord& sensor, Series series)
    {
        const int top = kPanelTop[series];
        const int bottom = top + kPanelHeight;
        out += "<rect x=\"" + std::to_string(kPlotLeft) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
               std::to_string(kPlotRight - kPlotLeft) + "\" height=\"" + std::to_string(kPanelHeight) +
               "\" fill=\"none\" stroke=\"#999\"/>\n<text x=\"" + std::to_string(kPlotRight + 6) + "\" y=\"" +
               std::to_string(top + 12) + "\">" + kSeriesName[series] + "</text>\n<text x=\"" + std::to_string(kPlotRight + 6) +
               "\" y=\"" + std::to_string(top + 26) + "\">" + kSeriesUnit[series] + "</text>\n";
        const SeriesFigures& figures = sensor.figures[series];
        if (figures.count == 0) return;
        // A scale of round steps around the readings, at least 1.0 wide, steady readings in its middle.
        const int widening = std::max(0, 10 - (figures.maxTenths - figures.minTenths));
        int low = figures.minTenths - widening / 2;
        int high = figures.maxTenths + (widening + 1) / 2;
        int step = 20000;  // enough for the widest a register holds, -3276.7 to 3276.7
        for (int candidate : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000})
            if ((high - low) / candidate <= 4) {
                step = candidate;
                break;
            }
        low = (low >= 0 ? low / step : -((-low + step - 1) / step)) * step;
        high = low + ((high - low + step - 1) / step) * step;
        auto y = [&](int tenths) { return Coordinate(bottom - static_cast<double>(tenths - low) * kPanelHeight / (high - low)); };
        for (int tick = low; tick <= high; tick += step)
            out += "<line x1=\"" + std::to_string(kPlotLeft - 4) + "\" y1=\"" + y(tick) + "\" x2=\"" + std::to_string(kPlotRight) +
                   "\" y2=\"" + y(tick) + "\" stroke=\"#e0e0e0\"/>\n<text x=\"" + std::to_string(kPlotLeft - 6) + "\" y=\"" + y(tick) +
                   "\" dy=\"4\" text-anchor=\"end\">" + Tenths(tick) + "</text>\n";
        for (const std::vector<PlotPoint>& line : PlotLines(report, sensor, series)) {
            if (line.size() == 1) {
                out += "<circle cx=\"" + Coordinate(X(line[0].time)) + "\" cy=\"" + y(line[0].tenths) + "\" r=\"1.5\" fill=\"" +
                       kSeriesColour[series] + "\"/>\n";
                continue;
            }
            out += "<polyline class=\"series\" fill=\"none\" stroke=\"" + std::string(kSeriesColour[series]) +
                   "\" stroke-width=\"1.2\" points=\"";
            for (const PlotPoint& point : line) out += Coordinate(X(point.time)) + "," + y(point.tenths) + " ";
            out.back() = '"';
            out += "/>\n";
        }
    }

    // Round local times along the axis: seconds for a short run, dates for one over a day.
    void TimeAxis()
    {
        static constexpr Millis kSteps[] = {1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000, 900000,
                                            1800000, 3600000, 7200000, 10800000, 21600000, 43200000, 86400000};
        const Millis span = report.lastTime - report.firstTime;
        Millis step = kSteps[std::size(kSteps) - 1];
        for (Millis candidate : kSteps)
            if (span / candidate <= 6) {
                step = candidate;
                break;
            }
        while (span / step > 6) step *= 2;
        const Millis shift = static_cast<Millis>(utcOffset(report.firstTime)) * 60000;
        Millis tick = ((report.firstTime + shift + step - 1) / step) * step - shift;
        for (; tick <= report.lastTime; tick += step) {
            const std::string x = Coordinate(X(tick));
            out += "<line x1=\"" + x + "\" y1=\"" + std::to_string(kPanelTop[0]) + "\" x2=\"" + x + "\" y2=\"" +
                   std::to_string(kAxisY + 4) + "\" stroke=\"#eeeeee\"/>\n<text x=\"" + x + "\" y=\"" + std::to_string(kAxisY + 22) +
                   "\" text-anchor=\"middle\">" + AxisLabel(Local(tick, utcOffset), step, span) + "</text>\n";
        }
        out += "<text x=\"" + std::to_string(kPlotLeft) + "\" y=\"" + std::to_string(kAxisY + 38) + "\">" +
               Formatted("%04d-%02u-%02u", Local(report.firstTime, utcOffset)) + " " +
               OffsetName(utcOffset(report.firstTime)) + "</text>\n";
    }

    const Report& report;
    const UtcOffsetAt& utcOffset;
    std::string out;
};

}  // namespace

int SystemUtcOffset(Millis time)
{
    const std::time_t seconds = static_cast<std::time_t>(time / 1000);
    const std::tm* local = std::localtime(&seconds);
    if (!local) return 0;
    const Millis localSeconds = DaysFromCivil(local->tm_year + 1900, static_cast<unsigned>(local->tm_mon + 1),
                                              static_cast<unsigned>(local->tm_mday)) * 86400 +
                                local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
    return static_cast<int>((localSeconds - seconds) / 60);
}

std::string ReportPage(const Report& report, const std::string& title, const UtcOffsetAt& utcOffset)
{
    return Page(report, utcOffset).Make(title);
}

std::string EscapeHtml(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
        case '&': out += "&amp;"; ++i; continue;
        case '<': out += "&lt;"; ++i; continue;
        case '>': out += "&gt;"; ++i; continue;
        case '"': out += "&quot;"; ++i; continue;
        case '\'': out += "&#39;"; ++i; continue;
        }
        // A whole UTF-8 sequence is kept; anything else becomes the replacement character.
        const std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                                 : byte >= 0xF0 && byte <= 0xF4 ? 4 : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (whole && length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            whole = !(byte == 0xE0 && second < 0xA0) && !(byte == 0xED && second >= 0xA0) && !(byte == 0xF0 && second < 0x90) &&
                    !(byte == 0xF4 && second >= 0x90);
        }
        if (!whole) {
            out += u8"\uFFFD";
            ++i;
            continue;
        }
        if (length == 1 && byte < 0x20 && byte != '\t' && byte != '\n') {
            out += u8"\uFFFD";
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}
