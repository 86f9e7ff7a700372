// What the fuzz targets share: a reader of the fuzzer's bytes, a Modbus CRC of their own (table driven,
// unlike the program's), and the dialog's engine on the unit tests' fakes with COM3 open.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>

#include "Fakes.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "ports/FakePortSystem.h"
#include "res/resource.h"
#include "view/Captions.h"
#include "view/Console.h"

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

inline Bytes Sealed(Bytes frame)
{
    static const auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k) c = c >> 1 ^ (c & 1 ? 0xA001 : 0);
            t[i] = static_cast<std::uint16_t>(c);
        }
        return t;
    }();
    unsigned crc = 0xFFFF;
    for (std::uint8_t b : frame) crc = crc >> 8 ^ table[(crc ^ b) & 0xFF];
    frame.insert(frame.end(), {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)});
    return frame;
}

inline bool SealOk(const Bytes& frame)
{
    return frame.size() >= 2 && Sealed(Bytes(frame.begin(), frame.end() - 2)) == frame;
}

struct Rig {
    FakeView view;
    FakeLine line;
    FakePortSystem ports;
    Console console{view, line, ports};
    Rig()
    {
        ResetLinkState();
        portList.RemoveAll();
        SSerInfo port{"\\\\.\\COM3", "COM3", "COM3", 0, ""};
        portList.Add(port);
        view.AddPortEntry("COM3-->COM3");
        view.SelectPortEntry(0);
        view.texts = {{IDC_OPEN_BUTTON, kOpenPortCaption}, {IDC_CONTINUOUS_BUTTON, kStartContinuousCaption}};
        OnOpenClicked(console);
        view.log.clear();
    }
};
