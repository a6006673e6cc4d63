#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kestavo::bench
{

// A pseudo-terminal standing in for the rotor's line: the program under test
// opens the slave side, the benchmark reads the master side.
class Line
{
public:
    using Clock = std::chrono::steady_clock;

    Line();
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    [[nodiscard]] const std::string& slavePath() const { return m_slavePath; }

    // Throws away whatever has arrived so far.
    void drain();
    // When the first byte became readable, or nullopt after timeout.
    [[nodiscard]] std::optional<Clock::time_point> waitForByte(std::chrono::milliseconds timeout);
    // Reads until count bytes arrived or timeout passed.
    [[nodiscard]] std::string read(std::size_t count, std::chrono::milliseconds timeout);

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

} // namespace kestavo::bench
