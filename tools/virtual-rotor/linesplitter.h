// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestavo::virtualrotor
{

// One line as it came off the wire, without its CR.
struct ReceivedLine {
    std::string bytes;
    // The line grew past the cap before its CR came; bytes is then empty and
    // the rest of the line up to the next CR is dropped.
    bool tooLong = false;

    friend bool operator==(const ReceivedLine&, const ReceivedLine&) = default;
};

// Cuts the byte stream from the line into CR-terminated lines, whatever the
// chunks it arrives in.
class LineSplitter
{
public:
    explicit LineSplitter(std::size_t maxLength);

    [[nodiscard]] std::vector<ReceivedLine> feed(std::string_view chunk);

    // Bytes waiting for their CR.
    [[nodiscard]] std::size_t pending() const { return m_buffer.size(); }

private:
    std::size_t m_maxLength;
    std::string m_buffer;
    bool m_discarding = false;
};

} // namespace kestavo::virtualrotor
