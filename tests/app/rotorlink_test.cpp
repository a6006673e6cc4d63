// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bearinganswer.h"
#include "app/rotorlink.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

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
        kestavo::app::go(comm1, c.text);
        EXPECT_EQ(comm1.assignments, QStringList{QStringLiteral("Output=") + c.output})
            << c.text.toStdString();
    }

    RecordingCommControl comm1;
    kestavo::app::go(comm1, QStringLiteral("10"));
    kestavo::app::go(comm1, QStringLiteral("10"));
    kestavo::app::go(comm1, QStringLiteral("20"));
    EXPECT_EQ(comm1.assignments,
              (QStringList{"Output=AP110\r", "Output=AP110\r", "Output=AP120\r"}));
}

// What the line brings after a question, cut into reads as it comes.
TEST(AnswerReader, FindsTheBearingInWhateverTheLineBrings)
{
    const struct {
        QList<QByteArray> reads;
        std::optional<int> bearing;
    } cases[] = {
        {{";123"}, 123},           {{"123;"}, 123}, // older units
        {{"\xff;045"}, 45},                         // a stray byte at power-on
        {{"VR1.0\r;270"}, 270},                     // a banner first
        {{"x", "27", "0;"}, 270},                   // after a non-digit, cut into pieces
        {{";", "0", "0", "7"}, 7}, {{";360"}, 0},
        {{";999;3", "59"}, 359},   // out of range, then a good one
        {{"1801;"}, std::nullopt}, // the end of a longer number
        {{";12"}, std::nullopt},   // half an answer
        {{"12;4"}, std::nullopt},  {{QByteArray(100000, '7')}, std::nullopt},
    };
    for (const auto& c : cases) {
        kestavo::app::AnswerReader reader;
        std::optional<int> found;
        for (const QByteArray& read : c.reads)
            found = found ? found : reader.take(read);
        EXPECT_EQ(found, c.bearing) << c.reads.join('|').toStdString();
    }
}

TEST(Go, AFailedOutputReachesTheCaller)
{
    RecordingCommControl comm1;
    comm1.failOn(QStringLiteral("Output"),
                 kestavo::platform::RuntimeError(kestavo::platform::ErrorNumber::WriteFailed,
                                                 QStringLiteral("Cannot send.")));
    EXPECT_THROW(kestavo::app::go(comm1, QStringLiteral("180")), kestavo::platform::RuntimeError);
}

} // namespace
