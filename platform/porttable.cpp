// SPDX-License-Identifier: GPL-3.0-or-later
#include "porttable.h"

#include "constants.h"
#include "conversion.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <limits>

namespace kestavo::platform
{
namespace
{

// Text from a port table entry as a report may quote it: visible, and cut
// short, since an entry can hold anything.
[[nodiscard]] QString shownEntryText(const QString& text)
{
    if (text.size() <= constants::kShownEntryLength)
        return visibleText(text);
    return visibleText(QStringView(text).left(constants::kShownEntryLength)) +
           QStringLiteral("...");
}

// Why the bytes of a port table entry cannot name a device; empty if they
// can. Checked before the text is used as a path, so that nothing is opened
// or locked under a name that is not one.
[[nodiscard]] QString unusableDevicePath(const QByteArray& raw, bool mustBeAbsolute)
{
    if (raw.isEmpty())
        return QStringLiteral("which is empty");
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    const QString text = decoder(raw);
    if (decoder.hasError())
        return QStringLiteral("which holds \"%1\", not text in the system's encoding")
            .arg(shownEntryText(QString::fromLatin1(raw)));
    if (visibleText(text) != text)
        return QStringLiteral("which holds \"%1\", with control characters no device path has")
            .arg(shownEntryText(text));
    if (raw.size() >= host::pathLimit())
        return QStringLiteral("which holds \"%1\", longer than any path (%2 bytes)")
            .arg(shownEntryText(text))
            .arg(raw.size());
    if (mustBeAbsolute && !raw.startsWith('/'))
        return QStringLiteral("which holds \"%1\", not a path from / such as /dev/ttyUSB0")
            .arg(shownEntryText(text));
    return QString();
}

[[nodiscard]] host::PortDevice refusedEntry(const QString& origin, const QString& why)
{
    return host::PortDevice{QString(),
                            QStringLiteral("%1, %2: put the path of the device (such as "
                                           "/dev/ttyUSB0) on its first line, or make it a link to "
                                           "the device")
                                .arg(origin, why)};
}

// A COM<n> entry: a link names the device by its target, a file by its
// first line.
[[nodiscard]] std::optional<host::PortDevice> portTableEntry(std::int16_t portNumber)
{
    const QString entry = host::portTableDirectory() + u'/' + constants::kPortTablePrefix +
                          QString::number(portNumber);
    const QFileInfo info(entry);
    const QString origin = QStringLiteral("port table entry %1").arg(visibleText(entry));
    if (info.isSymLink()) {
        // A relative target counts from the table's directory.
        QString reason;
        const std::optional<QByteArray> target = host::readLinkText(entry, reason);
        if (!target)
            return host::PortDevice{
                QString(),
                QStringLiteral("%1, a link that cannot be read (%2)").arg(origin, reason)};
        if (const QString why = unusableDevicePath(*target, false); !why.isEmpty())
            return refusedEntry(origin, why);
        return host::PortDevice{info.symLinkTarget(), origin};
    }
    if (!info.isFile())
        return std::nullopt;

    QString reason;
    const std::optional<QByteArray> head = host::readFileHead(entry, host::pathLimit(), reason);
    if (!head)
        return host::PortDevice{
            QString(), QStringLiteral("%1, which cannot be read (%2)").arg(origin, reason)};
    const qsizetype lineEnd = head->indexOf('\n');
    const QByteArray line = (lineEnd < 0 ? *head : head->left(lineEnd)).trimmed();
    if (const QString why = unusableDevicePath(line, true); !why.isEmpty())
        return refusedEntry(origin, why);
    return host::PortDevice{QFile::decodeName(line), origin};
}

} // namespace

host::PortDevice deviceForPort(std::int16_t portNumber)
{
    if (portNumber >= 1) {
        if (std::optional<host::PortDevice> entry = portTableEntry(portNumber))
            return *entry;
    }
    if (std::optional<QString> device = host::builtInDevice(portNumber))
        return host::PortDevice{*device, QStringLiteral("built-in numbering")};
    return host::PortDevice{QString(), QString()};
}

QList<std::int16_t> portTableNumbers()
{
    QList<std::int16_t> numbers;
    const QDir table(host::portTableDirectory());
    const QStringList names =
        table.entryList({constants::kPortTablePrefix + u'*'}, QDir::AllEntries | QDir::System);
    for (const QString& name : names) {
        bool isNumber = false;
        const int number = name.mid(constants::kPortTablePrefix.size()).toInt(&isNumber);
        // deviceForPort only ever looks up "COM" + the number in decimal.
        if (!isNumber || number < 1 || number > std::numeric_limits<std::int16_t>::max() ||
            name != constants::kPortTablePrefix + QString::number(number))
            continue;
        const QFileInfo entry(table.filePath(name));
        if (entry.isSymLink() || entry.isFile())
            numbers.append(static_cast<std::int16_t>(number));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace kestavo::platform
