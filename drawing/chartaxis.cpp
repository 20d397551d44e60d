#include "drawing/chartaxis.h"

#include <algorithm>
#include <cmath>

double niceStep(double range, int ticks)
{
    const double raw = range / std::max(1, ticks);
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw * (1 - 1e-9))
            return m * magnitude;
    return 10 * magnitude;
}

ChartAxis niceAxis(double lo, double hi, int ticks)
{
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-9) {
        const double pad = std::max(1.0, std::fabs(lo) * 0.1);
        lo -= pad;
        hi += pad;
    }
    ChartAxis axis;
    axis.step = niceStep(hi - lo, ticks);
    axis.min = std::floor(lo / axis.step + 1e-9) * axis.step;
    axis.max = std::ceil(hi / axis.step - 1e-9) * axis.step;
    if (axis.max <= axis.min)
        axis.max = axis.min + axis.step;
    return axis;
}

QString tickText(double value, double step)
{
    const int decimals = step >= 1 ? 0 : std::min(6, int(std::ceil(-std::log10(step) - 1e-9)));
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0)
        text.remove(0, 1);
    return text;
}

QVector<double> axisTicks(const ChartAxis &axis)
{
    QVector<double> out;
    const int n = int(std::llround((axis.max - axis.min) / axis.step));
    for (int k = 0; k <= n && k <= 1000; ++k)
        out << axis.min + k * axis.step;
    return out;
}

double clampPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return std::clamp(v, -1.0e6, 1.0e6);
}
