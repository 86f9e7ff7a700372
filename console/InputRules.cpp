#include "console/InputRules.h"

#include <algorithm>
#include <cstdlib>

#include "link/Frames.h"
#include "link/LinkState.h"
#include "res/resource.h"
#include "view/ConsoleView.h"

std::string inputText;
double inputValue = 0;

namespace {

const char* const kAddressRangeLine = "输入范围为：0到63";

}  // namespace

const InputRule kSensorAddressRule = {IDC_SENSOR_ADDRESS_EDIT, "输入地址不能为空！", "地址输入不合法！",
                                      kAddressRangeLine, "您输入的地址为：", kClearPaneFirst, NumberText::Digits, 1, 0, 63};
const InputRule kTempOffsetRule = {IDC_TEMP_OFFSET_INPUT, "输入温度偏移不能为空！", "温度偏移输入不合法！",
                                   "输入范围为：-10.0到10.0", "您输入的偏移温度为：", kClearPaneFirst,
                                   NumberText::WithADigit, 10, -100, 100};
const InputRule kHumOffsetRule = {IDC_HUM_OFFSET_INPUT, "输入湿度偏移不能为空！", "湿度偏移输入不合法！",
                                  "输入范围为：-25.0到25.0", "您输入的偏移湿度为：", kClearPaneFirst,
                                  NumberText::WithADigit, 10, -250, 250};
const InputRule kRangeStartRule = {IDC_RANGE_FROM_EDIT, "输入起始地址不能为空！", "起始地址输入不合法！",
                                   kAddressRangeLine, "您输入的起始地址为：", kClearPaneFirst, NumberText::Digits, 1, 0, 63};
const InputRule kRangeEndRule = {IDC_RANGE_TO_EDIT, "输入结束地址不能为空！", "结束地址输入不合法！",
                                 kAddressRangeLine, "您输入的结束地址为：", kAppendToPane, NumberText::Digits, 1, 0, 63};
const char* const kRangeReversedLine = "结束地址不能小于起始地址！";
const OffsetKind kTempOffset = {"temp", kTempOffsetWrite, kTempOffsetRegister, kTempOffsetRule};
const OffsetKind kHumOffset = {"hum", kHumOffsetWrite, kHumOffsetRegister, kHumOffsetRule};

std::string FilteredOffsetText(const std::string& text)
{
    // The passes remove every '.' after the first, then every '-' not at the start, then every other
    // byte outside ".-0123456789"; no removal of a later kind brings back one of an earlier kind,
    // because the second point and a misplaced minus never stand at index 0.
    std::string kept;
    kept.reserve(text.size());
    bool pointKept = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (pointKept) continue;
            pointKept = true;
        } else if (c == '-') {
            if (i != 0) continue;
        } else if (c < '0' || c > '9') {
            continue;
        }
        kept += c;
    }
    return kept;
}

double ParseNumber(const std::string& text)
{
    // Only the longest prefix in atof's decimal grammar reaches strtod, which would also take
    // hexadecimal, "inf" and "nan".
    const auto isDigit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) return 0;
    const std::size_t start = i;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    for (; isDigit(i); ++i) ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; isDigit(i); ++i) ++digits;
    if (digits == 0) return 0;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (isDigit(e)) {
            while (isDigit(e)) ++e;
            end = e;
        }
    }
    return std::strtod(text.substr(start, end - start).c_str(), nullptr);
}

bool ReadAddressInput(ConsoleView& view, int controlId)
{
    inputText = view.ControlText(controlId);
    if (inputText.empty()) return false;
    inputValue = ParseNumber(inputText);
    return true;
}

std::optional<int> ScaledInRange(double value, double scale, int lowest, int highest)
{
    const double scaled = value * scale;
    // Truncation toward zero lands in lowest..highest exactly when scaled lies strictly between the
    // neighbours outside it; NaN fails both comparisons.
    if (!(scaled > lowest - 1.0 && scaled < highest + 1.0)) return std::nullopt;
    return static_cast<int>(scaled);
}

bool StatesANumber(const std::string& text, const InputRule& rule)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (rule.form == NumberText::Digits) return std::all_of(text.begin(), text.end(), isDigit);
    // The offset inputs' filter keeps their texts to its shape; a text from elsewhere must have it already,
    // or "1.2.3", "1e1" or "x5" would write 1.2, 10.0 or 0.
    if (FilteredOffsetText(text) != text) return false;
    return std::any_of(text.begin(), text.end(), isDigit);
}

InputJudgement JudgeInputText(const InputRule& rule, const std::string& text)
{
    if (text.empty()) return {std::nullopt, {rule.emptyLine}};
    const std::optional<int> converted = StatesANumber(text, rule)
                                             ? ScaledInRange(ParseNumber(text), rule.scale, rule.lowest, rule.highest)
                                             : std::nullopt;
    if (!converted) return {std::nullopt, {rule.invalidLine, rule.rangeLine}};
    return {converted, {}};
}

std::optional<int> ValidateInput(ConsoleView& view, const InputRule& rule)
{
    ReadAddressInput(view, rule.controlId);
    const InputJudgement judgement = JudgeInputText(rule, inputText);
    if (judgement.value) view.AppendLog(rule.echoLine + inputText, rule.clearFirst);
    for (std::size_t i = 0; i < judgement.refusal.size(); ++i)
        view.AppendLog(judgement.refusal[i], i == 0 && rule.clearFirst);
    return judgement.value;
}
