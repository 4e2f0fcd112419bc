#include <windows.h>

#include <gtest/gtest.h>

// The Wine prefix runs with code page 932; every Japanese text depends on it.
TEST(WineEnvironment, AnsiCodePageIs932) { EXPECT_EQ(GetACP(), 932u); }
