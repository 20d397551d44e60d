#pragma once

#include <QSettings>

// The user's settings of the program (recent setups, the window's place and arrangement).
inline QSettings userSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kolvane"), QStringLiteral("kolvane"));
}
