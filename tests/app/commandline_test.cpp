// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
#include "app/webstart.h"
#include "platform/portlist.h"
#include "support/testsupport.h"

#include "support/cases.h"

#include <gtest/gtest.h>

using kestavo::app::answerInformationRequest;
using namespace kestavo::test;

namespace
{

using kestavo::test::PrintTo;

struct Request {
    const char* name;
    QStringList arguments;
    std::optional<int> status;
    const char* outputStart;
};

class InformationRequest : public ::testing::TestWithParam<Request>
{
};

TEST_P(InformationRequest, IsAnsweredOrLeftToTheWindow)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    const Request& request = GetParam();
    EXPECT_EQ(answerInformationRequest(request.arguments, out), request.status);
    const QByteArray printed = streamBytes(out);
    std::fclose(out);
    EXPECT_TRUE(printed.startsWith(request.outputStart)) << printed.toStdString();
    if (!request.status) {
        EXPECT_TRUE(printed.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, InformationRequest,
    ::testing::Values(
        Request{"None", {"kestavo"}, std::nullopt, ""},
        Request{"Version", {"kestavo", "--version"}, 0, "Kestavo 1.00\n"},
        Request{"ShortVersion", {"kestavo", "-v"}, 0, "Kestavo 1.00\n"},
        Request{"Help", {"kestavo", "--help"}, 0, "Usage: kestavo [OPTION]...\n"},
        Request{"ShortHelp", {"kestavo", "-h"}, 0, "Usage: kestavo [OPTION]...\n"},
        Request{"AfterQtOptions", {"kestavo", "-platform", "offscreen", "-v"}, 0, "Kestavo 1.00"},
        Request{"QtOptionsOnly", {"kestavo", "-platform", "offscreen"}, std::nullopt, ""},
        Request{"QtOptionValue", {"kestavo", "-qwindowtitle", "-v"}, std::nullopt, ""},
        Request{"AfterAMistake", {"kestavo", "read-back", "--bogus", "-h"}, 0, "Usage: kestavo"},
        // The program's own name is no request, whatever it is called.
        Request{"NamedLikeAnOption", {"--version"}, std::nullopt, ""}),
    [](const auto& test) { return std::string(test.param.name); });

[[nodiscard]] QByteArray answerOf(const QStringList& arguments, std::optional<int>& status)
{
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    if (!out)
        return {};
    status = answerInformationRequest(arguments, out);
    const QByteArray printed = streamBytes(out);
    std::fclose(out);
    return printed;
}

TEST(ListPortsRequest, PrintsTheListingAndEndsWithStatusZero)
{
    PtyPair rotor;
    PortTable table;
    table.link(42, rotor.slavePath());
    const FakeSystemPorts system(
        {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), {}, {}, {}}});
    std::optional<int> status;
    const QByteArray printed = answerOf({"kestavo", "--list-ports"}, status);
    EXPECT_EQ(status, std::optional<int>(0));
    EXPECT_EQ(QString::fromLocal8Bit(printed),
              kestavo::platform::portListingText(kestavo::platform::listPorts()));
    EXPECT_TRUE(printed.contains("\n  33  /dev/ttyUSB0  FT232R USB UART\n")) << printed.data();
    EXPECT_TRUE(printed.contains(
        QStringLiteral("\n  42  %1").arg(rotor.slavePath().leftJustified(12)).toLocal8Bit()))
        << printed.data();
}

TEST(ListPortsRequest, IsNamedInTheHelp)
{
    std::optional<int> status;
    EXPECT_TRUE(answerOf({"kestavo", "--help"}, status).contains("--list-ports"));
}

} // namespace

namespace
{

// What a start was asked for, as the rows below write it.
[[nodiscard]] QString summary(const kestavo::app::StartOptions& options)
{
    QStringList parts;
    if (options.listen)
        parts.append(options.listen->text() + (options.listen->loopback ? "" : " reachable"));
    if (options.readBack)
        parts.append(QStringLiteral("read-back"));
    if (options.commandSet)
        parts.append(QString(kestavo::app::commandSetName(*options.commandSet)));
    const kestavo::app::Station& station = options.station;
    if (station.park)
        parts.append(QStringLiteral("park=%1").arg(*station.park));
    if (station.parkAfterMinutes)
        parts.append(QStringLiteral("park-after=%1").arg(*station.parkAfterMinutes));
    if (station.offset)
        parts.append(QStringLiteral("offset=%1").arg(*station.offset));
    if (station.home)
        parts.append(QStringLiteral("home=%1").arg(*station.home));
    if (station.web)
        parts.append(QStringLiteral("web=%1").arg(station.web->text()));
    return parts.join(u' ');
}

} // namespace

// The options of a normal start, or, before any display is reached, status 2
// with one line naming what is wrong, then the usage.
TEST(StartOptions, AreReadOrRefusedNamingTheWrongWord)
{
    const struct {
        QStringList arguments;
        const char* read;      // nullptr: refused
        const char* line = ""; // how the refusal starts
    } cases[] = {
        {{"kestavo"}, ""},
        {{"kestavo", "--listen", "4533"}, "127.0.0.1:4533"},
        {{"kestavo", "--listen=localhost:1"}, "127.0.0.1:1"},
        {{"kestavo", "--listen", "192.168.1.5:65535"}, "192.168.1.5:65535 reachable"},
        {{"kestavo", "--listen", "[::1]:4533"}, "[::1]:4533"},
        {{"kestavo", "--listen", "[::]:4533"}, "[::]:4533 reachable"},
        {{"kestavo", "--listen", "1", "--listen", "2"}, "127.0.0.1:2"},
        {{"kestavo", "--command-set", "two-step", "--read-back"}, "read-back two-step"},
        {{"kestavo", "--command-set= Tenths", "--command-set=one-step"}, "one-step"},
        // A negative offset is the option's value, not another option.
        {{"kestavo", "--park", "270", "--park-after=30", "--offset", "-20", "--home", "jo62qm"},
         "park=270 park-after=30 offset=-20 home=JO62QM"},
        {{"kestavo", "--park=12.5", "--offset=359", "--park", "0", "--home=JN58td12"},
         "park=0 offset=359 home=JN58TD12"},
        {{"kestavo", "--web", "8080"}, "web=127.0.0.1:8080"},
        // Left for Qt with their values, which look like Kestavo's words.
        {{"kestavo", "-platform", "offscreen", "--display", "read-back", "-style=x", "-reverse",
          "-qwindowtitle", "--bogus", "--read-back"},
         "read-back"},
        {{"kestavo", "--listen"}, nullptr, "kestavo: --listen needs a value"},
        {{"kestavo", "--listen", "65536"}, nullptr, "kestavo: --listen \"65536\": "},
        {{"kestavo", "--listen", "::1:4533"}, nullptr, "kestavo: --listen \"::1:4533\": "},
        {{"kestavo", "--listen", "rotor.example:4533"}, nullptr, "kestavo: --listen \"rotor."},
        {{"kestavo", "--listen", "\x1b[2J:1"}, nullptr, "kestavo: --listen \"\\x1b[2J:1\""},
        {{"kestavo", "read-back"}, nullptr, "kestavo: unexpected argument \"read-back\";"},
        {{"kestavo", "listen", "4533"}, nullptr, "kestavo: unexpected argument \"listen\";"},
        {{"kestavo", "--", "-v"}, nullptr, "kestavo: unexpected argument \"-v\""},
        {{"kestavo", "--command-set"}, nullptr, "kestavo: --command-set needs a value: one-step, "},
        {{"kestavo", "--command-set", "tenth"}, nullptr, "kestavo: --command-set \"tenth\": "},
        {{"kestavo", "--park", "361"}, nullptr, "kestavo: --park \"361\": a park heading is 0 "},
        {{"kestavo", "--park-after=0"}, nullptr, "kestavo: --park-after \"0\": park-after is "},
        {{"kestavo", "--park-after", "1441"}, nullptr, "kestavo: --park-after \"1441\": "},
        {{"kestavo", "--offset", "1.5"}, nullptr, "kestavo: --offset \"1.5\": an offset is "},
        {{"kestavo", "--offset=-360"}, nullptr, "kestavo: --offset \"-360\": "},
        {{"kestavo", "--home", "JO6"}, nullptr, "kestavo: --home \"JO6\": a home is a locator"},
        {{"kestavo", "--web", "0.0.0.0:8080"}, nullptr, "kestavo: --web 0.0.0.0:8080: "},
        {{"kestavo", "--web", "host:8080"}, nullptr, "kestavo: --web \"host:8080\": \"host\" is "},
        {{"kestavo", "--park"}, nullptr, "kestavo: --park needs a value: a heading from 0 to 360"},
        {{"kestavo", "--park-after"}, nullptr, "kestavo: --park-after needs a value: whole "},
        {{"kestavo", "--offset"}, nullptr, "kestavo: --offset needs a value: whole degrees"},
        {{"kestavo", "--read-back", "--home"}, nullptr, "kestavo: --home needs a value: a "},
        {{"kestavo", "-platform", "x", "-vh", "--read-back"},
         nullptr,
         "kestavo: unknown option -vh"},
        {{"kestavo", "--bogus=1"}, nullptr, "kestavo: unknown option --bogus\n"},
        {{"kestavo", "--read-back=no"}, nullptr, "kestavo: --read-back takes no value"},
    };
    const PortTable noPassword;
    for (const auto& c : cases) {
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        kestavo::app::StartOptions options;
        const std::optional<int> status = kestavo::app::readStartOptions(c.arguments, options, err);
        const QByteArray said = streamBytes(err);
        std::fclose(err);
        const std::string what = c.arguments.join(u' ').toStdString();
        if (!c.read) {
            EXPECT_EQ(status, std::optional<int>(2)) << what;
            EXPECT_TRUE(said.startsWith(c.line) &&
                        said.mid(said.indexOf('\n') + 1).startsWith("Usage: kestavo [OPTION]..."))
                << said.toStdString();
            continue;
        }
        EXPECT_EQ(status, std::nullopt) << what << said.toStdString();
        EXPECT_EQ(summary(options), c.read) << what;
    }
}

// Beyond the loopback the page starts only with a password that is its
// owner's alone.
TEST(WebPassword, IsTakenOnlyFromAFileNoOneElseCanRead)
{
    const struct {
        QByteArray content;
        QFile::Permissions mode;
        const char* read; // nullptr: refused
        const char* why = "";
    } cases[] = {
        {"long secret\nsecond line", QFile::ReadOwner | QFile::WriteOwner, "long secret"},
        {"long secret\r\n", QFile::ReadOwner, "long secret"},
        {"long secret\n", QFile::ReadOwner | QFile::ReadOther, nullptr,
         "others may read it (mode 0404)"},
        {"long secret\n", QFile::ReadOwner | QFile::ReadGroup, nullptr, "others may read it"},
        {"\nlong secret\n", QFile::ReadOwner, nullptr, "is empty"},
    };
    const PortTable config;
    const QString path = kestavo::app::webPasswordPath();
    QString why;
    EXPECT_FALSE(kestavo::app::readWebPassword(why));
    EXPECT_TRUE(why.contains(QStringLiteral("umask 077"))) << why.toStdString();
    for (const auto& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.content);
        file.close();
        ASSERT_TRUE(file.setPermissions(c.mode));
        why.clear();
        const std::optional<QByteArray> password = kestavo::app::readWebPassword(why);
        EXPECT_EQ(password, c.read ? std::optional<QByteArray>(c.read) : std::nullopt)
            << c.content.toStdString();
        EXPECT_TRUE(why.contains(QString::fromLatin1(c.why))) << why.toStdString();
    }
}
