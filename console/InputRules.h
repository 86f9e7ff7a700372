// What the operator may type into the offset inputs, how every input is parsed, and the rules an input
// must pass before a command sends anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ConsoleView;

// The text the offset inputs' filter leaves: its passes, each removing one byte (a second '.', else a
// '-' that is not first, else a byte that is none of ".-0123456789"), run until one finds nothing.
std::string FilteredOffsetText(const std::string& text);

// The C library's atof: blanks, sign, digits with one point, exponent; nothing else (no hexadecimal,
// infinity or not-a-number forms). Without its undefined behaviour: out-of-range texts give +-HUGE_VAL.
double ParseNumber(const std::string& text);

// The whole text last read from an input, and the number parsed from it.
extern std::string inputText;
extern double inputValue;

// Reads the control's text into inputText; false when it is empty (inputValue then keeps its value),
// otherwise parses it into inputValue.
bool ReadAddressInput(ConsoleView& view, int controlId);

// What a text must be to state a number: an address nothing but digits, an offset of the filter's shape
// ('-' only first, digits, one '.') with at least one digit.
enum class NumberText { Digits, WithADigit };

// The rows one input passes: empty, no number or out of range, accepted (echoed).
struct InputRule {
    int controlId;
    const char* emptyLine;
    const char* invalidLine;
    const char* rangeLine;
    const char* echoLine;
    bool clearFirst;  // the empty, invalid and echo lines; the range line is always appended
    NumberText form;
    double scale;     // value * scale truncated toward zero must lie in lowest..highest
    int lowest;
    int highest;
};

extern const InputRule kSensorAddressRule;
extern const InputRule kTempOffsetRule;
extern const InputRule kHumOffsetRule;
extern const InputRule kRangeStartRule;
extern const InputRule kRangeEndRule;
extern const char* const kRangeReversedLine;

// The two offsets a sensor keeps: the word a command line names it by, its write kind (whose texts its
// echo check reports), its register and the rule its input passes.
struct OffsetKind {
    const char* word;
    std::uint8_t writeKind;
    std::uint8_t registerNumber;
    const InputRule& rule;
};
extern const OffsetKind kTempOffset;
extern const OffsetKind kHumOffset;

// value * scale truncated toward zero, when that lies in lowest..highest. The range is tested on the
// double, so no text (huge, infinite, not a number) reaches an integer conversion out of range.
std::optional<int> ScaledInRange(double value, double scale, int lowest, int highest);

// Whether the text states a number of the rule's kind at all: pasted letters or blanks, and "-", "."
// or "-." would otherwise parse as 0 and send to sensor 0, or write an offset of 0.
bool StatesANumber(const std::string& text, const InputRule& rule);

// The rule's rows over one text as read: the converted value when accepted, else the refusal's lines
// (the first written as the rule says, the second always appended).
struct InputJudgement {
    std::optional<int> value;
    std::vector<const char*> refusal;
};
InputJudgement JudgeInputText(const InputRule& rule, const std::string& text);

// Applies the rule's rows to its input, writing their lines; the converted value when accepted.
std::optional<int> ValidateInput(ConsoleView& view, const InputRule& rule);
