#include <gtest/gtest.h>

#include <optional>

#include "Fakes.h"
#include "console/InputRules.h"
#include "res/resource.h"

TEST(OffsetFilter, OnePassRemovesOneByteInTheOrderPointMinusForeign)
{
    EXPECT_EQ(OffsetFilterRemoval("1.2.3"), 3u);
    EXPECT_EQ(OffsetFilterRemoval("a-1"), 1u);   // the minus goes before the letter
    EXPECT_EQ(OffsetFilterRemoval("x1.."), 3u);  // the second point before anything else
    EXPECT_EQ(OffsetFilterRemoval("12x"), 2u);
    EXPECT_EQ(OffsetFilterRemoval("-1.5"), std::nullopt);
    EXPECT_EQ(OffsetFilterRemoval(""), std::nullopt);
}

// Empty, out of range (the range line always appended), accepted (the text echoed as typed).
TEST(InputRules, EveryRuleWritesItsRowsLines)
{
    struct Case {
        const InputRule& rule;
        const char* refused;
        const char* accepted;
        Log lines;
    };
    const Case cases[] = {
        {kSensorAddressRule, "64", "5",
         {{"输入地址不能为空！", true}, {"地址输入不合法！", true}, {"输入范围为：0到63", false}, {"您输入的地址为：5", true}}},
        {kTempOffsetRule, "10.1", ".5",
         {{"输入温度偏移不能为空！", true}, {"温度偏移输入不合法！", true}, {"输入范围为：-10.0到10.0", false},
          {"您输入的偏移温度为：.5", true}}},
        {kHumOffsetRule, "25.1", "-25.0",
         {{"输入湿度偏移不能为空！", true}, {"湿度偏移输入不合法！", true}, {"输入范围为：-25.0到25.0", false},
          {"您输入的偏移湿度为：-25.0", true}}},
        {kRangeStartRule, "-1", "0",
         {{"输入起始地址不能为空！", true}, {"起始地址输入不合法！", true}, {"输入范围为：0到63", false},
          {"您输入的起始地址为：0", true}}},
        {kRangeEndRule, "99", "63",
         {{"输入结束地址不能为空！", false}, {"结束地址输入不合法！", false}, {"输入范围为：0到63", false},
          {"您输入的结束地址为：63", false}}},
    };
    for (const Case& c : cases) {
        FakeView view;
        for (const char* text : {"", c.refused, c.accepted}) {
            view.texts[c.rule.controlId] = text;
            ValidateInput(view, c.rule);
        }
        EXPECT_EQ(view.log, c.lines);
    }
}

// atof's number, truncated toward zero, must lie in the range: texts that are no number count as 0, and
// no text, however wild, reaches an integer conversion out of range.
TEST(InputRules, TextsGiveTheirTruncatedValueWithinTheRange)
{
    struct Case {
        const InputRule& rule;
        const char* text;
        std::optional<int> value;
    };
    const InputRule& address = kSensorAddressRule;
    const Case cases[] = {
        {address, "00", 0},          {address, ".9", 0},      {address, "-0.9", 0},
        {address, "ab", 0},          {address, " 7", 7},      {address, "1e1", 10},
        {address, "1.2.3", 1},       {address, "63.9", 63},   {address, "-1", {}},
        {address, "64", {}},         {address, "nan", {}},    {address, "1e99999", {}},
        {address, "4294967296", {}}, {address, "-1e99", {}},
        {kTempOffsetRule, "10.05", 100}, {kTempOffsetRule, "-10.09", -100}, {kTempOffsetRule, "2.55", 25},
        {kTempOffsetRule, "-10.1", {}},  {kTempOffsetRule, "-1e99999", {}}, {kHumOffsetRule, "-25.0", -250},
    };
    for (const Case& c : cases) {
        FakeView view;
        view.texts[c.rule.controlId] = c.text;
        EXPECT_EQ(ValidateInput(view, c.rule), c.value) << c.text;
    }
}
