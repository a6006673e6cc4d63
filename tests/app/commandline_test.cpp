// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
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

// --listen [ADDRESS:]PORT: where the front door listens, or one line on
// what is wrong before anything opens.
TEST(ListenOption, IsReadOrRefusedOnOneLine)
{
    const struct {
        QStringList arguments;
        const char* address; // nullptr: refused
        bool loopback = true;
    } cases[] = {
        {{"kestavo"}, ""},
        {{"kestavo", "--listen", "4533"}, "127.0.0.1:4533"},
        {{"kestavo", "--listen=localhost:1"}, "127.0.0.1:1"},
        {{"kestavo", "--listen", "192.168.1.5:65535"}, "192.168.1.5:65535", false},
        {{"kestavo", "--listen", "[::1]:4533"}, "[::1]:4533"},
        {{"kestavo", "--listen", "[::]:4533"}, "[::]:4533", false},
        {{"kestavo", "--listen"}, nullptr},
        {{"kestavo", "--listen", "65536"}, nullptr},
        {{"kestavo", "--listen", "::1:4533"}, nullptr},
        {{"kestavo", "--listen", "rotor.example:4533"}, nullptr},
        {{"kestavo", "--listen", "\x1b[2J:1"}, nullptr},
    };
    for (const auto& c : cases) {
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        const auto options = kestavo::app::startOptions(c.arguments, err);
        const QByteArray said = streamBytes(err);
        std::fclose(err);
        const std::string what = c.arguments.join(u' ').toStdString();
        if (!c.address) {
            EXPECT_FALSE(options) << what;
            EXPECT_TRUE(said.startsWith("kestavo: --listen ") && said.count('\n') == 1 &&
                        !said.contains('\x1b'))
                << said.toStdString();
            continue;
        }
        ASSERT_TRUE(options) << what << said.toStdString();
        EXPECT_EQ(options->listen ? options->listen->text() : QString(), c.address) << what;
        EXPECT_EQ(!options->listen || options->listen->loopback, c.loopback) << what;
    }
}
