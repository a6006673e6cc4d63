// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linesplitter.h"
#include "options.h"
#include "responder.h"
#include "rotor.h"
#include "termiosdescription.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>

namespace kestavo::virtualrotor
{

// A line on standard output, and one on standard error after the program's
// name.
void say(const std::string& line);
void complain(const std::string& line);

// The controller's loop: turns the rotor, reports the line settings when a
// sender changes them, obeys and answers each command that arrives on the
// master side of the line, and ends on a signal from signalFd, "q" or the end
// of standard input.
class Controller
{
public:
    using Clock = std::chrono::steady_clock;

    // initialFraming is what the line had before anyone could open it, so
    // that whatever a sender sets up is reported as a change.
    explicit Controller(const Options& options, int master, const LineFraming& initialFraming,
                        int signalFd);

    // Returns the exit status.
    [[nodiscard]] int run();

private:
    [[nodiscard]] std::optional<LineFraming> readFraming() const;
    void turn();
    void takeSignal();
    void readStdin();
    [[nodiscard]] bool readLine();
    void obey(const ReceivedLine& line);
    void send(const std::string& bytes);
    void sendDue();
    // How long poll may wait: a tick, or less when an answer falls due.
    [[nodiscard]] int pollTimeout() const;

    struct LateAnswer {
        Clock::time_point due;
        std::string bytes;
    };

    int m_master;
    int m_signals;
    Responder m_responder;
    bool m_strayByte;
    std::chrono::milliseconds m_answerDelay;
    std::deque<LateAnswer> m_late;
    Rotor m_rotor;
    std::optional<int> m_offset;
    bool m_stallSaid = false;
    LineSplitter m_splitter;
    LineFraming m_reported;
    Clock::time_point m_last;
    Clock::time_point m_lastProgress;
    std::string m_stdinLine;
    bool m_stdinOpen = true;
    bool m_done = false;
};

} // namespace kestavo::virtualrotor
