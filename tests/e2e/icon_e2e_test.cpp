// SPDX-License-Identifier: GPL-3.0-or-later
// The window icon as X sees it on the real program's windows, on a server
// with no window manager: nothing but Kestavo itself can have put it there.
#include "support/cases.h"
#include "support/testsupport.h"
#include "xsession.h"

#include "platform/constants.h"

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

using namespace kestavo;
using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

// _NET_WM_ICON holds, one after the other, a width, a height and that many
// ARGB pixels. Keyed by width; an empty map when the property is missing.
QMap<int, QList<quint32>> windowIcons(const QString& display, const QString& window)
{
    QProcess xprop;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    xprop.setProcessEnvironment(environment);
    // -len: the default limit cuts the largest icon short.
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), window, QStringLiteral("-notype"), QStringLiteral("-len"),
                 QStringLiteral("1000000"), QStringLiteral("-f"), QStringLiteral("_NET_WM_ICON"),
                 QStringLiteral("32c"), QStringLiteral("_NET_WM_ICON")});
    EXPECT_TRUE(xprop.waitForFinished(10000));
    EXPECT_EQ(xprop.exitCode(), 0);
    const QString output = QString::fromLatin1(xprop.readAllStandardOutput());
    QMap<int, QList<quint32>> icons;
    const qsizetype equals = output.indexOf(u'=');
    if (!output.startsWith(QLatin1String("_NET_WM_ICON")) || equals < 0)
        return icons;
    QList<quint32> values;
    for (const QString& field : output.mid(equals + 1).split(u',')) {
        bool ok = false;
        values.append(field.trimmed().toUInt(&ok));
        if (!ok) {
            ADD_FAILURE() << "not a number in _NET_WM_ICON: " << field.toStdString();
            return {};
        }
    }
    for (qsizetype at = 0; at + 2 <= values.size();) {
        const auto width = values[at];
        const auto height = values[at + 1];
        const qsizetype count = qsizetype(width) * qsizetype(height);
        if (width == 0 || width != height || at + 2 + count > values.size()) {
            ADD_FAILURE() << "malformed _NET_WM_ICON at value " << at;
            return {};
        }
        icons.insert(int(width), values.mid(at + 2, count));
        at += 2 + count;
    }
    return icons;
}

// How many pixels of an icon differ from data/icons/kestavo-<size>.png as
// Qt hands it to X: through a premultiplied pixmap and back, which rounds the
// colour of a partly transparent pixel. Another architecture's program
// (under an emulator) rounds with that architecture's Qt, whose conversion
// code is not this machine's: there a channel may be 1 off.
qsizetype pixelsUnlikeOurIcon(int size, const QList<quint32>& pixels)
{
    const int offBy = qEnvironmentVariableIsSet("KESTAVO_TEST_EMULATOR") ? 1 : 0;
    const auto unlike = [offBy](QRgb a, QRgb b) {
        return std::abs(qAlpha(a) - qAlpha(b)) > offBy || std::abs(qRed(a) - qRed(b)) > offBy ||
               std::abs(qGreen(a) - qGreen(b)) > offBy || std::abs(qBlue(a) - qBlue(b)) > offBy;
    };
    const QImage image = QImage(QStringLiteral(KESTAVO_ICON_DIR "/kestavo-%1.png").arg(size))
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                             .convertToFormat(QImage::Format_ARGB32);
    if (image.width() != size || image.height() != size || pixels.size() != size * size)
        return pixels.size();
    qsizetype count = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (unlike(image.pixel(x, y), pixels[y * size + x]))
                ++count;
    return count;
}

struct IconCase {
    const char* name;
    bool portStored; // Tavimer.ini there: the window "Rotor", else the prompt
    QLatin1StringView title;
};

class WindowIconWithoutWindowManager : public ::testing::TestWithParam<IconCase>
{
};

TEST_P(WindowIconWithoutWindowManager, IsOursAtEveryCompiledInSize)
{
    const IconCase& c = GetParam();
    // No window manager: openbox paints an icon of its own in the frame and
    // so would hide whether the program set one.
    XServer x(support::WindowManager::None);
    Desktop desktop(x.display());
    PtyPair pty;
    PortTable table;
    table.link(99, pty.slavePath());
    QTemporaryDir directory;
    if (c.portStored)
        writeFileBytes(directory.filePath(QString(constants::kPortFileName)), "99\r\n");

    QProcess kestavo;
    const ReportIfFailed report(desktop, kestavo);
    kestavo.setProcessEnvironment(programEnvironment(x.display()));
    kestavo.setWorkingDirectory(directory.path());
    startProgram(kestavo, testedProgram(QStringLiteral(KESTAVO_BINARY)), {});
    ASSERT_TRUE(kestavo.waitForStarted(10000));

    const QString window = desktop.waitForWindow(QString(c.title), 20s);
    ASSERT_FALSE(window.isEmpty()) << "no window " << c.title.data();
    // The main window gets it only after its first frame.
    QMap<int, QList<quint32>> icons = windowIcons(x.display(), window);
    for (const auto deadline = std::chrono::steady_clock::now() + 5s;
         icons.isEmpty() && std::chrono::steady_clock::now() < deadline;)
        icons = windowIcons(x.display(), window);

    QList<int> expectedSizes(constants::kWindowIconSizes.begin(),
                             constants::kWindowIconSizes.end());
    EXPECT_EQ(icons.keys(), expectedSizes) << "_NET_WM_ICON on " << c.title.data();
    for (auto icon = icons.cbegin(); icon != icons.cend(); ++icon)
        EXPECT_EQ(pixelsUnlikeOurIcon(icon.key(), icon.value()), 0)
            << "in the " << icon.key() << " px icon on " << c.title.data();

    kestavo.terminate();
    EXPECT_TRUE(kestavo.waitForFinished(10000));
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowIconWithoutWindowManager,
    ::testing::Values(IconCase{"MainWindow", true, constants::kWindowTitle},
                      IconCase{"FirstStartPrompt", false, constants::kPromptTitle}),
    [](const ::testing::TestParamInfo<IconCase>& param) { return std::string(param.param.name); });

} // namespace
