// SPDX-License-Identifier: GPL-3.0-or-later
#include "senttracker.h"

#include "constants.h"

#include <algorithm>

namespace kestavo::platform
{

SentTracker::SentTracker(std::function<Clock::time_point()> clock) : m_clock(std::move(clock)) {}

void SentTracker::wrote(qint64 bytes)
{
    if (bytes <= 0)
        return;
    const Clock::time_point now = m_clock();
    m_lineFreeAt = std::max(m_lineFreeAt, now) +
                   std::chrono::duration_cast<Clock::duration>(m_byteTime * bytes);
    m_unsent += bytes;
}

void SentTracker::queueRead(std::optional<qint64> queued)
{
    if (m_unsent == 0)
        return;
    if (!queued) {
        m_readFailed = true;
        return;
    }
    const Clock::time_point now = m_clock();
    if (*queued == 0 && now >= m_lineFreeAt && !m_readFailed) {
        m_unsent = 0;
        return;
    }
    // What still waits needs at least its own time from now.
    m_lineFreeAt = std::max(
        m_lineFreeAt, now + std::chrono::duration_cast<Clock::duration>(m_byteTime * *queued));
}

bool SentTracker::sent() const
{
    if (m_unsent == 0)
        return true;
    return m_unknowable && !m_readFailed && m_clock() >= m_lineFreeAt + constants::kDrainGrace;
}

std::optional<SentTracker::Clock::time_point> SentTracker::nextLook() const
{
    if (sent() || m_readFailed)
        return std::nullopt;
    if (m_unknowable)
        return m_lineFreeAt + constants::kDrainGrace;
    return std::max(m_lineFreeAt, m_clock()) + constants::kSentCheckMargin;
}

} // namespace kestavo::platform
