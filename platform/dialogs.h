// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestavo::platform
{

// The modal boxes the program shows. Behind an interface so that tests can
// script the answers and never wait on a real dialog.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Input box with OK and Cancel and an empty entry field. Returns the text
    // entered, or the empty string on Cancel. details, when not empty, is
    // plain text shown below the prompt.
    [[nodiscard]] virtual QString inputBox(const QString& prompt, const QString& title,
                                           const QString& details) = 0;
    // Message box with the warning icon, one OK button and the program's name
    // as its title.
    virtual void warningBox(const QString& text) = 0;
    // Message box with the error icon and one OK button, for run-time errors.
    virtual void errorBox(const QString& text) = 0;
};

} // namespace kestavo::platform
