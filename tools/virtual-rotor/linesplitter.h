// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "constants.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestavo::virtualrotor
{

// One line as it came off the wire, without the CR or ; that ended it.
struct ReceivedLine {
    std::string bytes;
    // The line grew past the cap before its end came; bytes is then empty
    // and the rest of the line up to the next end is dropped.
    bool tooLong = false;
    // What ended it: the same bytes mean another command after a ;.
    char end = constants::kCommandEnd;

    friend bool operator==(const ReceivedLine&, const ReceivedLine&) = default;
};

// Cuts the byte stream from the line into lines ended by CR or ;, whatever
// the chunks it arrives in.
class LineSplitter
{
public:
    explicit LineSplitter(std::size_t maxLength);

    [[nodiscard]] std::vector<ReceivedLine> feed(std::string_view chunk);

    // Bytes waiting for their end.
    [[nodiscard]] std::size_t pending() const { return m_buffer.size(); }

private:
    std::size_t m_maxLength;
    std::string m_buffer;
    bool m_discarding = false;
};

} // namespace kestavo::virtualrotor
