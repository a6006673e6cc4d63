// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/conversion.h"
#include "platform/runtimeerror.h"

#include "support/cases.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>

using kestavo::platform::ErrorNumber;
using kestavo::platform::textToInt16;
using kestavo::platform::textToLineBytes;
using kestavo::platform::visibleText;
using kestavo::test::raised;

namespace
{

struct Case {
    const char16_t* text;
    std::optional<int> value;                  // the result, or
    ErrorNumber error = ErrorNumber::Internal; // the error when there is none
};

void PrintTo(const Case& c, std::ostream* os)
{
    kestavo::test::printText(QString::fromUtf16(c.text).toStdString(), os);
}

class TextToInt16 : public ::testing::TestWithParam<Case>
{
};

TEST_P(TextToInt16, ConvertsOrRaises)
{
    const Case& c = GetParam();
    const QString text = QString::fromUtf16(c.text);
    if (c.value) {
        EXPECT_EQ(textToInt16(text), *c.value) << text.toStdString();
        return;
    }
    const auto error = raised([&] { (void)textToInt16(text); });
    ASSERT_TRUE(error) << text.toStdString();
    EXPECT_EQ(error->number(), c.error) << text.toStdString();
    EXPECT_FALSE(error->description().isEmpty());
}

constexpr ErrorNumber kMismatch = ErrorNumber::TypeMismatch;
constexpr ErrorNumber kOverflow = ErrorNumber::Overflow;

INSTANTIATE_TEST_SUITE_P(
    Table, TextToInt16,
    ::testing::Values(
        // plain numbers and blanks around them
        Case{u"3", 3}, Case{u" 7 ", 7}, Case{u"\t5\t", 5}, Case{u"-12", -12}, Case{u"+4", 4},
        Case{u"0007", 7}, Case{u"-0", 0}, Case{u"32767", 32767}, Case{u"-32768", -32768},
        // halves go to the even neighbour, everything else to the nearest
        Case{u"2.5", 2}, Case{u"3.5", 4}, Case{u"-2.5", -2}, Case{u"-3.5", -4}, Case{u"0.5", 0},
        Case{u".5", 0}, Case{u"1.5", 2}, Case{u"2.4999", 2}, Case{u"2.51", 3},
        Case{u"2.5000000000000001", 3}, Case{u"1.", 1}, Case{u"0.005", 0}, Case{u"-0.6", -1},
        // exponents
        Case{u"1e2", 100}, Case{u"2.5E1", 25}, Case{u"15e-1", 2}, Case{u"1e-99999999", 0},
        // the edges of the range, after rounding
        Case{u"32767.4", 32767}, Case{u"-32768.5", -32768},
        Case{u"32767.5", std::nullopt, kOverflow}, Case{u"32768", std::nullopt, kOverflow},
        Case{u"-32769", std::nullopt, kOverflow}, Case{u"-32768.51", std::nullopt, kOverflow},
        Case{u"1e5", std::nullopt, kOverflow},
        Case{u"99999999999999999999", std::nullopt, kOverflow},
        Case{u"1e99999999999", std::nullopt, kOverflow},
        // not numbers
        Case{u"", std::nullopt, kMismatch}, Case{u" ", std::nullopt, kMismatch},
        Case{u"abc", std::nullopt, kMismatch}, Case{u"3x", std::nullopt, kMismatch},
        Case{u"COM3", std::nullopt, kMismatch}, Case{u"3 4", std::nullopt, kMismatch},
        Case{u".", std::nullopt, kMismatch}, Case{u"-", std::nullopt, kMismatch},
        Case{u"1e", std::nullopt, kMismatch}, Case{u"1,5", std::nullopt, kMismatch},
        Case{u"\u0663", std::nullopt, kMismatch}, Case{u"3\r\n", std::nullopt, kMismatch}));

// Bytes on the line: Latin-1 one for one, "?" for each character without an
// 8-bit code.
TEST(TextToLineBytes, OneBytePerCharacter)
{
    const struct {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QStringLiteral("AP1180\r"), QByteArray("AP1180\r")},
        {QString(), QByteArray()},
        {QStringLiteral("AP1180\u00B0\r"), QByteArray("\x41\x50\x31\x31\x38\x30\xB0\x0D")},
        {QStringLiteral("AP19\u20AC\r"), QByteArray("\x41\x50\x31\x39\x3F\x0D")},
        {QStringLiteral("\u00FF\u0100"), QByteArray("\xFF?")},
        {QString(QChar(0)) + QChar(0x7F), QByteArray("\x00\x7F", 2)},
        // One character outside the BMP is one "?", not two.
        {QStringLiteral("1\U0001F600 2"), QByteArray("1? 2")},
        // A stray half of a surrogate pair has no 8-bit code either.
        {QString(QChar(0xD83D)) + u'5', QByteArray("?5")},
        {QString(QChar(0xDE00)), QByteArray("?")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textToLineBytes(c.text).toHex(' '), c.bytes.toHex(' ')) << c.text.toStdString();
}

// Hostile text from files and the system: every control character shows as
// \xNN and nothing else changes.
TEST(VisibleText, ShowsEveryControlCharacter)
{
    const struct {
        QString text;
        QString shown;
    } cases[] = {
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB0")},
        {QStringLiteral("\x1b[2J\x1b]0;owned\x07"), QStringLiteral("\\x1b[2J\\x1b]0;owned\\x07")},
        {QString(QChar(0)) + u'3', QStringLiteral("\\x003")},
        {QStringLiteral("a\tb\r\n"), QStringLiteral("a\\x09b\\x0d\\x0a")},
        {QStringLiteral(" ~\x7f"), QStringLiteral(" ~\\x7f")},
        // C1 controls, such as CSI (0x9B), act like ESC [ on many terminals.
        {QStringLiteral("\u0080\u009b2J\u009f"), QStringLiteral("\\x80\\x9b2J\\x9f")},
        // Printable Latin-1 and beyond stay as they are.
        {QStringLiteral("\u00a0\u00b0\u00ff\u20ac"), QStringLiteral("\u00a0\u00b0\u00ff\u20ac")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(visibleText(c.text), c.shown) << c.shown.toStdString();
}

} // namespace
