// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

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

private:
    [[nodiscard]] QByteArray answer(QByteArrayView line);

    app::RotorLink& m_link;
    QByteArray m_line;
    bool m_skipping = false; // the rest of a line that was too long
    bool m_finished = false;
};

} // namespace kestavo::remote
