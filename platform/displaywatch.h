// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

namespace kestavo::platform
{

// What a message from Qt means to Kestavo.
enum class QtMessageMeaning {
    Other,              // passed on as Qt would print it
    DisplayUnreachable, // a step towards NoPlatform; kept off the terminal
    NoPlatform,         // no display could be reached: the program cannot start
    DisplayLost,        // the connection to the display broke while running
};

[[nodiscard]] QtMessageMeaning meaningOf(QtMsgType type, const QString& text);

// The description of error 402 for a start with these arguments and the
// current environment: which display could not be reached, and what to do.
[[nodiscard]] QString noDisplayDescription(const QStringList& arguments);

// Takes over Qt's messages before the application object is made, so that
// a display that cannot be reached ends the program with one line and
// status 1 instead of Qt's lines and an abort, and a display that goes away
// while running ends it through the handler set by onDisplayLost().
void watchDisplay(const QStringList& arguments);

// What to do when the display goes away: given the detail of what broke,
// end in order and return the exit status. The program ends with that
// status as soon as the handler returns. An empty handler is unset.
void onDisplayLost(std::function<int(const QString& detail)> handler);

} // namespace kestavo::platform
