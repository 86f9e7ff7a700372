// The program keeps its state in globals, as at its start only once per run; each test that reaches them
// starts from those start values, so the tests hold in any order (ctest runs them shuffled).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "console/InputRules.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "ports/SerInfo.h"

class FreshProgramTest : public ::testing::Test {
protected:
    FreshProgramTest()
    {
        ResetLinkState();
        std::fill(std::begin(rxBuffer), std::end(rxBuffer), std::uint8_t{0});
        portList.RemoveAll();
        inputText.clear();
        inputValue = 0;
    }
};
