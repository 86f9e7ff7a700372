#include "link/LinkFixture.h"

#include "link/Readings.h"

namespace {

const char* const kExampleBlock =
    "读取成功:\r\n"
    "温度23.5 度--湿度:45.6 %--温度偏移：-1.5\r\n"
    "湿度偏移：0.0--传感器地址：5--类型：1A\r\n"
    "硬件版本：10--软件版本：12\r\n";

}  // namespace

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

    void StartWrite(std::uint8_t kind, std::uint8_t registerNumber, std::uint16_t value)
    {
        EnableCommandButtons(view, false);
        pendingWriteKind = kind;
        SendWriteRequest(console, 1, registerNumber, value);
    }

    void ExpectFieldsUntouched()
    {
        for (int n = 0; n < 8; ++n) EXPECT_EQ(view.texts.count(ReadingFieldId(n)), 0u) << "register " << n;
    }
};

TEST_F(Transactions, AReadRequestIsLoggedRecordedDrainedSentAndTimed)
{
    line.Arrive({0xDE, 0xAD});  // a late answer to something earlier
    SendReadRequest(console, 5);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"正在读取地址为：5 的设备.", false}}));
    EXPECT_EQ(pendingAddress, 5);
    EXPECT_EQ(line.calls, (std::vector<std::string>{"read", "write"}));
    EXPECT_EQ(line.written, (std::vector<Bytes>{{0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}}));
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"start 1 200"}));
}

TEST_F(Transactions, AWriteRequestLeavesThePendingAddressAlone)
{
    pendingAddress = 9;
    SendWriteRequest(console, 1, 2, 0x800F);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"正在设置地址为：1 的设备.", false}}));
    EXPECT_EQ(pendingAddress, 9);
    EXPECT_EQ(line.calls, (std::vector<std::string>{"read", "write"}));
    EXPECT_EQ(LastWritten(), (Bytes{0x01, 0x06, 0x00, 0x02, 0x80, 0x0F, 0x09, 0xCE}));
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"start 3 200"}));
}

TEST_F(Transactions, AFailedWriteStillStartsTheCheck)
{
    line.writeSucceeds = false;
    SendReadRequest(console, 1);
    EXPECT_EQ(view.log.back(), (LogLine{"写串口失败", false}));
    EXPECT_TRUE(view.TimerRunning(kReadCheckTimer));
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
    EXPECT_EQ(view.log.back(), (LogLine{kExampleBlock, false}));
    EXPECT_EQ(view.Pane(), std::string("正在读取地址为：5 的设备.\r\n") + kExampleBlock + "\r\n");
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_FALSE(view.TimerRunning(kReadCheckTimer));
}

TEST_F(Transactions, EveryFailedReadCheckIsOneLineAndTheFieldsKeepTheirValues)
{
    Bytes badCrc = ExampleAnswer();
    badCrc[20] ^= 1;
    const Bytes whole = ExampleAnswer();
    struct Case {
        Bytes arrives;
        const char* line;
    };
    for (const Case& c : {Case{{}, "接收数据长度不正确！"}, Case{ExampleAnswer(6), "接收地址不正确！"},
                          Case{badCrc, "CRC校验不正确！"}, Case{Bytes(whole.begin(), whole.begin() + 12), "接收数据长度不正确！"},
                          Case{WithCrc({5, 0x83, 0x02}), "接收数据长度不正确！"}}) {
        Forget();
        StartRead(5);
        line.Arrive(c.arrives);
        Tick(kReadCheckTimer);
        EXPECT_EQ(view.log.back(), (LogLine{c.line, false}));
        EXPECT_EQ(view.log.size(), 2u);
        EXPECT_EQ(CommandButtonStates(), kAllEnabled);
        EXPECT_FALSE(view.TimerRunning(kReadCheckTimer));
    }
    ExpectFieldsUntouched();
}

TEST_F(Transactions, TheRestOfASplitAnswerIsDrainedByTheNextRequest)
{
    const Bytes answer = ExampleAnswer();
    StartRead(5);
    line.Arrive(Bytes(answer.begin(), answer.begin() + 10));
    Tick(kReadCheckTimer);
    EXPECT_EQ(view.log.back().text, "接收数据长度不正确！");

    line.Arrive(Bytes(answer.begin() + 10, answer.end()));  // late
    StartRead(5);
    line.Arrive(answer);
    Tick(kReadCheckTimer);
    EXPECT_EQ(view.log.back().text, kExampleBlock);
}

TEST_F(Transactions, AReadOfTheRunLeavesTheButtonsAlone)
{
    continuousRunning = 1;
    for (int id : {IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON, IDC_READ_BUTTON}) view.enabled[id] = false;
    SendReadRequest(console, 5);
    line.Arrive(ExampleAnswer());
    Tick(kReadCheckTimer);
    EXPECT_EQ(view.log.back().text, kExampleBlock);
    EXPECT_EQ(CommandButtonStates(), kOnlyContinuousEnabled);
}

TEST_F(Transactions, WriteChecksReportEachOutcome)
{
    struct Case {
        std::uint8_t kind;
        std::uint8_t registerNumber;
        Bytes arrives;
        std::vector<LogLine> lines;
    };
    Bytes badCrc = WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19});
    badCrc[7] ^= 1;
    Bytes otherRegisterBadCrc = WithCrc({1, 0x06, 0x00, 0x03, 0x80, 0x19});
    otherRegisterBadCrc[6] ^= 1;
    const Case cases[] = {
        {0, 2, WithCrc({1, 0x06, 0x00, 0x02, 0x80, 0x19}), {{"温度偏移设置成功！", false}}},
        {1, 3, WithCrc({7, 0x06, 0x00, 0x03, 0x00, 0xFA}), {{"湿度偏移设置成功！", false}}},
        {0, 2, WithCrc({1, 0x06, 0x00, 0x03, 0x80, 0x19}), {{"温度偏移设置不正确！", false}}},
        {0, 2, otherRegisterBadCrc, {{"温度偏移设置不正确！", false}}},
        {1, 3, WithCrc({1, 0x86, 0x02}), {{"接收数据长度不正确！", false}}},
        {0, 2, badCrc, {{"CRC校验不正确！", false}, {"温度偏移设置不正确！", false}}},
        {1, 3, {}, {{"接收数据长度不正确！", false}}},
    };
    for (const Case& c : cases) {
        StartWrite(c.kind, c.registerNumber, 0x8019);
        Forget();
        line.Arrive(c.arrives);
        Tick(kWriteCheckTimer);
        EXPECT_EQ(view.log, c.lines);
        EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"stop 3"}));
        EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    }
    ExpectFieldsUntouched();
}

TEST_F(Transactions, AWriteCheckAfterTheCloseReportsButOffersNoCommands)
{
    StartWrite(0, 2, 0x0019);
    OnOpenClicked(console);  // close while the write is pending
    Forget();
    Tick(kWriteCheckTimer);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"接收数据长度不正确！", false}}));
    EXPECT_FALSE(view.TimerRunning(kWriteCheckTimer));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
}

TEST_F(Transactions, PacingMovesThroughTheRangeAndWraps)
{
    scanStart = 3;
    scanEnd = 5;
    scanCurrent = 3;
    continuousRunning = 1;
    view.StartTimer(kContinuousTimer, kContinuousPeriodMs);
    Forget();
    std::vector<int> addresses;
    for (int tick = 0; tick < 5; ++tick) {
        Tick(kContinuousTimer);
        addresses.push_back(LastWritten().at(0));
        EXPECT_EQ(view.timerEvents.back(), "start 2 1000");
    }
    EXPECT_EQ(addresses, (std::vector<int>{4, 5, 3, 4, 5}));
    EXPECT_EQ(view.log.back(), (LogLine{"正在读取地址为：5 的设备.", false}));
    // One request a tick: logged, drained, sent, checked in 200 ms, then the period restarts.
    EXPECT_EQ(std::vector<std::string>(view.timerEvents.end() - 2, view.timerEvents.end()),
              (std::vector<std::string>{"start 1 200", "start 2 1000"}));
}

TEST_F(Transactions, PacingPastTheEndStartsOver)
{
    scanStart = 2;
    scanEnd = 2;
    scanCurrent = 7;  // a range changed under a stale position
    view.StartTimer(kContinuousTimer, kContinuousPeriodMs);
    Tick(kContinuousTimer);
    EXPECT_EQ(scanCurrent, 2);
    Tick(kContinuousTimer);
    EXPECT_EQ(scanCurrent, 2);
}

TEST_F(Transactions, OtherTimerIdsChangeNothing)
{
    line.Arrive(ExampleAnswer());
    OnTimer(console, 4);
    OnTimer(console, 0);
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(view.timerEvents.empty());
}
