// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs.h"

#include <functional>

namespace kestavo::platform
{

// The boxes as Qt dialogs, centred on the screen by the window system. Needs
// a QApplication.
class QtDialogs final : public Dialogs
{
public:
    // beforeShowing runs before each box is shown, such as to give it the
    // window icon that the main window gets only after it is on screen.
    explicit QtDialogs(std::function<void()> beforeShowing = {})
        : m_beforeShowing(std::move(beforeShowing))
    {
    }

    [[nodiscard]] QString inputBox(const QString& prompt, const QString& title,
                                   const QString& details) override;
    void warningBox(const QString& text) override;
    void errorBox(const QString& text) override;

private:
    void prepare() const;

    std::function<void()> m_beforeShowing;
};

} // namespace kestavo::platform
