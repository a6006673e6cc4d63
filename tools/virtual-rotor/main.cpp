// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual rotor controller: a pseudo-terminal that Kestavo reaches through
// its port table, and a rotor that turns when Kestavo tells it to.
#include "controller.h"
#include "options.h"
#include "portlink.h"
#include "termiosdescription.h"

#include "platform/constants.h"
#include "platform/host/files.h"
#include "support/posix.h"
#include "support/pseudoterminal.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

using namespace kestavo::virtualrotor;

namespace
{

[[nodiscard]] std::string errnoText()
{
    return kestavo::support::errnoText(errno);
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(arguments);
    if (!parsed.error.empty()) {
        complain(parsed.error);
        std::fputs(usage().c_str(), stderr);
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(usage().c_str(), stdout);
        return EXIT_SUCCESS;
    }
    const Options& options = parsed.options;

    // Signals arrive through the poll loop so that the link is always removed.
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, signal);
    if (::sigprocmask(SIG_BLOCK, &ending, nullptr) != 0) {
        complain("cannot block SIGINT, SIGTERM and SIGHUP: " + errnoText());
        return EXIT_FAILURE;
    }
    const int signalFd = ::signalfd(-1, &ending, SFD_CLOEXEC);
    if (signalFd < 0) {
        complain("cannot create a signalfd: " + errnoText());
        return EXIT_FAILURE;
    }
    // A closed stdout must not kill us before the link is removed.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        complain("cannot ignore SIGPIPE: " + errnoText());
        return EXIT_FAILURE;
    }

    std::optional<kestavo::support::PseudoTerminal> made;
    try {
        made.emplace();
    } catch (const kestavo::support::SystemError& failure) {
        complain(failure.what());
        return EXIT_FAILURE;
    }
    const kestavo::support::PseudoTerminal& line = *made;
    // Taken before anyone can know the line exists, so that whatever a
    // sender sets up later is reported as a change.
    termios attributes{};
    if (::tcgetattr(line.masterFd(), &attributes) != 0) {
        complain("cannot read the settings of " + line.slavePath() + ": " + errnoText());
        return EXIT_FAILURE;
    }

    std::string error;

    const std::string directory =
        QFile::encodeName(kestavo::platform::host::portTableDirectory()).toStdString();
    const std::string entryPath =
        directory + '/' +
        std::string(kestavo::constants::kPortTablePrefix.data(),
                    static_cast<std::size_t>(kestavo::constants::kPortTablePrefix.size())) +
        std::to_string(options.port);
    if (!makeDirectories(directory, error)) {
        complain(error + ". Kestavo's port table lives there; set XDG_CONFIG_HOME to a "
                         "directory you can write to.");
        return EXIT_FAILURE;
    }
    const std::optional<PortEntry> entry = inspectEntry(entryPath, error);
    if (!entry) {
        complain(error);
        return EXIT_FAILURE;
    }
    const LinkAction action = decideLink(entry->state);
    if (action == LinkAction::Refuse) {
        complain(refusalReason(entryPath, *entry, options.port));
        return EXIT_FAILURE;
    }
    if (!placeLink(entryPath, line.slavePath(), action, error)) {
        complain(error);
        return EXIT_FAILURE;
    }
    if (action == LinkAction::Replace)
        complain("replaced the stale link " + entryPath + ", which pointed at " + entry->target +
                 " (gone)");
    say("virtual rotor controller on port " + std::to_string(options.port) + " (" +
        line.slavePath() + ")");
    say("type " + std::to_string(options.port) + " at the prompt \"" +
        std::string(kestavo::constants::kPromptText.data(),
                    static_cast<std::size_t>(kestavo::constants::kPromptText.size())) +
        "\"; end with Ctrl-C or q");
    // Said only when it is not the default, so that the default prints as before.
    if (options.commandSet != CommandSet::OneStep || options.answerForm != AnswerForm::Leading)
        say("takes the " + std::string(commandSetName(options.commandSet)) + " command set" +
            (options.answerForm == AnswerForm::Trailing ? ", answering \"ddd;\"" : ""));
    if (options.offset)
        say("scale offset " + std::to_string(*options.offset) +
            ": the antenna's bearing is the controller's plus " + std::to_string(*options.offset));

    Controller controller(options, line.masterFd(), framingOf(attributes), signalFd);
    const int status = controller.run();

    if (!removeLinkIfOurs(entryPath, line.slavePath(), error)) {
        complain(error + ". Remove it by hand.");
        return EXIT_FAILURE;
    }
    ::close(signalFd);
    return status;
}
