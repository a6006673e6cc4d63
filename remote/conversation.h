// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace kestavo::app
{
class RotorLink;
}

namespace kestavo::remote
{

// One client's side of hamlib's rotator network protocol, without the
// socket: takes the bytes as they arrive, answers every complete line and
// turns the rotor through the link. Holds at most one line.
class Conversation
{
public:
    explicit Conversation(app::RotorLink& link) : m_link(link) {}

    // The replies to the lines these bytes complete, in order, to be sent
    // in one write. Throws what the link throws.
    [[nodiscard]] QByteArray take(QByteArrayView bytes);

    // The client said goodbye; nothing after that is read.
    [[nodiscard]] bool finished() const { return m_finished; }

    // How many lines it has taken to their end, whether they asked anything.
    [[nodiscard]] std::uint64_t lines() const { return m_lines; }

private:
    [[nodiscard]] QByteArray answer(QByteArrayView line);

    app::RotorLink& m_link;
    QByteArray m_line;
    bool m_skipping = false; // the rest of a line that was too long
    bool m_finished = false;
    std::uint64_t m_lines = 0;
};

} // namespace kestavo::remote
