// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include "platform/commcontrol.h"
#include "platform/host/ports.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"
#include "support/pseudoterminal.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace kestavo::test
{

// A pseudo-terminal pair: the program opens the slave side as its serial
// port, the test reads what arrives on the master side.
class PtyPair
{
public:
    PtyPair() : m_slavePath(QString::fromStdString(m_line.slavePath())) {}

    [[nodiscard]] const QString& slavePath() const { return m_slavePath; }
    [[nodiscard]] int slaveFd() const { return m_line.slaveFd(); }
    [[nodiscard]] int masterFd() const { return m_line.masterFd(); }

    // Reads from the master side until count bytes arrived or timeout passed.
    [[nodiscard]] QByteArray read(qsizetype count, std::chrono::milliseconds timeout);
    // The same, while letting this thread's event loop hand over what
    // QSerialPort has buffered.
    [[nodiscard]] QByteArray receive(qsizetype count, std::chrono::milliseconds timeout);
    // Everything that arrives within quiet, and nothing more.
    [[nodiscard]] QByteArray drain(std::chrono::milliseconds quiet);

    // Hangs up the line as a device that goes away does: writes to the slave
    // side fail from now on.
    void closeMaster() { m_line.closeMaster(); }

private:
    support::PseudoTerminal m_line;
    QString m_slavePath;
};

// A private port table: XDG_CONFIG_HOME points at a scratch directory for the
// lifetime of this object.
class PortTable
{
public:
    PortTable();
    ~PortTable();
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    void link(int portNumber, const QString& target) const;
    void writeEntry(int portNumber, const QByteArray& content) const;
    [[nodiscard]] QString directory() const;

private:
    QTemporaryDir m_config;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// The serial devices the system reports are the given ones, not the
// machine's own, for the lifetime of this object.
class FakeSystemPorts
{
public:
    explicit FakeSystemPorts(QList<platform::host::SystemPort> ports = {});
    ~FakeSystemPorts();
    FakeSystemPorts(const FakeSystemPorts&) = delete;
    FakeSystemPorts& operator=(const FakeSystemPorts&) = delete;

    // How often the system was asked for its devices.
    [[nodiscard]] int queries() const { return *m_queries; }

private:
    std::shared_ptr<int> m_queries = std::make_shared<int>(0);
};

// Makes a scratch directory the working directory for the lifetime of this
// object.
class ScratchWorkingDirectory
{
public:
    ScratchWorkingDirectory();
    ~ScratchWorkingDirectory();
    ScratchWorkingDirectory(const ScratchWorkingDirectory&) = delete;
    ScratchWorkingDirectory& operator=(const ScratchWorkingDirectory&) = delete;

    [[nodiscard]] QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Runs the program through runTime, with start as its start-up, until it
// ends; returns its exit status. A loop that nothing ends would hang the
// test: after watchdog the test fails and the program is ended.
[[nodiscard]] int runUntilEnd(platform::RunTime& runTime, std::chrono::milliseconds watchdog,
                              const std::function<void()>& start);

// The start-up sequence's five assignments to comm1, in their order, for
// port portNumber: CommPort, PortOpen, RTSEnable, InputLen 4, Settings
// "4800,n,8,1".
void assignAsStartUpDoes(platform::CommControl& comm1, std::int16_t portNumber);

// What a step did in a child process whose files cannot grow past maxBytes
// (RLIMIT_FSIZE, with SIGXFSZ ignored, so that a write past it fails with
// EFBIG as on a full disk): the run-time error it raised, if any.
struct ChildOutcome {
    bool ran = false; // the child ended normally and reported
    std::optional<int> errorCode;
    QString description;
};
[[nodiscard]] ChildOutcome runWithFileSizeLimit(long maxBytes, const std::function<void()>& step);

// The environment for the real program: the caller's, without any display,
// or on display through the X11 plugin when one is given.
[[nodiscard]] QProcessEnvironment programEnvironment(const QString& display = QString());

// The build tree whose program and package the program tests test: this
// one (builtHere), or KESTAVO_TEST_BUILD_DIR, another architecture's.
[[nodiscard]] QString testedBuildDir(const QString& builtHere);
// That tree's file of the name builtHere has.
[[nodiscard]] QString testedProgram(const QString& builtHere);
// Starts a program of the tested tree, through KESTAVO_TEST_EMULATOR
// (qemu-aarch64 -L /) when it is another architecture's.
void startProgram(QProcess& process, const QString& program, const QStringList& arguments);

// The run-time error that step throws; nullopt, and a failed test, if it
// throws none.
[[nodiscard]] std::optional<platform::RuntimeError> raised(const std::function<void()>& step);

// The whole content of a file; a failed test if it cannot be read.
[[nodiscard]] QByteArray fileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);
// Everything written so far to a temporary stream, such as the error log.
[[nodiscard]] QByteArray streamBytes(std::FILE* stream);
void makeFifo(const QString& path);

} // namespace kestavo::test
