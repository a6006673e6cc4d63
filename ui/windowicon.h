// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

class QWidget;

namespace kestavo::ui
{

// Kestavo's icon for its windows, from raw pixels compiled in (tools/make-icons
// makes them from the PNGs): no icon-theme lookup and no image decoding at
// start, where reading PNG would have Qt load every image-format plugin to ask
// whether it reads PNG. It shows even with no window manager and no SVG plugin.
[[nodiscard]] QIcon windowIcon();

// Gives every window, and every one made later, Kestavo's icon; once.
void useWindowIcon();

// The same once window has drawn its first frame. On X the icon is a window
// property that nothing needs before the window is on screen, and making it
// takes time the window would otherwise wait for. Under Wayland the desktop
// takes the icon from the desktop entry instead.
void useWindowIconAfterFirstFrame(QWidget& window);

} // namespace kestavo::ui
