#include "link/LinkFixture.h"

#include "link/Readings.h"

class Transactions : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        OpenPort();
    }

    // A command's part before the sender: the buttons go.
    void StartRead(std::uint8_t address)
    {
        EnableCommandButtons(view, false);
        SendReadRequest(console, address);
    }
};

TEST_F(Transactions, AFailedWriteIsReportedAndStillStartsTheCheck)
{
    line.writeSucceeds = false;
    SendReadRequest(console, 1);
    EXPECT_EQ(view.log, (Log{{"正在读取地址为：1 的设备.", false}, {"写串口失败", false}}));
    EXPECT_EQ(view.timerEvents, (Strings{"start 1 200"}));
}

TEST_F(Transactions, ASuccessfulReadFillsTheEightFieldsAndLogsOneBlock)
{
    StartRead(5);
    line.Arrive(ExampleAnswer());
    Tick(kReadCheckTimer);

    EXPECT_EQ(view.ControlText(IDC_TEMPERATURE_EDIT), "23.5 ");
    EXPECT_EQ(view.ControlText(IDC_HUMIDITY_EDIT), "45.6 ");
    EXPECT_EQ(view.ControlText(IDC_TEMP_OFFSET_EDIT), "-1.5");
    EXPECT_EQ(view.ControlText(IDC_HUM_OFFSET_EDIT), "0.0");
    EXPECT_EQ(view.ControlText(IDC_ADDRESS_EDIT), "5");
    EXPECT_EQ(view.ControlText(IDC_TYPE_EDIT), "1A");
    EXPECT_EQ(view.ControlText(IDC_HW_VERSION_EDIT), "10");
    EXPECT_EQ(view.ControlText(IDC_SW_VERSION_EDIT), "12");
    EXPECT_EQ(view.log.back(), (LogLine{"读取成功:\r\n"
                                        "温度23.5 度--湿度:45.6 %--温度偏移：-1.5\r\n"
                                        "湿度偏移：0.0--传感器地址：5--类型：1A\r\n"
                                        "硬件版本：10--软件版本：12\r\n",
                                        false}));
    EXPECT_EQ(view.log.size(), 2u);
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_FALSE(view.TimerRunning(kReadCheckTimer));
}

TEST_F(Transactions, EveryFailedReadCheckIsOneLineAndTheFieldsKeepTheirValues)
{
    Bytes badCrc = ExampleAnswer();
    badCrc[20] ^= 1;
    const std::pair<Bytes, const char*> cases[] = {
        {{}, "接收数据长度不正确！"}, {ExampleAnswer(6), "接收地址不正确！"}, {badCrc, "CRC校验不正确！"}};
    for (const auto& [arrives, failure] : cases) {
        Forget();
        StartRead(5);
        line.Arrive(arrives);
        Tick(kReadCheckTimer);
        EXPECT_EQ(view.log, (Log{{"正在读取地址为：5 的设备.", false}, {failure, false}}));
        EXPECT_EQ(CommandButtonStates(), kAllEnabled);
        EXPECT_FALSE(view.TimerRunning(kReadCheckTimer));
    }
    for (int n = 0; n < 8; ++n) EXPECT_EQ(view.texts.count(ReadingFieldId(n)), 0u) << "register " << n;
}

TEST_F(Transactions, WriteChecksReportEachOutcome)
{
    struct Case {
        std::uint8_t kind;
        std::uint8_t registerNumber;
        Bytes arrives;
        Log lines;
    };
    Bytes badCrc = WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19});
    badCrc[7] ^= 1;
    const Case cases[] = {
        {0, 2, WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19}), {{"温度偏移设置成功！", false}}},
        {1, 3, WithCrc({7, 0x06, 0x00, 0x03, 0x00, 0xFA}), {{"湿度偏移设置成功！", false}}},
        {0, 2, WithCrc({1, 0x06, 0x00, 0x03, 0x80, 0x19}), {{"温度偏移设置不正确！", false}}},
        {1, 3, WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19}), {{"湿度偏移设置不正确！", false}}},
        {0, 2, badCrc, {{"CRC校验不正确！", false}, {"温度偏移设置不正确！", false}}},
        {1, 3, {}, {{"接收数据长度不正确！", false}}},
    };
    for (const Case& c : cases) {
        EnableCommandButtons(view, false);
        pendingWriteKind = c.kind;
        SendWriteRequest(console, 1, c.registerNumber, 0x8019);
        Forget();
        line.Arrive(c.arrives);
        Tick(kWriteCheckTimer);
        EXPECT_EQ(view.log, c.lines);
        EXPECT_EQ(view.timerEvents, (Strings{"stop 3"}));
        EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    }
}

TEST_F(Transactions, PacingFromPastTheEndOfTheRangeStartsOver)
{
    scanStart = scanEnd = 2;
    scanCurrent = 7;  // a range changed under a stale position
    view.StartTimer(kContinuousTimer, kContinuousPeriodMs);
    Tick(kContinuousTimer);
    EXPECT_EQ(scanCurrent, 2);
    EXPECT_EQ(LastWritten().at(0), 2);
}

TEST_F(Transactions, OtherTimerIdsChangeNothing)
{
    line.Arrive(ExampleAnswer());
    AdvanceExchange(console, 4);
    AdvanceExchange(console, 0);
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(view.timerEvents.empty());
}
