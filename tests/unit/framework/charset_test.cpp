#include <gtest/gtest.h>

#include <string>

// A build without the code page 936 execution charset would show UTF-8 bytes as garbage on screen.
TEST(Charset, ProgramTextsAreCodePage936)
{
    const std::string open = "打开串口";
    EXPECT_EQ(open, "\xB4\xF2\xBF\xAA\xB4\xAE\xBF\xDA");
    EXPECT_EQ(std::string("℃"), "\xA1\xE6");
}
