// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs.h"

namespace kestavo::platform
{

// The boxes as Qt dialogs, centred on the screen by the window system. Needs
// a QApplication.
class QtDialogs final : public Dialogs
{
public:
    [[nodiscard]] QString inputBox(const QString& prompt, const QString& title,
                                   const QString& details) override;
    void warningBox(const QString& text) override;
    void errorBox(const QString& text) override;
};

} // namespace kestavo::platform
