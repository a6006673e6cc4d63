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
        Request{"Help", {"kestavo", "--help"}, 0, "Usage: kestavo\n"},
        Request{"ShortHelp", {"kestavo", "-h"}, 0, "Usage: kestavo\n"},
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
