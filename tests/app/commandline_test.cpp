#include "app/commandline.h"
#include "support/testsupport.h"

#include "support/cases.h"

#include <gtest/gtest.h>

using kestavo::app::answerInformationRequest;

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
    const QByteArray printed = kestavo::test::streamBytes(out);
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

} // namespace
