// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller.h"

#include "commandparser.h"
#include "constants.h"
#include "responder.h"

#include "support/posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace kestavo::virtualrotor
{
namespace
{

namespace vc = constants;

[[nodiscard]] std::string errnoText()
{
    return support::errnoText(errno);
}

} // namespace

void say(const std::string& line)
{
    // Nothing to do when stdout is gone; the link still gets removed.
    std::fputs((line + '\n').c_str(), stdout);
}

void complain(const std::string& line)
{
    std::fputs((std::string(vc::kProgramName) + ": " + line + '\n').c_str(), stderr);
}

Controller::Controller(const Options& options, int master, const LineFraming& initialFraming,
                       int signalFd)
    : m_master(master), m_signals(signalFd),
      m_responder(Dialect{options.commandSet, options.answerForm, options.mute}, options.offset),
      m_strayByte(options.strayByte), m_answerDelay(options.answerDelay),
      m_rotor(options.rate, options.start, options.stallAfter), m_offset(options.offset),
      m_splitter(vc::kMaxLineLength), m_reported(initialFraming)
{
}

int Controller::run()
{
    std::optional<LineFraming> framing;
    m_last = Clock::now();
    if (m_strayByte) {
        send(std::string(1, vc::kStrayByte));
        say("sent the stray byte " + hexBytes(std::string(1, vc::kStrayByte)));
    }
    while (!m_done) {
        pollfd watched[] = {
            {m_master, POLLIN, 0},
            {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
            {m_signals, POLLIN, 0},
        };
        const int ready = ::poll(watched, std::size(watched), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            complain("waiting for the line failed (poll): " + errnoText());
            return EXIT_FAILURE;
        }
        turn();
        sendDue();
        // Settings first: a sender sets them up before it writes.
        if (!(framing = readFraming()))
            return EXIT_FAILURE;
        if (*framing != m_reported) {
            m_reported = *framing;
            say("line settings: " + describe(*framing));
        }
        if (ready > 0) {
            if (watched[2].revents != 0)
                takeSignal();
            if (watched[1].revents != 0)
                readStdin();
            if (watched[0].revents != 0 && !readLine())
                return EXIT_FAILURE;
        }
    }
    return EXIT_SUCCESS;
}

std::optional<LineFraming> Controller::readFraming() const
{
    // On Linux the master side reports the settings the slave side has.
    termios attributes{};
    if (::tcgetattr(m_master, &attributes) != 0) {
        complain("cannot read the line settings (tcgetattr): " + errnoText());
        return std::nullopt;
    }
    return framingOf(attributes);
}

void Controller::turn()
{
    const Clock::time_point now = Clock::now();
    const bool wasTurning = !m_rotor.arrived();
    m_rotor.advance(now - m_last);
    m_last = now;
    if (!wasTurning)
        return;
    const std::string antenna = antennaText(m_rotor.heading(), m_offset);
    // Said once; the line goes on as if it turned, so nothing more is said.
    if (m_rotor.stalled()) {
        if (!m_stallSaid)
            say("stalled at " + headingText(m_rotor.heading()) + antenna);
        m_stallSaid = true;
    } else if (m_rotor.arrived()) {
        say("arrived at " + headingText(m_rotor.heading()) + antenna);
    } else if (now - m_lastProgress >= vc::kProgressInterval) {
        m_lastProgress = now;
        char heading[16];
        std::snprintf(heading, sizeof heading, "%.1f", m_rotor.heading());
        say("heading " + std::string(heading) + ", turning to " + headingText(m_rotor.target()) +
            antennaText(m_rotor.target(), m_offset));
    }
}

void Controller::takeSignal()
{
    signalfd_siginfo info{};
    const ssize_t got = ::read(m_signals, &info, sizeof info);
    if (got != static_cast<ssize_t>(sizeof info))
        return;
    const char* name = sigabbrev_np(static_cast<int>(info.ssi_signo));
    say(std::string("ending on SIG") + (name ? name : "?"));
    m_done = true;
}

void Controller::readStdin()
{
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        say("ending at the end of standard input");
        m_stdinOpen = false;
        m_done = true;
        return;
    }
    for (const char c : std::string_view(buffer, static_cast<std::size_t>(got))) {
        if (c != '\n') {
            if (m_stdinLine.size() < vc::kMaxLineLength)
                m_stdinLine += c;
            continue;
        }
        if (m_stdinLine == "q" || m_stdinLine == "quit") {
            say("ending on request");
            m_done = true;
        }
        m_stdinLine.clear();
    }
}

bool Controller::readLine()
{
    char buffer[vc::kReadChunk];
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (got <= 0) {
        // Cannot happen while we hold the slave side open.
        complain(std::string("reading the line failed: ") +
                 (got == 0 ? "it was closed" : errnoText()));
        return false;
    }
    for (const ReceivedLine& line :
         m_splitter.feed(std::string_view(buffer, static_cast<std::size_t>(got))))
        obey(line);
    return true;
}

void Controller::obey(const ReceivedLine& line)
{
    if (!line.tooLong)
        say("command \"" + escapedText(line.bytes) + "\" " + hexBytes(line.bytes + line.end));
    const double target = m_rotor.target();
    Response response = m_responder.respond(line, m_rotor);
    if (m_rotor.target() != target && !m_rotor.arrived())
        m_lastProgress = Clock::now();
    if (response.answer.empty() || m_answerDelay == std::chrono::milliseconds::zero()) {
        say(response.note);
        send(response.answer);
        return;
    }
    say(response.note + "; answering in " + std::to_string(m_answerDelay.count()) + " ms");
    m_late.push_back(LateAnswer{Clock::now() + m_answerDelay, std::move(response.answer)});
}

void Controller::sendDue()
{
    // All answers are equally late, so they fall due in the order they were made.
    const Clock::time_point now = Clock::now();
    while (!m_late.empty() && m_late.front().due <= now) {
        send(m_late.front().bytes);
        m_late.pop_front();
    }
}

int Controller::pollTimeout() const
{
    const int tick = static_cast<int>(vc::kTick.count());
    if (m_late.empty())
        return tick;
    return std::min(tick, support::pollTimeout(m_late.front().due - Clock::now()));
}

void Controller::send(const std::string& bytes)
{
    if (bytes.empty())
        return;
    const ssize_t sent = ::write(m_master, bytes.data(), bytes.size());
    if (sent == static_cast<ssize_t>(bytes.size()))
        return;
    const int cause = sent < 0 ? errno : 0;
    std::string why =
        sent < 0 ? support::errnoText(cause) : "only " + std::to_string(sent) + " bytes went";
    if (cause == EAGAIN)
        why += " (nobody reads the line, and it holds no more)";
    // The line stays usable: a sender that reads again gets later answers.
    complain("sending \"" + escapedText(bytes) + "\" failed: " + why);
}

} // namespace kestavo::virtualrotor
