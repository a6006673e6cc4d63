// SPDX-License-Identifier: GPL-3.0-or-later
#include "readback.h"

#include "benchconstants.h"
#include "door.h"
#include "failure.h"

#include "support/pseudoterminal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace kestavo::bench
{
namespace
{

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// When the next question's first byte was seen; throws on anything else.
[[nodiscard]] Clock::time_point waitForQuestion(support::PseudoTerminal& line)
{
    const std::optional<Clock::time_point> arrived = line.waitForByte(kQuestionTimeout);
    if (!arrived)
        throw Failure("No bearing question reached the line within " +
                      std::to_string(kQuestionTimeout.count()) + " ms");
    const std::string got = line.read(kBearingQuestion.size(), kByteTimeout);
    if (got != kBearingQuestion)
        throw Failure("Kestavo sent \"" + got + "\" where a bearing question (" +
                      std::string(kBearingQuestion) + ") was expected");
    return *arrived;
}

// Writes the answer; when it left.
[[nodiscard]] Clock::time_point answer(support::PseudoTerminal& line, int bearing)
{
    char text[8];
    const int length = std::snprintf(text, sizeof text, "%c%03d", constants::kAnswerMark, bearing);
    const Clock::time_point written = Clock::now();
    if (::write(line.masterFd(), text, static_cast<std::size_t>(length)) != length)
        throw systemFailure("Cannot write an answer to the line", "");
    return written;
}

// Asks p until its azimuth is bearing; when the reply that shows it came.
[[nodiscard]] Clock::time_point pollUntilShown(DoorClient& door, int bearing,
                                               std::vector<double>* pollMs)
{
    const Clock::time_point deadline = Clock::now() + kByteTimeout;
    std::string azimuth;
    do {
        const Clock::time_point asked = Clock::now();
        door.send("p\n");
        azimuth = door.readLine(kByteTimeout);
        (void)door.readLine(kByteTimeout); // elevation
        const Clock::time_point replied = Clock::now();
        if (pollMs != nullptr)
            pollMs->push_back(Ms(replied - asked).count());
        char* end = nullptr;
        const double value = std::strtod(azimuth.c_str(), &end);
        if (end != azimuth.c_str() && *end == '\0' && std::abs(value - bearing) < 0.5)
            return replied;
    } while (Clock::now() < deadline);
    throw Failure("p through the front door still answered " + azimuth + " " +
                  std::to_string(kByteTimeout.count()) + " ms after the controller answered " +
                  std::to_string(bearing));
}

} // namespace

double linePercent(const LineUse& use)
{
    const double bits =
        static_cast<double>(use.questions * std::ssize(kBearingQuestion) * kBitsPerByte);
    return 100.0 * bits / kLineBaud / use.span.count();
}

ReadBackSamples playController(support::PseudoTerminal& line, std::uint16_t port)
{
    DoorClient door(port);
    ReadBackSamples samples;

    // The question asked at start may have waited for the window: its time
    // tells nothing. p showing the answer tells that it was taken, so that
    // the questions from here on are those at rest.
    (void)waitForQuestion(line);
    (void)answer(line, kStillBearing);
    (void)pollUntilShown(door, kStillBearing, nullptr);
    Clock::time_point first = waitForQuestion(line);
    Clock::time_point last = first;
    for (int i = 0; i < kStillIntervals; ++i) {
        (void)answer(line, kStillBearing);
        last = waitForQuestion(line);
    }
    (void)answer(line, kStillBearing);
    samples.still = {kStillIntervals, last - first};

    const std::string target = std::to_string(kTurnTarget);
    door.send("P " + target + " 0\n");
    const std::string command = std::string(view(constants::kCommandPrefix)) + target + '\r';
    const std::string sent = line.read(command.size(), kByteTimeout);
    if (sent != command || door.readLine(kByteTimeout) != "RPRT 0")
        throw Failure("set_pos " + target + " through the front door did not reach the line as " +
                      command.substr(0, command.size() - 1) + " with RPRT 0 back; the line had \"" +
                      sent + "\"");
    int bearing = kStillBearing;
    for (int i = 0; i < kTurnQuestions; ++i) {
        last = waitForQuestion(line);
        if (i == 0)
            first = last;
        bearing += kTurnStep;
        const Clock::time_point written = answer(line, bearing);
        const std::size_t polled = samples.pollMs.size();
        samples.ageMs.push_back(
            Ms(pollUntilShown(door, bearing, &samples.pollMs) - written).count());
        if (samples.pollMs.size() == polled + 1)
            ++samples.shownAtOnce;
    }
    samples.turning = {kTurnQuestions - 1, last - first};
    return samples;
}

} // namespace kestavo::bench
