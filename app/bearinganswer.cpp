// SPDX-License-Identifier: GPL-3.0-or-later
#include "bearinganswer.h"

#include "platform/constants.h"

#include <algorithm>
#include <cmath>

namespace kestavo::app
{
namespace
{

// ";ddd" or a non-digit before "ddd;" is five bytes at most.
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
    return value % constants::kDegreesPerTurn;
}

} // namespace

std::optional<int> AnswerReader::take(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        m_tail += byte;
        if (m_tail.size() > kLongestAnswer) {
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

std::optional<int> AnswerReader::answerAtEnd() const
{
    const QByteArrayView tail(m_tail);
    const qsizetype size = tail.size();
    if (size < 4)
        return std::nullopt;
    if (tail[size - 4] == constants::kAnswerMark)
        return degreesIn(tail.sliced(size - 3));
    if (tail[size - 1] != constants::kAnswerMark)
        return std::nullopt;
    // "ddd;" must not be the end of a longer number, such as "1801;".
    const bool bounded = size == kLongestAnswer ? !isDigit(tail[0]) : m_fromStart;
    return bounded ? degreesIn(tail.sliced(size - 4, 3)) : std::nullopt;
}

void AnswerReader::reset()
{
    m_tail.clear();
    m_fromStart = true;
}

double degreesApart(double a, double b)
{
    const double apart = std::fmod(std::abs(a - b), double(constants::kDegreesPerTurn));
    return std::min(apart, constants::kDegreesPerTurn - apart);
}

} // namespace kestavo::app
