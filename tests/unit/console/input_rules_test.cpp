#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Fakes.h"
#include "console/InputRules.h"
#include "res/resource.h"

namespace {

// Runs the filter's passes the way the edit's change notification nests them.
std::string Filtered(std::string text)
{
    while (const std::optional<std::size_t> removal = OffsetFilterRemoval(text)) text.erase(*removal, 1);
    return text;
}

std::optional<int> Validate(FakeView& view, const InputRule& rule, const std::string& text)
{
    view.texts[rule.controlId] = text;
    return ValidateInput(view, rule);
}

}  // namespace

TEST(OffsetFilter, OnePassRemovesOneByteInTheOrderPointMinusForeign)
{
    EXPECT_EQ(OffsetFilterRemoval("1.2.3"), 3u);
    EXPECT_EQ(OffsetFilterRemoval("a-1"), 1u);  // the minus goes before the letter
    EXPECT_EQ(OffsetFilterRemoval("x1.."), 3u);  // the second point before anything else
    EXPECT_EQ(OffsetFilterRemoval("12x"), 2u);
    EXPECT_EQ(OffsetFilterRemoval("-1.5"), std::nullopt);
    EXPECT_EQ(OffsetFilterRemoval(""), std::nullopt);
}

TEST(OffsetFilter, NestedPassesLeaveWellFormedNumbers)
{
    EXPECT_EQ(Filtered("a-1"), "1");
    EXPECT_EQ(Filtered("1.2.3"), "1.23");
    EXPECT_EQ(Filtered("..5"), ".5");
    EXPECT_EQ(Filtered("--5"), "-5");
    EXPECT_EQ(Filtered("5-"), "5");
    EXPECT_EQ(Filtered("12x"), "12");
    EXPECT_EQ(Filtered("-.5"), "-.5");
    EXPECT_EQ(Filtered("."), ".");
    EXPECT_EQ(Filtered("1\xB6\xC8" "2"), "12");  // a double-byte character vanishes entirely
    EXPECT_EQ(Filtered(" 1e5"), "15");
}

TEST(Parsing, FollowsAtof)
{
    EXPECT_DOUBLE_EQ(ParseNumber("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(ParseNumber("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(ParseNumber("  7"), 7);
    EXPECT_DOUBLE_EQ(ParseNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(ParseNumber("5-"), 5);
    EXPECT_DOUBLE_EQ(ParseNumber("1e1"), 10);
    for (const char* zero : {"-", ".", "-.", "ab", " ", "--5"}) EXPECT_EQ(ParseNumber(zero), 0) << zero;
    EXPECT_EQ(ParseNumber("1e99999"), HUGE_VAL);
    EXPECT_EQ(ParseNumber("-1e99999"), -HUGE_VAL);
    EXPECT_TRUE(std::isnan(ParseNumber("nan")));
    EXPECT_TRUE(std::isinf(ParseNumber("inf")));
}

TEST(Conversions, TruncateTowardZeroAndTestTheRangeBeforeConverting)
{
    EXPECT_EQ(ScaledInRange(2.55, 10, -100, 100), 25);
    EXPECT_EQ(ScaledInRange(-0.05, 10, -100, 100), 0);
    EXPECT_EQ(ScaledInRange(10.05, 10, -100, 100), 100);
    EXPECT_EQ(ScaledInRange(-10.09, 10, -100, 100), -100);
    EXPECT_EQ(ScaledInRange(10.1, 10, -100, 100), std::nullopt);
    EXPECT_EQ(ScaledInRange(-10.1, 10, -100, 100), std::nullopt);
    EXPECT_EQ(ScaledInRange(0.9, 1, 0, 63), 0);
    EXPECT_EQ(ScaledInRange(-0.9, 1, 0, 63), 0);
    EXPECT_EQ(ScaledInRange(-1, 1, 0, 63), std::nullopt);
    EXPECT_EQ(ScaledInRange(63.9, 1, 0, 63), 63);
    EXPECT_EQ(ScaledInRange(64, 1, 0, 63), std::nullopt);
    for (double wild : {1e99, -1e99, HUGE_VAL, -HUGE_VAL, std::nan(""), 4294967296.0})
        EXPECT_EQ(ScaledInRange(wild, 10, -250, 250), std::nullopt) << wild;
}

TEST(ReadInput, EmptyTextKeepsTheLastValue)
{
    FakeView view;
    view.texts[IDC_RANGE_FROM_EDIT] = "12";
    EXPECT_TRUE(ReadAddressInput(view, IDC_RANGE_FROM_EDIT));
    EXPECT_EQ(inputText, "12");
    EXPECT_EQ(inputValue, 12);
    view.texts[IDC_RANGE_FROM_EDIT] = "";
    EXPECT_FALSE(ReadAddressInput(view, IDC_RANGE_FROM_EDIT));
    EXPECT_EQ(inputText, "");
    EXPECT_EQ(inputValue, 12);
}

TEST(AddressRows, EveryTextGetsADefinedOutcome)
{
    FakeView view;
    EXPECT_EQ(Validate(view, kSensorAddressRule, ""), std::nullopt);
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"输入地址不能为空！", true}}));
    struct Case {
        const char* text;
        std::optional<int> address;
    };
    for (const Case& c : {Case{"0", 0}, Case{"00", 0}, Case{".9", 0}, Case{"ab", 0}, Case{"5", 5}, Case{"-1", {}},
                          Case{"-5", {}}, Case{"64", {}}, Case{"99", {}}, Case{"nan", {}}, Case{"inf", {}},
                          Case{"1e99", {}}, Case{"-1e99", {}}, Case{"123456789012345678901234567890", {}}}) {
        view.log.clear();
        EXPECT_EQ(Validate(view, kSensorAddressRule, c.text), c.address) << c.text;
        if (c.address)
            EXPECT_EQ(view.log, (std::vector<LogLine>{{std::string("您输入的地址为：") + c.text, true}})) << c.text;
        else
            EXPECT_EQ(view.log, (std::vector<LogLine>{{"地址输入不合法！", true}, {"输入范围为：0到63", false}}))
                << c.text;
    }
}

TEST(OffsetRows, TemperatureRangeInTenthsAndTheEchoAsTyped)
{
    FakeView view;
    struct Case {
        const char* text;
        std::optional<int> tenths;
    };
    for (const Case& c : {Case{"0", 0}, Case{"10.0", 100}, Case{"-10.0", -100}, Case{"10.05", 100}, Case{".5", 5},
                          Case{"-", 0}, Case{".", 0}, Case{"-0.05", 0}, Case{"2.55", 25}, Case{"10.1", {}},
                          Case{"-10.1", {}}, Case{"11", {}}, Case{"1e99", {}}, Case{"nan", {}}}) {
        view.log.clear();
        EXPECT_EQ(Validate(view, kTempOffsetRule, c.text), c.tenths) << c.text;
        if (c.tenths)
            EXPECT_EQ(view.log, (std::vector<LogLine>{{std::string("您输入的偏移温度为：") + c.text, true}}))
                << c.text;
        else
            EXPECT_EQ(view.log,
                      (std::vector<LogLine>{{"温度偏移输入不合法！", true}, {"输入范围为：-10.0到10.0", false}}))
                << c.text;
    }
    view.log.clear();
    EXPECT_EQ(Validate(view, kTempOffsetRule, ""), std::nullopt);
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"输入温度偏移不能为空！", true}}));
}

TEST(OffsetRows, HumidityRangeInTenths)
{
    FakeView view;
    EXPECT_EQ(Validate(view, kHumOffsetRule, "25.0"), 250);
    EXPECT_EQ(Validate(view, kHumOffsetRule, "-25.0"), -250);
    EXPECT_EQ(view.log.back(), (LogLine{"您输入的偏移湿度为：-25.0", true}));
    view.log.clear();
    EXPECT_EQ(Validate(view, kHumOffsetRule, "25.1"), std::nullopt);
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"湿度偏移输入不合法！", true}, {"输入范围为：-25.0到25.0", false}}));
    view.log.clear();
    EXPECT_EQ(Validate(view, kHumOffsetRule, ""), std::nullopt);
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"输入湿度偏移不能为空！", true}}));
}
