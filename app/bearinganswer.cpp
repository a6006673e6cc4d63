// SPDX-License-Identifier: GPL-3.0-or-later
#include "bearinganswer.h"

#include "platform/constants.h"

#include <algorithm>
#include <cmath>

namespace kestavo::app
{
namespace
{

// A non-digit before "ddd.d;" is seven bytes at most; ";ddd" and a
// non-digit before "ddd;" five.
constexpr qsizetype kLongestTenthsAnswer = 7;
constexpr qsizetype kLongestAnswer = 5;

[[nodiscard]] bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

[[nodiscard]] std::optional<int> degreesIn(QByteArrayView digits)
{
    for (const char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
    }
    const int value = (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
    if (value > constants::kDegreesPerTurn)
        return std::nullopt;
    return (value % constants::kDegreesPerTurn) * kTenthsPerDegree;
}

} // namespace

std::optional<int> AnswerReader::take(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        m_tail += byte;
        if (m_tail.size() > (m_set == CommandSet::Tenths ? kLongestTenthsAnswer : kLongestAnswer)) {
            m_tail.remove(0, 1);
            m_fromStart = false;
        }
        if (const std::optional<int> answer = answerAtEnd()) {
            reset();
            return answer;
        }
    }
    return std::nullopt;
}

bool AnswerReader::boundedBefore(qsizetype i) const
{
    return i > 0 ? !isDigit(m_tail[i - 1]) : m_fromStart;
}

std::optional<int> AnswerReader::tenthsAtEnd() const
{
    const QByteArrayView tail(m_tail);
    const qsizetype size = tail.size();
    if (size < 4 || tail[size - 1] != constants::kAnswerMark || !isDigit(tail[size - 2]) ||
        tail[size - 3] != constants::kDecimalPoint)
        return std::nullopt;
    qsizetype front = size - 3;
    while (front > 0 && isDigit(tail[front - 1]) && size - 3 - front < constants::kHeadingDigits)
        --front;
    if (front == size - 3 || !boundedBefore(front))
        return std::nullopt;
    int value = 0;
    for (qsizetype i = front; i < size - 3; ++i)
        value = value * 10 + (tail[i] - '0');
    value = value * kTenthsPerDegree + (tail[size - 2] - '0');
    if (value > kTenthsPerTurn)
        return std::nullopt;
    return value % kTenthsPerTurn;
}

std::optional<int> AnswerReader::answerAtEnd() const
{
    if (m_set == CommandSet::Tenths)
        return tenthsAtEnd();
    const QByteArrayView tail(m_tail);
    const qsizetype size = tail.size();
    if (size < 4)
        return std::nullopt;
    if (tail[size - 4] == constants::kAnswerMark)
        return degreesIn(tail.sliced(size - 3));
    if (tail[size - 1] != constants::kAnswerMark)
        return std::nullopt;
    // "ddd;" must not be the end of a longer number, such as "1801;".
    return boundedBefore(size - 4) ? degreesIn(tail.sliced(size - 4, 3)) : std::nullopt;
}

void AnswerReader::reset()
{
    m_tail.clear();
    m_fromStart = true;
}

int wholeDegrees(int tenths)
{
    return (tenths + kTenthsPerDegree / 2) / kTenthsPerDegree % constants::kDegreesPerTurn;
}

double degreesApart(double a, double b)
{
    const double apart = std::fmod(std::abs(a - b), double(constants::kDegreesPerTurn));
    return std::min(apart, constants::kDegreesPerTurn - apart);
}

} // namespace kestavo::app
