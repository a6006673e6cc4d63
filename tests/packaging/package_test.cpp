// SPDX-License-Identifier: GPL-3.0-or-later
// What `cmake --install` and `make package` produce, checked from outside.
#include "support/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
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

Result finished(QProcess& process, const QString& program)
{
    if (!process.waitForFinished(100000)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

Result run(const QString& program, const QStringList& arguments,
           const QString& directory = QString(),
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    process.start(program, arguments);
    return finished(process, program);
}

// Kestavo itself, through the emulator when it is another architecture's.
Result runKestavo(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    startProgram(process, program, arguments);
    return finished(process, program);
}

// The build tree whose installation and package are tested.
QString buildDir()
{
    return testedBuildDir(QStringLiteral(KESTAVO_BUILD_DIR));
}

const QString kDesktopEntry =
    QStringLiteral("share/applications/io.github.kestavo.kestavo.desktop");
const QString kMetainfo = QStringLiteral("share/metainfo/io.github.kestavo.kestavo.metainfo.xml");
const QString kIcon = QStringLiteral("share/icons/hicolor/scalable/apps/kestavo.svg");
const QString kManPage = QStringLiteral("share/man/man1/kestavo.1.gz");
const QString kCopyright = QStringLiteral("share/doc/kestavo/copyright");
const QString kChangelog = QStringLiteral("share/doc/kestavo/changelog.gz");
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Everything beside the program that a desktop, a software centre, man and
// a distribution look for, each checked with the tool that reads it.
void expectDataFiles(const QString& prefix)
{
    const QDir root(prefix);
    const QString entry = root.filePath(kDesktopEntry);
    const Result desktop = run(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(desktop.status, 0);
    EXPECT_EQ(desktop.output, QString()) << "no warning and no hint either";
    EXPECT_TRUE(fileBytes(entry).contains("\nExec=kestavo\n"));

    const Result metainfo = run(QStringLiteral("appstreamcli"),
                                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                 QStringLiteral("--pedantic"), root.filePath(kMetainfo)});
    EXPECT_EQ(metainfo.status, 0) << metainfo.output.toStdString();
    EXPECT_FALSE(metainfo.output.contains(
        QRegularExpression(QStringLiteral("^[EWIP]: "), QRegularExpression::MultilineOption)))
        << metainfo.output.toStdString();

    // Rendered as man shows it; any warning of groff's goes to stderr.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("MANROFFSEQ"), QString());
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    QProcess man;
    man.setProcessEnvironment(environment);
    man.start(QStringLiteral("man"),
              {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"),
               QStringLiteral("-l"), root.filePath(kManPage)});
    ASSERT_TRUE(man.waitForFinished(30000));
    EXPECT_EQ(man.exitCode(), 0);
    EXPECT_EQ(man.readAllStandardError(), QByteArray());
    EXPECT_TRUE(man.readAllStandardOutput().contains("EXIT STATUS"));

    EXPECT_TRUE(fileBytes(root.filePath(kCopyright))
                    .startsWith("Format: https://www.debian.org/doc/packaging-manuals/"
                                "copyright-format/1.0/\n"));
    const Result changelog =
        run(QStringLiteral("gzip"), {QStringLiteral("-dc"), root.filePath(kChangelog)});
    EXPECT_TRUE(changelog.output.startsWith(
        QStringLiteral("kestavo (" KESTAVO_EXPECTED_VERSION ") unstable; urgency=")))
        << changelog.output.toStdString();

    EXPECT_TRUE(fileBytes(root.filePath(kIcon)).contains("<svg"));
    for (const int size : kIconSizes) {
        const QString icon =
            root.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/kestavo.png").arg(size));
        EXPECT_EQ(QImage(icon).size(), QSize(size, size)) << icon.toStdString();
    }
}

// The package as output/kestavo_<version>_<arch>.deb, made by CPack from
// this build.
QString buildPackage(const QString& output)
{
    const Result pack = run(QStringLiteral(KESTAVO_CPACK),
                            {QStringLiteral("--config"),
                             QDir(buildDir()).filePath(QStringLiteral("CPackConfig.cmake")),
                             QStringLiteral("-B"), output});
    EXPECT_EQ(pack.status, 0) << pack.output.toStdString();
    const QStringList packages = QDir(output).entryList({QStringLiteral("*.deb")}, QDir::Files);
    EXPECT_EQ(packages.size(), 1) << pack.output.toStdString();
    return packages.size() == 1 ? QDir(output).filePath(packages.front()) : QString();
}

// The time every entry of the package carries: SOURCE_DATE_EPOCH, as CPack
// takes it, or the source date the build was configured with.
qint64 sourceDate()
{
    const QString environment = qEnvironmentVariable("SOURCE_DATE_EPOCH");
    return environment.isEmpty() ? qint64{KESTAVO_SOURCE_DATE_EPOCH} : environment.toLongLong();
}

// The members' times in an ar archive: after the 8-byte magic, each member
// has a 60-byte header (time at offset 16, size at 48, both decimal) and its
// data, padded to an even length.
QList<qint64> arMemberTimes(const QByteArray& archive)
{
    QList<qint64> times;
    for (qsizetype at = 8; at + 60 <= archive.size();) {
        times.append(archive.mid(at + 16, 12).trimmed().toLongLong());
        const qint64 size = archive.mid(at + 48, 10).trimmed().toLongLong();
        // A size past the archive's end, which a 32-bit qsizetype may not
        // even hold, ends the list.
        if (size < 0 || size > archive.size() - at - 60)
            break;
        at += 60 + qsizetype(size + size % 2);
    }
    return times;
}

// Every entry of the package's control.tar or data.tar (dpkg-deb's option
// for it) whose time, as tar lists it in UTC, is not the source date.
QStringList tarEntriesNotDated(const QString& package, const QString& dpkgDebOption)
{
    const Result list = run(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("dpkg-deb %1 \"$1\" | tar -tv --full-time --utc -f -").arg(dpkgDebOption),
         QStringLiteral("sh"), package});
    const QStringList entries = list.output.split(u'\n', Qt::SkipEmptyParts);
    if (list.status != 0 || entries.size() < 2)
        return {dpkgDebOption + QStringLiteral(": ") + list.output};
    const QString date = QDateTime::fromSecsSinceEpoch(sourceDate(), Qt::UTC)
                             .toString(QStringLiteral(" yyyy-MM-dd hh:mm:ss ./"));
    QStringList notDated;
    for (const QString& entry : entries)
        if (!entry.contains(date))
            notDated.append(entry);
    return notDated;
}

// The package's size as dpkg-gencontrol counts a tree: each file's size in
// KiB, rounded up, and 1 for each directory, root included, and each link.
qint64 installedSizeOf(const QString& root)
{
    qint64 size = 1;
    QDirIterator entries(root,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry(entries.next());
        size += entry.isFile() && !entry.isSymLink() ? (entry.size() + 1023) / 1024 : 1;
    }
    return size;
}

// The architecture the package is for: KESTAVO_TEST_ARCH for another
// architecture's build, otherwise this machine's.
QString expectedArchitecture()
{
    const QString other = qEnvironmentVariable("KESTAVO_TEST_ARCH");
    return other.isEmpty() ? run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")})
                                 .output.trimmed()
                           : other;
}

// The page the program serves on port, as a browser first fetches it; empty
// when nothing answered within the time.
QByteArray fetchPage(quint16 port)
{
    for (int round = 0; round < 200; ++round) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(1000)) {
            socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                         "\r\nConnection: close\r\n\r\n");
            QByteArray page;
            while (socket.waitForReadyRead(5000))
                page += socket.readAll();
            return page;
        }
        QThread::msleep(100);
    }
    return {};
}

// Runs the program under prefix and checks it says its version, then starts
// and sets up its line, the way it does on a person's desktop, and serves
// its web page from the plugin beside it.
void expectProgramStarts(const QString& prefix)
{
    const QString program = QDir(prefix).filePath(QStringLiteral("bin/kestavo"));
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

    const Result version = runKestavo(program, {QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, QStringLiteral("Kestavo " KESTAVO_EXPECTED_VERSION "\n"));

    PtyPair pty;
    PortTable table;
    table.link(99, pty.slavePath());
    QTemporaryDir directory;
    writeFileBytes(directory.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    QTcpServer free;
    ASSERT_TRUE(free.listen(QHostAddress::LocalHost));
    const quint16 webPort = free.serverPort();
    free.close();
    QProcess kestavo;
    kestavo.setWorkingDirectory(directory.path());
    startProgram(kestavo, program, {QStringLiteral("--web"), QString::number(webPort)});
    ASSERT_TRUE(kestavo.waitForStarted(10000));
    bool lineSetUp = false;
    for (int round = 0; round < 200 && !lineSetUp; ++round) {
        termios line{};
        lineSetUp = ::tcgetattr(pty.slaveFd(), &line) == 0 && ::cfgetospeed(&line) == B4800;
        if (!lineSetUp)
            QThread::msleep(50);
    }
    EXPECT_TRUE(lineSetUp) << "the line was never set to 4800 baud";
    const QByteArray page = fetchPage(webPort);
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200") && page.contains("<title>Rotor</title>"))
        << page.left(300).toStdString();
    EXPECT_EQ(kestavo.state(), QProcess::Running) << kestavo.readAll().toStdString();
    kestavo.terminate();
    EXPECT_TRUE(kestavo.waitForFinished(10000));
}

TEST(Installation, PutsProgramAndDataFilesUnderThePrefix)
{
    QTemporaryDir prefix;
    const Result install =
        run(QStringLiteral(KESTAVO_CMAKE),
            {QStringLiteral("--install"), buildDir(), QStringLiteral("--prefix"), prefix.path()});
    ASSERT_EQ(install.status, 0) << install.output.toStdString();

    expectDataFiles(prefix.path());
    expectProgramStarts(prefix.path());
}

TEST(DebianPackage, NamesItsVersionAndLibrariesAndShipsEverything)
{
    QTemporaryDir output;
    const QString package = buildPackage(output.path());
    ASSERT_FALSE(package.isEmpty());
    const QString architecture = expectedArchitecture();
    EXPECT_EQ(QFileInfo(package).fileName(),
              QStringLiteral("kestavo_" KESTAVO_EXPECTED_VERSION "_%1.deb").arg(architecture));

    const Result fields =
        run(QStringLiteral("dpkg-deb"),
            {QStringLiteral("-f"), package, QStringLiteral("Package"), QStringLiteral("Version"),
             QStringLiteral("Architecture"), QStringLiteral("Depends")});
    ASSERT_EQ(fields.status, 0) << fields.output.toStdString();
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Package: kestavo\n")));
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Version: " KESTAVO_EXPECTED_VERSION "\n")));
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Architecture: %1\n").arg(architecture)))
        << fields.output.toStdString();
    // Filled in from the program's own libraries, and the platform plugins
    // that no library scan finds.
    for (const char* library : {"libqt6serialport6", "libqt6widgets6", "libqt6core6", "libc6",
                                "qt6-qpa-plugins", "libqt6httpserver6", "libqt6websockets6"})
        EXPECT_TRUE(fields.output.contains(QLatin1String(library)))
            << library << " missing from " << fields.output.toStdString();

    // Dated by the source, not by when it was packed, as a rebuild must be.
    EXPECT_EQ(arMemberTimes(fileBytes(package)), QList<qint64>(3, sourceDate()));
    for (const QString& part :
         {QStringLiteral("--ctrl-tarfile"), QStringLiteral("--fsys-tarfile")}) {
        const QStringList notDated = tarEntriesNotDated(package, part);
        EXPECT_TRUE(notDated.isEmpty()) << notDated.join(u'\n').toStdString();
    }

    QTemporaryDir root;
    const Result unpack =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, root.path()});
    ASSERT_EQ(unpack.status, 0) << unpack.output.toStdString();
    // From the files, not from the filesystem the package was made on.
    const Result installedSize =
        run(QStringLiteral("dpkg-deb"),
            {QStringLiteral("-f"), package, QStringLiteral("Installed-Size")});
    EXPECT_EQ(installedSize.output.trimmed().toLongLong(), installedSizeOf(root.path()))
        << installedSize.output.toStdString();
    const QString usr = QDir(root.path()).filePath(QStringLiteral("usr"));
    expectDataFiles(usr);
    // The metainfo's launchable is the desktop entry beside it.
    const Result tree = run(QStringLiteral("appstreamcli"),
                            {QStringLiteral("validate-tree"), QStringLiteral("--no-net"),
                             QStringLiteral("--pedantic"), root.path()});
    EXPECT_EQ(tree.status, 0) << tree.output.toStdString();
    EXPECT_FALSE(tree.output.contains(
        QRegularExpression(QStringLiteral("^ *[EWIP]: "), QRegularExpression::MultilineOption)))
        << tree.output.toStdString();
    expectProgramStarts(usr);
}

// What a distribution's archive checks first. The hardening tags are only
// information, but each one is a flag Debian builds with and this build
// left out.
TEST(DebianPackage, LintianFindsNoErrorWarningOrMissingHardening)
{
    if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        GTEST_SKIP() << "lintian is not installed (make test installs it)";
    QTemporaryDir output;
    const QString package = buildPackage(output.path());
    ASSERT_FALSE(package.isEmpty());

    const Result lintian = run(QStringLiteral("lintian"), {QStringLiteral("--info"), package});
    const QRegularExpression finding(QStringLiteral("^(E|W): .*|^I: .*hardening-.*"),
                                     QRegularExpression::MultilineOption);
    QStringList findings;
    for (auto match = finding.globalMatch(lintian.output); match.hasNext();)
        findings.append(match.next().captured(0));
    EXPECT_TRUE(findings.isEmpty()) << findings.join(u'\n').toStdString();
    // Its own status also counts errors it met while checking.
    EXPECT_EQ(lintian.status, 0) << lintian.output.toStdString();
}

// kestavo --help and kestavo(1) name the same options.
TEST(ManualPage, NamesTheOptionsHelpNames)
{
    const auto optionsIn = [](const QString& text) {
        QSet<QString> options;
        const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*"));
        for (auto match = option.globalMatch(text); match.hasNext();)
            options.insert(match.next().captured(0));
        return options;
    };
    const Result help =
        runKestavo(testedProgram(QStringLiteral(KESTAVO_BINARY)), {QStringLiteral("--help")});
    ASSERT_EQ(help.status, 0);
    const qsizetype helpStart = help.output.indexOf(QStringLiteral("\nOptions:\n"));
    ASSERT_GE(helpStart, 0) << help.output.toStdString();
    // Up to the line about Qt's own options, which neither lists.
    const QString helpOptions = help.output.mid(helpStart).section(QStringLiteral("\nAny"), 0, 0);

    // In the page's OPTIONS section, each option heads a .TP paragraph.
    const QString page = QString::fromUtf8(fileBytes(QStringLiteral(KESTAVO_MAN_SOURCE)));
    const QString section =
        page.section(QStringLiteral("\n.SH OPTIONS\n"), 1).section(QStringLiteral("\n.SH "), 0, 0);
    ASSERT_FALSE(section.isEmpty());
    QString pageOptions;
    const QStringList lines = section.split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == QStringLiteral(".TP"))
            pageOptions +=
                QString(lines[i + 1]).replace(QStringLiteral("\\-"), QStringLiteral("-")) + u'\n';

    EXPECT_FALSE(optionsIn(helpOptions).isEmpty());
    EXPECT_EQ(optionsIn(helpOptions), optionsIn(pageOptions))
        << "--help:\n"
        << helpOptions.toStdString() << "\nman page:\n"
        << pageOptions.toStdString();
}

} // namespace
