#include "link/LinkFixture.h"

#include "console/Commands.h"

class Commands : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        OpenPort();
    }

    // Every effect a refused command must not have.
    void ExpectNothingSent()
    {
        EXPECT_TRUE(line.written.empty());
        EXPECT_TRUE(view.timerEvents.empty());
        EXPECT_EQ(CommandButtonStates(), kAllEnabled);
        EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    }

    // Answers every read request of the run with the example registers of the requested address.
    void AnswerLastRead() { line.Arrive(ExampleAnswer(LastWritten().at(0))); }
};

TEST_F(Commands, ReadEchoesTheAddressIntoAClearedPaneAndSendsWithTheButtonsDisabled)
{
    view.texts[IDC_SENSOR_ADDRESS_EDIT] = "5";
    OnReadClicked(console);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"您输入的地址为：5", true}, {"正在读取地址为：5 的设备.", false}}));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_EQ(LastWritten(), (Bytes{0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}));
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"start 1 200"}));

    line.Arrive(ExampleAnswer());
    Tick(kReadCheckTimer);
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_EQ(view.ControlText(IDC_TEMPERATURE_EDIT), "23.5 ");
}

TEST_F(Commands, TheInitialTextsReadAddressOne)
{
    OnReadClicked(console);
    EXPECT_EQ(LastWritten(), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x08, 0x44, 0x0C}));
}

TEST_F(Commands, ARefusedReadSendsNothing)
{
    for (const char* text : {"", "64", "-1"}) {
        view.texts[IDC_SENSOR_ADDRESS_EDIT] = text;
        OnReadClicked(console);
        ExpectNothingSent();
    }
    EXPECT_EQ(view.log.back(), (LogLine{"输入范围为：0到63", false}));
}

TEST_F(Commands, ATemperatureOffsetGoesToRegisterTwoAfterBothEchoes)
{
    view.texts[IDC_TEMP_OFFSET_INPUT] = "-2.5";
    pendingWriteKind = 1;
    OnSetTempOffsetClicked(console);

    EXPECT_EQ(LastWritten(), WithCrc({0x01, 0x06, 0x00, 0x02, 0x80, 0x19}));
    EXPECT_EQ(pendingWriteKind, 0);
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"start 3 200"}));
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"您输入的偏移温度为：-2.5", true},
                                              {"您输入的地址为：1", true},
                                              {"正在设置地址为：1 的设备.", false}}));
    EXPECT_EQ(view.Pane(), "您输入的地址为：1\r\n正在设置地址为：1 的设备.\r\n");

    line.Arrive(LastWritten());
    Tick(kWriteCheckTimer);
    EXPECT_EQ(view.log.back(), (LogLine{"温度偏移设置成功！", false}));
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
}

TEST_F(Commands, AHumidityOffsetGoesToRegisterThree)
{
    view.texts[IDC_HUM_OFFSET_INPUT] = "25.0";
    view.texts[IDC_SENSOR_ADDRESS_EDIT] = "7";
    OnSetHumOffsetClicked(console);

    EXPECT_EQ(LastWritten(), WithCrc({0x07, 0x06, 0x00, 0x03, 0x00, 0xFA}));
    EXPECT_EQ(pendingWriteKind, 1);
    line.Arrive(LastWritten());
    Tick(kWriteCheckTimer);
    EXPECT_EQ(view.log.back(), (LogLine{"湿度偏移设置成功！", false}));
}

TEST_F(Commands, OffsetsThatMeanZeroAreWrittenAsPositiveZero)
{
    for (const char* text : {"0", "-", ".", "-0.05"}) {
        view.texts[IDC_TEMP_OFFSET_INPUT] = text;
        line.written.clear();
        OnSetTempOffsetClicked(console);
        EXPECT_EQ(LastWritten(), WithCrc({0x01, 0x06, 0x00, 0x02, 0x00, 0x00})) << text;
        Tick(kWriteCheckTimer);
    }
}

TEST_F(Commands, ARefusedOffsetWriteKeepsThePendingKindAndSendsNothing)
{
    struct Case {
        void (*command)(Console&);
        int offsetInput;
        const char* offset;
        const char* address;
        const char* pane;
    };
    const Case cases[] = {
        {OnSetTempOffsetClicked, IDC_TEMP_OFFSET_INPUT, "10.1", "1", "温度偏移输入不合法！\r\n输入范围为：-10.0到10.0\r\n"},
        // An accepted offset with a refused address: the address lines replace the offset echo.
        {OnSetTempOffsetClicked, IDC_TEMP_OFFSET_INPUT, "1.5", "", "输入地址不能为空！\r\n"},
        {OnSetHumOffsetClicked, IDC_HUM_OFFSET_INPUT, "", "1", "输入湿度偏移不能为空！\r\n"},
        {OnSetHumOffsetClicked, IDC_HUM_OFFSET_INPUT, "-3", "64", "地址输入不合法！\r\n输入范围为：0到63\r\n"},
    };
    pendingWriteKind = 1;
    for (const Case& c : cases) {
        view.texts[c.offsetInput] = c.offset;
        view.texts[IDC_SENSOR_ADDRESS_EDIT] = c.address;
        c.command(console);
        EXPECT_EQ(view.Pane(), c.pane);
        EXPECT_EQ(pendingWriteKind, 1);
        ExpectNothingSent();
    }
}

TEST_F(Commands, ContinuousStartSetsTheRunUpBeforeItsFirstRequest)
{
    view.texts[IDC_RANGE_FROM_EDIT] = "3";
    view.texts[IDC_RANGE_TO_EDIT] = "5";
    OnContinuousClicked(console);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"您输入的起始地址为：3", true},
                                              {"您输入的结束地址为：5", false},
                                              {"正在读取地址为：3 的设备.", false}}));
    EXPECT_EQ(CommandButtonStates(), kOnlyContinuousEnabled);
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读停止");
    EXPECT_EQ(continuousRunning, 1);
    EXPECT_EQ(scanStart, 3);
    EXPECT_EQ(scanEnd, 5);
    EXPECT_EQ(scanCurrent, 3);
    EXPECT_EQ(LastWritten().at(0), 3);
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"start 1 200", "start 2 1000"}));
}

TEST_F(Commands, AContinuousRunReadsTheRangeInTurnWithAnUnansweredAddressInIt)
{
    OnContinuousClicked(console);  // 1 to 2, the initial texts
    std::vector<int> requested;
    std::vector<std::string> outcomes;
    for (int second = 0; second < 5; ++second) {
        if (second > 0) Tick(kContinuousTimer);
        requested.push_back(LastWritten().at(0));
        if (requested.back() == 1) AnswerLastRead();  // no sensor at address 2
        Tick(kReadCheckTimer);
        outcomes.push_back(view.log.back().text.substr(0, view.log.back().text.find('\r')));
        EXPECT_EQ(CommandButtonStates(), kOnlyContinuousEnabled);
    }
    EXPECT_EQ(requested, (std::vector<int>{1, 2, 1, 2, 1}));
    EXPECT_EQ(outcomes, (std::vector<std::string>{"读取成功:", "接收数据长度不正确！", "读取成功:",
                                                  "接收数据长度不正确！", "读取成功:"}));
}

TEST_F(Commands, EqualStartAndEndReadOneSensorEverySecond)
{
    view.texts[IDC_RANGE_FROM_EDIT] = "5";
    view.texts[IDC_RANGE_TO_EDIT] = "5";
    OnContinuousClicked(console);
    Tick(kContinuousTimer);
    Tick(kContinuousTimer);
    EXPECT_EQ(line.written.size(), 3u);
    for (const Bytes& frame : line.written) EXPECT_EQ(frame.at(0), 5);
}

TEST_F(Commands, ARefusedContinuousStartChangesNothing)
{
    struct Case {
        const char* from;
        const char* to;
        std::vector<LogLine> lines;
    };
    const Case cases[] = {
        {"", "2", {{"输入起始地址不能为空！", true}}},
        {"64", "2", {{"起始地址输入不合法！", true}, {"输入范围为：0到63", false}}},
        {"1", "", {{"您输入的起始地址为：1", true}, {"输入结束地址不能为空！", false}}},
        {"1", "99", {{"您输入的起始地址为：1", true}, {"结束地址输入不合法！", false}, {"输入范围为：0到63", false}}},
        {"6", "5", {{"您输入的起始地址为：6", true}, {"您输入的结束地址为：5", false}, {"结束地址不能小于起始地址！", false}}},
    };
    scanStart = scanEnd = scanCurrent = 9;
    for (const Case& c : cases) {
        view.texts[IDC_RANGE_FROM_EDIT] = c.from;
        view.texts[IDC_RANGE_TO_EDIT] = c.to;
        view.log.clear();
        OnContinuousClicked(console);
        EXPECT_EQ(view.log, c.lines) << c.from << " to " << c.to;
        ExpectNothingSent();
        EXPECT_EQ(continuousRunning, 0);
        EXPECT_EQ(scanStart, 9);
    }
}

TEST_F(Commands, StoppingWhileAReadIsAwaitedAbandonsItSilently)
{
    OnContinuousClicked(console);
    AnswerLastRead();
    Forget();
    OnContinuousClicked(console);

    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"stop 1", "stop 2"}));
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    EXPECT_EQ(continuousRunning, 0);
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(scanStart, 1);
    EXPECT_EQ(scanEnd, 2);
}

TEST_F(Commands, ClosingThePortDuringARunEndsIt)
{
    OnContinuousClicked(console);
    Tick(kReadCheckTimer);
    OnOpenClicked(console);
    Forget();

    EXPECT_FALSE(view.TimerRunning(kReadCheckTimer));
    EXPECT_FALSE(view.TimerRunning(kContinuousTimer));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    EXPECT_EQ(continuousRunning, 0);
}

TEST_F(Commands, ClosingWhileAWriteIsPendingLeavesTheCommandsOff)
{
    OnSetTempOffsetClicked(console);
    OnOpenClicked(console);
    Forget();
    Tick(kWriteCheckTimer);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"接收数据长度不正确！", false}}));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_TRUE(view.IsEnabled(IDC_PORT_COMBO));
    EXPECT_TRUE(view.timers.empty());

    // Opened again, the console offers its commands as after any open.
    OnOpenClicked(console);
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
}

TEST_F(Commands, TheOffsetFilterRunsItsNestedPassesToAWellFormedNumber)
{
    struct Case {
        const char* typed;
        const char* left;
    };
    for (const Case& c : {Case{"a-1", "1"}, Case{"1.2.3", "1.23"}, Case{"--5", "-5"}, Case{"5-", "5"},
                          Case{"-.5", "-.5"}, Case{"1\xB6\xC8" "2", "12"}, Case{"\xB6\xC8", ""}}) {
        view.SetControlText(IDC_TEMP_OFFSET_INPUT, c.typed);
        EXPECT_EQ(view.ControlText(IDC_TEMP_OFFSET_INPUT), c.left) << c.typed;
        view.SetControlText(IDC_HUM_OFFSET_INPUT, c.typed);
        EXPECT_EQ(view.ControlText(IDC_HUM_OFFSET_INPUT), c.left) << c.typed;
    }
    // The address edits are not filtered.
    view.SetControlText(IDC_SENSOR_ADDRESS_EDIT, "a-1");
    EXPECT_EQ(view.ControlText(IDC_SENSOR_ADDRESS_EDIT), "a-1");
    EXPECT_TRUE(view.log.empty());
}

using Session = LinkFixture;

TEST_F(Session, ControlsAlwaysChangeInTheirFixedOrder)
{
    ListPort("COM3", "Communications Port (COM3)");
    OnOpenClicked(console);
    OnReadClicked(console);
    Tick(kReadCheckTimer);
    OnContinuousClicked(console);
    OnContinuousClicked(console);
    OnSetHumOffsetClicked(console);
    Tick(kWriteCheckTimer);
    OnOpenClicked(console);

    EXPECT_EQ(view.enableEvents, (std::vector<std::string>{
                                     // open
                                     "disable 1000", "enable 1002", "enable 1003", "enable 1004", "enable 1019",
                                     // read and its check
                                     "disable 1002", "disable 1003", "disable 1004", "disable 1019",
                                     "enable 1002", "enable 1003", "enable 1004", "enable 1019",
                                     // continuous start and stop
                                     "disable 1003", "disable 1004", "disable 1019",
                                     "enable 1003", "enable 1004", "enable 1019",
                                     // write and its check
                                     "disable 1002", "disable 1003", "disable 1004", "disable 1019",
                                     "enable 1002", "enable 1003", "enable 1004", "enable 1019",
                                     // close
                                     "enable 1000", "disable 1002", "disable 1003", "disable 1004", "disable 1019"}));
}
