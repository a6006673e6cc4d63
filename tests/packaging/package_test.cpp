// What `cmake --install` and `make package` produce, checked from outside.
#include "support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <termios.h>

using namespace kestavo::test;

namespace
{

struct Result {
    int status = -1;
    QString output;
};

Result run(const QString& program, const QStringList& arguments,
           const QString& directory = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    process.start(program, arguments);
    if (!process.waitForFinished(100000)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

const QString kDesktopEntry = QStringLiteral("share/applications/kestavo.desktop");
const QString kIcon = QStringLiteral("share/icons/hicolor/scalable/apps/kestavo.svg");

// Runs the program under prefix and checks it says its version, then starts
// and sets up its line, the way it does on a person's desktop.
void expectProgramStarts(const QString& prefix)
{
    const QString program = QDir(prefix).filePath(QStringLiteral("bin/kestavo"));
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

    const Result version = run(program, {QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, QStringLiteral("Kestavo " KESTAVO_EXPECTED_VERSION "\n"));

    PtyPair pty;
    PortTable table;
    table.link(99, pty.slavePath());
    QTemporaryDir directory;
    writeFileBytes(directory.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    QProcess kestavo;
    kestavo.setWorkingDirectory(directory.path());
    kestavo.start(program, {});
    ASSERT_TRUE(kestavo.waitForStarted(10000));
    bool lineSetUp = false;
    for (int round = 0; round < 200 && !lineSetUp; ++round) {
        termios line{};
        lineSetUp = ::tcgetattr(pty.slaveFd(), &line) == 0 && ::cfgetospeed(&line) == B4800;
        if (!lineSetUp)
            QThread::msleep(50);
    }
    EXPECT_TRUE(lineSetUp) << "the line was never set to 4800 baud";
    EXPECT_EQ(kestavo.state(), QProcess::Running) << kestavo.readAll().toStdString();
    kestavo.terminate();
    EXPECT_TRUE(kestavo.waitForFinished(10000));
}

TEST(Installation, PutsProgramDesktopEntryAndIconUnderThePrefix)
{
    QTemporaryDir prefix;
    const Result install = run(QStringLiteral(KESTAVO_CMAKE),
                               {QStringLiteral("--install"), QStringLiteral(KESTAVO_BUILD_DIR),
                                QStringLiteral("--prefix"), prefix.path()});
    ASSERT_EQ(install.status, 0) << install.output.toStdString();

    const QString entry = QDir(prefix.path()).filePath(kDesktopEntry);
    const Result validation = run(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(validation.status, 0);
    EXPECT_EQ(validation.output, QString()) << "no warning and no hint either";
    EXPECT_TRUE(fileBytes(entry).contains("\nExec=kestavo\n"));
    EXPECT_TRUE(fileBytes(QDir(prefix.path()).filePath(kIcon)).contains("<svg"));
    expectProgramStarts(prefix.path());
}

TEST(DebianPackage, NamesItsVersionAndLibrariesAndItsProgramStarts)
{
    QTemporaryDir output;
    const Result pack =
        run(QStringLiteral(KESTAVO_CPACK),
            {QStringLiteral("--config"), QStringLiteral(KESTAVO_BUILD_DIR "/CPackConfig.cmake"),
             QStringLiteral("-B"), output.path()});
    ASSERT_EQ(pack.status, 0) << pack.output.toStdString();
    const QStringList packages =
        QDir(output.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    ASSERT_EQ(packages.size(), 1) << pack.output.toStdString();
    const QString package = QDir(output.path()).filePath(packages.front());
    EXPECT_TRUE(
        packages.front().startsWith(QStringLiteral("kestavo_" KESTAVO_EXPECTED_VERSION "_")));

    const Result fields =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), package, QStringLiteral("Package"),
                                         QStringLiteral("Version"), QStringLiteral("Depends")});
    ASSERT_EQ(fields.status, 0) << fields.output.toStdString();
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Package: kestavo\n")));
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Version: " KESTAVO_EXPECTED_VERSION "\n")));
    // Filled in from the program's own libraries, and the platform plugins
    // that no library scan finds.
    for (const char* library :
         {"libqt6serialport6", "libqt6widgets6", "libqt6core6", "libc6", "qt6-qpa-plugins"})
        EXPECT_TRUE(fields.output.contains(QLatin1String(library)))
            << library << " missing from " << fields.output.toStdString();

    QTemporaryDir root;
    const Result unpack =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, root.path()});
    ASSERT_EQ(unpack.status, 0) << unpack.output.toStdString();
    const QString usr = QDir(root.path()).filePath(QStringLiteral("usr"));
    EXPECT_TRUE(QFileInfo::exists(QDir(usr).filePath(kDesktopEntry)));
    EXPECT_TRUE(QFileInfo::exists(QDir(usr).filePath(kIcon)));
    expectProgramStarts(usr);
}

} // namespace
