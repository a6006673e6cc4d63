// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX helpers the tests and tools share, and the cases' names.
#include "support/cases.h"
#include "support/posix.h"
#include "support/pseudoterminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <unistd.h>

using namespace kestavo::support;
using namespace std::chrono_literals;

namespace
{

TEST(PollTimeout, RoundsUpAndNeverGoesNegative)
{
    EXPECT_EQ(pollTimeout(1500us), 2);
    EXPECT_EQ(pollTimeout(2ms), 2);
    EXPECT_EQ(pollTimeout(0ms), 0);
    EXPECT_EQ(pollTimeout(-5ms), 0);
}

TEST(SystemErrorText, SaysWhatFailedWhyAndWhatToDo)
{
    EXPECT_EQ(errnoText(ENOENT), "No such file or directory");
    const SystemError error("Cannot open /dev/x", ENOENT, "Plug it in");
    EXPECT_STREQ(error.what(), "Cannot open /dev/x: No such file or directory. Plug it in");
    EXPECT_EQ(error.error(), ENOENT);
}

TEST(PseudoTerminal, CarriesBytesRawAndTimesOutWhenQuiet)
{
    PseudoTerminal line;
    EXPECT_EQ(line.waitForByte(20ms), std::nullopt);
    const std::string sent = "AP1180\r\nx\x03";
    ASSERT_EQ(::write(line.slaveFd(), sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    EXPECT_NE(line.waitForByte(1s), std::nullopt);
    EXPECT_EQ(line.read(4, 1s).substr(0, 4), "AP11") << "at least what was asked for";
    (void)line.drain();
    EXPECT_EQ(line.read(1, 20ms), "") << "nothing more arrived";
}

TEST(PseudoTerminal, AClosedMasterReadsNothing)
{
    PseudoTerminal line;
    line.closeMaster();
    EXPECT_EQ(line.masterFd(), -1);
    EXPECT_EQ(line.read(1, 10ms), "");
    EXPECT_EQ(line.drain(), "");
}

using kestavo::test::PrintTo;

struct NameCase {
    const char* words;
    const char* name;
};

class TestNames : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(TestNames, KeepOnlyLettersAndDigitsInCapitalisedWords)
{
    EXPECT_EQ(kestavo::test::testName(GetParam().words), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Words, TestNames,
                         ::testing::Values(NameCase{"4800 baud, no parity", "4800BaudNoParity"},
                                           NameCase{"--port=7 --rate=0.5", "Port7Rate05"},
                                           NameCase{"", "None"}, NameCase{"-- ,", "None"}),
                         [](const auto& test) { return "Case" + std::to_string(test.index); });

TEST(PrintText, QuotesAndEscapesControlBytes)
{
    std::ostringstream out;
    kestavo::test::printText(std::string("a\r\n\t\x01\x7f b", 8), &out);
    EXPECT_EQ(out.str(), "\"a\\r\\n\\t\\x01\\x7F b\"");
}

} // namespace
