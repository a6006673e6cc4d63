// SPDX-License-Identifier: GPL-3.0-or-later
// Randomised texts and port files against a reference written apart from the
// program's own conversion: a regular expression for what is a number and
// exact 128-bit integer arithmetic for the rounding, in two 64-bit halves,
// since 32-bit targets have no 128-bit integer type.
#include "platform/conversion.h"
#include "platform/files.h"
#include "platform/runtimeerror.h"
#include "support/testsupport.h"

#include <QDir>
#include <QString>

#include <gtest/gtest.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <utility>

using kestavo::platform::ErrorNumber;
using kestavo::platform::RuntimeError;
using kestavo::platform::SequentialFile;
using kestavo::platform::textToInt16;

namespace
{

// An unsigned 128-bit integer with the operations the reference uses, each
// exact modulo 2^128 as the built-in types are modulo their width.
class Wide
{
public:
    Wide(std::uint64_t value = 0) : m_low(value) {}

    // Member by member, the high half first: the order of the numbers.
    auto operator<=>(const Wide&) const = default;

    explicit operator int() const { return static_cast<int>(m_low); }

    friend Wide operator+(Wide a, Wide b)
    {
        const std::uint64_t low = a.m_low + b.m_low;
        return Wide(a.m_high + b.m_high + (low < a.m_low ? 1 : 0), low);
    }

    friend Wide operator-(Wide a, Wide b)
    {
        return Wide(a.m_high - b.m_high - (a.m_low < b.m_low ? 1 : 0), a.m_low - b.m_low);
    }

    // Shift and add, one bit of b at a time.
    friend Wide operator*(Wide a, Wide b)
    {
        Wide product;
        for (; b != 0; a = a + a, b = b.halved())
            if (b.m_low & 1)
                product = product + a;
        return product;
    }

    friend Wide operator/(Wide a, Wide b) { return divide(a, b).first; }
    friend Wide operator%(Wide a, Wide b) { return divide(a, b).second; }

    Wide& operator*=(Wide b) { return *this = *this * b; }
    Wide& operator++() { return *this = *this + 1; }

private:
    Wide(std::uint64_t high, std::uint64_t low) : m_high(high), m_low(low) {}

    [[nodiscard]] Wide halved() const { return Wide(m_high >> 1, (m_low >> 1) | (m_high << 63)); }

    // Long division, one bit of the dividend at a time: quotient, remainder.
    static std::pair<Wide, Wide> divide(Wide dividend, Wide divisor)
    {
        Wide quotient;
        Wide remainder;
        for (int bit = 127; bit >= 0; --bit) {
            const std::uint64_t half = bit >= 64 ? dividend.m_high : dividend.m_low;
            remainder = remainder + remainder + ((half >> (bit % 64)) & 1);
            quotient = quotient + quotient;
            if (remainder >= divisor) {
                remainder = remainder - divisor;
                ++quotient;
            }
        }
        return {quotient, remainder};
    }

    std::uint64_t m_high = 0;
    std::uint64_t m_low = 0;
};

constexpr int kTexts = 20000;
constexpr int kFiles = 1500;
constexpr std::uint32_t kSeed = 20261207;
constexpr std::size_t kWideDigits = 38; // 10^38 still fits in 128 bits

// No error: the outcome is a value.
constexpr auto kNoError = static_cast<ErrorNumber>(0);

struct Outcome {
    std::optional<int> value;
    ErrorNumber error = kNoError;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome)
{
    if (outcome.value)
        return out << *outcome.value;
    return out << "error " << static_cast<int>(outcome.error);
}

Outcome failure(ErrorNumber error)
{
    return {std::nullopt, error};
}

Wide powerOfTen(std::size_t exponent)
{
    Wide result = 1;
    for (std::size_t k = 0; k < exponent; ++k)
        result *= 10;
    return result;
}

// The reference: what text converts to, or which error it raises.
Outcome referenceConversion(const std::string& text)
{
    static const std::regex number(
        R"(^[ \t]*([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?[ \t]*$)");
    std::smatch parts;
    if (!std::regex_match(text, parts, number))
        return failure(ErrorNumber::TypeMismatch);
    const bool negative = parts[1] == "-";
    const std::string integer = parts[2];
    const std::string fraction = parts[3];
    if (integer.empty() && fraction.empty())
        return failure(ErrorNumber::TypeMismatch);

    std::string digits = integer + fraction;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty())
        return {0, kNoError};
    // The generators keep significant digits few enough for exact
    // arithmetic; a case outside that is a fault of this test.
    if (digits.size() > 30)
        return failure(ErrorNumber::Internal);
    Wide whole = 0;
    for (const char c : digits)
        whole = whole * 10 + static_cast<unsigned>(c - '0');

    std::string exponentText = parts[4];
    const bool negativeExponent = !exponentText.empty() && exponentText[0] == '-';
    if (!exponentText.empty() && (exponentText[0] == '-' || exponentText[0] == '+'))
        exponentText.erase(0, 1);
    exponentText.erase(0, std::min(exponentText.find_first_not_of('0'), exponentText.size()));
    if (exponentText.size() > 5) // a non-zero number times 10 to a huge power
        return negativeExponent ? Outcome{0, kNoError} : failure(ErrorNumber::Overflow);
    const long long exponent =
        (negativeExponent ? -1 : 1) * (exponentText.empty() ? 0 : std::stoll(exponentText));

    // value = whole / 10^scale
    const long long scale = static_cast<long long>(fraction.size()) - exponent;
    Wide magnitude = 0;
    if (scale <= 0) {
        if (static_cast<long long>(digits.size()) - scale > 6)
            return failure(ErrorNumber::Overflow);
        magnitude = whole * powerOfTen(static_cast<std::size_t>(-scale));
    } else if (static_cast<std::size_t>(scale) > kWideDigits) {
        magnitude = 0; // below 0.1
    } else {
        const Wide divisor = powerOfTen(static_cast<std::size_t>(scale));
        magnitude = whole / divisor;
        const Wide twiceRest = 2 * (whole % divisor);
        if (twiceRest > divisor || (twiceRest == divisor && magnitude % 2 == 1))
            ++magnitude;
    }
    if (magnitude > 32768 || (magnitude == 32768 && !negative))
        return failure(ErrorNumber::Overflow);
    const int value = static_cast<int>(magnitude);
    return {negative ? -value : value, kNoError};
}

Outcome programConversion(const std::string& text)
{
    try {
        return {textToInt16(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))),
                kNoError};
    } catch (const RuntimeError& error) {
        return failure(error.number());
    }
}

class TextSource
{
public:
    explicit TextSource(std::uint32_t seed) : m_random(seed) {}

    // Half well-formed numbers with every optional part, half characters
    // thrown together from what numbers are made of and a few that are not.
    std::string next() { return pick(2) == 0 ? shapedNumber() : scramble(pick(14)); }

    std::string digits(int maximum)
    {
        std::string text;
        for (int count = pick(maximum + 1); count > 0; --count)
            text.push_back(static_cast<char>('0' + pick(10)));
        return text;
    }

    std::string scramble(int length)
    {
        static const std::string alphabet = " \t+-.eE0123456789012345,x\v\xe9";
        std::string text;
        for (int k = 0; k < length; ++k)
            text.push_back(
                alphabet[static_cast<std::size_t>(pick(static_cast<int>(alphabet.size())))]);
        return text;
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }

private:
    std::string shapedNumber()
    {
        std::string text(static_cast<std::size_t>(pick(3)), ' ');
        text += std::string("+- ").substr(static_cast<std::size_t>(pick(3)), 1);
        if (text.back() == ' ')
            text.pop_back();
        // Leading zeros now and then, and magnitudes around the limits.
        if (pick(4) == 0)
            text += std::string(static_cast<std::size_t>(pick(4)), '0');
        text += pick(3) == 0 ? std::to_string(32766 + pick(4)) : digits(6);
        if (pick(2) == 0) {
            text += '.';
            text += pick(3) == 0 ? "5" + std::string(static_cast<std::size_t>(pick(6)), '0') +
                                       (pick(2) == 0 ? "" : "1")
                                 : digits(12);
        }
        if (pick(4) == 0) {
            text += "eE"[pick(2)];
            text += std::string("+-").substr(static_cast<std::size_t>(pick(3)), 1);
            text += std::to_string(pick(9));
        }
        text += std::string(static_cast<std::size_t>(pick(2)), '\t');
        return text;
    }

    std::mt19937 m_random;
};

std::string shown(const std::string& text)
{
    std::ostringstream out;
    out << '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f)
            out << "\\x" << std::hex << static_cast<int>(byte) << std::dec;
        else
            out << c;
    }
    return out.str() + '"';
}

TEST(ConversionFuzz, AgreesWithTheReferenceOnRandomTexts)
{
    TextSource source(kSeed);
    int disagreements = 0;
    for (int round = 0; round < kTexts; ++round) {
        const std::string text = source.next();
        const Outcome expected = referenceConversion(text);
        ASSERT_NE(expected.error, ErrorNumber::Internal)
            << "reference cannot judge " << shown(text);
        const Outcome actual = programConversion(text);
        if (actual != expected && ++disagreements <= 10)
            ADD_FAILURE() << shown(text) << ": program " << actual << ", reference " << expected;
    }
    EXPECT_EQ(disagreements, 0);
}

// The reference for the first item of Tavimer.ini: blanks skipped, closed by a
// comma or a line end, and only the file's first 4096 bytes looked at.
Outcome referenceFirstItem(const std::string& content)
{
    const std::size_t start = content.find_first_not_of(" \t");
    const std::size_t from = start == std::string::npos ? content.size() : start;
    const std::size_t end = content.find_first_of(",\r\n", from);
    const std::size_t stop = end == std::string::npos ? content.size() : end;
    if (stop >= 4096 && content.size() > 4096)
        return failure(ErrorNumber::FileItemNotANumber);
    const Outcome converted = referenceConversion(content.substr(from, stop - from));
    if (!converted.value && converted.error == ErrorNumber::TypeMismatch)
        return failure(ErrorNumber::FileItemNotANumber);
    return converted;
}

TEST(ConversionFuzz, ReadingRandomPortFilesAgreesWithTheReference)
{
    using namespace kestavo::test;
    ScratchWorkingDirectory scratch;
    const QString path = QDir(scratch.path()).filePath(QStringLiteral("Tavimer.ini"));
    TextSource source(kSeed + 1);
    int disagreements = 0;
    for (int round = 0; round < kFiles; ++round) {
        std::string content = source.next();
        content += std::string(",\r\n").substr(static_cast<std::size_t>(source.pick(4)), 1);
        content += source.scramble(source.pick(6));
        if (source.pick(50) == 0) // an item that runs past what is read
            content = std::string(4090 + static_cast<std::size_t>(source.pick(20)), ' ') + "1" +
                      source.digits(8) + "\r\n";
        writeFileBytes(path, QByteArray::fromStdString(content));

        const Outcome expected = referenceFirstItem(content);
        ASSERT_NE(expected.error, ErrorNumber::Internal)
            << "reference cannot judge " << shown(content);
        Outcome actual;
        try {
            SequentialFile file;
            file.open(QStringLiteral("Tavimer.ini"), SequentialFile::Mode::Input);
            actual = {file.readInt16Item(), kNoError};
        } catch (const RuntimeError& error) {
            actual = failure(error.number());
        }
        if (actual != expected && ++disagreements <= 10)
            ADD_FAILURE() << shown(content.substr(0, 60)) << ": program " << actual
                          << ", reference " << expected;
    }
    EXPECT_EQ(disagreements, 0);
}

} // namespace
