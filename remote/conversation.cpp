// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversation.h"

#include "app/heading.h"
#include "app/rotorlink.h"
#include "platform/constants.h"

#include <QList>

#include <algorithm>
#include <optional>
#include <string_view>

namespace kestavo::remote
{
namespace
{

// hamlib's reply codes.
constexpr int kOk = 0;
constexpr int kInvalidParameter = -1;
constexpr int kNotImplemented = -4;
constexpr int kTimedOut = -5;
constexpr int kNotAvailable = -11;

enum class Action { SetPos, GetPos, Stop, Park, DumpState, GetInfo, Unavailable, Quit };

struct Command {
    std::string_view letter; // empty: long form only
    std::string_view name;
    Action action;
};

constexpr Command kCommands[] = {
    {"P", "set_pos", Action::SetPos},      {"p", "get_pos", Action::GetPos},
    {"", "dump_state", Action::DumpState}, {"_", "get_info", Action::GetInfo},
    {"S", "stop", Action::Stop},           {"K", "park", Action::Park},
    {"M", "move", Action::Unavailable},    {"R", "reset", Action::Unavailable},
    {"q", "quit", Action::Quit},           {"Q", "quit", Action::Quit},
};

// The range this rotor advertises: all the way round. It turns in azimuth
// only, but hamlib's client refuses any elevation outside the range, and
// trackers send one: every elevation is taken, and ignored.
constexpr std::string_view kDumpState = "1\n0\nmin_az=0.000000\nmax_az=360.000000\n"
                                        "min_el=-90.000000\nmax_el=180.000000\nsouth_zero=0\n"
                                        "rot_type=Az\ndone\n";
constexpr std::string_view kDumpStateExtended =
    "rotctld Protocol Ver: 1\nRotor Model: 0\nMinimum Azimuth: 0.000000\n"
    "Maximum Azimuth: 360.000000\nMinimum Elevation: -90.000000\n"
    "Maximum Elevation: 180.000000\nSouth Zero: 0\nrot_type=Az\ndone\n";

[[nodiscard]] const Command* commandNamed(QByteArrayView word)
{
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands), [&](auto& c) {
        if (word.startsWith('\\'))
            return word.sliced(1) == QByteArrayView(c.name.data(), qsizetype(c.name.size()));
        return !c.letter.empty() &&
               word == QByteArrayView(c.letter.data(), qsizetype(c.letter.size()));
    });
    return found == std::end(kCommands) ? nullptr : found;
}

[[nodiscard]] QByteArray rprt(int code)
{
    return "RPRT " + QByteArray::number(code) + '\n';
}

[[nodiscard]] QByteArray degrees(double value)
{
    // + 0.0: a target of -0 reads back as 0.00.
    return QByteArray::number(value + 0.0, 'f', 2);
}

// Printable ASCII, blanks and tabs: anything else is no command of ours.
[[nodiscard]] bool isPlainText(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == '\t' || (c >= ' ' && c < '\x7f'); });
}

[[nodiscard]] QList<QByteArrayView> fieldsOf(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != ' ' && line[i] != '\t')
            continue;
        if (i > start)
            fields.append(line.sliced(start, i - start));
        start = i + 1;
    }
    return fields;
}

struct Target {
    app::Heading azimuth;
    double elevation;
};

// The target of a set_pos: azimuth and elevation, both finite numbers, the
// azimuth within the range taken in.
[[nodiscard]] std::optional<Target> targetOf(const QList<QByteArrayView>& arguments)
{
    if (arguments.size() != 2)
        return std::nullopt;
    const std::optional<app::Heading> azimuth = app::headingOf(QString::fromLatin1(arguments[0]));
    const std::optional<double> elevation = app::readNumber(QString::fromLatin1(arguments[1]));
    if (!azimuth || !elevation)
        return std::nullopt;
    return Target{*azimuth, *elevation};
}

} // namespace

QByteArray Conversation::take(QByteArrayView bytes)
{
    QByteArray replies;
    for (const char byte : bytes) {
        if (m_finished)
            break;
        if (byte == '\n') {
            ++m_lines;
            if (!m_skipping) {
                if (m_line.endsWith('\r'))
                    m_line.chop(1);
                replies += answer(m_line);
            }
            m_line.clear();
            m_skipping = false;
        } else if (m_skipping) {
            continue;
        } else if (m_line.size() == constants::kMaxLineLength) {
            // Once, and the rest of the line goes unread.
            replies += rprt(kInvalidParameter);
            m_line.clear();
            m_skipping = true;
        } else {
            m_line += byte;
        }
    }
    return replies;
}

QByteArray Conversation::answer(QByteArrayView line)
{
    if (line.startsWith('#'))
        return {};
    if (!isPlainText(line))
        return rprt(kNotImplemented);
    const bool extended = line.startsWith('+');
    const QList<QByteArrayView> fields = fieldsOf(extended ? line.sliced(1) : line);
    if (fields.isEmpty())
        return extended ? rprt(kNotImplemented) : QByteArray();
    const Command* command = commandNamed(fields.front());
    if (!command)
        return rprt(kNotImplemented);
    const QList<QByteArrayView> arguments = fields.sliced(1);

    QByteArray values;
    int code = kOk;
    switch (command->action) {
    case Action::Quit:
        m_finished = true;
        return {};
    case Action::SetPos:
        if (const std::optional<Target> target = targetOf(arguments))
            m_link.turnTo(target->azimuth, target->elevation);
        else
            code = kInvalidParameter;
        break;
    case Action::GetPos: {
        // No bearing has come from the controller yet: hamlib's time-out,
        // so that a tracker knows, rather than a guess.
        const std::optional<app::Position> at = m_link.position();
        if (!at) {
            code = kTimedOut;
            break;
        }
        values = extended ? "Azimuth: " + degrees(at->azimuth) +
                                "\nElevation: " + degrees(at->elevation) + '\n'
                          : degrees(at->azimuth) + '\n' + degrees(at->elevation) + '\n';
        break;
    }
    case Action::DumpState:
        values = QByteArray(extended ? kDumpStateExtended.data() : kDumpState.data());
        break;
    case Action::GetInfo:
        values = (extended ? QByteArray("Info: ") : QByteArray()) +
                 QByteArray(constants::kRotorInfo.data(), constants::kRotorInfo.size()) + '\n';
        break;
    case Action::Stop:
        code = m_link.stop() ? kOk : kNotAvailable;
        break;
    case Action::Park:
        m_link.park();
        break;
    case Action::Unavailable:
        code = kNotAvailable;
        break;
    }

    if (!extended)
        return values.isEmpty() ? rprt(code) : values;
    QByteArray header = QByteArray(command->name.data(), qsizetype(command->name.size())) + ':';
    for (const QByteArrayView argument : arguments)
        header += ' ' + argument.toByteArray();
    return header + '\n' + values + rprt(code);
}

} // namespace kestavo::remote
