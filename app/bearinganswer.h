// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace kestavo::app
{

// Finds the controller's answer to a bearing question in what the line
// brings, however it is cut into reads: ";ddd", or "ddd;" after a non-digit
// (or first). Stray bytes, banners and numbers past 360 are skipped; 360 is
// north. Holds a few bytes at most, whatever the device sends.
class AnswerReader
{
public:
    // The first answer these bytes complete, in degrees 0-359.
    [[nodiscard]] std::optional<int> take(QByteArrayView bytes);

    // Forgets what came before: a new question is out.
    void reset();

private:
    [[nodiscard]] std::optional<int> answerAtEnd() const;

    QByteArray m_tail;
    bool m_fromStart = true; // nothing was dropped from the front since reset()
};

// How far apart two bearings are, the short way round: 0-180.
[[nodiscard]] double degreesApart(double a, double b);

} // namespace kestavo::app
