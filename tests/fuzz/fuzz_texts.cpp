// Texts of any bytes into every input of every command, and into the offset filter: a refusal sends and
// changes nothing, an acceptance sends exactly the model's frame, the filter ends where its passes would.
#include <cmath>
#include <optional>
#include <regex>

#include "Model.h"
#include "console/Commands.h"

namespace {

struct Row {
    int id;
    const char *empty, *invalid, *range, *echo;
    bool clear;
    int scale, lowest, highest;
};
const char* const kAddressRange = "输入范围为：0到63";
const Row kRows[] = {  // address, temperature and humidity offset, range start and end
    {IDC_SENSOR_ADDRESS_EDIT, "输入地址不能为空！", "地址输入不合法！", kAddressRange, "您输入的地址为：", true, 1, 0, 63},
    {IDC_TEMP_OFFSET_INPUT, "输入温度偏移不能为空！", "温度偏移输入不合法！", "输入范围为：-10.0到10.0", "您输入的偏移温度为：", true, 10, -100, 100},
    {IDC_HUM_OFFSET_INPUT, "输入湿度偏移不能为空！", "湿度偏移输入不合法！", "输入范围为：-25.0到25.0", "您输入的偏移湿度为：", true, 10, -250, 250},
    {IDC_RANGE_FROM_EDIT, "输入起始地址不能为空！", "起始地址输入不合法！", kAddressRange, "您输入的起始地址为：", true, 1, 0, 63},
    {IDC_RANGE_TO_EDIT, "输入结束地址不能为空！", "结束地址输入不合法！", kAddressRange, "您输入的结束地址为：", false, 1, 0, 63}};

std::string Passes(std::string s)  // one byte a pass: a second '.', else a '-' not first, else a foreign byte
{
    for (std::size_t i = 0;; s.erase(i, 1)) {
        const std::size_t point = s.find('.'), second = point == std::string::npos ? point : s.find('.', point + 1);
        const std::size_t minus = s.find('-', 1), foreign = s.find_first_not_of(std::string(".-0123456789"));
        if ((i = second) == std::string::npos && (i = minus) == std::string::npos && (i = foreign) == std::string::npos) return s;
    }
}

std::optional<int> Pass(const Row& row, const std::string& text, Log& log)
{
    static const std::regex grammar(R"(^[ \t\n\v\f\r]*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))");
    std::smatch match;
    const double value = std::regex_search(text, match, grammar) ? std::strtod(match[1].str().c_str(), nullptr) : 0;
    const double scaled = std::trunc(value * row.scale);
    if (text.empty()) return log.push_back({row.empty, row.clear}), std::nullopt;
    const bool number = row.scale == 1 ? text.find_first_not_of("0123456789") == std::string::npos
                                       : Passes(text) == text && text.find_first_of("0123456789") != std::string::npos;
    if (!number || !(scaled >= row.lowest && scaled <= row.highest))
        return log.push_back({row.invalid, row.clear}), log.push_back({row.range, false}), std::nullopt;
    return log.push_back({row.echo + text, row.clear}), static_cast<int>(scaled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    Rig rig;
    const int command = in.Byte() % 5;  // read, temperature offset, humidity offset, continuous, filter
    const auto text = [&](std::size_t n) { const Bytes b = in.Take(n); return std::string(b.begin(), b.end()); };
    if (command == 4) {
        const int id = in.Byte() & 1 ? IDC_TEMP_OFFSET_INPUT : IDC_HUM_OFFSET_INPUT;
        int writes = 0;
        const std::string typed = text(size);
        rig.onTextChanged = [&](int changed) { ++writes, FilterOffsetText(rig.console, changed); };
        rig.SetControlText(id, typed);
        ORACLE(rig.texts[id] == Passes(typed) && writes <= 2);
        return 0;
    }
    for (const Row& row : kRows) rig.texts[row.id] = text(in.Byte());
    const auto texts = rig.texts;
    const auto enabled = rig.enabled;
    const auto pass = [&](int row, Log& log) { return Pass(kRows[row], texts.at(kRows[row].id), log); };
    Log log;
    Bytes frame;
    std::optional<int> value, address;
    if (command == 3 && (value = pass(3, log)) && (address = pass(4, log))) {
        if (*address < *value) log.push_back({"结束地址不能小于起始地址！", false});
        else frame = {static_cast<std::uint8_t>(*value), 3, 0, 0, 0, 8};
    } else if (command == 0 && (address = pass(0, log))) {
        frame = {static_cast<std::uint8_t>(*address), 3, 0, 0, 0, 8};
    } else if (command % 3 && (value = pass(command, log)) && (address = pass(0, log))) {
        const unsigned word = *value < 0 ? 0x8000 | -*value : *value;
        frame = {static_cast<std::uint8_t>(*address), 6, 0, static_cast<std::uint8_t>(command + 1),
                 static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
    }
    (command == 0 ? OnReadClicked : command == 1 ? OnSetTempOffsetClicked : command == 2 ? OnSetHumOffsetClicked : OnContinuousClicked)(rig.console);
    if (frame.empty()) {
        ORACLE(rig.log == log && rig.written.empty() && rig.timers.empty());
        ORACLE(rig.texts == texts && rig.enabled == enabled && !continuousRunning);
    } else {
        log.push_back({(frame[1] == 3 ? "正在读取地址为：" : "正在设置地址为：") + std::to_string(frame[0]) + " 的设备.", false});
        ORACLE(rig.log == log && rig.written == std::vector<Bytes>{Sealed(frame)});
    }
    return 0;
}
