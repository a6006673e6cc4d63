// SPDX-License-Identifier: GPL-3.0-or-later
#include "report.h"

#include "benchconstants.h"
#include "failure.h"
#include "stats.h"

#include <QtGlobal>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>

namespace kestavo::bench
{
namespace
{

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

[[nodiscard]] const char* modeName(support::WindowManager windowManager)
{
    return windowManager == support::WindowManager::None ? "no window manager" : "openbox";
}

[[nodiscard]] std::string cell(const Summary& s, int decimals)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.*f [%.*f..%.*f]", decimals, s.median, decimals,
                  s.lowerQuartile, decimals, s.upperQuartile);
    return text;
}

void printRow(const char* metric, const std::vector<double>& kestavo,
              const std::vector<double>& bare, int decimals)
{
    const Summary ratio = summarize(ratios(kestavo, bare));
    std::printf("%-30s %-24s %-24s %s\n", metric, cell(summarize(kestavo), decimals).c_str(),
                cell(summarize(bare), decimals).c_str(), cell(ratio, 3).c_str());
}

void printAim(const std::string& what, bool met, const std::string& figure)
{
    std::printf("  %-58s %s (%s)\n", what.c_str(), met ? "met" : "MISSED", figure.c_str());
}

[[nodiscard]] std::string fixed(double value, int decimals)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

void printReport(const RunShape& shape, const std::vector<ModeSamples>& modes)
{
    const ModeSamples& first = modes.front();
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("\nKestavo against a bare Qt window with the same three widgets\n");
    std::printf("machine: %s, %ld cores, %s, Qt %s\n", cpuModel().c_str(), cores, kernel().c_str(),
                qVersion());
    std::printf("X: private Xvfb %.*s; window %dx%d px for both, %dx%d with --read-back\n",
                static_cast<int>(kScreen.size()), kScreen.data(), first.kestavo.window->width,
                first.kestavo.window->height, first.kestavoReadBack.window->width,
                first.kestavoReadBack.window->height);
    std::printf("rounds: %d per X set-up after 1 uncounted start of each; a round is one start of "
                "each (Kestavo, Kestavo --read-back, bare), in each of their 6 orders in turn\n",
                shape.rounds);
    std::printf("memory read in 1 round of %d (%zu of each); without a window manager %d clicks "
                "on GO per start in 1 round of %d (%zu of each)\n",
                kMemoryEvery, first.kestavo.residentMiB.size(), shape.clicksPerRun, kClickEvery,
                first.kestavo.clickMs.size());
    std::printf("figures: median [interquartile range]; ratio = median [IQR] of the per-round "
                "ratios Kestavo / bare\n");

    std::vector<std::pair<std::string, double>> startRatios;
    std::vector<std::pair<std::string, double>> memoryRatios;
    std::optional<double> ownClick;
    for (const ModeSamples& mode : modes) {
        const ProgramSamples& k = mode.kestavo;
        const ProgramSamples& r = mode.kestavoReadBack;
        const ProgramSamples& b = mode.bare;
        std::printf("\n%s\n%-30s %-24s %-24s %s\n", modeName(mode.windowManager), "metric",
                    "Kestavo", "bare window", "ratio");
        printRow("start to window mapped, ms", k.startMs, b.startMs, 1);
        printRow("  with --read-back", r.startMs, b.startMs, 1);
        printRow("resident memory (VmRSS), MiB", k.residentMiB, b.residentMiB, 1);
        printRow("  with --read-back", r.residentMiB, b.residentMiB, 1);
        startRatios.emplace_back(modeName(mode.windowManager),
                                 summarize(ratios(k.startMs, b.startMs)).median);
        memoryRatios.emplace_back(modeName(mode.windowManager),
                                  summarize(ratios(k.residentMiB, b.residentMiB)).median);
        if (k.clickMs.empty())
            continue;
        printRow("click on GO to first byte, ms", k.clickMs, b.clickMs, 3);
        ownClick = summarize(k.clickMs).median - summarize(b.clickMs).median;
        std::printf("%-30s %+.3f ms (difference of the medians)\n", "Kestavo's own per click",
                    *ownClick);
        if (!k.doorMs.empty())
            std::printf("%-30s %-24s (%zu over loopback, --listen)\n", "set_pos to first byte, ms",
                        cell(summarize(k.doorMs), 3).c_str(), k.doorMs.size());
    }

    for (const ModeSamples& mode : modes) {
        if (!mode.readBack)
            continue;
        const ReadBackSamples& rb = *mode.readBack;
        std::printf("\nread-back, %s, one start with --read-back --listen; the benchmark answers "
                    "%.*s on the line\n",
                    modeName(mode.windowManager), static_cast<int>(kBearingQuestion.size()),
                    kBearingQuestion.data());
        std::printf("%-30s %-24s (%zu new bearings while turning)\n", "bearing's age at p, ms",
                    cell(summarize(rb.ageMs), 3).c_str(), rb.ageMs.size());
        std::printf("  from the answer's write to the first p reply that has it; p asked back to "
                    "back, %s ms a round trip; %d of %zu on the first p\n",
                    fixed(summarize(rb.pollMs).median, 3).c_str(), rb.shownAtOnce, rb.ageMs.size());
        std::printf("questions: %s%% of the line standing still, %s%% while turning (%d bits a "
                    "byte at %d baud; %d questions in %s s, %d in %s s)\n",
                    fixed(linePercent(rb.still), 3).c_str(),
                    fixed(linePercent(rb.turning), 3).c_str(), kBitsPerByte, kLineBaud,
                    rb.still.questions, fixed(rb.still.span.count(), 2).c_str(),
                    rb.turning.questions, fixed(rb.turning.span.count(), 2).c_str());
    }

    std::printf("\naims:\n");
    for (const auto& [mode, ratio] : startRatios)
        printAim("start-up within " + fixed(kStartRatioAim, 2) + " x the bare window, " + mode,
                 ratio <= kStartRatioAim, fixed(ratio, 3));
    for (const auto& [mode, ratio] : memoryRatios)
        printAim("memory within " + fixed(kMemoryRatioAim, 2) + " x the bare window, " + mode,
                 ratio <= kMemoryRatioAim, fixed(ratio, 3));
    if (ownClick)
        printAim("under 1 ms of Kestavo's own from click to byte", *ownClick < kOwnClickAim.count(),
                 fixed(*ownClick, 3) + " ms");
}

} // namespace kestavo::bench
