// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>

namespace kestavo::web
{

// Who may turn the rotor from a page. Without a password anyone who
// reaches it may; with one, a browser first trades it for a token, which
// every command then carries. Wrong passwords from one address are slowed
// down: after a few, each next try has to wait twice as long as the last.
class PageGuard
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit PageGuard(QByteArray password, Clock clock = std::chrono::steady_clock::now);

    [[nodiscard]] bool locked() const { return !m_password.isEmpty(); }

    struct Login {
        enum class Outcome { Token, Wrong, Wait } outcome;
        QByteArray token;          // with Token
        std::chrono::seconds wait; // with Wait: until the next try is heard
    };
    [[nodiscard]] Login login(const QHostAddress& from, QByteArrayView password);

    // Whether an Authorization header's value lets a command through.
    [[nodiscard]] bool allows(QByteArrayView authorization) const;

private:
    struct Tries {
        int wrong = 0;
        std::chrono::steady_clock::time_point next;
    };

    QByteArray m_password;
    Clock m_clock;
    std::deque<QByteArray> m_tokens;  // the newest last
    std::map<QString, Tries> m_tries; // by address
    std::deque<QString> m_triesOrder; // the oldest first, to bound the map
};

// Whether a and b hold the same bytes, in a time that tells nothing of
// where they differ.
[[nodiscard]] bool sameSecret(QByteArrayView a, QByteArrayView b);

} // namespace kestavo::web
