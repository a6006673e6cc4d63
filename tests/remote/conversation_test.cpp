// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol: what a client sends, what it reads back and what goes out
// on the line; and the full door on loopback sockets, on a clock the test moves.
#include "app/commandline.h"
#include "app/readback.h"
#include "app/rotorlink.h"
#include "platform/errorpath.h"
#include "platform/runtime.h"
#include "remote/conversation.h"
#include "remote/frontdoor.h"

#include "support/cases.h"
#include "support/fakes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

using kestavo::remote::Conversation;
using kestavo::test::RecordingCommControl;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

struct Exchange {
    const char* name;
    QByteArray sent;
    QByteArray replies;
    QStringList line;         // what went out, "AP1..." without the CR
    const char* go = nullptr; // typed and sent with GO before
};

class Protocol : public ::testing::TestWithParam<Exchange>
{
};

TEST_P(Protocol, AnswersEachLineAndSendsOnlyTargetsItTakes)
{
    const Exchange& c = GetParam();
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    if (c.go) {
        link.go(QString::fromUtf8(c.go));
        comm1.assignments.clear();
    }
    Conversation conversation(link);
    // A line that takes each command at once.
    QByteArray replies;
    for (qsizetype from = 0; from < c.sent.size();) {
        const qsizetype end = c.sent.indexOf('\n', from);
        const qsizetype to = end < 0 ? c.sent.size() : end + 1;
        link.line().lineFree();
        replies += conversation.take(c.sent.sliced(from, to - from));
        from = to;
    }
    EXPECT_EQ(replies, c.replies);
    QStringList line;
    for (const QString& command : c.line)
        line << QStringLiteral("Output=AP1%1\r").arg(command);
    EXPECT_EQ(comm1.assignments, line);
}

const QByteArray kState = "1\n0\nmin_az=0.000000\nmax_az=360.000000\nmin_el=-90.000000\n"
                          "max_el=180.000000\nsouth_zero=0\nrot_type=Az\ndone\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, Protocol,
    ::testing::Values(
        Exchange{"set_pos", "P 180 0\n", "RPRT 0\n", {"180"}},
        Exchange{"long set_pos with CR", "\\set_pos 5 -3.5\r\n", "RPRT 0\n", {"005"}},
        Exchange{"round up past north", "P 359.6 0\n", "RPRT 0\n", {"000"}},
        Exchange{"wrap",
                 "P 360 0\nP -10 0\nP 450 0\n",
                 "RPRT 0\nRPRT 0\nRPRT 0\n",
                 {"000", "350", "090"}},
        Exchange{"halves to even", "P 4.5 0\nP 5.5 0\n", "RPRT 0\nRPRT 0\n", {"004", "006"}},
        Exchange{"rounded on the digits as written",
                 "P 4.5000000000000001 0\nP 182,50000000000001 0\n",
                 "RPRT 0\nRPRT 0\n",
                 {"005", "183"}},
        Exchange{"decimal comma, tab", "P\t174,46 0,00\n", "RPRT 0\n", {"174"}},
        Exchange{"out of range", "P 450.1 0\nP -180.5 0\n", "RPRT -1\nRPRT -1\n", {}},
        Exchange{"not numbers",
                 "P 90\nP 90 nan\nP inf 0\nP 90x 0\nP 1 2 3\n",
                 QByteArray("RPRT -1\n").repeated(5),
                 {}},
        Exchange{"get_pos before any", "p\n\\get_pos\n", "0.00\n0.00\n0.00\n0.00\n", {}},
        Exchange{"get_pos after GO", "p\n", "90.00\n0.00\n", {}, "90"},
        Exchange{"a heading already on the line",
                 "P 180.4 10\np\nP 181 0\n",
                 "RPRT 0\n180.40\n10.00\nRPRT 0\n",
                 {"181"},
                 "180"},
        Exchange{"get_pos reads back the target as given",
                 "P 359.60 12.00\np\nP 450 0\np\nP -10 -0\n+p\nP 174,46 0\n\\get_pos\n",
                 "RPRT 0\n359.60\n12.00\nRPRT 0\n450.00\n0.00\nRPRT 0\nget_pos:\nAzimuth: "
                 "-10.00\nElevation: 0.00\nRPRT 0\nRPRT 0\n174.46\n0.00\n",
                 {"000", "090", "350", "174"}},
        Exchange{"get_pos after GO with decimals", "p\n", "359.60\n0.00\n", {}, "359.6"},
        Exchange{"a GO the controller refuses puts nothing on the line",
                 "P 45 0\n",
                 "RPRT 0\n",
                 {"045"},
                 "45.0"},
        Exchange{"GO that is no heading", "p\n", "0.00\n0.00\n", {}, "90x"},
        Exchange{"dump_state", "\\dump_state\n", kState, {}},
        Exchange{"get_info", "_\n\\get_info\n", "Kestavo 1.00\nKestavo 1.00\n", {}},
        Exchange{"no such thing here",
                 "S\n\\stop\nM 16 50\n\\move 2 3\nR 1\n",
                 QByteArray("RPRT -11\n").repeated(5),
                 {}},
        Exchange{"park at 0 unless set",
                 "K\n\\park\np\n",
                 "RPRT 0\nRPRT 0\n0.00\n0.00\n",
                 {"000", "000"}},
        Exchange{"silence", "\n\r\n  \n# P 90 0\n", "", {}},
        Exchange{"quit ends reading", "q\nP 90 0\n", "", {}},
        Exchange{"unknown and hostile",
                 QByteArray("x\n\\get_level\nP 90") + '\0' + " 0\np\xc3\xa9\nP 9\x1b 0\n+\n",
                 QByteArray("RPRT -4\n").repeated(6),
                 {}},
        Exchange{"extended",
                 "+P 90 0\n+p\n",
                 "set_pos: 90 0\nRPRT 0\nget_pos:\nAzimuth: 90.00\nElevation: 0.00\nRPRT 0\n",
                 {"090"}},
        Exchange{"extended dump_state",
                 "+\\dump_state\n",
                 "dump_state:\nrotctld Protocol Ver: 1\nRotor Model: 0\nMinimum Azimuth: "
                 "0.000000\nMaximum Azimuth: 360.000000\nMinimum Elevation: -90.000000\nMaximum "
                 "Elevation: 180.000000\nSouth Zero: 0\nrot_type=Az\ndone\nRPRT 0\n",
                 {}},
        Exchange{"line too long", QByteArray(300, 'P') + "\np\n", "RPRT -1\n0.00\n0.00\n", {}},
        Exchange{"cut off mid-line", "P 90 0", "", {}}),
    kestavo::test::ByName{});

// A tracker that sends faster than the line takes: one command on the
// wire, one waiting, and the newest target is the one that follows.
TEST(Flood, TheNewestTargetWinsAndNothingQueuesUp)
{
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    Conversation conversation(link);
    for (int i = 0; i < 20000; ++i)
        EXPECT_EQ(conversation.take(QByteArray("P ") + QByteArray::number(i % 400) + " 0\n"),
                  "RPRT 0\n");
    EXPECT_EQ(comm1.assignments, QStringList{"Output=AP1000\r"});
    link.line().lineFree();
    EXPECT_EQ(comm1.assignments, (QStringList{"Output=AP1000\r", "Output=AP1039\r"}));
}

struct Hold {
    const char* name;
    double azimuth;
    double elevation;
    double threshold; // how far the read-back may be off before it resends
};

class TrackerHold : public ::testing::TestWithParam<Hold>
{
};

// gpredict's loop: read the position, send the target again while the
// read-back is further off than its threshold. A held target goes out once.
TEST_P(TrackerHold, SendsOneCommandForATargetThatStays)
{
    const Hold& c = GetParam();
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    Conversation conversation(link);
    const QByteArray target = "P " + QByteArray::number(c.azimuth, 'f', 2) + ' ' +
                              QByteArray::number(c.elevation, 'f', 2) + '\n';
    for (int cycle = 0; cycle < 10; ++cycle) {
        const QList<QByteArray> read = conversation.take("p\n").split('\n');
        ASSERT_GE(read.size(), 2);
        if (std::abs(read[0].toDouble() - c.azimuth) > c.threshold ||
            std::abs(read[1].toDouble() - c.elevation) > c.threshold) {
            EXPECT_EQ(conversation.take(target), "RPRT 0\n");
        }
    }
    EXPECT_EQ(comm1.assignments.size(), 1) << comm1.assignments.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Targets, TrackerHold,
                         ::testing::Values(Hold{"engaged at its default", 180, 45, 5},
                                           Hold{"just short of north", 359.6, 0, 5},
                                           Hold{"fine threshold", 123.4, 0, 0.1}),
                         kestavo::test::ByName{});

struct ReadBackExchange {
    const char* name;
    QByteArray target;  // sent first
    QByteArray answer;  // the controller's answer to the question out
    QByteArray replies; // to p
    kestavo::app::CommandSet set = kestavo::app::CommandSet::OneStep;
};

class ReadBackProtocol : public ::testing::TestWithParam<ReadBackExchange>
{
};

// With read-back p tells the controller's bearing, unless it is within its
// resolution of the target: then the target as given, so that a tracker
// has no cause to send it again.
TEST_P(ReadBackProtocol, GetPosTellsTheBearingTheControllerReads)
{
    const ReadBackExchange& c = GetParam();
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    link.setCommandSet(c.set);
    kestavo::app::ReadBack& readBack = link.startReadBack();
    Conversation conversation(link);
    EXPECT_EQ(conversation.take(c.target), "RPRT 0\n");
    comm1.received = QString::fromLatin1(c.answer);
    readBack.received();
    EXPECT_EQ(conversation.take("p\n"), c.replies);
    EXPECT_EQ(conversation.take("S\n"), "RPRT 0\n");
    EXPECT_EQ(comm1.assignments.back(), "Output=;");
}

INSTANTIATE_TEST_SUITE_P(
    Bearings, ReadBackProtocol,
    ::testing::Values(ReadBackExchange{"on its way", "P 270 10\n", ";182", "182.00\n10.00\n"},
                      ReadBackExchange{"just short of north", "P 359.6 0\n", ";000",
                                       "359.60\n0.00\n"},
                      ReadBackExchange{"within a degree", "P 270.4 5\n", "271;", "270.40\n5.00\n"},
                      ReadBackExchange{"two degrees short", "P 270 0\n", ";268", "268.00\n0.00\n"},
                      ReadBackExchange{"tenths", "P 270 0\n", " 48.8;", "48.80\n0.00\n",
                                       kestavo::app::CommandSet::Tenths},
                      ReadBackExchange{"no answer yet", "P 90 0\n", ";12", "RPRT -5\n"}),
    kestavo::test::ByName{});

// A tracker resends its target every cycle while the controller reports the
// rotor (the answers, each to a question asked after ms): it goes out again
// once per standstill away from it, and after a stop.
TEST(ReadBackHold, TheSameTargetGoesOutAgainOncePerStandstillAwayFromIt)
{
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    kestavo::app::ReadBack& readBack = link.startReadBack();
    auto now = std::chrono::steady_clock::now();
    readBack.setClock([&] { return now; });
    Conversation conversation(link);
    EXPECT_EQ(conversation.take("P 180 0\n"), "RPRT 0\n");
    const struct {
        int ms;
        const char* answer;
        QByteArray door;
        int sent; // commands, not questions
    } steps[] = {
        {0, ";100", "P 180 0\n", 0}, // asked before the command
        {2000, ";120", "P 180 0\n", 0},    {500, ";140", "P 180 0\n", 0},
        {500, ";140", "P 180 0\n", 1},                                    // stopped short
        {2000, ";140", "P 180 0\n", 0},    {500, ";140", "P 180 0\n", 0}, // the same standstill
        {500, ";090", "P 180 0\n", 0},     {500, ";090", "P 180 0\n", 1}, // turned by hand
        {2500, ";180", "S\nP 180 0\n", 1}, // the target waits behind the stop
    };
    for (const auto& step : steps) {
        now += std::chrono::milliseconds(step.ms);
        link.line().lineFree();
        readBack.ask();
        comm1.received = QString::fromLatin1(step.answer);
        readBack.received();
        link.line().lineFree();
        comm1.assignments.clear();
        (void)conversation.take(step.door);
        comm1.assignments.removeAll(QStringLiteral("Output=AI1;"));
        EXPECT_EQ(comm1.assignments.size(), step.sent)
            << step.answer << ": " << comm1.assignments.join(u' ').toStdString();
    }
    comm1.assignments.clear();
    link.line().lineFree();
    EXPECT_EQ(comm1.assignments, QStringList{"Output=AP1180\r"});
}

struct Answering {
    int ms;
    const char* answer;
    bool overdue;       // the question out had its time before the answer came
    QByteArray door;    // what a client sends then
    QByteArray replies; // and reads
    int sent = -1;      // commands that went out, -1 not counted
    bool ask = true;    // a question goes out first
};

struct Controller {
    const char* name;
    std::vector<Answering> steps;
};

class Controllers : public ::testing::TestWithParam<Controller>
{
};

// Controllers that answer late, fall silent or flicker, as a tracker sees
// them; the line takes each command at once.
TEST_P(Controllers, AreReadForWhatTheySay)
{
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    kestavo::app::ReadBack& readBack = link.startReadBack();
    auto now = std::chrono::steady_clock::now();
    readBack.setClock([&] { return now; });
    Conversation conversation(link);
    for (const Answering& step : GetParam().steps) {
        now += std::chrono::milliseconds(step.ms);
        link.line().lineFree();
        if (step.ask)
            readBack.ask();
        if (step.overdue)
            readBack.answerOverdue();
        comm1.received = QString::fromLatin1(step.answer);
        readBack.received();
        link.line().lineFree();
        comm1.assignments.clear();
        EXPECT_EQ(conversation.take(step.door), step.replies) << step.answer;
        comm1.assignments.removeAll(QStringLiteral("Output=AI1;"));
        if (step.sent >= 0) {
            EXPECT_EQ(comm1.assignments.size(), step.sent) << step.answer;
        }
    }
}

const QByteArray kHold = "P 180 0\n";
INSTANTIATE_TEST_SUITE_P(
    Answers, Controllers,
    ::testing::Values(Controller{"late behind a network link",
                                 {{0, "", true, "p\n", "RPRT -5\n"},
                                  {100, ";090", false, "p\n", "90.00\n0.00\n", -1, false}}},
                      Controller{"silent mid-turn",
                                 {{0, ";022", false, "P 180 0\np\n", "RPRT 0\n22.00\n0.00\n"},
                                  {500, "", true, "p\n", "22.00\n0.00\n"},
                                  {500, "", true, "p\n", "22.00\n0.00\n"},
                                  {500, "", true, "p\n", "22.00\n0.00\n"},
                                  {10000, ";030", false, "p\n", "30.00\n0.00\n"}}},
                      Controller{"flickering at rest",
                                 {{0, ";100", false, kHold, "RPRT 0\n", 1},
                                  {2000, ";140", false, kHold, "RPRT 0\n", 0},
                                  {500, ";141", false, kHold, "RPRT 0\n", 1}, // stood still short
                                  {2000, ";140", false, kHold, "RPRT 0\n", 0},
                                  {500, ";141", false, kHold, "RPRT 0\n", 0}, // the same standstill
                                  {500, ";140", false, kHold, "RPRT 0\n", 0}}}),
    kestavo::test::ByName{});

struct Room {
    const char* name;
    QByteArray line;           // what each client says, but the quiet ones
    bool quiet;                // clients 3 and 5 send bytes but never a line end
    std::chrono::seconds wait; // from the first client's line to the newcomer
    int closed;                // which of the 17 the door closes; 16 is the newcomer
    const char* notice;        // nullptr: standard error is a full pipe
};

class FullDoor : public ::testing::TestWithParam<Room>
{
};

TEST_P(FullDoor, MakesRoomForTheNewcomerOrClosesIt)
{
    const Room& c = GetParam();
    RecordingCommControl comm1;
    kestavo::app::RotorLink link(comm1);
    kestavo::test::ScriptedDialogs dialogs;
    kestavo::platform::ErrorPath errors(dialogs);
    kestavo::platform::RunTime runTime(errors);
    std::chrono::steady_clock::time_point now;
    kestavo::remote::FrontDoor door(link, runTime, [&now] { return now; });
    int notices[2];
    ASSERT_EQ(::pipe2(notices, O_NONBLOCK), 0);
    while (!c.notice && ::write(notices[1], QByteArray(4096, 'x').constData(), 4096) > 0) {
    }
    // Blocking, as standard error is: a notice that waited for room would hang.
    ASSERT_EQ(::fcntl(notices[1], F_SETFL, 0), 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0); // for a free port
    ASSERT_TRUE(::bind(probe, any, length) == 0 && ::getsockname(probe, any, &length) == 0);
    ASSERT_EQ(::close(probe), 0);
    door.listen({QStringLiteral("127.0.0.1"), ntohs(address.sin_port), true}, notices[1]);
    std::vector<int> clients;
    for (int i = 0; i < 17; ++i) {
        now = std::chrono::steady_clock::time_point(i < 16 ? std::chrono::seconds(i) : c.wait);
        clients.push_back(::socket(AF_INET, SOCK_STREAM, 0));
        ASSERT_EQ(::connect(clients.back(), any, length), 0);
        const QByteArray said = i == 16 ? "" : c.quiet && (i == 3 || i == 5) ? "P 1" : c.line;
        ASSERT_EQ(::send(clients.back(), said.constData(), said.size(), 0), said.size());
        QTest::qWait(20); // on loopback all has arrived; the door takes it in order
    }
    for (int i = 0; i < 17; ++i) {
        pollfd end{clients[i], POLLRDHUP, 0};
        EXPECT_EQ(::poll(&end, 1, 0) == 1, i == c.closed) << "client " << i;
        ::close(clients[i]);
    }
    EXPECT_EQ(door.messagesDropped(), c.notice ? 0U : 1U);
    EXPECT_FALSE(::fcntl(notices[1], F_GETFL) & O_NONBLOCK) << "the door changed its flags";
    QByteArray told(512, '\0');
    told.resize(std::max<ssize_t>(::read(notices[0], told.data(), told.size()), 0));
    EXPECT_TRUE(!c.notice || (told.startsWith("kestavo: 16 clients on 127.0.0.1:") &&
                              told.endsWith(QByteArray(c.notice) + " (1 so far)\n")))
        << told.toStdString();
    ::close(notices[0]);
    ::close(notices[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FullDoor,
    ::testing::Values(Room{"a stranger goes first, the oldest", "p\n", true, 120s, 3,
                           ", which never spoke, to make room for a new one"},
                      Room{"an empty line is speaking, 60 s is silent long enough", "\n", false,
                           60s, 0, ", silent for 60 s, to make room for a new one"},
                      Room{"a comment is speaking, 59 s is too short", "# 73\n", false, 59s, 16,
                           ": all 16 clients spoke within 60 s"},
                      Room{"a full standard error drops the notice", "p\n", false, 60s, 0,
                           nullptr}),
    kestavo::test::ByName{});

} // namespace
