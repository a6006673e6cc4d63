// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion.h"

#include "runtimeerror.h"

#include <QString>

#include <algorithm>
#include <string>

namespace kestavo::platform
{
namespace
{

constexpr long long kInt16Min = -32768;
constexpr long long kInt16Max = 32767;
// Any magnitude with more integer digits than this is an overflow already;
// it keeps the arithmetic below far from long long's limits.
constexpr std::size_t kMaxIntegerDigits = 6;
// Exponents are clamped to this; beyond it the result is 0 or an overflow.
constexpr long long kExponentClamp = 100000;

[[nodiscard]] bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

[[nodiscard]] bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

[[noreturn]] void typeMismatch(QStringView text)
{
    throw RuntimeError(
        ErrorNumber::TypeMismatch,
        QStringLiteral("Type mismatch: \"%1\" is not a number.").arg(visibleText(text)));
}

[[noreturn]] void overflow(QStringView text)
{
    throw RuntimeError(ErrorNumber::Overflow,
                       QStringLiteral("Overflow: %1 is outside the range -32768 to 32767.")
                           .arg(visibleText(text.trimmed())));
}

} // namespace

std::int16_t textToInt16(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    qsizetype i = begin;
    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    // All the significant digits, integer and fraction part together, and
    // where the decimal point sits among them.
    std::string digits;
    long long pointPosition = 0;
    bool sawDigit = false;
    while (i < end && isDigit(text[i])) {
        digits.push_back(static_cast<char>(text[i].unicode()));
        ++pointPosition;
        ++i;
        sawDigit = true;
    }
    if (i < end && text[i] == u'.') {
        ++i;
        while (i < end && isDigit(text[i])) {
            digits.push_back(static_cast<char>(text[i].unicode()));
            ++i;
            sawDigit = true;
        }
    }
    if (!sawDigit)
        typeMismatch(text);

    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i >= end || !isDigit(text[i]))
            typeMismatch(text);
        long long exponent = 0;
        while (i < end && isDigit(text[i])) {
            if (exponent < kExponentClamp)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
            ++i;
        }
        pointPosition += negativeExponent ? -exponent : exponent;
    }
    if (i != end)
        typeMismatch(text);

    // Drop leading zeros so the count of integer digits means something.
    std::size_t firstNonZero = digits.find_first_not_of('0');
    if (firstNonZero == std::string::npos)
        return 0;
    digits.erase(0, firstNonZero);
    pointPosition -= static_cast<long long>(firstNonZero);

    if (pointPosition > static_cast<long long>(kMaxIntegerDigits))
        overflow(text);

    long long magnitude = 0;
    for (long long k = 0; k < pointPosition; ++k) {
        const auto index = static_cast<std::size_t>(k);
        magnitude = magnitude * 10 + (index < digits.size() ? digits[index] - '0' : 0);
    }

    // The fraction starts at pointPosition (which may be negative: leading
    // zeros of the fraction that are not in the digit string).
    const long long fractionStart = pointPosition;
    auto fractionDigit = [&](long long k) -> int {
        if (k < 0 || k >= static_cast<long long>(digits.size()))
            return 0;
        return digits[static_cast<std::size_t>(k)] - '0';
    };
    const int firstFraction = fractionDigit(fractionStart);
    bool restNonZero = false;
    for (long long k = std::max(fractionStart + 1, 0LL); k < static_cast<long long>(digits.size());
         ++k) {
        if (digits[static_cast<std::size_t>(k)] != '0') {
            restNonZero = true;
            break;
        }
    }
    const bool roundUp = firstFraction > 5 || (firstFraction == 5 && restNonZero) ||
                         (firstFraction == 5 && !restNonZero && magnitude % 2 == 1);
    if (roundUp)
        ++magnitude;

    const long long value = negative ? -magnitude : magnitude;
    if (value < kInt16Min || value > kInt16Max)
        overflow(text);
    return static_cast<std::int16_t>(value);
}

QByteArray textToLineBytes(QStringView text)
{
    // QString::toLatin1() leaves the byte for an unmappable character
    // undefined, so the rule is spelled out here.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() <= 0xFF) {
            bytes.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
}

QString visibleText(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7f && code <= 0x9f))
            shown += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace kestavo::platform
