// Fakes of the dialog and the serial line for driving the core's commands and timer ticks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/SerialLine.h"
#include "view/ConsoleView.h"

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

using LogLine = std::pair<std::string, bool>;  // text, clearFirst
using Log = std::vector<LogLine>;

class FakeView : public ConsoleView {
public:
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;          // absent means enabled
    Strings enableEvents;                 // "enable 1002", "disable 1019", in order
    Log log;                              // every AppendLog call in order
    std::map<unsigned, unsigned> timers;  // running timers: id -> period
    Strings timerEvents;                  // "start 1 200", "stop 2", in order
    Strings portEntries;
    int selectedPort = -1;
    // Runs like the edit's EN_CHANGE: after every text change of a control, before the call returns.
    std::function<void(int controlId)> onTextChanged;

    std::string ControlText(int controlId) const override
    {
        return texts.count(controlId) ? texts.at(controlId) : std::string();
    }
    void SetControlText(int controlId, const std::string& text) override
    {
        texts[controlId] = text;
        if (onTextChanged) onTextChanged(controlId);
    }
    void ReplaceEditText(int controlId, const std::string& text) override { texts[controlId] = text; }
    void EnableControl(int controlId, bool enable) override
    {
        enabled[controlId] = enable;
        enableEvents.push_back((enable ? "enable " : "disable ") + std::to_string(controlId));
    }
    bool IsEnabled(int controlId) const { return !enabled.count(controlId) || enabled.at(controlId); }

    void AppendLog(const std::string& text, bool clearFirst) override { log.push_back({text, clearFirst}); }

    void StartTimer(unsigned timerId, unsigned periodMs) override
    {
        timers[timerId] = periodMs;
        timerEvents.push_back("start " + std::to_string(timerId) + " " + std::to_string(periodMs));
    }
    void StopTimer(unsigned timerId) override
    {
        timers.erase(timerId);
        timerEvents.push_back("stop " + std::to_string(timerId));
    }
    bool TimerRunning(unsigned timerId) const { return timers.count(timerId) != 0; }

    void ResetPortEntries() override
    {
        portEntries.clear();
        selectedPort = -1;
    }
    void AddPortEntry(const std::string& text) override { portEntries.push_back(text); }
    void SelectPortEntry(int index) override
    {
        selectedPort = (index >= 0 && index < static_cast<int>(portEntries.size())) ? index : -1;
    }
    int SelectedPortEntry() const override { return selectedPort; }
    std::string PortEntryText(int index) const override { return portEntries.at(static_cast<std::size_t>(index)); }
};

class FakeLine : public SerialLine {
public:
    bool openSucceeds = true;
    bool closeSucceeds = true;
    bool writeSucceeds = true;
    bool isOpen = false;
    std::vector<Bytes> written;       // every frame written, in order
    Bytes waiting;                     // bytes in the input queue
    Strings calls;                     // "open <path>", "settings", "close", "write", "read", in order

    bool Open(const std::string& devicePath) override
    {
        calls.push_back("open " + devicePath);
        return isOpen = openSucceeds;
    }
    void ApplyLineSettings() override { calls.push_back("settings"); }
    bool Close() override
    {
        calls.push_back("close");
        if (closeSucceeds) isOpen = false;
        return closeSucceeds;
    }
    bool Write(const std::uint8_t* bytes, std::size_t length) override
    {
        calls.push_back("write");
        if (!isOpen || !writeSucceeds) return false;
        written.emplace_back(bytes, bytes + length);
        return true;
    }
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) override
    {
        calls.push_back("read");
        if (!isOpen) return 0;
        const std::size_t count = std::min(capacity, waiting.size());
        std::copy_n(waiting.begin(), count, buffer);
        waiting.clear();  // the purge after the read
        return count;
    }
    void Arrive(const Bytes& bytes) { waiting.insert(waiting.end(), bytes.begin(), bytes.end()); }
};
