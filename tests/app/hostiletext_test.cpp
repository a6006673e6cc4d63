// SPDX-License-Identifier: GPL-3.0-or-later
// Text from files, links, the environment and the system reaches the user
// only with its control characters made visible, through the real paths that
// build each description.
#include "app/startup.h"
#include "platform/errorpath.h"
#include "platform/runtimeerror.h"
#include "platform/serialcontrol.h"

#include "support/cases.h"
#include "support/fakes.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>

using kestavo::platform::ErrorNumber;
using kestavo::platform::ErrorPath;
using kestavo::platform::RuntimeError;
using kestavo::platform::SerialControl;
using namespace kestavo::test;

namespace
{

using kestavo::test::PrintTo;

// Clear the screen, set the terminal's title, ring the bell, and a C1 CSI.
const QString kHostile = QStringLiteral("\x1b]0;PWNED\x07\x1b[2J") + QChar(0x9b) + u'J';
const QByteArray kHostileLatin1 = "\x1b]0;PWNED\x07\x1b[2J\x9bJ";
const QString kShown = QStringLiteral("\\x1b]0;PWNED\\x07\\x1b[2J\\x9bJ");

struct HostileCase {
    const char* name;
    ErrorNumber number;
    std::function<void()> fail; // throws the run-time error under test
};

void startUpWith(const QString& reply = QString())
{
    ScriptedDialogs dialogs(reply);
    RecordingCommControl comm1;
    kestavo::app::startUp(comm1, dialogs);
}

void openPort(int portNumber)
{
    SerialControl comm1;
    comm1.setCommPort(static_cast<std::int16_t>(portNumber));
    comm1.setPortOpen(true);
}

[[nodiscard]] bool hasControlCharacter(const QString& text, QChar allowed = QChar())
{
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (c != allowed && (code < 0x20 || (code >= 0x7f && code <= 0x9f)))
            return true;
    }
    return false;
}

class HostileText : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileText, IsShownVisibleInTheDescriptionTheBoxAndTheLine)
{
    const std::optional<RuntimeError> error = ErrorPath::failureOf(GetParam().fail);
    ASSERT_TRUE(error) << "no failure";
    EXPECT_EQ(error->number(), GetParam().number) << error->description().toStdString();

    EXPECT_TRUE(error->description().contains(kShown)) << error->description().toStdString();
    EXPECT_FALSE(hasControlCharacter(error->description())) << error->description().toStdString();
    EXPECT_FALSE(hasControlCharacter(ErrorPath::boxText(*error), u'\n'));
    EXPECT_FALSE(hasControlCharacter(ErrorPath::logLine(*error)));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, HostileText,
    ::testing::Values(HostileCase{"Tavimer.ini's first item", ErrorNumber::FileItemNotANumber,
                                  [] {
                                      ScratchWorkingDirectory scratch;
                                      writeFileBytes(QStringLiteral("Tavimer.ini"),
                                                     kHostileLatin1 + "\r\n");
                                      startUpWith();
                                  }},
                      HostileCase{"the working directory's name", ErrorNumber::FileItemNotANumber,
                                  [] {
                                      ScratchWorkingDirectory scratch;
                                      ASSERT_TRUE(QDir().mkdir(kHostile));
                                      ASSERT_TRUE(QDir::setCurrent(kHostile));
                                      writeFileBytes(QStringLiteral("Tavimer.ini"), "abc\r\n");
                                      startUpWith();
                                  }},
                      HostileCase{"a reply pasted into the prompt", ErrorNumber::TypeMismatch,
                                  [] {
                                      ScratchWorkingDirectory scratch;
                                      startUpWith(kHostile);
                                  }},
                      HostileCase{"a port table link's target", ErrorNumber::InvalidPortNumber,
                                  [] {
                                      PortTable table;
                                      table.link(7, QStringLiteral("/dev/") + kHostile);
                                      openPort(7);
                                  }},
                      HostileCase{"a port table file's contents", ErrorNumber::InvalidPortNumber,
                                  [] {
                                      PortTable table;
                                      table.writeEntry(8, "/dev/" + kHostile.toUtf8() + "\n");
                                      openPort(8);
                                  }},
                      HostileCase{"the port table's directory", ErrorNumber::InvalidPortNumber,
                                  [] {
                                      PortTable table; // puts XDG_CONFIG_HOME back afterwards
                                      qputenv("XDG_CONFIG_HOME", "/tmp/" + kHostile.toUtf8());
                                      openPort(200);
                                  }},
                      HostileCase{"line settings text", ErrorNumber::InvalidSettings,
                                  [] { SerialControl().setSettings(kHostile); }},
                      HostileCase{"an internal error's own text", ErrorNumber::Internal,
                                  [] { throw std::runtime_error(kHostile.toStdString()); }}));

TEST(HostileText, LineBreaksADescriptionHoldsAreKeptInTheBoxOnly)
{
    const RuntimeError error(ErrorNumber::FileUnreadable,
                             QStringLiteral("Cannot read it.\nDelete ") + kHostile);
    EXPECT_EQ(ErrorPath::boxText(error),
              QStringLiteral("Run-time error 201:\n\nCannot read it.\nDelete ") + kShown);
    EXPECT_EQ(ErrorPath::logLine(error),
              QStringLiteral("kestavo: run-time error 201: Cannot read it. Delete ") + kShown);
}

} // namespace
