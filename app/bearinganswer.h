// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace kestavo::app
{

// Finds the controller's answer to a bearing question in what the line
// brings, however it is cut into reads: ";ddd", or "ddd;" after a non-digit
// (or first); with the tenths set "d.d;" to "ddd.d;" after a non-digit (or
// first), such as " 48.8;". Stray bytes, banners and numbers past 360 are
// skipped; 360 is north. Holds a few bytes at most, whatever the device
// sends.
class AnswerReader
{
public:
    explicit AnswerReader(CommandSet set = kDefaultCommandSet) : m_set(set) {}

    // The first answer these bytes complete, in tenths of a degree 0-3599.
    [[nodiscard]] std::optional<int> take(QByteArrayView bytes);

    // Forgets what came before: a new question is out.
    void reset();

private:
    [[nodiscard]] std::optional<int> answerAtEnd() const;
    [[nodiscard]] std::optional<int> tenthsAtEnd() const;
    // Whether the byte before position i ends the answer's front.
    [[nodiscard]] bool boundedBefore(qsizetype i) const;

    CommandSet m_set;
    QByteArray m_tail;
    bool m_fromStart = true; // nothing was dropped from the front since reset()
};

// A bearing in tenths as whole degrees, 0-359.
[[nodiscard]] int wholeDegrees(int tenths);

// How far apart two bearings are, the short way round: 0-180.
[[nodiscard]] double degreesApart(double a, double b);

} // namespace kestavo::app
