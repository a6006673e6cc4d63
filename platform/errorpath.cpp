// SPDX-License-Identifier: GPL-3.0-or-later
#include "errorpath.h"

#include "constants.h"
#include "conversion.h"
#include "dialogs.h"

#include <QStringList>

#include <exception>

namespace kestavo::platform
{

ErrorPath::ErrorPath(Dialogs& dialogs, std::FILE* errorStream)
    : m_dialogs(dialogs), m_errorStream(errorStream)
{
}

namespace
{

// The last guard: text from outside is made visible where it enters a
// description, and anything that slipped past is caught here. Line breaks
// the description itself holds are kept.
[[nodiscard]] QString visibleLines(const QString& description, QChar lineBreak)
{
    QStringList lines = description.split(u'\n');
    for (QString& line : lines)
        line = visibleText(line);
    return lines.join(lineBreak);
}

} // namespace

bool notice(const QString& text, int fd)
{
    const QString line =
        QStringLiteral("%1: %2\n").arg(constants::kExecutableName, visibleLines(text, u' '));
    return host::tryWriteNotice(fd, line.toLocal8Bit());
}

QString ErrorPath::boxText(const RuntimeError& error)
{
    return QStringLiteral("Run-time error %1:\n\n%2")
        .arg(error.code())
        .arg(visibleLines(error.description(), u'\n'));
}

QString ErrorPath::logLine(const RuntimeError& error)
{
    const QString description = visibleLines(error.description(), u' ');
    return QStringLiteral("%1: run-time error %2: %3")
        .arg(constants::kExecutableName)
        .arg(error.code())
        .arg(description);
}

int ErrorPath::report(const RuntimeError& error)
{
    // Standard error first: it survives even if the box cannot be shown.
    const int status = reportWithoutBox(error);
    m_dialogs.errorBox(boxText(error));
    return status;
}

int ErrorPath::reportWithoutBox(const RuntimeError& error)
{
    const QByteArray line = logLine(error).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), m_errorStream);
    std::fflush(m_errorStream);
    return kExitRuntimeError;
}

std::optional<RuntimeError> ErrorPath::failureOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::exception& error) {
        return RuntimeError(ErrorNumber::Internal,
                            QStringLiteral("Internal error: %1. Please report this.")
                                .arg(visibleText(QString::fromLocal8Bit(error.what()))));
    }
    return std::nullopt;
}

} // namespace kestavo::platform
