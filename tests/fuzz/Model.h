// What the fuzz targets share: a reader of the fuzzer's bytes, the Modbus CRC of the other peer, and the
// dialog's engine on the unit tests' fakes with COM3 open.
#pragma once

#include <cstdio>
#include <cstdlib>

#include <functional>
#include <map>

#include "link/Crc.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "link/SerialLine.h"
#include "ports/FakePortSystem.h"
#include "res/resource.h"
#include "tools/sim/Crc.h"
#include "view/Captions.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

using Bytes = std::vector<std::uint8_t>;
using Log = std::vector<std::pair<std::string, bool>>;  // text, clearFirst

#define ORACLE(holds) ((holds) ? (void)0 : (std::fprintf(stderr, "oracle: %s\n", #holds), std::abort()))

struct Input {  // zeros once spent
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Byte() { return size ? (--size, *data++) : 0; }
    Bytes Take(std::size_t count)
    {
        count = std::min(count, size);
        return data += count, size -= count, Bytes(data - count, data);
    }
};

using Crc = std::uint16_t (*)(const std::uint8_t*, std::size_t);

// A frame with the CRC of the peer that is not under test: the simulator's for the program's side, the
// program's for the simulator's (each written apart from the other).
inline Bytes Sealed(Bytes frame, Crc crc = sim::ModbusCrc)
{
    const std::uint16_t value = crc(frame.data(), frame.size());
    frame.insert(frame.end(), {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
    return frame;
}

inline bool SealOk(const Bytes& frame, Crc crc = sim::ModbusCrc)
{
    return frame.size() >= 2 && Sealed(Bytes(frame.begin(), frame.end() - 2), crc) == frame;
}

// The dialog and the serial line as the core sees them, keeping what it left in them, with COM3 open.
struct Rig : ConsoleView, SerialLine {
    std::map<int, std::string> texts{{IDC_OPEN_BUTTON, kOpenPortCaption}, {IDC_CONTINUOUS_BUTTON, kStartContinuousCaption}};
    std::map<int, bool> enabled;
    Log log;
    std::map<unsigned, unsigned> timers;
    std::vector<Bytes> written;
    Bytes waiting;
    std::function<void(int)> onTextChanged;  // as the edit's EN_CHANGE, before the change returns
    FakePortSystem ports;
    Console console{*this, *this, ports};

    Rig()
    {
        ResetLinkState();
        portList.RemoveAll();
        SSerInfo port{"\\\\.\\COM3", "COM3", "COM3", 0, ""};
        portList.Add(port);
        OnOpenClicked(console);
        log.clear();
    }
    std::string ControlText(int id) const override { return texts.count(id) ? texts.at(id) : ""; }
    void SetControlText(int id, const std::string& text) override { texts[id] = text, onTextChanged ? onTextChanged(id) : void(); }
    void ReplaceEditText(int id, const std::string& text) override { texts[id] = text; }
    void EnableControl(int id, bool enable) override { enabled[id] = enable; }
    void AppendLog(const std::string& text, bool clearFirst) override { log.push_back({text, clearFirst}); }
    void AppendLogWithSystemText(const std::string& lead, const std::string& text, const std::string& tail) override
    {
        log.push_back({lead + text + tail, false});
    }
    void StartTimer(unsigned id, unsigned ms) override { timers[id] = ms; }
    void StopTimer(unsigned id) override { timers.erase(id); }
    void ResetPortEntries() override {}
    void AddPortEntry(const std::string&) override {}
    void SelectPortEntry(int) override {}
    int SelectedPortEntry() const override { return 0; }
    std::string PortEntryText(int) const override { return "COM3-->COM3"; }
    bool Open(const std::string&) override { return true; }
    bool SetQueueSizes() override { return true; }
    bool SetTimeouts() override { return true; }
    bool GetLineState() override { return true; }
    bool SetLineState() override { return true; }
    bool Purge() override { return true; }
    bool Close() override { return true; }
    bool Write(const std::uint8_t* bytes, std::size_t length) override { return written.emplace_back(bytes, bytes + length), true; }
    std::size_t ReadWaiting(std::uint8_t* buffer, std::size_t capacity) override
    {
        const std::size_t count = std::min(capacity, waiting.size());
        std::copy_n(waiting.begin(), count, buffer);
        return waiting.clear(), count;  // the purge after the read
    }
    std::size_t ReadArrived(std::uint8_t*, std::size_t, unsigned) override { return 0; }  // the command-line tool's
    bool Lost() const override { return false; }  // the command-line tool's
    void Arrive(const Bytes& bytes) { waiting.insert(waiting.end(), bytes.begin(), bytes.end()); }
};
