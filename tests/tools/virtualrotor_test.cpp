// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual rotor controller's logic: what it makes of the bytes on the
// line, how its rotor turns, and when it takes over a port table entry.
#include "tools/virtual-rotor/commandparser.h"
#include "tools/virtual-rotor/linesplitter.h"
#include "tools/virtual-rotor/options.h"
#include "tools/virtual-rotor/portlink.h"
#include "tools/virtual-rotor/responder.h"
#include "tools/virtual-rotor/rotor.h"
#include "tools/virtual-rotor/termiosdescription.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestavo::virtualrotor;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

constexpr auto kOneStep = CommandSet::OneStep;
constexpr auto kTwoStep = CommandSet::TwoStep;
constexpr auto kTenths = CommandSet::Tenths;
constexpr auto kTrailing = AnswerForm::Trailing;

// --- position commands

struct Command {
    const char* line;
    std::optional<double> heading;
    const char* reasonPart; // a piece of the reason, when refused
    CommandSet set = kOneStep;
    char end = '\r';
    Action action = Action::None; // None: Turn with a heading, else refused
};

void PrintTo(const Command& c, std::ostream* os)
{
    *os << '"' << escapedText(c.line) << '"';
}

class PositionCommand : public ::testing::TestWithParam<Command>
{
};

TEST_P(PositionCommand, TakesOnlyAHeadingFrom0To360)
{
    const Command& c = GetParam();
    const ParsedCommand parsed = parseCommand(c.line, c.end, c.set);
    EXPECT_EQ(parsed.heading, c.heading);
    EXPECT_EQ(parsed.action, c.action != Action::None ? c.action
                             : c.heading              ? Action::Turn
                                                      : Action::None);
    if (c.heading || c.action != Action::None)
        EXPECT_EQ(parsed.reason, "");
    else
        EXPECT_NE(parsed.reason.find(GetParam().reasonPart), std::string::npos) << parsed.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PositionCommand,
    ::testing::Values(
        Command{"AP1180", 180, ""}, Command{"AP10", 0, ""}, Command{"AP1360", 360, ""},
        Command{"AP1000", 0, ""}, Command{"AP107", 7, ""}, Command{"AP1359", 359, ""},
        Command{"", std::nullopt, "empty"}, Command{"AP1", std::nullopt, "no heading"},
        Command{"AP2180", std::nullopt, "does not start with AP1"},
        Command{"ap1180", std::nullopt, "does not start with AP1"},
        Command{" AP1180", std::nullopt, "does not start with AP1"},
        Command{"AP", std::nullopt, "does not start with AP1"},
        Command{"AP1361", std::nullopt, "past 360"}, Command{"AP1999", std::nullopt, "past 360"},
        Command{"AP10180", std::nullopt, "more than 3 digits"},
        Command{"AP1 180", std::nullopt, "not whole degrees"},
        Command{"AP1180 ", std::nullopt, "not whole degrees"},
        Command{"AP1-10", std::nullopt, "not whole degrees"},
        Command{"AP1+10", std::nullopt, "not whole degrees"},
        Command{"AP112.5", std::nullopt, "not whole degrees"},
        Command{"AP118\n", std::nullopt, "not whole degrees"},
        Command{"AP1\xb0", std::nullopt, "\"\\xB0\""}, Command{"AP1180", 180, "", kOneStep, ';'},
        Command{"", {}, "", kOneStep, ';', Action::Stop},
        Command{"AM1", {}, "not a command of the one-step set", kOneStep, ';'},
        Command{"AP1007", 7, "", kTwoStep, ';', Action::SetTarget},
        Command{"AP1180", {}, "after CR it does nothing", kTwoStep},
        Command{"AP118", {}, "not exactly 3 digits", kTwoStep, ';'},
        Command{"AM1", {}, "", kTwoStep, ';', Action::Move},
        Command{"AS1", {}, "", kTwoStep, ';', Action::Stop},
        Command{"AS1", {}, "only when ; ends it", kTwoStep},
        Command{"", {}, "", kTwoStep, ';', Action::Forget},
        Command{"AI1", {}, "", kTwoStep, ';', Action::Query}, Command{"AP1007.5", 7.5, "", kTenths},
        Command{"AP1360.0", 360, "", kTenths}, Command{"AP1360.1", {}, "past 360", kTenths},
        Command{"AP1180", {}, "no tenth", kTenths}, Command{"AP17.5", {}, "not ddd.d", kTenths},
        Command{"AP1180.5.", {}, "not ddd.d", kTenths},
        Command{"AP1007.5", {}, "only when CR ends it", kTenths, ';'},
        Command{"BI1", {}, "", kTenths, ';', Action::Query},
        Command{"AI1", {}, "not a command of the tenths set", kTenths, ';'},
        Command{"", {}, "", kTenths, ';', Action::Stop}));

TEST(CommandText, EscapesWhatIsNotPrintable)
{
    EXPECT_EQ(escapedText("AP1180"), "AP1180");
    EXPECT_EQ(escapedText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(escapedText("\r\n\t\x7f\xff\"\\"), "\\r\\n\\t\\x7F\\xFF\\\"\\\\");
    EXPECT_EQ(hexBytes("AP1180\r"), "41 50 31 31 38 30 0D");
    EXPECT_EQ(hexBytes(std::string("\0\xff", 2)), "00 FF");
    EXPECT_EQ(hexBytes(""), "");
}

// --- cutting the stream into lines

struct Split {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<ReceivedLine> lines;
    std::size_t pending;
};

class Splitting : public ::testing::TestWithParam<Split>
{
};

TEST_P(Splitting, CutsAtCrOrSemicolonWhateverTheChunks)
{
    LineSplitter splitter(8);
    std::vector<ReceivedLine> lines;
    for (const std::string& chunk : GetParam().chunks) {
        for (ReceivedLine& line : splitter.feed(chunk))
            lines.push_back(std::move(line));
    }
    EXPECT_EQ(lines, GetParam().lines);
    EXPECT_EQ(splitter.pending(), GetParam().pending);
}

const ReceivedLine kTooLong{"", true};

INSTANTIATE_TEST_SUITE_P(
    Streams, Splitting,
    ::testing::Values(
        Split{"whole", {"AP1180\r"}, {{"AP1180"}}, 0},
        Split{"byte by byte", {"A", "P", "1", "9", "\r"}, {{"AP19"}}, 0},
        Split{"split before CR", {"AP11", "80", "\r"}, {{"AP1180"}}, 0},
        Split{"two in one chunk", {"AP11\rAP12\r"}, {{"AP11"}, {"AP12"}}, 0},
        Split{"rest kept", {"AP11\rAP"}, {{"AP11"}}, 2},
        Split{"empty lines", {"\r\r"}, {{""}, {""}}, 0},
        Split{"LF is data", {"a\nb\r"}, {{"a\nb"}}, 0},
        Split{"NUL is data", {std::string("a\0b\r", 4)}, {{std::string("a\0b", 3)}}, 0},
        Split{"exactly at the cap", {"12345678\r"}, {{"12345678"}}, 0},
        Split{"one past the cap", {"123456789\r"}, {kTooLong}, 0},
        Split{"too long, then the rest dropped",
              {"1234567890", "abc", "\rAP1\r"},
              {kTooLong, {"AP1"}},
              0},
        Split{"endless line stays bounded", {"123456789", std::string(1000, 'x')}, {kTooLong}, 0},
        Split{"too long twice", {"123456789\r", "abcdefghi\r"}, {kTooLong, kTooLong}, 0},
        Split{
            "too long, dropped up to ;", {"123456789;AI1;"}, {kTooLong, {"AI1", false, ';'}}, 0}));

// --- what goes back on the line

struct Exchange {
    const char* name;
    double start;
    std::vector<std::pair<std::chrono::milliseconds, std::string>> steps; // wait, then send
    std::string wire;
    bool mute = false;
    CommandSet set = CommandSet::OneStep;
    AnswerForm form = AnswerForm::Leading;
};

class Answering : public ::testing::TestWithParam<Exchange>
{
};

TEST_P(Answering, FollowsTheRotor)
{
    Rotor rotor(10, GetParam().start);
    LineSplitter splitter(8);
    Responder responder(Dialect{GetParam().set, GetParam().form, GetParam().mute});
    std::string wire;
    for (const auto& [wait, bytes] : GetParam().steps) {
        rotor.advance(wait);
        for (const ReceivedLine& line : splitter.feed(bytes))
            wire += responder.respond(line, rotor).answer;
    }
    EXPECT_EQ(wire, GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, Answering,
    ::testing::Values(
        Exchange{"bearing during a turn", 0, {{0ms, "AP1180\r"}, {1560ms, "AI1;"}}, ";016"},
        Exchange{"360 is 0", 359.6, {{0ms, "AI1;"}}, ";000"},
        Exchange{"stop holds it", 0, {{0ms, "AP1180;"}, {2s, ";"}, {3s, "AI1;"}}, ";020"},
        Exchange{"banner at rest", 90, {{0ms, ";"}}, "VR1.0"},
        Exchange{"one chunk", 0, {{0ms, "AP1090;AI1;;"}, {1s, "AI1;"}}, ";000;000"},
        Exchange{"AI1 with CR is no query", 0, {{0ms, "AI1\r"}}, ""},
        Exchange{"mute", 90, {{0ms, "AI1;;"}}, "", true},
        Exchange{"trailing", 42, {{0ms, "AI1;"}}, "042;", false, kOneStep, kTrailing},
        Exchange{"one-step takes no other set's words", 90, {{0ms, "AM1;AS1;BI1;"}}, ""},
        Exchange{"two-step turns on AM1 only",
                 0,
                 {{0ms, "AP1180;"}, {1s, "AI1;AM1;"}, {1s, "AI1;"}},
                 "000;010;",
                 false,
                 kTwoStep,
                 kTrailing},
        Exchange{"two-step ignores CR and AM1 without target",
                 0,
                 {{0ms, "AP1180\rAM1;"}, {1s, "AI1;"}},
                 ";000",
                 false,
                 kTwoStep},
        Exchange{"two-step lone ; forgets",
                 0,
                 {{0ms, "AP1180;;AM1;"}, {1s, "AI1;"}},
                 ";000",
                 false,
                 kTwoStep},
        Exchange{"two-step lone ; turns on",
                 0,
                 {{0ms, "AP1180;AM1;"}, {1s, ";"}, {1s, "AI1;"}},
                 ";020",
                 false,
                 kTwoStep},
        Exchange{"two-step AS1 stops",
                 0,
                 {{0ms, "AP1180;AM1;"}, {1s, "AS1;AI1;AS1;"}},
                 ";010VR1.0",
                 false,
                 kTwoStep},
        Exchange{"tenths",
                 0,
                 {{0ms, "BI1;AP1048.8\rAP1180\r"}, {5s, "BI1;AI1;"}},
                 "  0.0; 48.8;",
                 false,
                 kTenths},
        Exchange{"tenths at 180", 180, {{0ms, "BI1;;"}}, "180.0;VR1.0", false, kTenths},
        Exchange{"tenths 360 is 0", 359.96, {{0ms, "BI1;"}}, "  0.0;", false, kTenths}),
    [](const auto& test) { return kestavo::test::testName(test.param.name); });

TEST(Responder, NotesTheAntennasBearingWithin0To359)
{
    EXPECT_EQ(antennaText(0, -90), " (antenna 270)");
    EXPECT_EQ(antennaText(359.96, 0), " (antenna 0)");
    EXPECT_EQ(antennaText(90, std::nullopt), "");
}

// --- the rotor

struct Turn {
    const char* name;
    double start;
    double target;
    std::chrono::milliseconds elapsed;
    double heading;
};

class Turning : public ::testing::TestWithParam<Turn>
{
};

TEST_P(Turning, MovesAtItsRateStraightToTheTarget)
{
    // 10 degrees per second
    Rotor rotor(10, GetParam().start);
    rotor.retarget(GetParam().target);
    EXPECT_DOUBLE_EQ(rotor.advance(GetParam().elapsed), GetParam().heading);
    EXPECT_EQ(rotor.arrived(), GetParam().heading == GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, Turning,
    ::testing::Values(Turn{"up", 0, 180, 1500ms, 15}, Turn{"down", 180, 90, 2000ms, 160},
                      Turn{"reaches the target", 0, 180, 18000ms, 180},
                      Turn{"stops at the target", 0, 180, 60000ms, 180},
                      Turn{"never crosses the stop at 360", 350, 10, 2000ms, 330},
                      Turn{"never crosses the stop at 0", 10, 350, 2000ms, 30},
                      Turn{"all the way round", 360, 0, 36000ms, 0},
                      Turn{"no time, no move", 90, 180, 0ms, 90},
                      Turn{"already there", 90, 90, 1000ms, 90}));

TEST(Rotor, ClampsIntoTheStops)
{
    Rotor rotor(10, -20);
    EXPECT_EQ(rotor.heading(), 0);
    rotor.retarget(400);
    EXPECT_EQ(rotor.target(), 360);
    EXPECT_DOUBLE_EQ(rotor.advance(100s), 360);
    EXPECT_EQ(Rotor(10, 400).heading(), 360);
}

TEST(Rotor, RetargetsFromWhereItIs)
{
    Rotor rotor(6, 0);
    rotor.retarget(180);
    EXPECT_DOUBLE_EQ(rotor.advance(5s), 30);
    rotor.retarget(0);
    EXPECT_FALSE(rotor.arrived());
    EXPECT_DOUBLE_EQ(rotor.advance(2s), 18);
    EXPECT_DOUBLE_EQ(rotor.advance(3s), 0);
    EXPECT_TRUE(rotor.arrived());
}

TEST(Rotor, StallsForGoodAtTheStallHeading)
{
    Rotor rotor(10, 0, 30);
    rotor.retarget(90);
    EXPECT_DOUBLE_EQ(rotor.advance(2500ms), 25);
    EXPECT_FALSE(rotor.stalled());
    EXPECT_EQ(rotor.advance(1s), 30) << "a step past the stall heading ends on it";
    EXPECT_EQ(rotor.advance(60s), 30);
    rotor.retarget(0);
    EXPECT_EQ(rotor.advance(60s), 30);
    EXPECT_TRUE(rotor.stalled());
}

TEST(Rotor, SmallStepsAddUpToTheSameTurn)
{
    // The poll loop advances it a tick at a time.
    Rotor rotor(6, 0);
    rotor.retarget(360);
    for (int tick = 0; tick < 599; ++tick)
        rotor.advance(100ms);
    EXPECT_FALSE(rotor.arrived());
    EXPECT_NEAR(rotor.heading(), 359.4, 1e-6);
    rotor.advance(150ms);
    EXPECT_TRUE(rotor.arrived());
}

// --- line settings

struct Framing {
    speed_t speed;
    tcflag_t flags;
    const char* text;
};

void PrintTo(const Framing& c, std::ostream* os)
{
    kestavo::test::printText(c.text, os);
}

class Settings : public ::testing::TestWithParam<Framing>
{
};

TEST_P(Settings, AreDescribedFromTheTerminalAttributes)
{
    termios attributes{};
    ::cfmakeraw(&attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    attributes.c_cflag |= GetParam().flags;
    ASSERT_EQ(::cfsetspeed(&attributes, GetParam().speed), 0);
    EXPECT_EQ(describe(framingOf(attributes)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, Settings,
    ::testing::Values(Framing{B4800, CS8, "4800 baud, 8 data bits, no parity, 1 stop bit"},
                      Framing{B9600, CS7 | PARENB,
                              "9600 baud, 7 data bits, even parity, 1 stop bit"},
                      Framing{B110, CS5 | PARENB | PARODD | CSTOPB,
                              "110 baud, 5 data bits, odd parity, 2 stop bits"},
                      Framing{B115200, CS6 | PARENB | CMSPAR,
                              "115200 baud, 6 data bits, space parity, 1 stop bit"},
                      Framing{B38400, CS8 | PARENB | PARODD | CMSPAR,
                              "38400 baud, 8 data bits, mark parity, 1 stop bit"},
                      Framing{B0, CS8, "unknown speed, 8 data bits, no parity, 1 stop bit"}),
    [](const auto& test) { return kestavo::test::testName(test.param.text); });

// --- options

struct Arguments {
    std::vector<std::string_view> arguments;
    int port;
    double rate;
    double start;
    const char* errorPart; // empty when accepted
    bool mute = false;
    bool strayByte = false;
    std::chrono::milliseconds answerDelay{0};
    CommandSet set = CommandSet::OneStep;
    AnswerForm form = AnswerForm::Leading;
    std::optional<double> stallAfter{};
    std::optional<int> offset{};
};

[[nodiscard]] std::string joined(const Arguments& c)
{
    std::string text;
    for (const std::string_view argument : c.arguments)
        text += (text.empty() ? "" : " ") + std::string(argument);
    return text;
}

void PrintTo(const Arguments& c, std::ostream* os)
{
    kestavo::test::printText(joined(c), os);
}

class CommandLine : public ::testing::TestWithParam<Arguments>
{
};

TEST_P(CommandLine, IsReadOrRefused)
{
    const ParsedOptions parsed = parseOptions(GetParam().arguments);
    const std::string part = GetParam().errorPart;
    if (part.empty()) {
        ASSERT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.port, GetParam().port);
        EXPECT_EQ(parsed.options.rate, GetParam().rate);
        EXPECT_EQ(parsed.options.start, GetParam().start);
        EXPECT_EQ(parsed.options.mute, GetParam().mute);
        EXPECT_EQ(parsed.options.strayByte, GetParam().strayByte);
        EXPECT_EQ(parsed.options.answerDelay, GetParam().answerDelay);
        EXPECT_EQ(parsed.options.commandSet, GetParam().set);
        EXPECT_EQ(parsed.options.answerForm, GetParam().form);
        EXPECT_EQ(parsed.options.stallAfter, GetParam().stallAfter);
        EXPECT_EQ(parsed.options.offset, GetParam().offset);
    } else {
        EXPECT_NE(parsed.error.find(part), std::string::npos) << parsed.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLine,
    ::testing::Values(
        Arguments{{}, 99, 6, 0, ""},
        Arguments{{"--port", "98", "--rate", "1000", "--start", "12.5"}, 98, 1000, 12.5, ""},
        Arguments{{"--port=7", "--rate=0.5"}, 7, 0.5, 0, ""},
        Arguments{{"--port", "0"}, 0, 0, 0, "from 1 to 32767"},
        Arguments{{"--port", "32768"}, 0, 0, 0, "from 1 to 32767"},
        Arguments{{"--port", "9x"}, 0, 0, 0, "whole number"},
        Arguments{{"--port"}, 0, 0, 0, "needs a value"},
        Arguments{{"--rate", "0"}, 0, 0, 0, "above 0"},
        Arguments{{"--rate", "inf"}, 0, 0, 0, "above 0"},
        Arguments{{"--start", "361"}, 0, 0, 0, "from 0 to 360"},
        Arguments{{"--start", "nan"}, 0, 0, 0, "from 0 to 360"},
        Arguments{{"--speed", "3"}, 0, 0, 0, "unknown option \"--speed\""},
        Arguments{
            {"--mute", "--stray-byte", "--answer-delay=250"}, 99, 6, 0, "", true, true, 250ms},
        Arguments{{"--answer-delay", "60001"}, 0, 0, 0, "from 0 to 60000"},
        Arguments{{"--mute=yes"}, 0, 0, 0, "takes no value"},
        Arguments{{"--command-set", "two-step", "--answer-form=trailing"},
                  99,
                  6,
                  0,
                  "",
                  false,
                  false,
                  0ms,
                  kTwoStep,
                  kTrailing},
        Arguments{{"--command-set=tenths"}, 99, 6, 0, "", false, false, 0ms, kTenths},
        Arguments{{"--command-set", "three-step"}, 0, 0, 0, "one-step, two-step or tenths"},
        Arguments{{"--answer-form", "middle"}, 0, 0, 0, "leading or trailing"},
        Arguments{{"--answer-form=leading", "--command-set=tenths"}, 0, 0, 0, "is for the one"},
        Arguments{.arguments{"--stall-after=360", "--offset", "-359"},
                  .port = 99,
                  .rate = 6,
                  .start = 0,
                  .errorPart = "",
                  .stallAfter = 360,
                  .offset = -359},
        Arguments{{"--stall-after", "-0.5"}, 0, 0, 0, "stall heading must be from 0 to 360"},
        Arguments{{"--stall-after=nan"}, 0, 0, 0, "stall heading must be from 0 to 360"},
        Arguments{{"--offset", "360"}, 0, 0, 0, "whole degrees from -359 to 359"},
        Arguments{{"--port=98", "--offset=-360"}, 0, 0, 0, "whole degrees from -359 to 359"},
        Arguments{{"--offset", "12.5"}, 0, 0, 0, "whole degrees from -359 to 359"}),
    [](const auto& test) { return kestavo::test::testName(joined(test.param)); });

// --- taking over a port table entry

enum class Make { Nothing, Dangling, LinkToFile, RegularFile, Directory };

struct Entry {
    const char* name;
    Make make;
    EntryState state;
    LinkAction action;
};

class PortTableEntry : public ::testing::TestWithParam<Entry>
{
protected:
    QTemporaryDir m_dir;
};

TEST_P(PortTableEntry, IsTakenOverOnlyWhenNothingUsesIt)
{
    const std::string dir = m_dir.path().toStdString();
    const std::string path = dir + "/COM99";
    switch (GetParam().make) {
    case Make::Nothing:
        break;
    case Make::Dangling:
        ASSERT_EQ(::symlink((dir + "/gone").c_str(), path.c_str()), 0);
        break;
    case Make::LinkToFile:
        std::ofstream(dir + "/device") << "x";
        ASSERT_EQ(::symlink((dir + "/device").c_str(), path.c_str()), 0);
        break;
    case Make::RegularFile:
        std::ofstream(path) << "/dev/ttyUSB0\n";
        break;
    case Make::Directory:
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        break;
    }
    std::string error;
    const std::optional<PortEntry> entry = inspectEntry(path, error);
    ASSERT_TRUE(entry) << error;
    EXPECT_EQ(entry->state, GetParam().state);
    EXPECT_EQ(decideLink(entry->state), GetParam().action);
    if (GetParam().action == LinkAction::Refuse) {
        EXPECT_NE(refusalReason(path, *entry, 99).find("--port"), std::string::npos);
        return;
    }
    ASSERT_TRUE(placeLink(path, "/dev/pts/77", GetParam().action, error)) << error;
    char target[64] = {};
    ASSERT_GT(::readlink(path.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/pts/77");
    // Nothing half-made left beside it.
    EXPECT_EQ(QDir(m_dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{"COM99"});
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PortTableEntry,
    ::testing::Values(
        Entry{"missing", Make::Nothing, EntryState::Missing, LinkAction::Create},
        Entry{"dangling link", Make::Dangling, EntryState::DanglingLink, LinkAction::Replace},
        Entry{"live link", Make::LinkToFile, EntryState::LiveLink, LinkAction::Refuse},
        Entry{"regular file", Make::RegularFile, EntryState::Other, LinkAction::Refuse},
        Entry{"directory", Make::Directory, EntryState::Other, LinkAction::Refuse}));

TEST(PortLink, CreateFailsWhenAnEntryAppearedMeanwhile)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/COM5";
    ASSERT_EQ(::symlink("/dev/null", path.c_str()), 0);
    std::string error;
    EXPECT_FALSE(placeLink(path, "/dev/pts/77", LinkAction::Create, error));
    EXPECT_NE(error.find("another --port"), std::string::npos) << error;
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{"COM5"});
}

TEST(PortLink, IsRemovedOnlyWhileItIsStillOurs)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/COM5";
    std::string error;
    ASSERT_EQ(::symlink("/dev/pts/8", path.c_str()), 0);
    EXPECT_TRUE(removeLinkIfOurs(path, "/dev/pts/7", error));
    struct stat info {
    };
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << "someone else's link was removed";
    EXPECT_TRUE(removeLinkIfOurs(path, "/dev/pts/8", error));
    EXPECT_NE(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(removeLinkIfOurs(path, "/dev/pts/8", error)) << "already gone is fine";
}

TEST(PortLink, MakesTheWholeDirectoryPath)
{
    QTemporaryDir dir;
    const std::string nested = dir.path().toStdString() + "/a/b/kestavo/ports";
    std::string error;
    ASSERT_TRUE(makeDirectories(nested, error)) << error;
    EXPECT_TRUE(QFileInfo(QString::fromStdString(nested)).isDir());
    EXPECT_TRUE(makeDirectories(nested, error)) << "an existing one is fine";
    std::ofstream(dir.path().toStdString() + "/file") << "x";
    EXPECT_FALSE(makeDirectories(dir.path().toStdString() + "/file/ports", error));
    EXPECT_NE(error.find("/file"), std::string::npos) << error;
}

} // namespace
