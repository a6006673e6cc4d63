#pragma once

#include <QString>

namespace kestavo::platform
{
class CommControl;
class Ending;
} // namespace kestavo::platform

namespace kestavo::app
{

// "AP1", the target text unchanged, then CR.
[[nodiscard]] QString positionCommand(const QString& target);

// GO: sends one position command for the target text. Nothing is trimmed,
// checked or awaited; the text box and the focus are left as they are.
void go(platform::CommControl& comm1, const QString& target);

// X: ends the program at once.
void x(platform::Ending& ending);

} // namespace kestavo::app
