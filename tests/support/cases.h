// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

// How table-driven cases print and what their tests are called, so that
// gtest shows a case by what it is instead of its raw bytes, the same on
// every build.
namespace kestavo::test
{

// A test name made of words: each word starts with a capital, anything but
// letters and digits goes ("4800 baud, no parity" gives "4800BaudNoParity");
// "None" when nothing is left.
[[nodiscard]] std::string testName(std::string_view words);

// Text between double quotes, with CR, LF, tab and other control bytes
// escaped.
void printText(std::string_view text, std::ostream* os);

// A case that carries its own name.
template <typename Case>
concept NamedCase = requires(const Case& c)
{
    std::string_view(c.name);
};

// Brought into a test file's namespace with `using kestavo::test::PrintTo;`,
// where gtest's lookup finds it for that file's named cases.
template <NamedCase Case> void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

// INSTANTIATE_TEST_SUITE_P's name generator for named cases.
struct ByName {
    template <NamedCase Case>
    [[nodiscard]] std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return testName(info.param.name);
    }
};

} // namespace kestavo::test
