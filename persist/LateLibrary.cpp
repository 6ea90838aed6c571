// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/LateLibrary.h"

LateLibrary::LateLibrary(const char *file) : m_library(QString::fromLocal8Bit(file)) {}

bool LateLibrary::load()
{
    if (m_library.load()) return true;
    m_loadError = m_library.errorString();
    return false;
}

QString LateLibrary::why() const
{
    if (!m_loadError.isEmpty()) return m_loadError;
    if (m_missing.isEmpty()) return QString();
    return QStringLiteral("%1 に %2 がありません")
        .arg(m_library.fileName(), m_missing.join(QStringLiteral(", ")));
}
