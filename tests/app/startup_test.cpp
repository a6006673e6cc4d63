// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"
#include "platform/runtimeerror.h"
#include "platform/serialcontrol.h"

#include "support/fakes.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

using kestavo::app::startUp;
using kestavo::platform::ErrorNumber;
using kestavo::platform::RuntimeError;
using namespace kestavo::test;

namespace
{

using kestavo::test::PrintTo;

const QString kFile = QStringLiteral("Tavimer.ini");
const QString kPrompt = QStringLiteral("input:Comport|Comport for Kestavo?");

// The five assignments as the recording fake writes them down.
[[nodiscard]] QStringList linkSetUp(std::int16_t portNumber)
{
    RecordingCommControl expected;
    assignAsStartUpDoes(expected, portNumber);
    return expected.assignments;
}

struct ReplyCase {
    const char* reply;
    int portNumber;
    QByteArray stored;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    printText(c.reply, os);
}

class FirstStart : public ::testing::TestWithParam<ReplyCase>
{
};

TEST_P(FirstStart, AsksStoresTheReplyAsTypedAndSetsUpTheLink)
{
    ScratchWorkingDirectory scratch;
    ScriptedDialogs dialogs(QString::fromLatin1(GetParam().reply));
    RecordingCommControl comm1;
    startUp(comm1, dialogs);

    EXPECT_EQ(dialogs.shown, QStringList{kPrompt});
    EXPECT_EQ(fileBytes(kFile), GetParam().stored);
    EXPECT_EQ(comm1.assignments, linkSetUp(static_cast<std::int16_t>(GetParam().portNumber)));
}

INSTANTIATE_TEST_SUITE_P(Replies, FirstStart,
                         ::testing::Values(ReplyCase{"3", 3, "3\r\n"},
                                           ReplyCase{" 5 ", 5, " 5 \r\n"},
                                           ReplyCase{"2.5", 2, "2.5\r\n"},
                                           ReplyCase{"-7", -7, "-7\r\n"}));

TEST(FirstStart, ShowsThePortsFoundAndOpensTheOneTyped)
{
    PtyPair rotor;
    PortTable table;
    table.link(42, rotor.slavePath());
    FakeSystemPorts system;
    ScratchWorkingDirectory scratch;
    ScriptedDialogs dialogs(QStringLiteral("42"));
    kestavo::platform::SerialControl comm1;
    startUp(comm1, dialogs);

    ASSERT_EQ(dialogs.inputDetails.size(), 1);
    EXPECT_TRUE(dialogs.inputDetails.constFirst().contains(
        QStringLiteral("\n42  %1  port table").arg(rotor.slavePath())))
        << dialogs.inputDetails.constFirst().toStdString();
    EXPECT_EQ(fileBytes(kFile), QByteArray("42\r\n"));
    EXPECT_TRUE(comm1.isOpen());
    EXPECT_EQ(comm1.devicePath(), rotor.slavePath());
}

TEST(FirstStart, SaysSoWhenNoPortIsFound)
{
    PortTable emptyTable;
    FakeSystemPorts none;
    ScratchWorkingDirectory scratch;
    ScriptedDialogs dialogs(QStringLiteral("3"));
    RecordingCommControl comm1;
    startUp(comm1, dialogs);
    ASSERT_EQ(dialogs.inputDetails.size(), 1);
    EXPECT_TRUE(dialogs.inputDetails.constFirst().startsWith(QStringLiteral("No serial ports")));
}

TEST(NextStart, ReadsThePortFromTheFileWithoutAsking)
{
    ScratchWorkingDirectory scratch;
    {
        ScriptedDialogs first(QStringLiteral(" 5 "));
        RecordingCommControl comm1;
        startUp(comm1, first);
    }
    ScriptedDialogs second(QStringLiteral("would be wrong"));
    RecordingCommControl comm1;
    const FakeSystemPorts system;
    startUp(comm1, second);
    EXPECT_TRUE(second.shown.isEmpty());
    EXPECT_EQ(system.queries(), 0) << "ports are listed only when the user chooses one";
    EXPECT_EQ(comm1.assignments, linkSetUp(5));
    EXPECT_EQ(fileBytes(kFile), QByteArray(" 5 \r\n")) << "the file is never rewritten";
}

TEST(FirstStart, CancelWarnsStoresNothingAndHandsOnPortZero)
{
    ScratchWorkingDirectory scratch;
    ScriptedDialogs dialogs{QString()};
    RecordingCommControl comm1;
    startUp(comm1, dialogs);
    EXPECT_EQ(dialogs.shown, (QStringList{kPrompt, QStringLiteral("warning:User pressed Cancel")}));
    EXPECT_FALSE(QFile::exists(kFile));
    EXPECT_EQ(comm1.assignments, linkSetUp(0));
}

struct BadReplyCase {
    const char* reply;
    ErrorNumber error;
};

void PrintTo(const BadReplyCase& c, std::ostream* os)
{
    printText(c.reply, os);
}

class BadReply : public ::testing::TestWithParam<BadReplyCase>
{
};

TEST_P(BadReply, FailsBeforeWritingOrTouchingThePort)
{
    ScratchWorkingDirectory scratch;
    ScriptedDialogs dialogs(QString::fromLatin1(GetParam().reply));
    RecordingCommControl comm1;
    const auto error = raised([&] { startUp(comm1, dialogs); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), GetParam().error);
    EXPECT_TRUE(error->description().contains(QStringLiteral("Nothing was stored")));
    EXPECT_FALSE(QFile::exists(kFile));
    EXPECT_TRUE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    EXPECT_TRUE(comm1.assignments.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Replies, BadReply,
                         ::testing::Values(BadReplyCase{"abc", ErrorNumber::TypeMismatch},
                                           BadReplyCase{"3x", ErrorNumber::TypeMismatch},
                                           BadReplyCase{" ", ErrorNumber::TypeMismatch},
                                           BadReplyCase{"COM3", ErrorNumber::TypeMismatch},
                                           BadReplyCase{"40000", ErrorNumber::Overflow},
                                           BadReplyCase{"32767.5", ErrorNumber::Overflow}));

TEST(FirstStart, DirectoryOfThatNameCountsAsAbsentAndTheWriteFails)
{
    ScratchWorkingDirectory scratch;
    ASSERT_TRUE(QDir().mkdir(kFile));
    ScriptedDialogs dialogs(QStringLiteral("3"));
    RecordingCommControl comm1;
    const auto error = raised([&] { startUp(comm1, dialogs); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), ErrorNumber::FileUnwritable);
    EXPECT_EQ(dialogs.shown, QStringList{kPrompt});
    EXPECT_TRUE(QFileInfo(kFile).isDir());
    EXPECT_TRUE(comm1.assignments.isEmpty());
}

// Read-back, from the item after the port number or the command line, opens
// the line for reading before the five assignments; without it they stand
// alone, as always.
TEST(NextStart, ReadBackOpensTheLineForReadingFirst)
{
    const struct {
        QByteArray file;
        bool asked;
        bool readBack;
    } cases[] = {
        {"3,read-back\r\n", false, true},
        {"3 , Read-Back \r\n", false, true},
        {"3\r\n", true, true},
        {"3\r\nread-back\r\n", false, false},
        {"3,readback\r\n", false, false},
    };
    for (const auto& c : cases) {
        ScratchWorkingDirectory scratch;
        writeFileBytes(kFile, c.file);
        ScriptedDialogs dialogs;
        RecordingCommControl comm1;
        EXPECT_EQ(startUp(comm1, dialogs, c.asked).readBack, c.readBack) << c.file.toStdString();
        EXPECT_EQ(comm1.assignments,
                  (c.readBack ? QStringList{"Reading=True"} : QStringList()) + linkSetUp(3));
    }
}

// The station's items are read with their values; one that is malformed or
// unknown is told and left alone, and an option given wins over its item.
TEST(NextStart, StationItemsAreReadToldOrOverriddenByTheOptions)
{
    using kestavo::app::ListenAddress;
    using kestavo::app::Station;
    const struct {
        QByteArray file;
        Station asked; // park, park-after, offset, home, web
        Station read;
        const char* told; // part of what is told; nullptr: nothing is
    } cases[] = {
        {"3,park=270,offset=-20,home=jo62qm,park-after=30\r\n",
         {},
         {270.0, 30, -20, QStringLiteral("JO62QM"), {}},
         nullptr},
        {"3 , Park = 12.5 ,read-back, OFFSET=0\r\n", {}, {12.5, {}, 0, {}, {}}, nullptr},
        {"3,park=400,offset=10\r\n", {}, {{}, {}, 10, {}, {}}, "\"park=400\" is left alone"},
        {"3,park=90,park=400\r\n", {}, {90.0, {}, {}, {}, {}}, "\"park=400\" is left alone"},
        {"3,home=JO6,park-after=1441\r\n", {}, {}, "\"park-after=1441\" is left alone"},
        {"3,parking=1,park=1\r\n", {}, {1.0, {}, {}, {}, {}}, "\"parking=1\" means nothing"},
        {"3,offset=180,park=90\r\n", {{}, {}, -20, {}, {}}, {90.0, {}, -20, {}, {}}, nullptr},
    };
    for (const auto& c : cases) {
        ScratchWorkingDirectory scratch;
        writeFileBytes(kFile, c.file);
        ScriptedDialogs dialogs;
        RecordingCommControl comm1;
        const auto choice = startUp(comm1, dialogs, false, std::nullopt, c.asked);
        const std::string what = c.file.toStdString();
        EXPECT_EQ(choice.station.park, c.read.park) << what;
        EXPECT_EQ(choice.station.parkAfterMinutes, c.read.parkAfterMinutes) << what;
        EXPECT_EQ(choice.station.offset, c.read.offset) << what;
        EXPECT_EQ(choice.station.home, c.read.home) << what;
        const auto webText = [](const Station& s) { return s.web ? s.web->text() : QString(); };
        EXPECT_EQ(webText(choice.station), webText(c.read)) << what;
        const QString told = choice.told.join(u'\n');
        EXPECT_TRUE(c.told ? told.contains(QString::fromLatin1(c.told)) : told.isEmpty())
            << what << told.toStdString();
        EXPECT_TRUE(dialogs.shown.isEmpty()) << "told in the window, not in a box";
    }
}

TEST(NextStart, FileWithoutANumberTellsTheUserToDeleteItAndIsKept)
{
    for (const QByteArray& content : {QByteArray("COM3\r\n"), QByteArray(), QByteArray("\r\n")}) {
        ScratchWorkingDirectory scratch;
        writeFileBytes(kFile, content);
        ScriptedDialogs dialogs(QStringLiteral("3"));
        RecordingCommControl comm1;
        const auto error = raised([&] { startUp(comm1, dialogs); });
        ASSERT_TRUE(error) << content.toStdString();
        EXPECT_EQ(error->number(), ErrorNumber::FileItemNotANumber);
        EXPECT_TRUE(error->description().contains(QDir(scratch.path()).filePath(kFile)));
        EXPECT_TRUE(error->description().contains(QStringLiteral("Delete")));
        EXPECT_TRUE(dialogs.shown.isEmpty());
        EXPECT_EQ(fileBytes(kFile), content);
        EXPECT_TRUE(comm1.assignments.isEmpty());
    }
}

struct LinkFailureCase {
    const char* name;
    std::optional<QByteArray> file; // Tavimer.ini's content, or none
    const char* reply;
    const char* hint; // what the description adds, or ""
};

class LinkFailure : public ::testing::TestWithParam<LinkFailureCase>
{
};

TEST_P(LinkFailure, StopsAtTheFailingAssignmentAndSaysWhereThePortCameFrom)
{
    ScratchWorkingDirectory scratch;
    if (GetParam().file)
        writeFileBytes(kFile, *GetParam().file);
    ScriptedDialogs dialogs(QString::fromLatin1(GetParam().reply));
    RecordingCommControl comm1;
    const QString original = QStringLiteral("Cannot open port.");
    comm1.failOn(QStringLiteral("PortOpen"), RuntimeError(ErrorNumber::PortInUse, original));
    const auto error = raised([&] { startUp(comm1, dialogs); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), ErrorNumber::PortInUse);
    const QString hint = QString::fromLatin1(GetParam().hint);
    if (hint.isEmpty())
        EXPECT_EQ(error->description(), original);
    else
        EXPECT_TRUE(error->description().startsWith(original + u' ') &&
                    error->description().contains(hint))
            << error->description().toStdString();
    ASSERT_EQ(comm1.assignments.size(), 1);
    EXPECT_TRUE(comm1.assignments.constFirst().startsWith(QStringLiteral("CommPort=")));
}

INSTANTIATE_TEST_SUITE_P(
    Origins, LinkFailure,
    ::testing::Values(LinkFailureCase{"from the file", QByteArray("3\r\n"), "", "Tavimer.ini"},
                      LinkFailureCase{"after Cancel", std::nullopt, "", "No port was chosen"},
                      LinkFailureCase{"from a reply", std::nullopt, "3", ""}),
    ByName{});

} // namespace
