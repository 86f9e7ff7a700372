// tarvik-cli report: the figures of small runs worked out by hand, every refusal of bad input with its
// file and line, escaping, and the plotted series (extremes kept, lines broken at failures and pauses).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "cli/Cli.h"
#include "cli/CliHost.h"
#include "cli/FileStreams.h"
#include "cli/Report.h"

namespace {

namespace fs = std::filesystem;

class CapturingHost : public CliHost {
public:
    bool OpenPort(const std::string&, std::string&) override { return false; }
    SerialLine& Line() override { throw std::logic_error("the report opens no port"); }
    void ListPorts() override {}
    std::string Utf8FromProgramText(const std::string& text) override { return text; }
    void Out(const std::string& text) override { page += text; }
    void Err(const std::string& text) override { err += text; }
    bool OutputFailed() const override { return false; }
    std::unique_ptr<std::istream> OpenFile(const std::string& name) override { return ReadableFile(name); }
    bool WriteWholeFile(const std::string& name, const std::string& bytes) override { return WrittenWhole(name, bytes); }
    void Pause(unsigned) override {}
    bool Interrupted() const override { return false; }

    std::string err, page;
};

const std::string kHeader =
    "time,address,status,temperature,humidity,temp_offset,hum_offset,sensor_address,type,hw_version,sw_version\n";
const std::string kNewerHeader =
    "time,address,status,temperature,humidity,temp_offset,hum_offset,sensor_address,type,hw_version,sw_version,exception_code\n";

// 2026-12-07 01:00:00 UTC plus some seconds, as tarvik-cli writes a time.
std::string Iso(long long millis)
{
    const std::time_t seconds = 1796605200 + static_cast<std::time_t>(millis / 1000);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    std::snprintf(text + length, sizeof text - length, ".%03lldZ", millis % 1000);
    return text;
}

struct File {
    std::string name;
    std::string content;
};

struct CommandCase {
    const char* what;
    std::vector<File> files;
    std::vector<std::string> words;  // after "report"
    int status;
    std::string err;
    std::vector<std::string> inPage;
    std::vector<std::string> notInPage = {};
};

const std::string kRun1 = kHeader +
                          "2026-12-07T01:00:00.000Z,3,ok,20.0,40.0,0.0,0.0,3,1,12,105\n"
                          "2026-12-07T01:00:01.000Z,3,ok,21.5,41.0,0.0,0.0,3,1,12,105\n"
                          "2026-12-07T01:00:02.000Z,3,no-answer,,,,,,,,\n"
                          "2026-12-07T01:00:03.000Z,3,ok,19.6,39.9,-0.5,0.0,3,1,12,105\n"
                          "2026-12-07T01:00:04.000Z,7,bad-crc,,,,,,,,\n";
// A newer tarvik-cli's columns, a second run appended with its header, overlapping the first file.
const std::string kRun2 = kNewerHeader + "2026-12-07T01:00:01.500Z,7,exception,,,,,,,,,4\n" + kNewerHeader +
                          "2026-12-07T01:00:05.000Z,7,ok,-0.5,55.0,0.0,-2.0,7,1A,12,106,\n"
                          "2026-12-07T01:00:06.000Z,7,line-busy,,,,,,,,,\r\n";
const std::string kGoodRow = "2026-12-07T01:00:00.000Z,1,ok,20.0,40.0,0.0,0.0,1,1,12,105\n";

std::string Refusal(const std::string& where) { return "tarvik-cli: " + where + "\n"; }

const CommandCase kCommandCases[] = {
    {"two overlapping files, figures by hand",
     {{"run1.csv", kRun1}, {"run2.csv", kRun2}},
     {"run1.csv", "run2.csv", "-o", "out.html"},
     kExitOk,
     "",
     {u8"<td id=\"span\">2026-12-07 09:00:00 UTC+08:00 至 2026-12-07 09:00:06 UTC+08:00</td>",
      u8"<td id=\"files\">run1.csv（5 行）<br>run2.csv（3 行）</td>", u8"<td id=\"sensors\">2 个</td>",
      "<td id=\"rows\">8</td>", "<td id=\"failures\">4</td>",
      "<section class=\"sensor flagged\" id=\"sensor-3\">",
      u8"<tr class=\"temp\"><th>温度（℃）</th><td class=\"n last\">19.6</td><td class=\"n min\">19.6</td>"
      "<td class=\"n max\">21.5</td><td class=\"n mean\">20.37</td></tr>",
      u8"<tr class=\"hum\"><th>湿度（%RH）</th><td class=\"n last\">39.9</td><td class=\"n min\">39.9</td>"
      "<td class=\"n max\">41.0</td><td class=\"n mean\">40.30</td></tr>",
      // 20.0, 21.5 and 19.6 less its offset -0.5
      u8"<p class=\"flag unsettled\">尚未稳定：最后十分钟内温度（不计偏移）变化 1.5 ℃（超过 1.0 ℃）。</p>\n<p class=\"flag poor\">",
      u8"<tr><td>首次读到 2026-12-07 09:00:00</td><td class=\"n toff\">0.0</td><td class=\"n hoff\">0.0</td></tr>\n"
      u8"<tr><td>改为 2026-12-07 09:00:03</td><td class=\"n toff\">-0.5</td><td class=\"n hoff\">0.0</td></tr>\n</table>",
      u8"<tr><th>读取次数</th><td class=\"n rows\">4</td></tr>\n<tr><th>成功率</th><td class=\"n success\">75.0%</td></tr>\n"
      u8"<tr class=\"status\" data-status=\"no-answer\"><th>无应答（no-answer）</th><td class=\"n\">1</td></tr>\n</table>",
      u8"最后读数于 <span class=\"last-time\">2026-12-07 09:00:03</span>",
      "<section class=\"sensor flagged\" id=\"sensor-7\">",
      u8"<p class=\"flag poor\">通信不可靠：成功率 25.0%，低于 95%。</p>",
      u8"<td class=\"type\">1A</td><th>硬件版本</th><td class=\"hw\">12</td><th>软件版本</th><td class=\"sw\">106</td>",
      u8"<td class=\"n last\">-0.5</td><td class=\"n min\">-0.5</td><td class=\"n max\">-0.5</td><td class=\"n mean\">-0.50</td>",
      u8"<tr><td>首次读到 2026-12-07 09:00:05</td><td class=\"n toff\">0.0</td><td class=\"n hoff\">-2.0</td></tr>\n</table>",
      u8"<tr class=\"status\" data-status=\"bad-crc\"><th>CRC校验不正确（bad-crc）</th><td class=\"n\">1</td></tr>\n"
      u8"<tr class=\"status\" data-status=\"exception\"><th>异常应答（exception）</th><td class=\"n\">1</td></tr>\n"
      u8"<tr class=\"status\" data-status=\"line-busy\"><th>总线忙（line-busy）</th><td class=\"n\">1</td></tr>\n</table>"},
     {"identity-changes", u8"最后十分钟内湿度"}},
    {"a version changed during the run, a settled sensor, page on standard output",
     {{"run.csv", kHeader + "2026-12-07T01:00:00.000Z,2,ok,20.0,40.0,0.0,0.0,2,1,12,105\n"
                            "2026-12-07T01:00:01.000Z,2,ok,21.0,43.0,0.0,0.0,2,1,12,106\n"
                            // Settled for its last ten minutes, after a jump before them.
                            "2026-12-07T00:49:00.000Z,9,ok,10.0,40.0,0.0,0.0,9,1,12,105\n"
                            "2026-12-07T01:00:00.000Z,9,ok,20.0,40.0,0.0,0.0,9,1,12,105\n"
                            "2026-12-07T01:00:01.000Z,9,ok,20.2,40.0,0.0,0.0,9,1,12,105\n"}},
     {"run.csv"},
     kExitOk,
     "",
     {"<section class=\"sensor\" id=\"sensor-2\">\n<h2>", "<section class=\"sensor\" id=\"sensor-9\">",
      u8"<p class=\"identity-changes\">运行中类型或版本有变化：<br>2026-12-07 09:00:00 起 类型：1--硬件版本：12--软件版本：105"
      u8"<br>2026-12-07 09:00:01 起 类型：1--硬件版本：12--软件版本：106</p>",
      "<td class=\"n mean\">20.50</td>", "<td class=\"n mean\">41.50</td>", "<td class=\"n success\">100.0%</td>"}},
    {"the same offsets seen in two overlapping files are one change",
     {{"a.csv", kHeader + "2026-12-07T01:00:00.000Z,4,ok,20.0,40.0,0.0,0.0,4,1,12,105\n"
                          "2026-12-07T01:00:02.000Z,4,ok,20.0,40.0,1.0,0.0,4,1,12,105\n"},
      {"b.csv", kHeader + "2026-12-07T01:00:01.000Z,4,ok,20.0,40.0,0.0,0.0,4,1,12,105\n"
                          "2026-12-07T01:00:03.000Z,4,ok,20.0,40.0,1.0,0.0,4,1,12,105\n"}},
     {"a.csv", "b.csv", "-o", "out.html"},
     kExitOk,
     "",
     {u8"<tr><td>首次读到 2026-12-07 09:00:00</td><td class=\"n toff\">0.0</td><td class=\"n hoff\">0.0</td></tr>\n"
      u8"<tr><td>改为 2026-12-07 09:00:02</td><td class=\"n toff\">1.0</td><td class=\"n hoff\">0.0</td></tr>\n</table>"}},
    {"markup in the title and a file name is escaped",
     {{"<i>.csv", kHeader + kGoodRow}},
     {"--title=<script>alert('x')</script> & \"q\"", "-o", "out.html", "--", "<i>.csv"},
     kExitOk,
     "",
     {"<title>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;</title>",
      "<h1>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;</h1>", u8"&lt;i&gt;.csv（1 行）"}},
    {"missing column", {{"bad.csv", "time,address,status\n"}}, {"bad.csv", "-o", "out.html"}, kExitUsage,
     Refusal("bad.csv:1: not a readings header: no column temperature"), {}},
    {"unknown column", {{"bad.csv", kHeader.substr(0, kHeader.size() - 1) + ",colour\n"}}, {"bad.csv", "-o", "out.html"}, kExitUsage,
     Refusal("bad.csv:1: not a readings header: unknown column colour"), {}},
    {"a column twice", {{"bad.csv", "address," + kHeader}}, {"bad.csv", "-o", "out.html"}, kExitUsage,
     Refusal("bad.csv:1: not a readings header: column address twice"), {}},
    {"wrong column count", {{"bad.csv", kHeader + "2026-12-07T01:00:00.000Z,3,no-answer,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: 10 fields where the header has 11"), {}},
    {"too many fields", {{"bad.csv", kHeader + "2026-12-07T01:00:00.000Z,3,no-answer,,,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: 12 fields where the header has 11"), {}},
    {"a non-number", {{"bad.csv", kHeader + kGoodRow + "2026-12-07T01:00:01.000Z,1,ok,20.0,4x.0,0.0,0.0,1,1,12,105\n"}},
     {"bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:3: humidity: not a number in tenths: 4x.0"), {}},
    {"two decimals", {{"bad.csv", kHeader + "2026-12-07T01:00:01.000Z,1,ok,20.05,40.0,0.0,0.0,1,1,12,105\n"}},
     {"bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:2: temperature: not a number in tenths: 20.05"), {}},
    {"unknown address", {{"bad.csv", kHeader + "2026-12-07T01:00:01.000Z,64,no-answer,,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: address: not an address from 0 to 63: 64"), {}},
    {"unknown status", {{"bad.csv", kHeader + "2026-12-07T01:00:01.000Z,1,asleep,,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: status: unknown status asleep"), {}},
    {"no such day", {{"bad.csv", kHeader + "2026-02-29T01:00:01.000Z,1,no-answer,,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: time: not an ISO 8601 UTC time: 2026-02-29T01:00:01.000Z"), {}},
    {"local time", {{"bad.csv", kHeader + "2026-12-07 09:00:01,1,no-answer,,,,,,,,\n"}}, {"bad.csv", "-o", "out.html"},
     kExitUsage, Refusal("bad.csv:2: time: not an ISO 8601 UTC time: 2026-12-07 09:00:01"), {}},
    {"markup in a version", {{"bad.csv", kHeader + "2026-12-07T01:00:01.000Z,1,ok,20.0,40.0,0.0,0.0,1,<b>,12,105\n"}},
     {"bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:2: type: not a hexadecimal number: <b>"), {}},
    {"a failure with a bad reading", {{"bad.csv", kHeader + "2026-12-07T01:00:01.000Z,1,bad-crc,x,,,,,,,\n"}},
     {"bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:2: temperature: not a number in tenths: x"), {}},
    {"exception code", {{"bad.csv", kNewerHeader + "2026-12-07T01:00:01.000Z,1,exception,,,,,,,,,300\n"}},
     {"bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:2: exception_code: not a code from 0 to 255: 300"), {}},
    {"empty file", {{"empty.csv", ""}}, {"empty.csv", "-o", "out.html"}, kExitUsage, Refusal("empty.csv: empty file, no header"), {}},
    {"unreadable file", {}, {"missing.csv", "-o", "out.html"}, kExitUsage, Refusal("missing.csv: cannot be read"), {}},
    {"the second file is bad", {{"good.csv", kHeader + kGoodRow}, {"bad.csv", kHeader + kGoodRow + kGoodRow + ",,\n"}},
     {"good.csv", "bad.csv", "-o", "out.html"}, kExitUsage, Refusal("bad.csv:4: 3 fields where the header has 11"), {}},
    {"no file", {}, {"-o", "out.html"}, kExitUsage, Refusal("no readings file"), {}},
    {"an output that cannot be written", {{"good.csv", kHeader + kGoodRow}}, {"good.csv", "-o", "no-such-folder/out.html"},
     kExitUsage, Refusal("no-such-folder/out.html: cannot be written"), {}},
};

class ReportCommandTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char* zone = std::getenv("TZ");
        savedZone = zone ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "CST-8", 1);
        tzset();
        home = fs::current_path();
        folder = fs::path(testing::TempDir()) / "report_test";
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::current_path(folder);
    }
    void TearDown() override
    {
        fs::current_path(home);
        fs::remove_all(folder);
        if (savedZone) setenv("TZ", savedZone->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

    fs::path home, folder;
    std::optional<std::string> savedZone;
};

TEST_F(ReportCommandTest, FiguresRefusalsAndEscaping)
{
    for (const CommandCase& row : kCommandCases) {
        SCOPED_TRACE(row.what);
        fs::remove("out.html");
        for (const File& file : row.files) std::ofstream(file.name, std::ios::binary) << file.content;
        CapturingHost host;
        std::vector<std::string> arguments = {"report"};
        arguments.insert(arguments.end(), row.words.begin(), row.words.end());
        EXPECT_EQ(RunCli(arguments, host), row.status);
        EXPECT_EQ(host.err, row.err);
        std::string page = host.page;
        if (row.status != kExitOk) {
            EXPECT_EQ(page, "");
            EXPECT_FALSE(fs::exists("out.html"));  // no half page
        } else if (fs::exists("out.html")) {
            std::stringstream written;
            written << std::ifstream("out.html", std::ios::binary).rdbuf();
            page = written.str();
        }
        for (const std::string& fragment : row.inPage) EXPECT_NE(page.find(fragment), std::string::npos) << fragment;
        for (const std::string& absent : row.notInPage) EXPECT_EQ(page.find(absent), std::string::npos) << absent;
        for (const char* markup : {"<script", "<i>"}) EXPECT_EQ(page.find(markup), std::string::npos);
        for (const File& file : row.files) fs::remove(file.name);
    }
}

// Rows of one sensor's readings, a second apart from some second on, drawn from a rule.
std::string Rows(int address, int first, int count, long long startMs,
                 const std::function<std::string(int)>& status, const std::function<int(int)>& tenths)
{
    std::string rows;
    for (int i = first; i < first + count; ++i) {
        const std::string time = Iso(startMs + 1000LL * i);
        if (status(i) != "ok") {
            rows += time + "," + std::to_string(address) + "," + status(i) + ",,,,,,,,\n";
            continue;
        }
        const int value = tenths(i);
        const std::string text = (value < 0 ? "-" : "") + std::to_string(std::abs(value) / 10) + "." + std::to_string(std::abs(value) % 10);
        rows += time + "," + std::to_string(address) + ",ok," + text + ",50.0,0.0,0.0," + std::to_string(address) + ",1,12,105\n";
    }
    return rows;
}

std::string AlwaysOk(int) { return "ok"; }
int Sawtooth(int i) { return 200 + i % 10; }

struct PlotCase {
    const char* what;
    std::string csv;
    std::vector<std::size_t> lineSizes;  // empty: one line of at most 2 * kPlotBuckets points
    std::vector<PlotPoint> kept;         // points that must be drawn, as (ms after the first reading, tenths)
};

const PlotCase kPlotCases[] = {
    {"few readings are drawn as they are", Rows(1, 0, 100, 0, AlwaysOk, Sawtooth), {100}, {{0, 200}, {9000, 209}, {99000, 209}}},
    {"a long run keeps its extremes",
     Rows(1, 0, 10000, 0, AlwaysOk, [](int i) { return i == 4321 ? 900 : i == 8765 ? -300 : Sawtooth(i); }),
     {},
     {{0, 200}, {4321000, 900}, {8765000, -300}, {9999000, 209}}},
    {"a failed read breaks the line (one read missed is no pause)",
     Rows(1, 0, 200, 0, [](int i) { return i == 100 ? "no-answer" : "ok"; }, Sawtooth),
     {100, 99},
     {{99000, 209}, {101000, 201}}},
    {"a pause between runs breaks the line", Rows(1, 0, 50, 0, AlwaysOk, Sawtooth) + Rows(1, 0, 50, 600000, AlwaysOk, Sawtooth),
     {50, 50},
     {{49000, 209}, {600000, 200}}},
    {"another sensor's failures do not break it",
     Rows(1, 0, 100, 0, AlwaysOk, Sawtooth) + Rows(2, 0, 100, 500, [](int) { return "bad-crc"; }, Sawtooth),
     {100},
     {}},
};

TEST(ReportPlot, ReductionKeepsExtremesAndLinesBreakAtFailuresAndPauses)
{
    for (const PlotCase& row : kPlotCases) {
        SCOPED_TRACE(row.what);
        const Report report = GatherReport({"run.csv"}, [&](const std::string&) {
            return std::make_unique<std::istringstream>(kHeader + row.csv);
        });
        const auto lines = PlotLines(report, report.sensors.at(1), kTemperature);
        std::vector<std::size_t> sizes;
        for (const auto& line : lines) sizes.push_back(line.size());
        if (row.lineSizes.empty()) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_LE(lines[0].size(), 2u * kPlotBuckets);
            EXPECT_GE(lines[0].size(), kPlotBuckets);
        } else {
            EXPECT_EQ(sizes, row.lineSizes);
        }
        for (const PlotPoint& point : row.kept) {
            bool found = false;
            for (const auto& line : lines)
                for (const PlotPoint& drawn : line)
                    found = found || (drawn.time - report.firstTime == point.time && drawn.tenths == point.tenths);
            EXPECT_TRUE(found) << point.time << " " << point.tenths;
        }
    }
}

}  // namespace
