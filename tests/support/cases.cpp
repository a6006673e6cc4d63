// SPDX-License-Identifier: GPL-3.0-or-later
#include "cases.h"

#include <cctype>
#include <cstdio>

namespace kestavo::test
{

std::string testName(std::string_view words)
{
    std::string name;
    bool wordStart = true;
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) == 0) {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(byte)) : c;
        wordStart = false;
    }
    return name.empty() ? "None" : name;
}

void printText(std::string_view text, std::ostream* os)
{
    *os << '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else if (c == '\t')
            *os << "\\t";
        else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            *os << escaped;
        } else {
            *os << c;
        }
    }
    *os << '"';
}

} // namespace kestavo::test
