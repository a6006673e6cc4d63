// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include "constants.h"
#include "conversion.h"
#include "host/files.h"
#include "runtimeerror.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kestavo::platform
{
namespace
{

[[nodiscard]] bool isItemBlank(char c)
{
    return c == ' ' || c == '\t';
}

[[nodiscard]] bool endsItem(char c)
{
    return c == ',' || c == '\r' || c == '\n';
}

[[nodiscard]] QString kindInTheWay(host::FileKind kind)
{
    return kind == host::FileKind::Directory ? QStringLiteral("a directory")
                                             : QStringLiteral("a FIFO, socket or device");
}

} // namespace

QString fileLookup(const QString& name)
{
    return host::fileKind(name) == host::FileKind::Regular ? name : QString();
}

SequentialFile::SequentialFile() = default;
SequentialFile::~SequentialFile() = default;

QString SequentialFile::displayName() const
{
    return visibleText(QDir::toNativeSeparators(QFileInfo(m_name).absoluteFilePath()));
}

void SequentialFile::open(const QString& name, Mode mode)
{
    if (m_open)
        throw RuntimeError(
            ErrorNumber::Internal,
            QStringLiteral("File number 1 is already open (%1).").arg(displayName()));
    m_name = name;
    m_mode = mode;

    if (mode == Mode::Input) {
        QString reason;
        // One byte more than the limit tells a file that was cut short.
        std::optional<QByteArray> head =
            host::readFileHead(name, constants::kPortFileReadLimit + 1, reason);
        if (!head)
            throw RuntimeError(ErrorNumber::FileUnreadable,
                               QStringLiteral("Cannot read %1: %2. Check that the file is "
                                              "readable, or delete it.")
                                   .arg(displayName(), reason));
        m_inputTruncated = head->size() > constants::kPortFileReadLimit;
        head->truncate(constants::kPortFileReadLimit);
        m_input = std::move(*head);
        m_position = 0;
        m_open = true;
        return;
    }

    // Never open a FIFO (it would block) or write through a device.
    const host::FileKind kind = host::fileKind(name);
    if (kind == host::FileKind::Directory || kind == host::FileKind::Special)
        throw RuntimeError(ErrorNumber::FileUnwritable,
                           QStringLiteral("Cannot write %1: %2 of that name is in the way. "
                                          "Remove or rename it, then start Kestavo again.")
                               .arg(displayName(), kindInTheWay(kind)));

    // Unbuffered, so that each write's failure (a full disk) shows at that
    // write: QSaveFile drops an error that only its final flush meets.
    auto file = std::make_unique<QSaveFile>(name);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw RuntimeError(ErrorNumber::FileUnwritable,
                           QStringLiteral("Cannot create %1: %2. Start Kestavo in a directory "
                                          "you can write to.")
                               .arg(displayName(), visibleText(file->errorString())));
    m_output = std::move(file);
    m_open = true;
}

std::int16_t SequentialFile::readInt16Item()
{
    if (!m_open || m_mode != Mode::Input)
        throw RuntimeError(ErrorNumber::Internal,
                           QStringLiteral("%1 is not open for input.").arg(displayName()));

    while (m_position < m_input.size() && isItemBlank(m_input[m_position]))
        ++m_position;
    const qsizetype start = m_position;
    while (m_position < m_input.size() && !endsItem(m_input[m_position]))
        ++m_position;
    const bool closed = m_position < m_input.size() || !m_inputTruncated;
    const QString item = QString::fromLatin1(m_input.mid(start, m_position - start));
    if (m_position < m_input.size())
        ++m_position;

    if (!closed)
        throw RuntimeError(ErrorNumber::FileItemNotANumber,
                           QStringLiteral("%1 does not start with a number: its first item is "
                                          "longer than %2 bytes.")
                               .arg(displayName())
                               .arg(constants::kPortFileReadLimit));
    if (item.trimmed().isEmpty())
        throw RuntimeError(ErrorNumber::FileItemNotANumber,
                           QStringLiteral("%1 does not start with a number: its first item is "
                                          "empty.")
                               .arg(displayName()));
    try {
        return textToInt16(item);
    } catch (const RuntimeError& error) {
        if (error.number() == ErrorNumber::TypeMismatch)
            throw RuntimeError(ErrorNumber::FileItemNotANumber,
                               QStringLiteral("%1 does not start with a number: its first item "
                                              "is \"%2\".")
                                   .arg(displayName(), visibleText(item)));
        throw RuntimeError(error.number(), QStringLiteral("%1 does not hold a usable number: %2")
                                               .arg(displayName(), error.description()));
    }
}

QString SequentialFile::readRestOfLine()
{
    if (!m_open || m_mode != Mode::Input)
        throw RuntimeError(ErrorNumber::Internal,
                           QStringLiteral("%1 is not open for input.").arg(displayName()));
    const qsizetype start = m_position;
    while (m_position < m_input.size() && m_input[m_position] != '\r' &&
           m_input[m_position] != '\n')
        ++m_position;
    const bool closedTheLine =
        start > 0 && (m_input[start - 1] == '\r' || m_input[start - 1] == '\n');
    return closedTheLine ? QString() : QString::fromLatin1(m_input.mid(start, m_position - start));
}

void SequentialFile::writeLine(const QString& text)
{
    if (!m_open || m_mode != Mode::Output)
        throw RuntimeError(ErrorNumber::Internal,
                           QStringLiteral("%1 is not open for output.").arg(displayName()));
    QByteArray line = text.toLatin1();
    line.append("\r\n");
    // A short write says nothing of why; the next one names the cause.
    // QIODevice counts in qint64, wider than qsizetype on 32-bit targets.
    qint64 written = 0;
    qint64 got = 0;
    while (written < line.size() &&
           (got = m_output->write(line.constData() + written, line.size() - written)) > 0)
        written += got;
    if (written != line.size())
        throw RuntimeError(ErrorNumber::FileUnwritable,
                           QStringLiteral("Cannot write %1: %2. Free some disk space or start "
                                          "Kestavo in another directory.")
                               .arg(displayName(), visibleText(m_output->errorString())));
}

void SequentialFile::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_input.clear();
    if (m_mode == Mode::Input)
        return;

    // Going out of scope unsaved, the temporary file is removed, so no
    // failure below leaves anything behind.
    std::unique_ptr<QSaveFile> file = std::move(m_output);
    QString reason;
    if (!file->flush() || !host::syncToDevice(file->handle(), reason))
        throw RuntimeError(
            ErrorNumber::FileUnwritable,
            QStringLiteral("Cannot save %1: %2. Nothing was stored; free some "
                           "disk space or start Kestavo in another directory.")
                .arg(displayName(), visibleText(reason.isEmpty() ? file->errorString() : reason)));
    if (!file->commit())
        throw RuntimeError(ErrorNumber::FileUnwritable,
                           QStringLiteral("Cannot save %1: %2. Nothing was stored; free some "
                                          "disk space or start Kestavo in another directory.")
                               .arg(displayName(), visibleText(file->errorString())));
}

} // namespace kestavo::platform
