#include "link/LinkFixture.h"

#include "console/Commands.h"

class Commands : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        OpenPort();
    }
};

TEST_F(Commands, ReadEchoesTheAddressIntoAClearedPaneAndSendsWithTheButtonsDisabled)
{
    view.texts[IDC_SENSOR_ADDRESS_EDIT] = "5";
    OnReadClicked(console);

    EXPECT_EQ(view.log, (Log{{"您输入的地址为：5", true}, {"正在读取地址为：5 的设备.", false}}));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    // Whatever waits at the port is drained before the request goes out.
    EXPECT_EQ(line.calls, (Strings{"read", "write"}));
    EXPECT_EQ(line.written, (std::vector<Bytes>{{0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88}}));
    EXPECT_EQ(view.timerEvents, (Strings{"start 1 200"}));
}

TEST_F(Commands, AnOffsetIsEchoedWithTheAddressAndWrittenToItsRegister)
{
    struct Case {
        void (*command)(Console&);
        int input;
        const char* offset;
        const char* address;
        Log lines;
        Bytes frame;
        std::uint8_t kind;
    };
    const Case cases[] = {
        {OnSetTempOffsetClicked, IDC_TEMP_OFFSET_INPUT, "-2.5", "1",
         {{"您输入的偏移温度为：-2.5", true}, {"您输入的地址为：1", true}, {"正在设置地址为：1 的设备.", false}},
         WithCrc({0x01, 0x06, 0x00, 0x02, 0x80, 0x19}), 0},
        {OnSetHumOffsetClicked, IDC_HUM_OFFSET_INPUT, "25.0", "7",
         {{"您输入的偏移湿度为：25.0", true}, {"您输入的地址为：7", true}, {"正在设置地址为：7 的设备.", false}},
         WithCrc({0x07, 0x06, 0x00, 0x03, 0x00, 0xFA}), 1},
    };
    for (const Case& c : cases) {
        SetUp();
        view.texts[c.input] = c.offset;
        view.texts[IDC_SENSOR_ADDRESS_EDIT] = c.address;
        pendingWriteKind = 1 - c.kind;
        c.command(console);
        EXPECT_EQ(view.log, c.lines);
        EXPECT_EQ(line.written, std::vector<Bytes>{c.frame});
        EXPECT_EQ(pendingWriteKind, c.kind);
        EXPECT_EQ(CommandButtonStates(), kAllDisabled);
        EXPECT_EQ(view.timerEvents, (Strings{"start 3 200"}));
    }
}

TEST_F(Commands, OffsetsThatMeanZeroAreWrittenAsPositiveZero)
{
    for (const char* text : {"0", "-", ".", "-0.05"}) {
        view.texts[IDC_TEMP_OFFSET_INPUT] = text;
        OnSetTempOffsetClicked(console);
        EXPECT_EQ(LastWritten(), WithCrc({0x01, 0x06, 0x00, 0x02, 0x00, 0x00})) << text;
        Tick(kWriteCheckTimer);
    }
}

// The first refusing row ends the command with its lines: nothing is sent and no state changes.
TEST_F(Commands, ARefusedCommandSendsNothingAndChangesNothing)
{
    struct Case {
        void (*command)(Console&);
        std::vector<std::pair<int, const char*>> texts;
        Log lines;
    };
    const Case cases[] = {
        {OnReadClicked, {{IDC_SENSOR_ADDRESS_EDIT, "-1"}}, {{"地址输入不合法！", true}, {"输入范围为：0到63", false}}},
        {OnSetTempOffsetClicked, {{IDC_TEMP_OFFSET_INPUT, "10.1"}},
         {{"温度偏移输入不合法！", true}, {"输入范围为：-10.0到10.0", false}}},
        // An accepted offset with a refused address: the address lines replace the offset echo.
        {OnSetHumOffsetClicked, {{IDC_HUM_OFFSET_INPUT, "-3"}, {IDC_SENSOR_ADDRESS_EDIT, ""}},
         {{"您输入的偏移湿度为：-3", true}, {"输入地址不能为空！", true}}},
        {OnContinuousClicked, {{IDC_RANGE_FROM_EDIT, "64"}}, {{"起始地址输入不合法！", true}, {"输入范围为：0到63", false}}},
        {OnContinuousClicked, {{IDC_RANGE_TO_EDIT, ""}}, {{"您输入的起始地址为：1", true}, {"输入结束地址不能为空！", false}}},
        {OnContinuousClicked, {{IDC_RANGE_FROM_EDIT, "6"}, {IDC_RANGE_TO_EDIT, "5"}},
         {{"您输入的起始地址为：6", true}, {"您输入的结束地址为：5", false}, {"结束地址不能小于起始地址！", false}}},
    };
    for (const Case& c : cases) {
        SetUp();
        pendingWriteKind = 1;
        scanStart = scanEnd = scanCurrent = 9;
        for (const auto& [input, text] : c.texts) view.texts[input] = text;
        c.command(console);
        EXPECT_EQ(view.log, c.lines);
        EXPECT_TRUE(line.written.empty());
        EXPECT_TRUE(view.timerEvents.empty());
        EXPECT_TRUE(view.enableEvents.empty());
        EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
        EXPECT_EQ(pendingWriteKind, 1);
        EXPECT_EQ(continuousRunning, 0);
        EXPECT_EQ(scanStart, 9);
    }
}

TEST_F(Commands, AContinuousReadReadsTheRangeInTurnWithAnUnansweredAddressInIt)
{
    view.texts[IDC_RANGE_FROM_EDIT] = "3";
    view.texts[IDC_RANGE_TO_EDIT] = "4";
    OnContinuousClicked(console);
    EXPECT_EQ(view.log, (Log{{"您输入的起始地址为：3", true}, {"您输入的结束地址为：4", false},
                             {"正在读取地址为：3 的设备.", false}}));
    EXPECT_EQ(view.enableEvents, (Strings{"disable 1003", "disable 1004", "disable 1019"}));
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读停止");

    std::vector<int> requested;
    Strings outcomes;
    for (int second = 0; second < 5; ++second) {
        if (second > 0) Tick(kContinuousTimer);
        requested.push_back(LastWritten().at(0));
        if (requested.back() == 3) line.Arrive(ExampleAnswer(3));  // no sensor at address 4
        Tick(kReadCheckTimer);
        outcomes.push_back(view.log.back().first.substr(0, view.log.back().first.find('\r')));
        // Each second one request, checked after 200 ms, and the period starting again.
        EXPECT_EQ(view.timerEvents, (Strings{"start 1 200", "start 2 1000", "stop 1"}));
        EXPECT_EQ(CommandButtonStates(), kOnlyContinuousEnabled);
        view.timerEvents.clear();
    }
    EXPECT_EQ(requested, (std::vector<int>{3, 4, 3, 4, 3}));
    EXPECT_EQ(outcomes, (Strings{"读取成功:", "接收数据长度不正确！", "读取成功:", "接收数据长度不正确！", "读取成功:"}));
}

TEST_F(Commands, EqualStartAndEndReadOneSensorEverySecond)
{
    view.texts[IDC_RANGE_FROM_EDIT] = "5";
    view.texts[IDC_RANGE_TO_EDIT] = "5";
    OnContinuousClicked(console);
    Tick(kContinuousTimer);
    EXPECT_EQ(line.written, (std::vector<Bytes>(2, {0x05, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0x88})));
}

TEST_F(Commands, StoppingWhileAReadIsAwaitedAbandonsItSilently)
{
    OnContinuousClicked(console);
    line.Arrive(ExampleAnswer(1));
    Forget();
    OnContinuousClicked(console);

    EXPECT_EQ(view.timerEvents, (Strings{"stop 1", "stop 2"}));
    EXPECT_EQ(view.enableEvents, (Strings{"enable 1003", "enable 1004", "enable 1019"}));
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    EXPECT_EQ(continuousRunning, 0);
    EXPECT_TRUE(view.log.empty());
}

TEST_F(Commands, AWriteCheckAfterTheCloseReportsButOffersNoCommands)
{
    OnSetTempOffsetClicked(console);
    OnOpenClicked(console);
    Forget();
    Tick(kWriteCheckTimer);

    EXPECT_EQ(view.log, (Log{{"接收数据长度不正确！", false}}));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_TRUE(view.timers.empty());
}

TEST_F(Commands, TheOffsetFilterRunsItsNestedPassesToAWellFormedNumber)
{
    view.onTextChanged = [this](int controlId) { FilterOffsetText(console, controlId); };
    struct Case {
        const char* typed;
        const char* left;
    };
    const Case cases[] = {{"a-1", "1"},  {"1.2.3", "1.23"}, {"..5", ".5"}, {"--5", "-5"},
                          {"5-", "5"},   {"12x", "12"},     {"-.5", "-.5"}, {".", "."},
                          {" 1e5", "15"}, {"1\xB6\xC8" "2", "12"}, {"\xB6\xC8", ""}};
    for (const Case& c : cases) {
        for (int input : {IDC_TEMP_OFFSET_INPUT, IDC_HUM_OFFSET_INPUT}) {
            view.SetControlText(input, c.typed);
            EXPECT_EQ(view.ControlText(input), c.left) << c.typed;
        }
    }
    EXPECT_TRUE(view.log.empty());
}

using Session = LinkFixture;

TEST_F(Session, ThePortDropDownIsRefilledInListOrderWithTheFirstSelected)
{
    for (const std::string name : {"COM3", "COM7"}) {
        const std::string path = "\\\\?\\acpi#pnp0501#" + name;
        ports.interfaces.push_back({path, "Communications Port (" + name + ")", "Communications Port", std::nullopt});
        ports.openablePaths.insert(path);
    }
    OnPortDropDown(console);
    view.SelectPortEntry(1);
    OnPortDropDown(console);

    EXPECT_EQ(view.portEntries, (Strings{"COM3-->Communications Port (COM3)", "COM7-->Communications Port (COM7)"}));
    EXPECT_EQ(view.SelectedPortEntry(), 0);
    EXPECT_EQ(SelectedPortPath(console), "\\\\.\\COM3");
    EXPECT_TRUE(view.log.empty());
}

TEST_F(Session, ADiscoveryErrorIsAnAppendedLineAndLeavesNoEntries)
{
    view.AddPortEntry("COM1-->COM1");
    view.SelectPortEntry(0);
    ports.classDevsError = 0x1f;
    OnPortDropDown(console);

    EXPECT_EQ(view.log, (Log{{"SetupDiGetClassDevs failed. (err=1f)", false}}));
    EXPECT_TRUE(view.portEntries.empty());
    EXPECT_EQ(view.SelectedPortEntry(), -1);
}
