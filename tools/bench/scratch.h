// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace kestavo::bench
{

// Kestavo's working directory with its Tavimer.ini, and a private port
// table, in a scratch directory that goes at the end.
class Scratch
{
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    [[nodiscard]] std::filesystem::path configHome() const { return m_root / "config"; }
    [[nodiscard]] std::filesystem::path workingDirectory() const { return m_root / "work"; }
    [[nodiscard]] std::filesystem::path log(const std::string& label) const
    {
        return m_root / (label + ".log");
    }

    // The benchmark's port number names device from now on.
    void pointPortAt(const std::string& device) const;

private:
    [[nodiscard]] std::filesystem::path portTable() const;

    std::filesystem::path m_root;
};

// The last lines of a program's log, indented, for a failure message.
[[nodiscard]] std::string logTail(const std::filesystem::path& path);

} // namespace kestavo::bench
