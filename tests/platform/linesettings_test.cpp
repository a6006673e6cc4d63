// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linesettings.h"

#include <gtest/gtest.h>

#include <ostream>

using kestavo::platform::LineSettings;
using kestavo::platform::parseLineSettings;

namespace
{

struct Good {
    const char* text;
    LineSettings expected;
};

void PrintTo(const Good& c, std::ostream* os)
{
    *os << c.text;
}

class LineSettingsParse : public ::testing::TestWithParam<Good>
{
};

TEST_P(LineSettingsParse, ReadsEachField)
{
    const auto parsed = parseLineSettings(QString::fromLatin1(GetParam().text));
    ASSERT_TRUE(parsed.has_value()) << GetParam().text;
    EXPECT_EQ(*parsed, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, LineSettingsParse,
    ::testing::Values(
        Good{"4800,n,8,1", {4800, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop}},
        Good{"9600,E,7,2",
             {9600, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop}},
        Good{"110,o,5,1.5",
             {110, QSerialPort::OddParity, QSerialPort::Data5, QSerialPort::OneAndHalfStop}},
        Good{"19200,m,6,1",
             {19200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop}},
        Good{"115200,s,8,2",
             {115200, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::TwoStop}}));

class LineSettingsReject : public ::testing::TestWithParam<const char*>
{
};

TEST_P(LineSettingsReject, RefusesMalformedText)
{
    EXPECT_FALSE(parseLineSettings(QString::fromLatin1(GetParam())).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Rejected, LineSettingsReject,
                         ::testing::Values("", "4800", "4800,n,8", "4800,n,8,1,1", "0,n,8,1",
                                           "-4800,n,8,1", "+4800,n,8,1", "48x0,n,8,1", "4800,x,8,1",
                                           "4800,n,9,1", "4800,n,4,1", "4800,n,8,3", "4800,n,8,1.0",
                                           " 4800,n,8,1", "4800,,8,1", "99999999999,n,8,1"));

} // namespace
