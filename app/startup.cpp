// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup.h"

#include "platform/commcontrol.h"
#include "platform/constants.h"
#include "platform/conversion.h"
#include "platform/dialogs.h"
#include "platform/errorpath.h"
#include "platform/files.h"
#include "platform/portlist.h"
#include "platform/runtimeerror.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

namespace kestavo::app
{
namespace
{

using platform::RuntimeError;
using platform::SequentialFile;

[[nodiscard]] QString portFilePath(const QString& fileName)
{
    return platform::visibleText(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()));
}

[[nodiscard]] QString chooseAgainHint(const QString& fileName)
{
    return QStringLiteral("Delete %1, then start Kestavo again to choose the port.")
        .arg(portFilePath(fileName));
}

struct StoredChoice {
    std::int16_t portNumber = 0;
    bool readBack = false;
    std::optional<CommandSet> commandSet;
    Station station;
    QStringList told;
};

// Items after the port number are Kestavo's options; one it does not know,
// or whose value it cannot take, is told, and left alone.
void readItems(const QString& rest, const QString& fileName, StoredChoice& choice)
{
    for (const QString& item : rest.split(u',', Qt::SkipEmptyParts)) {
        const QString trimmed = item.trimmed();
        const qsizetype equals = trimmed.indexOf(u'=');
        QString why;
        if (trimmed.isEmpty()) {
            continue;
        } else if (trimmed.compare(constants::kReadBackItem, Qt::CaseInsensitive) == 0) {
            choice.readBack = true;
        } else if (const std::optional<CommandSet> set = commandSetNamed(trimmed)) {
            choice.commandSet = set;
        } else if (const std::optional<QString> wrong =
                       equals < 0 ? std::nullopt
                                  : readStationItem(QStringView(trimmed).first(equals),
                                                    QStringView(trimmed).sliced(equals + 1),
                                                    choice.station)) {
            if (wrong->isEmpty())
                continue;
            why = QStringLiteral("\"%1\" is left alone: %2.")
                      .arg(platform::visibleText(trimmed), *wrong);
        } else {
            why = QStringLiteral("\"%1\" means nothing to Kestavo and is left alone; the "
                                 "items it knows are %2, %3, %4, %5, %6=, %7=, %8=, %9= and %10=.")
                      .arg(platform::visibleText(trimmed), constants::kReadBackItem,
                           constants::kOneStepName, constants::kTwoStepName, constants::kTenthsName,
                           constants::kParkItem, constants::kParkAfterItem, constants::kOffsetItem,
                           constants::kHomeItem)
                      .arg(constants::kWebItem);
        }
        if (!why.isEmpty()) {
            choice.told << QStringLiteral("%1: %2").arg(QString(constants::kPortFileName), why);
            (void)platform::notice(QStringLiteral("%1: %2").arg(portFilePath(fileName), why));
        }
    }
}

[[nodiscard]] StoredChoice portFromFile(const QString& fileName)
{
    SequentialFile file;
    try {
        file.open(fileName, SequentialFile::Mode::Input);
        StoredChoice choice;
        choice.portNumber = file.readInt16Item();
        const QString rest = file.readRestOfLine();
        file.close();
        readItems(rest, fileName, choice);
        return choice;
    } catch (const RuntimeError& error) {
        throw error.withHint(chooseAgainHint(fileName));
    }
}

[[nodiscard]] std::int16_t portFromUser(platform::Dialogs& dialogs, const QString& fileName)
{
    // Listed only here, never on a start from the file: it takes time.
    const QString reply =
        dialogs.inputBox(QString(constants::kPromptText), QString(constants::kPromptTitle),
                         platform::portChoicesText(platform::listPorts()));
    if (reply.size() < 1) {
        dialogs.warningBox(QString(constants::kCancelWarning));
        return 0;
    }

    std::int16_t portNumber = 0;
    try {
        portNumber = platform::textToInt16(reply);
    } catch (const RuntimeError& error) {
        throw error.withHint(QStringLiteral("Nothing was stored. Start Kestavo again and type the "
                                            "number of the serial port, for example 1 for "
                                            "/dev/ttyS0 or 33 for /dev/ttyUSB0."));
    }

    // Stored exactly as typed, and only once it is known to be a number.
    SequentialFile file;
    file.open(fileName, SequentialFile::Mode::Output);
    file.writeLine(reply);
    file.close();
    return portNumber;
}

} // namespace

LineChoice startUp(platform::CommControl& comm1, platform::Dialogs& dialogs, bool readBackAsked,
                   std::optional<CommandSet> commandSetAsked, const Station& stationAsked)
{
    const QString fileName(constants::kPortFileName);
    const bool fromFile = platform::fileLookup(fileName) != QString();
    const StoredChoice choice =
        fromFile ? portFromFile(fileName)
                 : StoredChoice{portFromUser(dialogs, fileName), false, {}, {}, {}};
    const std::int16_t portNumber = choice.portNumber;
    const bool readBack = readBackAsked || choice.readBack;

    try {
        // Without read-back the port stays write-only, as it always was.
        if (readBack)
            comm1.setReading(true);
        comm1.setCommPort(portNumber);
        comm1.setPortOpen(true);
        comm1.setRTSEnable(true);
        comm1.setInputLen(constants::kStartInputLen);
        comm1.setSettings(QString(constants::kLineSettings));
    } catch (const RuntimeError& error) {
        if (fromFile)
            throw error.withHint(QStringLiteral("Port %1 was read from %2; to use another port, "
                                                "delete that file and start Kestavo again.")
                                     .arg(portNumber)
                                     .arg(portFilePath(fileName)));
        if (portNumber == 0)
            throw error.withHint(QStringLiteral("No port was chosen: start Kestavo again and "
                                                "type the number of the serial port."));
        throw;
    }
    return LineChoice{readBack,
                      commandSetAsked.value_or(choice.commandSet.value_or(kDefaultCommandSet)),
                      choice.station.overriddenBy(stationAsked), choice.told};
}

} // namespace kestavo::app
