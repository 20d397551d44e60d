#pragma once

#include <QString>

#include <climits>
#include <cmath>

// Truncation toward zero that stays defined where a plain cast is not: NaN gives 0, values beyond
// the int range give its limits.
inline int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT_MAX;
    if (v <= -2147483648.0)
        return INT_MIN;
    return int(v);
}

// Sets *error (when asked for) and returns false, so a failed step reports in one line.
inline bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}
