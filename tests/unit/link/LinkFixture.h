// A dialog, serial line and port system of fakes wired into a Console, starting as the dialog does:
// port closed, initial input texts, link state zero.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "Fakes.h"
#include "console/Commands.h"
#include "link/Crc.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "link/Transactions.h"
#include "ports/FakePortSystem.h"
#include "ports/SerInfo.h"
#include "res/resource.h"
#include "view/Buttons.h"
#include "view/Captions.h"
#include "view/Console.h"

// The frame with its CRC appended, low byte first.
inline Bytes WithCrc(Bytes frame)
{
    const std::uint16_t crc = Crc16Modbus(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// A sensor's answer to a read of its eight registers.
inline Bytes ReadAnswer(std::uint8_t address, std::initializer_list<std::uint16_t> registers)
{
    Bytes frame = {address, 0x03, 0x10};
    for (std::uint16_t value : registers) {
        frame.push_back(static_cast<std::uint8_t>(value >> 8));
        frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    return WithCrc(frame);
}

// The registers of the worked example: 23.5, 45.6, -1.5, 0.0, address 5, type 1A, versions 10 and 12.
inline Bytes ExampleAnswer(std::uint8_t address = 5)
{
    return ReadAnswer(address, {0x00EB, 0x01C8, 0x800F, 0x0000, 5, 0x1A, 0x10, 0x12});
}

constexpr int kCommandButtons[] = {IDC_CONTINUOUS_BUTTON, IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON,
                                   IDC_READ_BUTTON};
const std::vector<bool> kAllEnabled = {true, true, true, true};
const std::vector<bool> kAllDisabled = {false, false, false, false};
const std::vector<bool> kOnlyContinuousEnabled = {true, false, false, false};

class LinkFixture : public ::testing::Test {
protected:
    FakeView view;
    FakeLine line;
    FakePortSystem ports;
    Console console{view, line, ports};

    // Also starts a test's next case afresh.
    void SetUp() override
    {
        view = FakeView();
        line = FakeLine();
        ports = FakePortSystem();
        ResetLinkState();
        portList.RemoveAll();
        view.texts = {{IDC_OPEN_BUTTON, kOpenPortCaption},  {IDC_CONTINUOUS_BUTTON, kStartContinuousCaption},
                      {IDC_SENSOR_ADDRESS_EDIT, "1"},       {IDC_RANGE_FROM_EDIT, "1"},
                      {IDC_RANGE_TO_EDIT, "2"},             {IDC_TEMP_OFFSET_INPUT, "0"},
                      {IDC_HUM_OFFSET_INPUT, "0"}};
        for (int id : kCommandButtons) view.enabled[id] = false;
    }

    // One port listed as the drop-down shows it, its entry selected.
    void ListPort(const std::string& portName, const std::string& friendlyName)
    {
        SSerInfo record{"\\\\.\\" + portName, portName, friendlyName, 0, ""};
        portList.Add(record);
        view.AddPortEntry(PortEntryText(record));
        view.SelectPortEntry(static_cast<int>(view.portEntries.size()) - 1);
    }

    // COM3 opened, its lines and the calls it made forgotten.
    void OpenPort()
    {
        ListPort("COM3", "Communications Port (COM3)");
        OnOpenClicked(console);
        ASSERT_EQ(view.ControlText(IDC_OPEN_BUTTON), kClosePortCaption);
        Forget();
    }

    void Forget()
    {
        view.log.clear();
        view.enableEvents.clear();
        view.timerEvents.clear();
        line.calls.clear();
        line.written.clear();
    }

    // A tick of a running window timer.
    void Tick(unsigned timerId)
    {
        ASSERT_TRUE(view.TimerRunning(timerId)) << "timer " << timerId;
        AdvanceExchange(console, timerId);
    }

    std::vector<bool> CommandButtonStates() const
    {
        std::vector<bool> states;
        for (int id : kCommandButtons) states.push_back(view.IsEnabled(id));
        return states;
    }

    Bytes LastWritten() const { return line.written.empty() ? Bytes() : line.written.back(); }
};
