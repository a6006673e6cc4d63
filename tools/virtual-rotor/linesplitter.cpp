// SPDX-License-Identifier: GPL-3.0-or-later
#include "linesplitter.h"

#include "constants.h"

namespace kestavo::virtualrotor
{

LineSplitter::LineSplitter(std::size_t maxLength) : m_maxLength(maxLength) {}

std::vector<ReceivedLine> LineSplitter::feed(std::string_view chunk)
{
    std::vector<ReceivedLine> lines;
    for (const char byte : chunk) {
        if (byte == constants::kCommandEnd || byte == constants::kQueryEnd) {
            if (!m_discarding)
                lines.push_back(ReceivedLine{std::move(m_buffer), false, byte});
            m_buffer.clear();
            m_discarding = false;
            continue;
        }
        if (m_discarding)
            continue;
        if (m_buffer.size() == m_maxLength) {
            // Reported at once, not at the end that may never come.
            lines.push_back(ReceivedLine{std::string(), true});
            m_buffer.clear();
            m_buffer.shrink_to_fit();
            m_discarding = true;
            continue;
        }
        m_buffer.push_back(byte);
    }
    return lines;
}

} // namespace kestavo::virtualrotor
