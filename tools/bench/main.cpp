// SPDX-License-Identifier: GPL-3.0-or-later
// kestavo-bench: measures Kestavo's start-up, memory, click-to-line and
// set_pos-to-line time against a bare Qt window with the same widgets, on
// this machine, under a private Xvfb, once without and once with a window
// manager; with --read-back, start-up and memory too, and in one start the
// bearing's age at the front door and the line's time its questions take. See
// printReport() for what is printed.

#include "benchconstants.h"
#include "child.h"
#include "door.h"
#include "failure.h"
#include "readback.h"
#include "report.h"
#include "scratch.h"
#include "xsession.h"

#include "support/pseudoterminal.h"
#include "support/xserver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace kestavo::bench
{
namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

struct Program {
    std::string label;
    fs::path path;
    bool takesLineArgument = false;
    bool hasFrontDoor = false;
    bool readBack = false;
};

// What one start measures besides start-up.
struct Extras {
    bool memory = false;
    int clicks = 0;
};

[[nodiscard]] int positiveNumber(const char* text, const char* option)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 1000)
        throw Failure(std::string(option) + " needs a whole number from 1 to 1000, not \"" + text +
                      "\"");
    return static_cast<int>(value);
}

[[nodiscard]] RunShape parseOptions(int argc, char* argv[])
{
    RunShape shape{kDefaultRuns, kDefaultClicksPerRun};
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if ((argument == "--runs" || argument == "--clicks") && i + 1 < argc) {
            const int value = positiveNumber(argv[i + 1], argv[i]);
            (argument == "--runs" ? shape.rounds : shape.clicksPerRun) = value;
            ++i;
        } else {
            throw Failure("usage: kestavo-bench [--runs ROUNDS] [--clicks N-PER-START]; it finds "
                          "kestavo and kestavo-bench-bare beside itself");
        }
    }
    return shape;
}

[[nodiscard]] fs::path ownDirectory()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        throw Failure("Cannot find where kestavo-bench lies (/proc/self/exe): " + error.message());
    return self.parent_path();
}

[[nodiscard]] bool sameSize(const WindowArea& a, const WindowArea& b)
{
    return a.width == b.width && a.height == b.height;
}

// Clicks on GO with the pointer already on it; the milliseconds from each
// click to the first byte on the line.
[[nodiscard]] std::vector<double> clickGo(XSession& session, support::PseudoTerminal& line,
                                          int clicks)
{
    const std::string expected =
        std::string(view(constants::kCommandPrefix)) + std::string(kTarget) + '\r';
    std::vector<double> clickMs;
    for (int i = 0; i < clicks; ++i) {
        (void)line.drain();
        const Clock::time_point clicked = session.click();
        const std::optional<Clock::time_point> arrived = line.waitForByte(kByteTimeout);
        if (!arrived)
            throw Failure("No byte reached the line within " +
                          std::to_string(kByteTimeout.count()) + " ms of a click on GO");
        const std::string got = line.read(expected.size(), kByteTimeout);
        if (got != expected)
            throw Failure("A click on GO sent \"" + got + "\" instead of the expected \"" +
                          expected.substr(0, expected.size() - 1) +
                          "\\r\"; the typed text or the click went astray");
        clickMs.push_back(Ms(*arrived - clicked).count());
        std::this_thread::sleep_for(kClickGap);
    }
    return clickMs;
}

// Sends set_pos through the front door as a tracker does; the milliseconds
// from each to the first byte on the line.
[[nodiscard]] std::vector<double> setPositions(std::uint16_t port, support::PseudoTerminal& line,
                                               int count)
{
    DoorClient door(port);
    std::vector<double> doorMs;
    for (int i = 0; i < count; ++i) {
        const std::string target = std::to_string(100 + i % 2);
        (void)line.drain();
        const Clock::time_point sent = Clock::now();
        door.send("P " + target + " 0\n");
        const std::optional<Clock::time_point> arrived = line.waitForByte(kByteTimeout);
        const std::string expected = std::string(view(constants::kCommandPrefix)) + target + '\r';
        if (!arrived || line.read(expected.size(), kByteTimeout) != expected ||
            door.readLine(kByteTimeout) != "RPRT 0")
            throw Failure("set_pos " + target +
                          " through the front door did not reach the line as " +
                          expected.substr(0, expected.size() - 1) + " with RPRT 0 back");
        doorMs.push_back(Ms(*arrived - sent).count());
        std::this_thread::sleep_for(kClickGap);
    }
    return doorMs;
}

// One start of the program: start-up time, then what extras asks for, then
// the window is closed and the program must end with status 0. With
// controller, the benchmark plays the controller for it before the close.
void runOnce(XSession& session, const Scratch& scratch, const std::string& display,
             const Program& program, Extras extras, ProgramSamples* into,
             ReadBackSamples* controller = nullptr)
{
    Launch launch;
    launch.program = program.path;
    launch.logPath = scratch.log(program.label);
    try {
        support::PseudoTerminal line;
        scratch.pointPortAt(line.slavePath());
        if (program.takesLineArgument)
            launch.arguments.push_back(line.slavePath());
        const std::uint16_t port = program.hasFrontDoor ? freePort() : 0;
        if (program.hasFrontDoor) {
            launch.arguments.emplace_back(view(constants::kListenOption));
            launch.arguments.push_back(std::to_string(port));
        }
        if (program.readBack)
            launch.arguments.emplace_back(view(constants::kReadBackOption));
        launch.variables = {{"DISPLAY", display},
                            {"QT_QPA_PLATFORM", "xcb"},
                            {"XDG_CONFIG_HOME", scratch.configHome()}};
        launch.workingDirectory = scratch.workingDirectory();

        session.discardEvents();
        Child child(launch);
        const XSession::Mapped mapped = session.waitForMap(kWindowName, child.pid(), kMapTimeout);
        const WindowArea area = session.area(mapped.window);
        long resident = 0;
        if (extras.memory) {
            std::this_thread::sleep_for(kSettle);
            resident = residentKiB(child.pid());
        }
        std::vector<double> clickMs;
        if (extras.clicks > 0) {
            session.focus(mapped.window);
            std::this_thread::sleep_for(kInputSettle);
            session.type(kTarget);
            std::this_thread::sleep_for(kInputSettle);
            session.movePointer(
                area.rootX + static_cast<int>(std::lround(area.width * kGoCentre.x)),
                area.rootY + static_cast<int>(std::lround(area.height * kGoCentre.y)));
            std::this_thread::sleep_for(kInputSettle);
            clickMs = clickGo(session, line, extras.clicks);
        }
        std::vector<double> doorMs;
        if (extras.clicks > 0 && program.hasFrontDoor)
            doorMs = setPositions(port, line, extras.clicks);
        if (controller != nullptr)
            *controller = playController(line, port);

        session.close(mapped.window);
        const int status = child.waitForExit(kEndTimeout);
        if (status != 0)
            throw Failure("It ended with status " + std::to_string(status) +
                          " after its window was closed");

        if (into == nullptr)
            return;
        if (into->window && !sameSize(*into->window, area))
            throw Failure("Its window changed size between runs");
        into->window = area;
        into->startMs.push_back(Ms(mapped.at - child.startedAt()).count());
        if (extras.memory)
            into->residentMiB.push_back(static_cast<double>(resident) / 1024.0);
        into->clickMs.insert(into->clickMs.end(), clickMs.begin(), clickMs.end());
        into->doorMs.insert(into->doorMs.end(), doorMs.begin(), doorMs.end());
    } catch (const std::exception& failure) {
        throw Failure(program.label + ": " + failure.what() + "\n  log " + launch.logPath + ":\n" +
                      logTail(launch.logPath));
    }
}

// All rounds under one X set-up.
[[nodiscard]] ModeSamples measure(support::WindowManager windowManager, const RunShape& shape,
                                  const Scratch& scratch, const Program& kestavo,
                                  const Program& readingBack, const Program& bare)
{
    const support::XServer server(windowManager, kScreen);
    XSession session(server.display());
    const bool clicking = windowManager == support::WindowManager::None;

    ModeSamples samples;
    samples.windowManager = windowManager;
    const std::array<std::pair<const Program*, ProgramSamples*>, 3> programs{
        {{&kestavo, &samples.kestavo},
         {&readingBack, &samples.kestavoReadBack},
         {&bare, &samples.bare}}};

    // Uncounted: the first start reads everything from disk, and under a
    // window manager the first window also sets up its frame's theme.
    for (const auto& [program, into] : programs)
        runOnce(session, scratch, server.display(), *program,
                {true, clicking && !program->readBack ? 1 : 0}, nullptr);

    // Every order in turn, so that each goes before each other as often as
    // after it.
    std::array<std::size_t, 3> order{0, 1, 2};
    for (int round = 0; round < shape.rounds; ++round) {
        const bool memory = round % kMemoryEvery == 0;
        const int clicks = clicking && round % kClickEvery == 0 ? shape.clicksPerRun : 0;
        for (const std::size_t i : order) {
            const auto& [program, into] = programs[i];
            // Clicks and set_pos only without read-back: its questions
            // would mingle with the bytes they look for.
            runOnce(session, scratch, server.display(), *program,
                    {memory, program->readBack ? 0 : clicks}, into);
        }
        (void)std::next_permutation(order.begin(), order.end());
    }
    if (clicking) {
        ReadBackSamples controller;
        runOnce(session, scratch, server.display(), readingBack, {}, nullptr, &controller);
        samples.readBack = controller;
    }
    const WindowArea& k = *samples.kestavo.window;
    const WindowArea& b = *samples.bare.window;
    if (!sameSize(k, b))
        throw Failure("The two windows differ in size (" + std::to_string(k.width) + "x" +
                      std::to_string(k.height) + " and " + std::to_string(b.width) + "x" +
                      std::to_string(b.height) +
                      "), so they cannot be compared; check tools/bench/bare.cpp's layout");
    return samples;
}

int run(int argc, char* argv[])
{
    const RunShape shape = parseOptions(argc, argv);
    const fs::path here = ownDirectory();
    const Program kestavo{"kestavo", here / std::string(kKestavoProgram), false, true};
    const Program readingBack{"kestavo-read-back", here / std::string(kKestavoProgram), false, true,
                              true};
    const Program bare{"bare-window", here / std::string(kBareProgram), true, false};
    const Scratch scratch;

    std::vector<ModeSamples> modes;
    for (const auto windowManager : {support::WindowManager::None, support::WindowManager::Openbox})
        modes.push_back(measure(windowManager, shape, scratch, kestavo, readingBack, bare));
    printReport(shape, modes);
    return EXIT_SUCCESS;
}

} // namespace
} // namespace kestavo::bench

int main(int argc, char* argv[])
{
    try {
        return kestavo::bench::run(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kestavo-bench: %s\n", failure.what());
    }
    return EXIT_FAILURE;
}
