// kestavo-bench: measures Kestavo's start-up, memory and click-to-line time
// against a bare Qt window with the same widgets, on this machine, under a
// private Xvfb. See printReport() for what is printed.

#include "benchconstants.h"
#include "child.h"
#include "failure.h"
#include "line.h"
#include "stats.h"
#include "xsession.h"

#include <QtGlobal>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestavo::bench
{
namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

struct Options {
    int runs = kDefaultRuns;
    int clicksPerRun = kDefaultClicksPerRun;
};

struct Program {
    std::string label;
    fs::path path;
    bool takesLineArgument = false;
};

struct Samples {
    std::vector<double> startMs;
    std::vector<double> residentMiB;
    std::vector<double> clickMs;
    std::optional<WindowArea> window;
};

[[nodiscard]] int positiveNumber(const char* text, const char* option)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 1000)
        throw Failure(std::string(option) + " needs a whole number from 1 to 1000, not \"" +
                      text + "\"");
    return static_cast<int>(value);
}

[[nodiscard]] Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if ((argument == "--runs" || argument == "--clicks") && i + 1 < argc) {
            const int value = positiveNumber(argv[i + 1], argv[i]);
            (argument == "--runs" ? options.runs : options.clicksPerRun) = value;
            ++i;
        } else {
            throw Failure("usage: kestavo-bench [--runs N] [--clicks N-PER-RUN]; it finds kestavo "
                          "and kestavo-bench-bare beside itself");
        }
    }
    return options;
}

[[nodiscard]] fs::path ownDirectory()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        throw Failure("Cannot find where kestavo-bench lies (/proc/self/exe): " +
                      error.message());
    return self.parent_path();
}

// Kestavo's working directory with its Tavimer.ini, and a private port
// table, in a scratch directory that goes at the end.
class Scratch
{
public:
    Scratch()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/kestavo-bench.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw systemFailure("Cannot create a scratch directory " + pattern,
                                "Check that TMPDIR or /tmp is writable");
        m_root = pattern;
        std::error_code error;
        fs::create_directories(portTable(), error);
        fs::create_directories(workingDirectory(), error);
        if (error)
            throw Failure("Cannot create directories in " + m_root.string() + ": " +
                          error.message());
        const fs::path portFile = workingDirectory() / std::string(view(constants::kPortFileName));
        std::ofstream out(portFile, std::ios::binary);
        out << kPortFileContent;
        out.close();
        if (!out)
            throw Failure("Cannot write " + portFile.string());
    }
    ~Scratch()
    {
        std::error_code error;
        fs::remove_all(m_root, error);
        if (error)
            std::fprintf(stderr, "kestavo-bench: could not remove %s: %s; remove it by hand\n",
                         m_root.c_str(), error.message().c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    [[nodiscard]] fs::path configHome() const { return m_root / "config"; }
    [[nodiscard]] fs::path workingDirectory() const { return m_root / "work"; }
    [[nodiscard]] fs::path log(const std::string& label) const { return m_root / (label + ".log"); }

    void pointPortAt(const std::string& device) const
    {
        const fs::path entry = portTable() / (std::string(view(constants::kPortTablePrefix)) +
                                              std::to_string(kPortNumber));
        std::error_code error;
        fs::remove(entry, error);
        fs::create_symlink(device, entry, error);
        if (error)
            throw Failure("Cannot link " + entry.string() + " to " + device + ": " +
                          error.message());
    }

private:
    [[nodiscard]] fs::path portTable() const
    {
        return configHome() / std::string(view(constants::kPortTableSubdir));
    }

    fs::path m_root;
};

[[nodiscard]] std::string logTail(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    constexpr std::size_t kShown = 10;
    std::string tail;
    for (std::size_t i = lines.size() > kShown ? lines.size() - kShown : 0; i < lines.size(); ++i)
        tail += "  | " + lines[i] + '\n';
    return tail.empty() ? "  (its log is empty)\n" : tail;
}

[[nodiscard]] bool sameSize(const WindowArea& a, const WindowArea& b)
{
    return a.width == b.width && a.height == b.height;
}

// One start of the program: start-up time, memory once settled, then clicks
// on GO, then the window is closed and the program must end with status 0.
void runOnce(XSession& session, const Scratch& scratch, const std::string& display,
             const Program& program, int clicks, Samples* into)
{
    Line line;
    scratch.pointPortAt(line.slavePath());
    Launch launch;
    launch.program = program.path;
    if (program.takesLineArgument)
        launch.arguments.push_back(line.slavePath());
    launch.variables = {{"DISPLAY", display},
                        {"QT_QPA_PLATFORM", "xcb"},
                        {"XDG_CONFIG_HOME", scratch.configHome()}};
    launch.workingDirectory = scratch.workingDirectory();
    launch.logPath = scratch.log(program.label);

    session.discardEvents();
    try {
        Child child(launch);
        const XSession::Mapped mapped = session.waitForMap(kWindowName, child.pid(), kMapTimeout);
        std::this_thread::sleep_for(kSettle);
        const long resident = residentKiB(child.pid());
        const WindowArea area = session.area(mapped.window);

        session.focus(mapped.window);
        std::this_thread::sleep_for(kInputSettle);
        session.type(kTarget);
        std::this_thread::sleep_for(kInputSettle);
        session.movePointer(area.rootX + static_cast<int>(std::lround(area.width * kGoCentreX)),
                            area.rootY + static_cast<int>(std::lround(area.height * kGoCentreY)));
        std::this_thread::sleep_for(kInputSettle);

        const std::string expected =
            std::string(view(constants::kCommandPrefix)) + std::string(kTarget) + '\r';
        std::vector<double> clickMs;
        for (int i = 0; i < clicks; ++i) {
            line.drain();
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
        into->residentMiB.push_back(static_cast<double>(resident) / 1024.0);
        into->clickMs.insert(into->clickMs.end(), clickMs.begin(), clickMs.end());
    } catch (const Failure& failure) {
        throw Failure(program.label + ": " + failure.what() + "\n  log " + launch.logPath +
                      ":\n" + logTail(launch.logPath));
    }
}

[[nodiscard]] std::string cpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.starts_with("model name")) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos)
                return line.substr(line.find_first_not_of(' ', colon + 1));
        }
    }
    return "unknown CPU (no model name in /proc/cpuinfo)";
}

[[nodiscard]] std::string kernel()
{
    utsname name{};
    if (::uname(&name) != 0)
        throw systemFailure("Cannot read the kernel's name (uname)", "");
    return std::string(name.sysname) + ' ' + name.release;
}

[[nodiscard]] std::string cell(const Summary& s, int decimals)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.*f (%.*f..%.*f)", decimals, s.median, decimals, s.min,
                  decimals, s.max);
    return text;
}

void printRow(const char* metric, const Summary& kestavo, const Summary& bare, int decimals,
              const std::string& own)
{
    std::printf("%-30s %-24s %-24s %6.2f  %s\n", metric, cell(kestavo, decimals).c_str(),
                cell(bare, decimals).c_str(), kestavo.median / bare.median, own.c_str());
}

void printAim(const char* what, bool met, const std::string& figure)
{
    std::printf("  %-47s %s (%s)\n", what, met ? "met" : "MISSED", figure.c_str());
}

void printReport(const Options& options, const Samples& kestavo, const Samples& bare)
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    const Summary startK = summarize(kestavo.startMs);
    const Summary startB = summarize(bare.startMs);
    const Summary memoryK = summarize(kestavo.residentMiB);
    const Summary memoryB = summarize(bare.residentMiB);
    const Summary clickK = summarize(kestavo.clickMs);
    const Summary clickB = summarize(bare.clickMs);
    const double own = clickK.median - clickB.median;

    std::printf("\nKestavo against a bare Qt window with the same three widgets\n");
    std::printf("machine: %s, %ld cores, %s, Qt %s\n", cpuModel().c_str(), cores,
                kernel().c_str(), qVersion());
    std::printf("X: private Xvfb %.*s, no window manager; window %dx%d px for both\n",
                static_cast<int>(kScreen.size()), kScreen.data(), kestavo.window->width,
                kestavo.window->height);
    std::printf("runs: %d start-ups of each, interleaved, after 1 uncounted start of each; "
                "%d clicks on GO per start (%d of each)\n",
                options.runs, options.clicksPerRun, clickK.count);
    std::printf("figures: median (min..max); ratio = Kestavo median / bare median\n\n");
    std::printf("%-30s %-24s %-24s %6s  %s\n", "metric", "Kestavo", "bare window", "ratio",
                "Kestavo's own");
    printRow("start to window mapped, ms", startK, startB, 1, "");
    printRow("resident memory (VmRSS), MiB", memoryK, memoryB, 1, "");
    char ownText[40];
    std::snprintf(ownText, sizeof ownText, "%+.3f ms", own);
    printRow("click on GO to first byte, ms", clickK, clickB, 3, ownText);

    char figure[40];
    std::printf("\naims:\n");
    std::snprintf(figure, sizeof figure, "%.2f", startK.median / startB.median);
    printAim("start-up within 1.1 x the bare window", startK.median / startB.median <=
                                                          kStartRatioAim,
             figure);
    std::snprintf(figure, sizeof figure, "%.2f", memoryK.median / memoryB.median);
    printAim("memory within 1.1 x the bare window",
             memoryK.median / memoryB.median <= kMemoryRatioAim, figure);
    printAim("under 1 ms of Kestavo's own from click to byte", own < kOwnClickAim.count(),
             ownText);
    if (own < 0)
        std::printf("  (Kestavo's median click came out faster than the bare window's: its own "
                    "cost is below what this run can tell apart from noise)\n");
}

int run(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    const fs::path here = ownDirectory();
    const Program kestavo{"kestavo", here / std::string(kKestavoProgram), false};
    const Program bare{"bare-window", here / std::string(kBareProgram), true};

    const Scratch scratch;
    const XServer server(kScreen);
    XSession session(server.display());

    // Uncounted: the first start after a build reads everything from disk.
    runOnce(session, scratch, server.display(), kestavo, 1, nullptr);
    runOnce(session, scratch, server.display(), bare, 1, nullptr);

    Samples kestavoSamples;
    Samples bareSamples;
    for (int i = 0; i < options.runs; ++i) {
        // Which goes first alternates, so neither always follows the other.
        const bool kestavoFirst = i % 2 == 0;
        runOnce(session, scratch, server.display(), kestavoFirst ? kestavo : bare,
                options.clicksPerRun, kestavoFirst ? &kestavoSamples : &bareSamples);
        runOnce(session, scratch, server.display(), kestavoFirst ? bare : kestavo,
                options.clicksPerRun, kestavoFirst ? &bareSamples : &kestavoSamples);
    }
    if (!sameSize(*kestavoSamples.window, *bareSamples.window))
        throw Failure("The two windows differ in size (" +
                      std::to_string(kestavoSamples.window->width) + "x" +
                      std::to_string(kestavoSamples.window->height) + " and " +
                      std::to_string(bareSamples.window->width) + "x" +
                      std::to_string(bareSamples.window->height) +
                      "), so they cannot be compared; check tools/bench/bare.cpp's layout");
    printReport(options, kestavoSamples, bareSamples);
    return EXIT_SUCCESS;
}

} // namespace
} // namespace kestavo::bench

int main(int argc, char* argv[])
{
    try {
        return kestavo::bench::run(argc, argv);
    } catch (const kestavo::bench::Failure& failure) {
        std::fprintf(stderr, "kestavo-bench: %s\n", failure.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestavo-bench: unexpected failure: %s\n", error.what());
    }
    return EXIT_FAILURE;
}
