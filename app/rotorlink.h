// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestavo::platform
{
class CommControl;
class Ending;
} // namespace kestavo::platform

namespace kestavo::app
{

// GO: sends one position command, "AP1", the target text and CR. Nothing is trimmed,
// checked or awaited; the text box and the focus are left as they are.
void go(platform::CommControl& comm1, const QString& target);

// X: ends the program at once.
void x(platform::Ending& ending);

} // namespace kestavo::app
