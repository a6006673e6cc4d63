// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/webpage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>

namespace kestavo::web
{

// Where the live channel is.
inline constexpr QLatin1StringView kLivePath{"/live"};

// The state as every page gets it.
[[nodiscard]] QByteArray stateJson(const app::PageState& state, bool locked);

// Whether a Host header names this server on the loopback by one of its
// own names, so that a name rebound to 127.0.0.1 is not answered.
[[nodiscard]] bool isLoopbackHost(QByteArrayView host, quint16 port);

} // namespace kestavo::web
