// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <optional>

namespace kestavo::platform
{

// Whether what was written to the line has left it. A write counts as sent
// only once the output queue read empty after the bytes' time on the line
// had passed: an adapter may call bytes gone while it still holds them, and
// a pseudo-terminal drains at once. A queue that could not be read (the
// line hung up) never makes anything sent. Only a line whose queue cannot
// be asked at all is trusted to have sent it once the time and a grace
// have passed, for every byte written since the line was last known empty.
class SentTracker
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SentTracker(std::function<Clock::time_point()> clock = [] { return Clock::now(); });

    // How long one byte takes on the line at its settings.
    void setByteTime(std::chrono::nanoseconds byteTime) { m_byteTime = byteTime; }

    // These bytes were handed over now.
    void wrote(qint64 bytes);
    // What the queue read, bytes not yet handed to the device included;
    // nullopt when it could not be read.
    void queueRead(std::optional<qint64> queued);
    // The line has no queue to ask (it is no terminal).
    void queueUnknowable() { m_unknowable = true; }

    [[nodiscard]] bool sent() const;
    // Bytes written since the line was last known to have sent everything.
    [[nodiscard]] qint64 unsent() const { return m_unsent; }
    // When the last byte written would have left, sent back to back.
    [[nodiscard]] Clock::time_point lineFreeAt() const { return m_lineFreeAt; }
    // When the queue is worth reading again; nullopt when it is not: all was
    // sent, or a failed reading means nothing more can tell.
    [[nodiscard]] std::optional<Clock::time_point> nextLook() const;

private:
    std::function<Clock::time_point()> m_clock;
    std::chrono::nanoseconds m_byteTime{0};
    Clock::time_point m_lineFreeAt;
    qint64 m_unsent = 0;
    bool m_readFailed = false;
    bool m_unknowable = false;
};

} // namespace kestavo::platform
