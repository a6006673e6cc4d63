// The virtual rotor controller: a pseudo-terminal that Kestavo reaches through
// its port table, and a rotor that turns when Kestavo tells it to.
#include "commandparser.h"
#include "constants.h"
#include "linesplitter.h"
#include "options.h"
#include "portlink.h"
#include "rotor.h"
#include "termiosdescription.h"

#include "platform/constants.h"
#include "platform/host.h"

#include <QFile>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

using namespace kestavo::virtualrotor;
namespace vc = kestavo::virtualrotor::constants;

namespace
{

using Clock = std::chrono::steady_clock;

void say(const std::string& line)
{
    // Nothing to do when stdout is gone; the link still gets removed.
    std::fputs((line + '\n').c_str(), stdout);
}

void complain(const std::string& line)
{
    std::fputs((std::string(vc::kProgramName) + ": " + line + '\n').c_str(), stderr);
}

[[nodiscard]] std::string errnoText()
{
    return std::strerror(errno);
}

[[nodiscard]] std::string headingText(double heading)
{
    char text[16];
    const bool whole = std::abs(heading - std::round(heading)) < 0.05;
    std::snprintf(text, sizeof text, whole ? "%.0f" : "%.1f", heading);
    return text;
}

// The master side of the line, with our own hold on the slave side so that
// the line stays up while no Kestavo has it open.
class Line
{
public:
    Line() = default;
    ~Line()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    [[nodiscard]] bool open(std::string& error)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0) {
            error = "cannot create a pseudo-terminal (posix_openpt): " + errnoText() +
                    ". Check that /dev/ptmx exists and /dev/pts is mounted.";
            return false;
        }
        if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            error = "cannot unlock the pseudo-terminal's slave side: " + errnoText();
            return false;
        }
        const char* name = ::ptsname(m_master);
        if (!name) {
            error = "cannot name the pseudo-terminal's slave side (ptsname): " + errnoText();
            return false;
        }
        m_slavePath = name;
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0) {
            error = "cannot open " + m_slavePath + ": " + errnoText();
            return false;
        }
        termios attributes{};
        if (::tcgetattr(m_master, &attributes) != 0) {
            error = "cannot read the settings of " + m_slavePath + ": " + errnoText();
            return false;
        }
        // No echo back to Kestavo and no line editing: bytes as they come.
        ::cfmakeraw(&attributes);
        if (::tcsetattr(m_master, TCSANOW, &attributes) != 0) {
            error = "cannot put " + m_slavePath + " in raw mode: " + errnoText();
            return false;
        }
        // Taken before anyone can know the line exists, so that whatever a
        // sender sets up later is reported as a change.
        if (::tcgetattr(m_master, &attributes) != 0) {
            error = "cannot read back the settings of " + m_slavePath + ": " + errnoText();
            return false;
        }
        m_initialFraming = framingOf(attributes);
        return true;
    }

    [[nodiscard]] int master() const { return m_master; }
    [[nodiscard]] const std::string& slavePath() const { return m_slavePath; }
    [[nodiscard]] const LineFraming& initialFraming() const { return m_initialFraming; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    LineFraming m_initialFraming;
};

class Controller
{
public:
    explicit Controller(const Options& options, const Line& line, int signalFd)
        : m_master(line.master()), m_signals(signalFd), m_rotor(options.rate, options.start),
          m_splitter(vc::kMaxLineLength), m_reported(line.initialFraming())
    {
    }

    // Returns the exit status.
    [[nodiscard]] int run()
    {
        std::optional<LineFraming> framing;
        m_last = Clock::now();
        while (!m_done) {
            pollfd watched[] = {
                {m_master, POLLIN, 0},
                {m_stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                {m_signals, POLLIN, 0},
            };
            const int ready =
                ::poll(watched, std::size(watched), static_cast<int>(vc::kTick.count()));
            if (ready < 0 && errno != EINTR) {
                complain("waiting for the line failed (poll): " + errnoText());
                return EXIT_FAILURE;
            }
            turn();
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

private:
    [[nodiscard]] std::optional<LineFraming> readFraming() const
    {
        // On Linux the master side reports the settings the slave side has.
        termios attributes{};
        if (::tcgetattr(m_master, &attributes) != 0) {
            complain("cannot read the line settings (tcgetattr): " + errnoText());
            return std::nullopt;
        }
        return framingOf(attributes);
    }

    void turn()
    {
        const Clock::time_point now = Clock::now();
        const bool wasTurning = !m_rotor.arrived();
        m_rotor.advance(now - m_last);
        m_last = now;
        if (!wasTurning)
            return;
        if (m_rotor.arrived()) {
            say("arrived at " + headingText(m_rotor.heading()));
        } else if (now - m_lastProgress >= vc::kProgressInterval) {
            m_lastProgress = now;
            char heading[16];
            std::snprintf(heading, sizeof heading, "%.1f", m_rotor.heading());
            say("heading " + std::string(heading) + ", turning to " +
                headingText(m_rotor.target()));
        }
    }

    void takeSignal()
    {
        signalfd_siginfo info{};
        const ssize_t got = ::read(m_signals, &info, sizeof info);
        if (got != static_cast<ssize_t>(sizeof info))
            return;
        const char* name = sigabbrev_np(static_cast<int>(info.ssi_signo));
        say(std::string("ending on SIG") + (name ? name : "?"));
        m_done = true;
    }

    void readStdin()
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

    [[nodiscard]] bool readLine()
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

    void obey(const ReceivedLine& line)
    {
        if (line.tooLong) {
            say("not understood: no CR within " + std::to_string(vc::kMaxLineLength) +
                " bytes; the line is discarded up to its CR");
            return;
        }
        say("command \"" + escapedText(line.bytes) + "\" " +
            hexBytes(line.bytes + vc::kCommandEnd));
        const ParsedCommand command = parseCommand(line.bytes);
        if (!command.heading) {
            say("not understood: " + command.reason);
            return;
        }
        const double from = m_rotor.heading();
        m_rotor.retarget(*command.heading);
        if (m_rotor.arrived()) {
            say("already at " + headingText(from));
            return;
        }
        m_lastProgress = Clock::now();
        say("turning from " + headingText(from) + " to " + headingText(m_rotor.target()));
    }

    int m_master;
    int m_signals;
    Rotor m_rotor;
    LineSplitter m_splitter;
    LineFraming m_reported;
    Clock::time_point m_last;
    Clock::time_point m_lastProgress;
    std::string m_stdinLine;
    bool m_stdinOpen = true;
    bool m_done = false;
};

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

    std::string error;
    Line line;
    if (!line.open(error)) {
        complain(error);
        return EXIT_FAILURE;
    }

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

    Controller controller(options, line, signalFd);
    const int status = controller.run();

    if (!removeLinkIfOurs(entryPath, line.slavePath(), error)) {
        complain(error + ". Remove it by hand.");
        return EXIT_FAILURE;
    }
    ::close(signalFd);
    return status;
}
