// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtimeerror.h"

#include <utility>

namespace kestavo::platform
{

RuntimeError::RuntimeError(ErrorNumber number, QString description)
    : std::runtime_error(description.toStdString()), m_number(number),
      m_description(std::move(description))
{
}

RuntimeError RuntimeError::withHint(const QString& hint) const
{
    return RuntimeError(m_number, m_description + u' ' + hint);
}

} // namespace kestavo::platform
