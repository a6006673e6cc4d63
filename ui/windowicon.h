// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace kestavo::ui
{

// Kestavo's icon for its windows, from raw pixels compiled in (tools/make-icons
// makes them from the PNGs): no icon-theme lookup and no image decoding at
// start, where reading PNG would have Qt load every image-format plugin to ask
// whether it reads PNG. It shows even with no window manager and no SVG plugin.
[[nodiscard]] QIcon windowIcon();

} // namespace kestavo::ui
