#include "engine/reach.h"

namespace {

bool cancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// The largest k whose margin still carries the target; a larger margin never raises the rate,
// so the answer splits the range in two.
template <typename CarriesAt>
MarginAtRate largestCarryingMargin(const CarriesAt &carriesAt)
{
    if (!carriesAt(LowestMarginTenths))
        return {MarginAtRate::Below, 0};
    if (carriesAt(HighestMarginTenths))
        return {MarginAtRate::Above, 0};
    int carried = LowestMarginTenths;
    int failed = HighestMarginTenths;
    while (failed - carried > 1) {
        const int k = carried + (failed - carried) / 2;
        if (carriesAt(k))
            carried = k;
        else
            failed = k;
    }
    return {MarginAtRate::Value, carried};
}

} // namespace

float marginFromTenths(int tenths)
{
    return float(double(tenths) / 10.0);
}

std::optional<QVector<Reach>> reachAtRates(const LineRateModel &model, int m, float elfextNorm,
                                           float nextNorm, float snrMargin,
                                           const QVector<int> &targets, int from, int to, int step,
                                           const std::atomic_bool *cancel)
{
    QVector<Reach> out(targets.size());
    if (targets.isEmpty() || step < 1 || from > to)
        return out;
    RateSweep sweep(model, m, elfextNorm, nextNorm, {snrMargin});
    // A PAM search can take long at one length; the sweep watches the flag between candidates.
    sweep.setCancelFlag(cancel);
    QVector<bool> fellShort(targets.size(), false);
    int open = targets.size();
    qint64 L = from;
    for (; L <= to; L += step) {
        if (cancelled(cancel))
            return std::nullopt;
        float rate = 0;
        sweep.evaluate(float(L), &rate);
        if (cancelled(cancel))
            return std::nullopt; // the rate means nothing then
        for (int j = 0; j < targets.size(); ++j) {
            if (fellShort[j] || carriesTarget(rate, targets[j]))
                continue;
            fellShort[j] = true;
            --open;
            out[j] = L == from ? Reach{Reach::None, 0} : Reach{Reach::Length, int(L - step)};
        }
        if (open == 0)
            return out;
    }
    for (int j = 0; j < targets.size(); ++j)
        if (!fellShort[j])
            out[j] = {Reach::Beyond, int(L - step)};
    return out;
}

std::optional<QVector<MarginAtRate>> marginsAtRate(const LineRateModel &model, int m,
                                                   float elfextNorm, float nextNorm, int target,
                                                   const QVector<float> &lengths,
                                                   const std::atomic_bool *cancel)
{
    QVector<MarginAtRate> out;
    out.reserve(lengths.size());
    if (model.isDmt()) {
        // A tone's SNR does not depend on the margin: one pass gives the bits at every margin.
        for (float L : lengths) {
            if (cancelled(cancel))
                return std::nullopt;
            const LineTrace trace = model.trace(m, elfextNorm, nextNorm, 0, L);
            out << largestCarryingMargin([&](int k) {
                const float margin = marginFromTenths(k);
                float rate = 0;
                for (const ToneTrace &t : trace.tones)
                    rate = float(double(rate) + 4.0 * double(toneBits(t.snr, margin, t.cap)));
                return carriesTarget(rate, target);
            });
        }
        return out;
    }
    // One sweep over every margin of the range: the margins share each candidate's SNR, and
    // ascending lengths resume where the previous one stopped.
    QVector<float> margins;
    for (int k = LowestMarginTenths; k <= HighestMarginTenths; ++k)
        margins << marginFromTenths(k);
    RateSweep sweep(model, m, elfextNorm, nextNorm, margins);
    // One length's search can take long on a fine rate grid: the flag is watched inside it too.
    sweep.setCancelFlag(cancel);
    QVector<float> rates(margins.size());
    for (float L : lengths) {
        if (cancelled(cancel))
            return std::nullopt;
        sweep.evaluate(L, rates.data());
        if (cancelled(cancel))
            return std::nullopt;
        out << largestCarryingMargin(
            [&](int k) { return carriesTarget(rates[k - LowestMarginTenths], target); });
    }
    return out;
}

MarginAtRate marginAtRate(const LineRateModel &model, int m, float elfextNorm, float nextNorm,
                          int target, float length)
{
    return marginsAtRate(model, m, elfextNorm, nextNorm, target, {length})->first();
}

QString reachText(const Reach &reach)
{
    switch (reach.kind) {
    case Reach::None:
        return QStringLiteral("-");
    case Reach::Length:
        return QString::number(reach.length);
    case Reach::Beyond:
        return QLatin1Char('>') + QString::number(reach.length);
    }
    return {};
}

QString marginText(const MarginAtRate &margin)
{
    switch (margin.kind) {
    case MarginAtRate::Below:
        return QStringLiteral("<-10.0");
    case MarginAtRate::Above:
        return QStringLiteral(">30.0");
    case MarginAtRate::Value:
        break;
    }
    // From the whole tenths, so -0.3 keeps its sign and no float ever rounds the digit.
    const int k = margin.tenths;
    const int magnitude = k < 0 ? -k : k;
    return QStringLiteral("%1%2.%3")
        .arg(k < 0 ? QStringLiteral("-") : QString(), QString::number(magnitude / 10),
             QString::number(magnitude % 10));
}
