#include "link/LinkFixture.h"

#include <algorithm>

#include "framework/Array.h"

using SerialChannel = LinkFixture;

// The port drop-down is enabled only while the port is closed, the four commands only while it is open,
// always in the same order.
TEST_F(SerialChannel, OpenAndCloseSwitchTheControlsOnlyWhenTheSystemAgrees)
{
    struct Case {
        bool startOpen;
        bool systemAgrees;
        Strings calls;
        const char* line;
        const char* caption;
        Strings enableEvents;
        Strings timerEvents;
    };
    const Case cases[] = {
        {false, true, {"open \\\\.\\COM3", "settings"}, "打开COM3成功", "关闭串口",
         {"disable 1000", "enable 1002", "enable 1003", "enable 1004", "enable 1019"}, {}},
        {false, false, {"open \\\\.\\COM3"}, "打开COM失败!", "打开串口", {}, {}},
        {true, true, {"close"}, "关闭COM3", "打开串口",
         {"enable 1000", "disable 1002", "disable 1003", "disable 1004", "disable 1019"}, {"stop 1", "stop 2"}},
        {true, false, {"close"}, "关闭COM3失败", "关闭串口", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SetUp();
        ListPort("COM1", "Communications Port (COM1)");
        ListPort("COM3", "USB-SERIAL CH340 (COM3)");
        if (c.startOpen) {
            OnOpenClicked(console);
            Forget();
        }
        line.openSucceeds = line.closeSucceeds = c.systemAgrees;
        OnOpenClicked(console);

        EXPECT_EQ(line.calls, c.calls);
        EXPECT_EQ(view.log, (Log{{c.line, false}}));
        EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), c.caption);
        EXPECT_EQ(view.enableEvents, c.enableEvents);
        EXPECT_EQ(view.timerEvents, c.timerEvents);
    }
}

TEST_F(SerialChannel, NoSelectionRaisesTheInvalidArgumentErrorBeforeAnythingIsOpened)
{
    EXPECT_THROW(OnOpenClicked(console), CInvalidArgException);
    // An entry without its record (the list changed under the drop-down) is refused the same way.
    view.AddPortEntry("COM9-->COM9");
    view.SelectPortEntry(0);
    EXPECT_THROW(OnOpenClicked(console), CInvalidArgException);
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(SerialChannel, AnyOtherCaptionDoesNothing)
{
    ListPort("COM3", "Communications Port (COM3)");
    view.texts[IDC_OPEN_BUTTON] = "打开";
    OnOpenClicked(console);
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(view.log.empty());
}

TEST_F(SerialChannel, ClosingEndsAContinuousReadButNotAPendingWrite)
{
    OpenPort();
    OnContinuousClicked(console);
    view.StartTimer(kWriteCheckTimer, kCheckDelayMs);
    OnOpenClicked(console);

    EXPECT_EQ(view.timers, (std::map<unsigned, unsigned>{{kWriteCheckTimer, 200}}));
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    EXPECT_EQ(continuousRunning, 0);
}

TEST_F(SerialChannel, ThePortNameIsTheEntryTextBeforeItsFirstHyphen)
{
    ListPort("", "Bluetooth Link");
    EXPECT_EQ(SelectedPortName(console), "");
    ListPort("tty-usb0", "USB serial");
    EXPECT_EQ(SelectedPortName(console), "tty");
    EXPECT_EQ(SelectedPortPath(console), "\\\\.\\tty-usb0");
}

TEST_F(SerialChannel, ReceivePendingTakesOneBatchOfAtMost2048BytesIntoAZeroedBuffer)
{
    OpenPort();
    const auto zeroFrom = [](std::size_t first) {
        return std::all_of(rxBuffer + first, rxBuffer + kRxBufferSize, [](std::uint8_t b) { return b == 0; });
    };
    line.Arrive(Bytes(30, 0xAA));
    EXPECT_EQ(ReceivePending(console), 30u);
    line.Arrive({1, 2, 3});
    EXPECT_EQ(ReceivePending(console), 3u);
    EXPECT_EQ(Bytes(rxBuffer, rxBuffer + 3), (Bytes{1, 2, 3}));
    EXPECT_TRUE(zeroFrom(3));
    EXPECT_EQ(ReceivePending(console), 0u);
    EXPECT_TRUE(zeroFrom(0));

    line.Arrive(Bytes(3000, 0x55));
    EXPECT_EQ(ReceivePending(console), kRxBufferSize);
    EXPECT_EQ(ReceivePending(console), 0u);  // the rest went with the purge
}
