// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotorlink.h"

#include "platform/commcontrol.h"
#include "platform/constants.h"
#include "platform/runtime.h"

namespace kestavo::app
{
namespace
{

[[nodiscard]] QString positionCommand(const QString& target)
{
    return QString(constants::kCommandPrefix) + target + QChar(constants::kCommandEnd);
}

} // namespace

void go(platform::CommControl& comm1, const QString& target)
{
    comm1.setOutput(positionCommand(target));
}

void x(platform::Ending& ending)
{
    ending.end();
}

} // namespace kestavo::app
