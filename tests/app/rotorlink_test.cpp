// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bearinganswer.h"
#include "app/lineowner.h"
#include "app/readback.h"
#include "app/rotorlink.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

using kestavo::app::RotorLink;
using kestavo::test::RecordingCommControl;

namespace
{

// GO hands "AP1", the text exactly as typed, and CR to Output, once per
// click and in click order.
TEST(Go, SendsOnePositionCommandPerClick)
{
    const struct {
        QString text;
        QString output;
    } cases[] = {
        {QStringLiteral("180"), QStringLiteral("AP1180\r")},
        {QString(), QStringLiteral("AP1\r")},
        {QStringLiteral("90x"), QStringLiteral("AP190x\r")},
        {QStringLiteral(" 45 "), QStringLiteral("AP1 45 \r")},
        {QStringLiteral("AP1"), QStringLiteral("AP1AP1\r")},
        {QStringLiteral("180\u00B0"), QStringLiteral("AP1180\u00B0\r")},
    };
    for (const auto& c : cases) {
        RecordingCommControl comm1;
        RotorLink link(comm1);
        link.go(c.text);
        EXPECT_EQ(comm1.assignments, QStringList{QStringLiteral("Output=") + c.output})
            << c.text.toStdString();
    }

    // Never held back by a line that is still busy.
    RecordingCommControl comm1;
    RotorLink link(comm1);
    link.go(QStringLiteral("10"));
    link.go(QStringLiteral("10"));
    link.go(QStringLiteral("20"));
    EXPECT_EQ(comm1.assignments,
              (QStringList{"Output=AP110\r", "Output=AP110\r", "Output=AP120\r"}));
}

// What the line brings after a question, cut into reads as it comes.
TEST(AnswerReader, FindsTheBearingInWhateverTheLineBrings)
{
    constexpr auto kTenths = kestavo::app::CommandSet::Tenths;
    const struct {
        QList<QByteArray> reads;
        std::optional<int> bearing; // in tenths
        kestavo::app::CommandSet set = kestavo::app::CommandSet::OneStep;
    } cases[] = {
        {{";123"}, 1230},
        {{"123;"}, 1230},          // older units
        {{"\xff;045"}, 450},       // a stray byte at power-on
        {{"VR1.0\r;270"}, 2700},   // a banner first
        {{"x", "27", "0;"}, 2700}, // after a non-digit, cut into pieces
        {{";", "0", "0", "7"}, 70},
        {{";360"}, 0},
        {{";999;3", "59"}, 3590},  // out of range, then a good one
        {{"1801;"}, std::nullopt}, // the end of a longer number
        {{";12"}, std::nullopt},   // half an answer
        {{"12;4"}, std::nullopt},
        {{QByteArray(100000, '7')}, std::nullopt},
        {{" 48.8;"}, 488, kTenths},
        {{"180.0", ";"}, 1800, kTenths},
        {{"AI1;7.5;"}, 75, kTenths},
        {{"360.0;"}, 0, kTenths},
        {{";180"}, std::nullopt, kTenths},
        {{"1234.5;"}, std::nullopt, kTenths},
        {{"360.1;"}, std::nullopt, kTenths},
    };
    for (const auto& c : cases) {
        kestavo::app::AnswerReader reader(c.set);
        std::optional<int> found;
        for (const QByteArray& read : c.reads)
            found = found ? found : reader.take(read);
        EXPECT_EQ(found, c.bearing) << c.reads.join('|').toStdString();
    }
}

// What each set makes of GO, and of a stop.
TEST(CommandSets, GoAndStopInTheSetsForm)
{
    using kestavo::app::CommandSet;
    const struct {
        CommandSet set;
        QString text;
        QStringList line; // empty: refused, and told
        RotorLink::Text rule = RotorLink::Text::AsTyped;
    } cases[] = {
        {CommandSet::OneStep, QStringLiteral("45.0"), {"AP145.0\r", ";"}},
        // The web page's GO: a heading in the set's form, or nothing.
        {CommandSet::OneStep,
         QStringLiteral("45.0"),
         {"AP1045\r", ";"},
         RotorLink::Text::HeadingOnly},
        {CommandSet::OneStep, QStringLiteral("9\r;AP1180"), {}, RotorLink::Text::HeadingOnly},
        {CommandSet::TwoStep, QStringLiteral("45"), {"AP1045;AM1;", "AS1;"}},
        {CommandSet::TwoStep, QStringLiteral("45,6"), {"AP1046;AM1;", "AS1;"}},
        {CommandSet::TwoStep, QStringLiteral("-10"), {"AP1350;AM1;", "AS1;"}},
        {CommandSet::TwoStep, QStringLiteral("45 deg"), {}},
        {CommandSet::Tenths, QStringLiteral("7.5"), {"AP1007.5\r", ";"}},
        {CommandSet::Tenths, QStringLiteral("359.96"), {"AP1000.0\r", ";"}},
        {CommandSet::Tenths, QStringLiteral("180"), {"AP1180.0\r", ";"}},
        {CommandSet::Tenths, QString(), {}},
    };
    for (const auto& c : cases) {
        RecordingCommControl comm1;
        RotorLink link(comm1);
        link.setCommandSet(c.set);
        (void)link.startReadBack();
        QStringList refusals;
        QObject::connect(&link, &RotorLink::goRefused,
                         [&](const QString& why) { refusals << why; });
        comm1.assignments.clear();
        link.line().lineFree();
        link.go(c.text, c.rule);
        if (!c.line.isEmpty()) {
            EXPECT_TRUE(link.stop());
        }
        QStringList line;
        for (const QString& command : c.line)
            line << QStringLiteral("Output=") + command;
        EXPECT_EQ(comm1.assignments, line) << c.text.toStdString();
        EXPECT_EQ(refusals.size(), c.line.isEmpty() ? 1 : 0) << c.text.toStdString();
    }
}

// The line's owner, on a port that is free when the test says so
// ("free"), and a clock the test moves ("+ms"). "go X" is GO's command,
// "target X" a client's, "stop" and "ask" as their names say; "xN" repeats
// the next event N times.
TEST(LineOwner, KeepsWhatWaitsBoundedAndInOrder)
{
    const struct {
        const char* name;
        QStringList events;
        QStringList line;
    } cases[] = {
        {"a stop flood goes once a second",
         {"stop", "x1000", "stop", "+999", "+1", "+500", "stop", "+500"},
         {";", ";", ";"}},
        {"a stop drops a waiting target",
         {"go AP1010", "target AP1090", "stop", "free"},
         {"AP1010", ";"}},
        {"a command drops a waiting stop",
         {"stop", "stop", "go AP1090", "+1000", "stop"},
         {";", "AP1090", ";"}},
        {"questions wait for the line and behind a command",
         {"ask", "target AP1090", "ask", "free", "free", "ask"},
         {"AI1;", "AP1090", "AI1;"}},
        {"a flood keeps one of each",
         {"go AP1010", "x10000", "target AP1020", "x10000", "ask", "free", "free", "free"},
         {"AP1010", "AP1020", "AI1;"}},
    };
    for (const auto& c : cases) {
        RecordingCommControl comm1;
        kestavo::app::LineOwner owner(comm1);
        auto now = std::chrono::steady_clock::now();
        owner.setClock([&] { return now; });
        int repeat = 1;
        for (const QString& event : c.events) {
            const int times = std::exchange(repeat, 1);
            for (int i = 0; i < times; ++i) {
                if (event.startsWith(u'x'))
                    repeat = event.mid(1).toInt();
                else if (event.startsWith(u'+'))
                    now += std::chrono::milliseconds(event.mid(1).toInt());
                else if (event == u"free")
                    owner.lineFree();
                else if (event == u"stop")
                    owner.stop(QStringLiteral(";"));
                else if (event == u"ask")
                    owner.ask(QStringLiteral("AI1;"));
                else if (event.startsWith(u"go "))
                    owner.command(event.mid(3));
                else
                    owner.target(event.mid(7), {});
            }
            if (event.startsWith(u'+'))
                owner.sendDueStop();
        }
        QStringList line;
        for (const QString& command : c.line)
            line << QStringLiteral("Output=") + command;
        EXPECT_EQ(comm1.assignments, line) << c.name;
    }
}

// The station's settings: the line speaks the controller's scale, all else
// the antenna's bearing; a locator is a heading once home is known.
TEST(Station, TheLineSpeaksTheControllersScale)
{
    using kestavo::app::Station;
    constexpr auto kOne = kestavo::app::CommandSet::OneStep;
    constexpr auto kTwo = kestavo::app::CommandSet::TwoStep;
    constexpr auto kTenths = kestavo::app::CommandSet::Tenths;
    const struct {
        const char* name;
        kestavo::app::CommandSet set;
        std::optional<double> park;
        std::optional<int> offset;
        const char* home;
        QString go;     // "park" parks
        QString line;   // empty: refused
        QString answer; // the controller's, then
        double bearing; // what the antenna's bearing reads
    } cases[] = {
        {"one-step across north", kOne, {}, 180, nullptr, "10", "AP1190\r", ";190", 10},
        {"two-step the other way", kTwo, {}, -20, nullptr, "350", "AP1010;AM1;", ";010", 350},
        {"tenths", kTenths, {}, 5, nullptr, "2.5", "AP1357.5\r", "357.5;", 2.5},
        {"an offset needs a heading", kOne, {}, 1, nullptr, "10x", "", "", 0},
        {"park with an offset", kOne, 270, 180, nullptr, "park", "AP1090\r", ";090", 270},
        {"a locator, short path", kOne, {}, {}, "IO91", "JN58", "AP1107\r", "", 0},
        {"a locator, long path", kTwo, {}, {}, "IO91", "jn58 lp", "AP1287;AM1;", "", 0},
        {"a locator too close", kOne, {}, {}, "JN58", "jn58", "", "", 0},
        {"a number is still a heading", kOne, {}, {}, "IO91", "45", "AP145\r", "", 0},
    };
    for (const auto& c : cases) {
        RecordingCommControl comm1;
        RotorLink link(comm1);
        link.setCommandSet(c.set);
        Station station;
        station.park = c.park;
        station.offset = c.offset;
        if (c.home)
            station.home = QString::fromLatin1(c.home);
        link.setStation(station);
        kestavo::app::ReadBack& readBack = link.startReadBack();
        QStringList refusals;
        QObject::connect(&link, &RotorLink::goRefused,
                         [&](const QString& why) { refusals << why; });
        comm1.assignments.clear();
        link.line().lineFree();
        if (c.go == u"park")
            link.park();
        else
            link.go(c.go);
        EXPECT_EQ(comm1.assignments, c.line.isEmpty()
                                         ? QStringList()
                                         : QStringList{QStringLiteral("Output=") + c.line})
            << c.name;
        EXPECT_EQ(refusals.size(), c.line.isEmpty() ? 1 : 0) << c.name;
        if (c.answer.isEmpty())
            continue;
        // The first question went out before the command.
        comm1.received = c.answer;
        readBack.received();
        ASSERT_TRUE(link.position()) << c.name;
        EXPECT_DOUBLE_EQ(link.position()->azimuth, c.bearing) << c.name;
    }
}

// Once the minutes pass with no command from anyone, it parks, once.
TEST(Station, ParksOnceAfterTheIdleMinutes)
{
    RecordingCommControl comm1;
    RotorLink link(comm1);
    auto now = std::chrono::steady_clock::now();
    link.setClock([&] { return now; });
    link.setStation({200, 30, {}, {}, {}});
    QStringList told;
    QObject::connect(&link, &RotorLink::told,
                     [&](const QString& shown, const QString&) { told << shown; });
    const auto after = [&](int minutes) {
        now += std::chrono::minutes(minutes);
        link.line().lineFree();
        link.parkIfIdle();
    };
    after(29);
    link.go(QStringLiteral("10"));
    after(29);
    after(1);
    after(60);
    EXPECT_EQ(comm1.assignments, (QStringList{"Output=AP110\r", "Output=AP1200\r"}));
    EXPECT_EQ(told.size(), 1);
    link.go(QStringLiteral("20"));
    after(30);
    EXPECT_EQ(comm1.assignments.size(), 4) << "a new command starts the count again";
}

TEST(Go, AFailedOutputReachesTheCaller)
{
    RecordingCommControl comm1;
    comm1.failOn(QStringLiteral("Output"),
                 kestavo::platform::RuntimeError(kestavo::platform::ErrorNumber::WriteFailed,
                                                 QStringLiteral("Cannot send.")));
    RotorLink link(comm1);
    EXPECT_THROW(link.go(QStringLiteral("180")), kestavo::platform::RuntimeError);
}

} // namespace
