#include "resources/iconnames.h"

QStringList compiledIconNames()
{
    // The list comes from resources/CMakeLists.txt, the same list that feeds the resource file.
    return QStringLiteral(KOLVANE_ICON_NAMES).split(QLatin1Char(','));
}
