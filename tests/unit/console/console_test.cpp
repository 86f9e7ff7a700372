// Decisions Tarvik.exe under Wine cannot be driven to: a refused close, edges of buffers and inputs.
#include <gtest/gtest.h>

#include "FreshProgramTest.h"
#include "console/Commands.h"
#include "console/InputRules.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "link/SerialLine.h"
#include "link/Transactions.h"
#include "ports/FakePortSystem.h"
#include "res/resource.h"
#include "view/Captions.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Name(int id)
{
#define NAMED(id) {id, #id}
    static const std::map<int, std::string> names = {NAMED(IDC_PORT_COMBO), NAMED(IDC_OPEN_BUTTON), NAMED(IDC_READ_BUTTON),
        NAMED(IDC_CONTINUOUS_BUTTON), NAMED(IDC_SET_TEMP_OFFSET_BUTTON), NAMED(IDC_SET_HUM_OFFSET_BUTTON)};
    return names.count(id) ? names.at(id) : std::to_string(id);
}

// The dialog and the serial line, noting what the core asks of them in one list, in order.
class Fakes : public ConsoleView, public SerialLine {
public:
    Strings events, entries;
    std::map<int, std::string> texts = {{IDC_OPEN_BUTTON, kOpenPortCaption}, {IDC_SENSOR_ADDRESS_EDIT, "5"}};
    int selected = -1;
    bool closeSucceeds = true;
    Bytes waiting;

    std::string ControlText(int id) const override { return texts.count(id) ? texts.at(id) : ""; }
    void SetControlText(int id, const std::string& text) override { Note("text " + Name(id) + " " + (texts[id] = text)); }
    void ReplaceEditText(int id, const std::string& text) override { SetControlText(id, text); }
    void EnableControl(int id, bool enable) override { Note((enable ? "enable " : "disable ") + Name(id)); }
    void AppendLog(const std::string& text, bool clearFirst) override { Note((clearFirst ? "log! " : "log ") + text); }
    void AppendLogWithSystemText(const std::string& lead, const std::string& systemText, const std::string& tail) override
    {
        Note("log " + lead + systemText + tail);
    }
    void StartTimer(unsigned id, unsigned ms) override { Note("start " + std::to_string(id) + " " + std::to_string(ms)); }
    void StopTimer(unsigned id) override { Note("stop " + std::to_string(id)); }
    void ResetPortEntries() override { entries.clear(); }
    void AddPortEntry(const std::string& text) override { entries.push_back(text); }
    void SelectPortEntry(int index) override { selected = index; }
    int SelectedPortEntry() const override { return selected; }
    std::string PortEntryText(int index) const override { return entries.at(std::size_t(index)); }

    std::string refusedSetUp;  // the one set-up call the system refuses

    bool Open(const std::string& path) override { return Note("line open " + path), true; }
    bool SetQueueSizes() override { return SetUp("queues"); }
    bool SetTimeouts() override { return SetUp("timeouts"); }
    bool GetLineState() override { return SetUp("get state"); }
    bool SetLineState() override { return SetUp("set state"); }
    bool Purge() override { return SetUp("purge"); }
    bool Close() override { return Note("line close"), closeSucceeds; }
    bool Write(const std::uint8_t*, std::size_t length) override { return Note("line write " + std::to_string(length)), true; }
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) override
    {
        const std::size_t count = std::min(capacity, waiting.size());
        std::copy_n(waiting.begin(), count, buffer);
        waiting.clear();  // the purge after the read
        return Note("line read"), count;
    }
    std::size_t ReadArrived(std::uint8_t*, std::size_t, unsigned) override { return 0; }  // the dialog never waits
    bool Lost() const override { return false; }

private:
    void Note(const std::string& event) { events.push_back(event); }
    bool SetUp(const std::string& call) { return Note("line " + call), call != refusedSetUp; }
};

class ConsoleTest : public FreshProgramTest {
protected:
    Fakes fakes;
    FakePortSystem ports;
    Console console{fakes, fakes, ports};
};

class InputRules : public FreshProgramTest {};

}  // namespace

TEST_F(ConsoleTest, AClosingTheSystemRefusesLeavesThePortOpenAndEveryControlAsItWas)
{
    fakes.texts[IDC_OPEN_BUTTON] = kClosePortCaption, fakes.entries = {"COM3-->COM3"}, fakes.selected = 0;
    fakes.closeSucceeds = false;
    OnOpenClicked(console);
    EXPECT_EQ(fakes.events, (Strings{"line close", "log 关闭COM3失败"}));
}

// Each call the port refuses ends the set-up: the port is closed again and stays closed.
TEST_F(ConsoleTest, APortThatRefusesASetUpCallIsClosedAgain)
{
    const Strings setUp = {"line queues", "line timeouts", "line get state", "line set state", "line purge"};
    portList.RemoveAll();
    SSerInfo com3{"\\\\.\\COM3", "COM3", "COM3", 0, "COM3"};
    portList.Add(com3);
    for (std::size_t refused = 0; refused < setUp.size(); ++refused) {
        fakes.events.clear(), fakes.entries = {"COM3-->COM3"}, fakes.selected = 0;
        fakes.refusedSetUp = setUp[refused].substr(5);
        OnOpenClicked(console);
        Strings expected = {"line open \\\\.\\COM3"};
        expected.insert(expected.end(), setUp.begin(), setUp.begin() + std::ptrdiff_t(refused) + 1);
        expected.insert(expected.end(), {"line close", "log 打开COM失败!"});
        EXPECT_EQ(fakes.events, expected);
        EXPECT_EQ(fakes.texts[IDC_OPEN_BUTTON], kOpenPortCaption);
    }
}

TEST_F(ConsoleTest, OpeningWithoutTheSelectedEntrysRecordRaisesTheInvalidArgumentError)
{
    for (int entryCount : {0, 1}) {
        SCOPED_TRACE(entryCount ? "an entry whose record went with a refresh" : "no selection");
        portList.RemoveAll();
        fakes.entries.assign(std::size_t(entryCount), "COM9-->COM9"), fakes.selected = entryCount - 1;
        EXPECT_THROW(OnOpenClicked(console), CInvalidArgException);
        EXPECT_EQ(fakes.events, Strings{});
    }
}

// Each tick drains the port before the request (the Win32 line purges before each write too, so only here
// does the drain show) and counts the period afresh; a window timer would go on firing without that.
TEST_F(ConsoleTest, AContinuousTickDrainsThePortSendsTheNextRequestAndRestartsThePeriod)
{
    fakes.texts = {{IDC_CONTINUOUS_BUTTON, kStartContinuousCaption}, {IDC_RANGE_FROM_EDIT, "1"}, {IDC_RANGE_TO_EDIT, "2"}};
    OnContinuousClicked(console);
    AdvanceExchange(console, kContinuousTimer);
    EXPECT_EQ(Strings(fakes.events.end() - 4, fakes.events.end()),
              (Strings{"line read", "line write 8", "start 1 200", "start 2 1000"}));
}

// Closing in a run whose read is awaited stops all three timers: the tick guard would ignore them, but a
// window timer left running fires for nothing until the program ends.
TEST_F(ConsoleTest, ClosingStopsEveryTimer)
{
    fakes.texts = {{IDC_OPEN_BUTTON, kClosePortCaption}, {IDC_CONTINUOUS_BUTTON, kStartContinuousCaption},
                   {IDC_RANGE_FROM_EDIT, "1"}, {IDC_RANGE_TO_EDIT, "2"}};
    fakes.entries = {"COM3-->COM3"}, fakes.selected = 0;
    OnContinuousClicked(console);
    OnOpenClicked(console);
    const auto closed = std::find(fakes.events.begin(), fakes.events.end(), "line close");
    for (const char* stop : {"stop 1", "stop 2", "stop 3"})
        EXPECT_EQ(std::count(closed, fakes.events.end(), stop), 1) << stop;
}

// Ticks of other ids, and of link timers that no exchange or run waits for any more (one already on
// its way when the port closed), change nothing.
TEST_F(ConsoleTest, TicksNothingWaitsForChangeNothing)
{
    fakes.waiting = Bytes(21, 1);
    for (unsigned id : {0u, 1u, 2u, 3u, 4u}) AdvanceExchange(console, id);
    EXPECT_EQ(fakes.events, Strings{});
}

TEST_F(ConsoleTest, ReceivePendingTakesOneBatchOfAtMost2048BytesIntoAZeroedBuffer)
{
    fakes.waiting = Bytes(30, 0xAA);
    EXPECT_EQ(ReceivePending(console), 30u);
    fakes.waiting = {1, 2, 3};
    EXPECT_EQ(ReceivePending(console), 3u);
    EXPECT_EQ(Bytes(rxBuffer, rxBuffer + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(Bytes(rxBuffer + 3, rxBuffer + kRxBufferSize), Bytes(kRxBufferSize - 3, 0));
    fakes.waiting = Bytes(3000, 0x55);
    EXPECT_EQ(ReceivePending(console), kRxBufferSize);
}

// An address is digits only and an offset holds a digit (pasted letters, blanks, "-", "." or "-." state
// no number); then atof's number truncated toward zero, in range; no text reaches an integer conversion
// out of range, and only atof's decimal grammar is read: no hexadecimal, infinity or not-a-number form.
TEST_F(InputRules, TextsGiveTheirTruncatedValueWithinTheRange)
{
    const InputRule& address = kSensorAddressRule;
    const std::tuple<const InputRule&, const char*, std::optional<int>> cases[] = {
        {address, "00", 0}, {address, "-0.9", {}}, {address, "63.9", {}}, {address, "nan", {}}, {address, "ab", {}},
        {address, " 7", {}}, {address, "1e1", {}}, {address, "4294967296", {}}, {kTempOffsetRule, "2.55", 25},
        {kTempOffsetRule, ".5", 5}, {kTempOffsetRule, "-0.05", 0}, {kTempOffsetRule, "-", {}},
        {kTempOffsetRule, ".", {}}, {kHumOffsetRule, "-.", {}}, {kTempOffsetRule, "1e99999", {}},
        {kTempOffsetRule, "0x3", {}}, {kTempOffsetRule, "nan1", {}}, {kTempOffsetRule, "inf1", {}}};
    for (const auto& [rule, text, value] : cases) {
        Fakes view;
        view.texts[rule.controlId] = text;
        EXPECT_EQ(ValidateInput(view, rule), value) << text;
    }
    for (const char* text : {"0x3", "nan1", "inf1", "infinity", " -0x1p3"}) EXPECT_EQ(ParseNumber(text), 0.0) << text;
}
