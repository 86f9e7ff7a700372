#include "link/LinkFixture.h"

#include <algorithm>

#include "framework/Array.h"

using SerialChannel = LinkFixture;

TEST_F(SerialChannel, OpeningTheSelectedPortSwitchesTheControlsToOpen)
{
    ListPort("COM1", "Communications Port (COM1)");
    ListPort("COM3", "Communications Port (COM3)");
    OnOpenClicked(console);

    EXPECT_EQ(line.openedPath, "\\\\.\\COM3");
    EXPECT_EQ(line.calls, (std::vector<std::string>{"open", "settings"}));
    EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), "关闭串口");
    EXPECT_FALSE(view.IsEnabled(IDC_PORT_COMBO));
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"打开COM3成功", false}}));
    EXPECT_TRUE(PortShownOpen(view));
}

TEST_F(SerialChannel, APortThatCannotBeOpenedLeavesEverythingClosed)
{
    ListPort("COM3", "Communications Port (COM3)");
    line.openSucceeds = false;
    OnOpenClicked(console);

    EXPECT_EQ(line.calls, (std::vector<std::string>{"open"}));
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"打开COM失败!", false}}));
    EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), "打开串口");
    EXPECT_TRUE(view.IsEnabled(IDC_PORT_COMBO));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
}

TEST_F(SerialChannel, NoSelectionRaisesTheInvalidArgumentErrorBeforeAnythingIsOpened)
{
    EXPECT_THROW(OnOpenClicked(console), CInvalidArgException);
    // An entry without its record (the list changed under the drop-down) is refused the same way.
    view.AddPortEntry("COM9-->COM9");
    view.SelectPortEntry(0);
    EXPECT_THROW(OnOpenClicked(console), CInvalidArgException);

    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), "打开串口");
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
}

TEST_F(SerialChannel, ClosingEndsAContinuousReadButNotAPendingWrite)
{
    OpenPort();
    OnContinuousClicked(console);
    view.StartTimer(kWriteCheckTimer, kCheckDelayMs);
    Forget();
    OnOpenClicked(console);

    EXPECT_EQ(line.calls, (std::vector<std::string>{"close"}));
    EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), "打开串口");
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"关闭COM3", false}}));
    EXPECT_TRUE(view.IsEnabled(IDC_PORT_COMBO));
    EXPECT_EQ(CommandButtonStates(), kAllDisabled);
    EXPECT_EQ(view.timerEvents, (std::vector<std::string>{"stop 1", "stop 2"}));
    EXPECT_TRUE(view.TimerRunning(kWriteCheckTimer));
    EXPECT_EQ(view.ControlText(IDC_CONTINUOUS_BUTTON), "连续读开始");
    EXPECT_EQ(continuousRunning, 0);
    EXPECT_FALSE(PortShownOpen(view));
}

TEST_F(SerialChannel, APortThatCannotBeClosedStaysOpen)
{
    OpenPort();
    line.closeSucceeds = false;
    OnOpenClicked(console);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"关闭COM3失败", false}}));
    EXPECT_EQ(view.ControlText(IDC_OPEN_BUTTON), "关闭串口");
    EXPECT_FALSE(view.IsEnabled(IDC_PORT_COMBO));
    EXPECT_EQ(CommandButtonStates(), kAllEnabled);
    EXPECT_TRUE(view.timerEvents.empty());
}

TEST_F(SerialChannel, AnyOtherCaptionDoesNothing)
{
    ListPort("COM3", "Communications Port (COM3)");
    view.texts[IDC_OPEN_BUTTON] = "打开";
    OnOpenClicked(console);
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(view.log.empty());
}

TEST_F(SerialChannel, ThePortNameIsTheEntryTextBeforeItsFirstHyphen)
{
    ListPort("COM3", "USB-SERIAL CH340 (COM3)");
    EXPECT_EQ(SelectedPortName(console), "COM3");
    ListPort("", "Bluetooth Link");
    EXPECT_EQ(SelectedPortName(console), "");
    ListPort("tty-usb0", "USB serial");
    EXPECT_EQ(SelectedPortName(console), "tty");
    EXPECT_EQ(SelectedPortPath(console), "\\\\.\\tty-usb0");
}

TEST_F(SerialChannel, ReceivePendingTakesOneBatchIntoAZeroedBuffer)
{
    OpenPort();
    line.Arrive(Bytes(30, 0xAA));
    EXPECT_EQ(ReceivePending(console), 30u);
    line.Arrive({1, 2, 3});
    EXPECT_EQ(ReceivePending(console), 3u);
    EXPECT_EQ(Bytes(rxBuffer, rxBuffer + 4), (Bytes{1, 2, 3, 0}));
    EXPECT_TRUE(std::all_of(rxBuffer + 3, rxBuffer + kRxBufferSize, [](std::uint8_t b) { return b == 0; }));

    EXPECT_EQ(ReceivePending(console), 0u);
    EXPECT_TRUE(std::all_of(rxBuffer, rxBuffer + kRxBufferSize, [](std::uint8_t b) { return b == 0; }));

    line.Arrive(Bytes(3000, 0x55));
    EXPECT_EQ(ReceivePending(console), kRxBufferSize);
    EXPECT_EQ(ReceivePending(console), 0u);  // the rest went with the purge
}

TEST_F(SerialChannel, ReceivePendingOnAClosedPortGivesNothing)
{
    line.Arrive({1, 2, 3});
    EXPECT_EQ(ReceivePending(console), 0u);
    EXPECT_TRUE(view.log.empty());
}

TEST_F(SerialChannel, SendFrameWritesEightBytesAndReportsAFailedWrite)
{
    OpenPort();
    const std::uint8_t frame[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_TRUE(SendFrame(console, frame));
    EXPECT_EQ(line.written, (std::vector<Bytes>{{1, 2, 3, 4, 5, 6, 7, 8}}));
    EXPECT_TRUE(view.log.empty());

    line.writeSucceeds = false;
    EXPECT_FALSE(SendFrame(console, frame));
    EXPECT_EQ(view.log, (std::vector<LogLine>{{"写串口失败", false}}));
}
