// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "app/webstart.h"

#include "platform/constants.h"
#include "platform/conversion.h"
#include "platform/errorpath.h"
#include "platform/host/network.h"
#include "platform/portlist.h"

#include <QCommandLineParser>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace kestavo::app
{

namespace
{

// Qt's own options (QGuiApplication's, QApplication's, the X11 platform's),
// which Qt takes with one dash or two. QCommandLineParser would read
// -platform as -p -l -a ..., so they and their values are set aside before
// it sees the rest; QApplication still gets them all.
constexpr std::array<QLatin1StringView, 17> kQtOptionsWithValue{{
    QLatin1StringView("platform"),
    QLatin1StringView("platformpluginpath"),
    QLatin1StringView("platformtheme"),
    QLatin1StringView("plugin"),
    QLatin1StringView("qwindowgeometry"),
    QLatin1StringView("qwindowicon"),
    QLatin1StringView("qwindowtitle"),
    QLatin1StringView("session"),
    QLatin1StringView("display"),
    QLatin1StringView("geometry"),
    QLatin1StringView("title"),
    QLatin1StringView("icon"),
    QLatin1StringView("name"),
    QLatin1StringView("visual"),
    QLatin1StringView("style"),
    QLatin1StringView("stylesheet"),
    QLatin1StringView("qmljsdebugger"),
}};
constexpr std::array<QLatin1StringView, 6> kQtFlags{{
    QLatin1StringView("reverse"),
    QLatin1StringView("widgetcount"),
    QLatin1StringView("nograb"),
    QLatin1StringView("dograb"),
    QLatin1StringView("sync"),
    QLatin1StringView("testability"),
}};
// Also written with their value after "=", as -style=fusion.
constexpr std::array<QLatin1StringView, 3> kQtOptionsWithJoinedValue{{
    QLatin1StringView("style"),
    QLatin1StringView("stylesheet"),
    QLatin1StringView("qmljsdebugger"),
}};

template <std::size_t N>
[[nodiscard]] bool isAmong(QStringView name, const std::array<QLatin1StringView, N>& names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// "--listen=4533" and "-listen" name "listen".
[[nodiscard]] QStringView optionNameOf(QStringView word)
{
    const QStringView rest = word.mid(word.startsWith(u"--") ? 2 : 1);
    const qsizetype equals = rest.indexOf(u'=');
    return equals < 0 ? rest : rest.left(equals);
}

[[nodiscard]] QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList kept = arguments.mid(0, 1);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        const QStringView name = optionNameOf(word);
        const bool joined = word.contains(u'=');
        const bool withValue = !joined && isAmong(name, kQtOptionsWithValue);
        if (!word.startsWith(u'-') ||
            !(withValue ||
              (joined ? isAmong(name, kQtOptionsWithJoinedValue) : isAmong(name, kQtFlags)))) {
            kept.append(word);
            continue;
        }
        if (withValue)
            ++i; // its value, whatever it looks like, as Qt takes it
    }
    return kept;
}

constexpr QLatin1StringView kHelp("help");
constexpr QLatin1StringView kVersion("version");
constexpr QLatin1StringView kListPorts("list-ports");

[[nodiscard]] QString nameOf(QLatin1StringView option)
{
    return QString(option.mid(2));
}

[[nodiscard]] QString commandSetChoices()
{
    return QStringLiteral("%1, %2 or %3")
        .arg(constants::kOneStepName, constants::kTwoStepName, constants::kTenthsName);
}

[[nodiscard]] QList<QCommandLineOption> kestavoOptions()
{
    return {
        {QStringList{QStringLiteral("h"), QString(kHelp)}, QString()},
        {QStringList{QStringLiteral("v"), QString(kVersion)}, QString()},
        {QString(kListPorts), QString()},
        {nameOf(constants::kListenOption), QString(), QStringLiteral("[ADDRESS:]PORT")},
        {nameOf(constants::kReadBackOption), QString()},
        {nameOf(constants::kCommandSetOption), QString(), commandSetChoices()},
        // A missing value is told with its value name, so these say what is taken.
        {nameOf(constants::kParkOption), QString(),
         QStringLiteral("a heading from 0 to %1").arg(constants::kDegreesPerTurn)},
        {nameOf(constants::kParkAfterOption), QString(),
         QStringLiteral("whole minutes from 1 to %1").arg(constants::kMaxParkAfterMinutes)},
        {nameOf(constants::kOffsetOption), QString(),
         QStringLiteral("whole degrees from -%1 to %1").arg(constants::kDegreesPerTurn - 1)},
        {nameOf(constants::kHomeOption), QString(),
         QStringLiteral("a locator of 4, 6 or 8 characters")},
        {nameOf(constants::kWebOption), QString(), QStringLiteral("[ADDRESS:]PORT")},
    };
}

// Parsed, not processed, so that what is said and the exit status stay
// Kestavo's. Single-dash words are long options, as Qt's own are, so that
// "-x" and "-bogus" are each one word to name. Whether the parser
// understood every word.
[[nodiscard]] bool parse(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    [[maybe_unused]] const bool added = parser.addOptions(kestavoOptions());
    Q_ASSERT(added);
    return parser.parse(withoutQtOptions(arguments));
}

} // namespace

std::optional<int> answerInformationRequest(const QStringList& arguments, std::FILE* out)
{
    QCommandLineParser parser;
    // The first request is answered, whatever else is on the line.
    [[maybe_unused]] const bool understood = parse(parser, arguments);
    for (const QString& name : parser.optionNames()) {
        if (name == u"v" || name == kVersion) {
            std::fprintf(out, "%s %s\n", constants::kProgramName.data(),
                         constants::kProgramVersion.data());
            return platform::kExitNormal;
        }
        if (name == kListPorts) {
            std::fputs(platform::portListingText(platform::listPorts()).toLocal8Bit().constData(),
                       out);
            return platform::kExitNormal;
        }
        if (name == u"h" || name == kHelp) {
            std::fputs(usage().toLocal8Bit().constData(), out);
            return platform::kExitNormal;
        }
    }
    return std::nullopt;
}

namespace
{

// What is wrong with the value of an option; empty when they are all read.
[[nodiscard]] QString readValues(const QCommandLineParser& parser, StartOptions& options)
{
    const QString listen(constants::kListenOption);
    for (const QString& value : parser.values(nameOf(constants::kListenOption))) {
        ListenAddress address;
        const QString wrong = readListenAddress(value, address);
        if (!wrong.isEmpty())
            return QStringLiteral("%1 \"%2\": %3; expected [ADDRESS:]PORT, as in %1 4533 or "
                                  "%1 192.168.1.5:4533")
                .arg(listen, value, wrong);
        options.listen = address;
    }
    for (const QString& value : parser.values(nameOf(constants::kCommandSetOption))) {
        options.commandSet = commandSetNamed(value);
        if (!options.commandSet)
            return QStringLiteral("%1 \"%2\": expected %3")
                .arg(constants::kCommandSetOption, value, commandSetChoices());
    }
    // Each option is read as its item in Tavimer.ini is, so both take and
    // refuse the same values in the same words.
    constexpr std::array<std::pair<QLatin1StringView, QLatin1StringView>, 5> kStationOptions{{
        {constants::kParkOption, constants::kParkItem},
        {constants::kParkAfterOption, constants::kParkAfterItem},
        {constants::kOffsetOption, constants::kOffsetItem},
        {constants::kHomeOption, constants::kHomeItem},
        {constants::kWebOption, constants::kWebItem},
    }};
    for (const auto& [option, item] : kStationOptions) {
        for (const QString& value : parser.values(nameOf(option))) {
            const std::optional<QString> wrong =
                readStationItem(QString(item), value, options.station);
            Q_ASSERT(wrong);
            if (wrong && !wrong->isEmpty())
                return QStringLiteral("%1 \"%2\": %3").arg(option, value, *wrong);
        }
    }
    // Beyond this machine the page needs its password before anything
    // starts, so that a mistake never leaves it open.
    if (const std::optional<ListenAddress>& web = options.station.web; web && !web->loopback) {
        QString why;
        if (!readWebPassword(why))
            return QStringLiteral("%1 %2: %3").arg(constants::kWebOption, web->text(), why);
    }
    options.readBack = parser.isSet(nameOf(constants::kReadBackOption));
    return {};
}

// What is wrong with the command line, naming the word; empty when nothing is.
[[nodiscard]] QString usageError(const QCommandLineParser& parser, bool understood,
                                 const QStringList& arguments, StartOptions& options)
{
    const QStringList own = withoutQtOptions(arguments).mid(1);
    const QList<QCommandLineOption> known = kestavoOptions();
    const auto optionNamed = [&known](QStringView name) {
        return std::find_if(known.begin(), known.end(), [name](const QCommandLineOption& o) {
            return o.names().contains(name);
        });
    };

    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        const auto word = std::find_if(own.begin(), own.end(), [&name](const QString& w) {
            return w.startsWith(u'-') && optionNameOf(w) == name;
        });
        return QStringLiteral("unknown option %1")
            .arg(word != own.end() ? word->section(u'=', 0, 0) : u'-' + name);
    }
    // An option with a value takes the next word as it, whatever that is, so
    // only one given last can lack it.
    for (const QString& name : parser.optionNames()) {
        const auto option = optionNamed(name);
        if (!option->valueName().isEmpty() &&
            parser.optionNames().count(name) > parser.values(name).size())
            return QStringLiteral("--%1 needs a value: %2")
                .arg(option->names().constLast(), option->valueName());
    }
    if (!understood) {
        // What is left: a value given to an option that takes none.
        for (const QString& word : own) {
            const auto option = optionNamed(optionNameOf(word));
            if (word.startsWith(u'-') && word.contains(u'=') && option != known.end() &&
                option->valueName().isEmpty())
                return QStringLiteral("%1 takes no value").arg(word.section(u'=', 0, 0));
        }
        return parser.errorText();
    }

    if (!parser.positionalArguments().isEmpty()) {
        const QString word = parser.positionalArguments().constFirst();
        QString line = QStringLiteral("unexpected argument \"%1\"").arg(word);
        if (word.size() > 1 && optionNamed(word) != known.end())
            line += QStringLiteral("; options start with --, as in --%1").arg(word);
        return line;
    }
    return readValues(parser, options);
}

} // namespace

std::optional<int> readStartOptions(const QStringList& arguments, StartOptions& options,
                                    std::FILE* err)
{
    QCommandLineParser parser;
    const bool understood = parse(parser, arguments);
    const QString wrong = usageError(parser, understood, arguments, options);
    if (wrong.isEmpty())
        return std::nullopt;
    const QString line =
        platform::visibleText(QString(constants::kExecutableName) + QStringLiteral(": ") + wrong);
    std::fputs((line + u'\n' + usage()).toLocal8Bit().constData(), err);
    return platform::kExitUsage;
}

} // namespace kestavo::app
