#include "engine/lineratemodel.h"

#include "engine/checks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

// Every stored value is a float and is rounded exactly where it is stored; the expressions in
// between run in double. These roundings decide integer bit counts, so the fast paths below
// keep them all and skip work only where the result provably cannot differ.

namespace {

constexpr double ToneSpacing = 4.3125;  // kHz
constexpr double HalfTone = 2.15625;    // kHz
constexpr double SnrGap = 9.75;         // dB
constexpr double BitSnr = double(3.0103f); // dB per bit, the single-precision value
constexpr double PowerFloor = 1e-20;
constexpr float NoCrosstalk = 200.0f;   // dB
constexpr double RateStep = 64.0;       // kbit/s
constexpr int BoundCheckInterval = 32;  // bins between the early-failure checks
constexpr long long NoiseCacheFloats = 8 * 1024 * 1024;

float power(float db)
{
    return float(std::pow(10.0, double(db) / 10.0));
}

float floored(float x)
{
    return x < PowerFloor ? float(PowerFloor) : x;
}

// 10·log10(x) with the logarithm and the product each rounded to float.
float tenLog10(float x)
{
    const float lg = float(std::log10(double(x)));
    return float(10.0 * double(lg));
}

float logRatio(float f, float normFrequency)
{
    const float ratio = float(double(f) / double(normFrequency));
    return float(std::log10(double(ratio)));
}

// The coding gain comes last, so a gain of 0 leaves every sum as it was. The SNR is a float
// (taken in double where a bound of it is asked about).
double bitBudget(double snr, double margin, double codingGain)
{
    return (((snr - SnrGap) - margin) + codingGain) / BitSnr;
}

// Bits of a budget: truncated toward zero, clamped at zero, then capped. Never decreasing.
int budgetBits(double budget, int cap)
{
    int b = truncToInt(budget);
    if (b < 0)
        b = 0;
    if (b > cap)
        b = cap;
    return b;
}

int dmtBits(double snr, double margin, double codingGain, int cap)
{
    return budgetBits(bitBudget(snr, margin, codingGain), cap);
}

// 10·log10 of one PAM bin's noise sum: NEXT at the flat transmit level, additive noise, floor.
float binNoiseLevel(float G, float nextLoss, float add, float floorPower)
{
    const float next = power(float(double(G) - double(nextLoss)));
    return tenLog10(floored(float((double(next) + double(add)) + double(floorPower))));
}

// Loss of the whole loop at one frequency: the fixed sections' losses summed in double, then the
// swept cable's share; without sections the one-cable loss itself.
template <bool Sectioned>
float loopLossOf(float a, double sectionLoss, float sweptKm)
{
    const float Av = float(double(a) * double(sweptKm));
    return Sectioned ? float(sectionLoss + double(Av)) : Av;
}

int tableRows(const CableTemplate &t)
{
    return std::min(t.count, int(std::min(t.F.size(), t.a.size())));
}

double pamThreshold(int K, float margin, float codingGain)
{
    return (double(K) * BitSnr + (double(margin) + SnrGap)) - double(codingGain);
}

// A crosstalk loss's norm less 6 dB per decade of the count - 1 disturbers, in double.
double disturberTerm(float norm, long long count)
{
    return double(norm) - 6.0 * std::log10(double(count - 1));
}

// The far-end crosstalk of one sweep point: what its coupling losses share across the tones.
// Without vectoring one group, the binder's m lines; with it the vectored group (m - N lines,
// the victim included) whose loss rises by the cancellation depth, and the N aliens.
class FextPoint
{
public:
    FextPoint(int m, float elfextNorm, float length, const ModelOptions &options)
    {
        const long long aliens = options.vectoring ? options.alienDisturbers : 0;
        const long long group = (long long)m - aliens;
        const bool crosstalk = length > 0;
        m_vectored = bool(options.vectoring);
        m_depth = double(options.vectoring.value_or(0));
        m_group = crosstalk && group > 1;
        m_groupTerm = m_group ? disturberTerm(elfextNorm, group) : 0;
        m_aliens = crosstalk && aliens + 1 > 1;
        m_alienTerm = m_aliens ? disturberTerm(elfextNorm, aliens + 1) : 0;
        m_lengthTerm = crosstalk ? 10.0 * std::log10(double(length) / 1000.0) : 0;
    }

    bool vectored() const { return m_vectored; }

    // Received PSD over the coupling loss (dB, rounded) of the group, the vectored group's
    // loss raised by the depth; of the aliens. lg is log10(f / fE) of a tone above 0 kHz.
    float groupExcess(float W, bool positive, float lg) const
    {
        float X = loss(m_group, m_groupTerm, positive, lg);
        if (m_vectored)
            X = float(double(X) + m_depth);
        return float(double(W) - double(X));
    }
    float alienExcess(float W, bool positive, float lg) const
    {
        return float(double(W) - double(loss(m_aliens, m_alienTerm, positive, lg)));
    }

private:
    float loss(bool counted, double term, bool positive, float lg) const
    {
        return counted && positive ? float((term - 20.0 * double(lg)) - m_lengthTerm) : NoCrosstalk;
    }

    bool m_vectored = false;
    double m_depth = 0;
    bool m_group = false;
    double m_groupTerm = 0;
    bool m_aliens = false;
    double m_alienTerm = 0;
    double m_lengthTerm = 0;
};

// A power this far below another is under half a float step of it: their float sum is the
// stronger one (2^25 is 75.3 dB).
constexpr double Negligible = 80.0; // dB

// The two crosstalk powers of a vectored tone, summed and rounded once; a negligible one's pow
// is spared.
float vectoredPower(float groupExcess, float alienExcess)
{
    if (double(alienExcess) <= double(groupExcess) - Negligible)
        return power(groupExcess);
    if (double(groupExcess) <= double(alienExcess) - Negligible)
        return power(alienExcess);
    return float(double(power(groupExcess)) + double(power(alienExcess)));
}

// SNR of a tone from its received PSD and its noise powers (mW/Hz), rounded as the model does.
float toneSnr(float W, float add, float crosstalk, float own)
{
    const float Uf = floored(float((double(add) + double(crosstalk)) + double(own)));
    return float(double(W) - double(tenLog10(Uf)));
}

// How far a power d dB or more below another can lower the SNR the stronger one leaves, in
// bits of budget: 10·log10(1 + 10^(-d/10)) dB for whole d below Negligible, with room for every
// rounding on the way (a few float steps of SNRs and levels below 1000 dB).
const std::vector<double> WeakerShareBits = [] {
    std::vector<double> out;
    for (int k = 0; k < int(Negligible); ++k)
        out.push_back((10.0 * std::log10(1.0 + std::pow(10.0, -double(k) / 10.0)) + 0.01) / BitSnr);
    return out;
}();

// The crosstalk noise of one tone, mW/Hz.
float fextPower(const FextPoint &point, float W, bool positive, float lg)
{
    const float group = point.groupExcess(W, positive, lg);
    if (!point.vectored())
        return power(group);
    return vectoredPower(group, point.alienExcess(W, positive, lg));
}

// The largest crosstalk level (dB) that, added to the noise sum add + own, leaves the float
// result unchanged: the double sum must stay below the midpoint to the next float. Generous
// margins cover the rounding of the partial sums and of the power itself: a power at the limit
// is under a quarter of the room, so two of them together still fit. -inf disables it.
double fextLimit(float add, float own)
{
    const double s0 = (double(add) + 0.0) + double(own);
    const float u0 = float(s0);
    if (!(u0 >= PowerFloor) || !std::isfinite(u0) || u0 == std::numeric_limits<float>::max())
        return -std::numeric_limits<double>::infinity();
    const float up = std::nextafter(u0, std::numeric_limits<float>::infinity());
    const double mid = (double(u0) + double(up)) / 2.0;
    const double gap = mid - s0;
    if (!(gap >= s0 * 0x1p-40))
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(gap / 4.0) - 0.1;
}

} // namespace

float interpolate(float x, int count, const float *xs, const float *ys)
{
    if (!(x > xs[0]))
        return ys[0];
    if (x > xs[count - 1])
        return ys[count - 1];
    for (int i = 1; i < count; ++i) {
        if (xs[i - 1] < x && x <= xs[i])
            return float(double(ys[i - 1])
                         + (double(x) - double(xs[i - 1])) * (double(ys[i]) - double(ys[i - 1]))
                               / (double(xs[i]) - double(xs[i - 1])));
    }
    return ys[0];
}

int toneBits(float snr, float snrMargin, int cap, float codingGain)
{
    return dmtBits(snr, double(snrMargin), double(codingGain), cap);
}

float cableAttenuation(const CableTemplate &cable, float f)
{
    return interpolate(f, tableRows(cable), cable.F.data(), cable.a.data());
}

bool hasCompleteRow(const CableTemplate &cable)
{
    return tableRows(cable) >= 1;
}

double sectionsLoss(const QVector<LoopSection> &sections, float f)
{
    double sum = 0;
    for (int i = 0; i < sections.size(); ++i) {
        const float km = float(double(sections[i].length) / 1000.0);
        const float A = float(double(cableAttenuation(sections[i].cable, f)) * double(km));
        sum = i == 0 ? double(A) : sum + double(A);
    }
    return sum;
}

LineRateModel::LineRateModel(const CableTemplate &cable, const LineTypeTemplate &lineType,
                             const NoiseTemplate &noise, float nextNormFrequency,
                             float elfextNormFrequency, const QVector<LoopSection> &sections)
    : m_nextFrequency(nextNormFrequency), m_elfextFrequency(elfextNormFrequency)
{
    m_dmt = lineType.kind == LineTypeDmt;
    const int cableRows = tableRows(cable);
    const int noiseRows = std::min(noise.count, int(std::min(noise.F.size(), noise.N.size())));
    auto addNoise = [&](float f) {
        return noiseRows > 0 ? power(interpolate(f, noiseRows, noise.F.data(), noise.N.data()))
                             : 0.0f;
    };
    auto attenuation = [&](float f) { return cableAttenuation(cable, f); };
    if (cableRows < 1)
        return;
    for (const LoopSection &s : sections) {
        if (!hasCompleteRow(s.cable))
            return;
        m_sectionLength += double(s.length);
    }
    m_sectioned = !sections.isEmpty();
    auto sectionLoss = [&](float f) { return sectionsLoss(sections, f); };

    if (m_dmt) {
        const int rows = std::min({lineType.count, int(lineType.F.size()), int(lineType.S.size()),
                                   int(lineType.Kmax.size()), int(lineType.N.size())});
        if (rows < 2)
            return;
        m_zero = false;
        const float *F = lineType.F.data();
        const float fEnd = float(double(F[rows - 1]) + HalfTone);
        for (float f = F[0]; f < fEnd; f = float(double(f) + ToneSpacing)) {
            Tone t;
            t.S = interpolate(f, rows, F, lineType.S.data());
            t.a = attenuation(f);
            t.positive = f > 0;
            if (t.positive)
                t.lgRatio = logRatio(f, m_elfextFrequency);
            t.cap = truncToInt(interpolate(f, rows, F, lineType.Kmax.data()));
            t.add = addNoise(f);
            t.own = power(interpolate(f, rows, F, lineType.N.data()));
            t.noiseDb = tenLog10(floored(float((double(t.add) + 0.0) + double(t.own))));
            t.fextLimit = fextLimit(t.add, t.own);
            m_tones.push_back(t);
            m_toneF.push_back(f);
            m_toneSectionLoss.push_back(sectionLoss(f));
        }
        return;
    }

    if (lineType.count < 1 || lineType.K.isEmpty() || lineType.P.isEmpty()
        || lineType.Rmin.isEmpty() || lineType.Rmax.isEmpty() || lineType.N.isEmpty())
        return;
    m_K = lineType.K[0];
    if (m_K < 1)
        return;
    m_zero = false;
    const float P = lineType.P[0];
    const float Rlow = float(double(lineType.Rmin[0]) - 32.0);
    m_floor = power(lineType.N[0]);
    int maxBins = 0;
    for (float R = lineType.Rmax[0]; R > Rlow; R = float(double(R) - RateStep)) {
        Candidate c;
        c.rate = R;
        const float q = float((double(R) + 8.0) / double(m_K));
        const float fN = float(double(q) * 0.5 + 0.5);
        c.fN = fN;
        float psig = 0;
        if (fN > 5) {
            const float width = float((double(fN) - 5.0) * 1000.0);
            c.G = float(double(P) - 10.0 * double(float(std::log10(double(width)))));
            const float binPower = power(c.G);
            for (float f = 5; f < fN; f = f + 1) {
                psig = float(double(psig) + 1000.0 * double(binPower));
                ++c.bins;
            }
        }
        c.signalDb = tenLog10(floored(psig));
        maxBins = std::max(maxBins, c.bins);
        m_candidates.push_back(c);
    }
    m_attenuationNonNegative = true;
    float f = 5;
    for (int i = 0; i < maxBins; ++i, f = f + 1) {
        m_binA.push_back(attenuation(f));
        m_binSectionLoss.push_back(sectionLoss(f));
        m_binAdd.push_back(addNoise(f));
        m_binLg.push_back(logRatio(f, m_nextFrequency));
        if (!(m_binA.back() >= 0))
            m_attenuationNonNegative = false;
    }
}

float LineRateModel::sweptKm(float length) const
{
    const float swept = m_sectioned ? float(double(length) - m_sectionLength) : length;
    return float(double(swept) / 1000.0);
}

float LineRateModel::loopLoss(float a, double sectionLoss, float sweptKm) const
{
    return m_sectioned ? loopLossOf<true>(a, sectionLoss, sweptKm)
                       : loopLossOf<false>(a, sectionLoss, sweptKm);
}

std::vector<float> LineRateModel::binNextLoss(int m, float nextNorm) const
{
    std::vector<float> out(m_binLg.size(), NoCrosstalk);
    if (m <= 1)
        return out;
    const double term = disturberTerm(nextNorm, m);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = float(term - 15.0 * double(m_binLg[i]));
    return out;
}

float LineRateModel::fextLoss(float elfextNorm, int m, float f, float length) const
{
    if (m <= 1 || !(f > 0) || !(length > 0))
        return NoCrosstalk;
    const float lg = logRatio(f, m_elfextFrequency);
    return float((disturberTerm(elfextNorm, m) - 20.0 * double(lg))
                 - 10.0 * std::log10(double(length) / 1000.0));
}

float LineRateModel::nextLoss(float nextNorm, int m, float f) const
{
    if (m <= 1 || !(f > 0))
        return NoCrosstalk;
    const float lg = logRatio(f, m_nextFrequency);
    return float(disturberTerm(nextNorm, m) - 15.0 * double(lg));
}

float LineRateModel::rate(int m, float elfextNorm, float nextNorm, float snrMargin,
                          float length, const ModelOptions &options) const
{
    RateSweep sweep(*this, m, elfextNorm, nextNorm, {snrMargin}, options);
    float r = 0;
    sweep.evaluate(length, &r);
    return r;
}

LineTrace LineRateModel::trace(int m, float elfextNorm, float nextNorm, float snrMargin,
                               float length, const ModelOptions &options) const
{
    // The same steps as the sweep without its shortcuts: every value is worked out.
    LineTrace out;
    if (m_zero)
        return out;
    const float km = sweptKm(length);
    if (m_dmt) {
        const FextPoint fext(m, elfextNorm, length, options);
        float R = 0;
        out.tones.reserve(int(m_tones.size()));
        for (size_t i = 0; i < m_tones.size(); ++i) {
            const Tone &t = m_tones[i];
            ToneTrace r;
            r.f = m_toneF[i];
            r.S = t.S;
            r.A = loopLoss(t.a, m_toneSectionLoss[i], km);
            r.W = float(double(t.S) - double(r.A));
            const float crosstalk = fextPower(fext, r.W, t.positive, t.lgRatio);
            r.U = tenLog10(floored(float((double(t.add) + double(crosstalk)) + double(t.own))));
            r.snr = float(double(r.W) - double(r.U));
            r.cap = t.cap;
            r.bits = dmtBits(r.snr, double(snrMargin), double(options.codingGain), t.cap);
            R = float(double(R) + 4.0 * double(r.bits));
            out.tones << r;
        }
        out.rate = R;
        return out;
    }

    const double threshold = pamThreshold(m_K, snrMargin, options.codingGain);
    const std::vector<float> nextDb = binNextLoss(m, nextNorm);
    for (const Candidate &c : m_candidates) {
        float pnoise = 0;
        for (size_t i = 0; i < size_t(c.bins); ++i) {
            const float noiseDb = binNoiseLevel(c.G, nextDb[i], m_binAdd[i], m_floor);
            const float Af = loopLoss(m_binA[i], m_binSectionLoss[i], km);
            const float s = float(double(noiseDb) + double(Af));
            pnoise = float(double(pnoise) + 1000.0 * double(power(s)));
        }
        CandidateTrace r;
        r.rate = c.rate;
        r.bandEdge = c.fN;
        r.snr = float(double(c.signalDb) - double(tenLog10(floored(pnoise))));
        r.threshold = threshold;
        out.candidates << r;
        if (double(r.snr) > threshold) {
            out.rate = c.rate;
            break;
        }
    }
    return out;
}

RateSweep::RateSweep(const LineRateModel &model, int m, float elfextNorm, float nextNorm,
                     const QVector<float> &margins, const ModelOptions &options)
    : m_model(model), m_m(m), m_elfextNorm(elfextNorm), m_nextNorm(nextNorm), m_margins(margins),
      m_options(options)
{
    m_bits.resize(size_t(m_margins.size()));
    // A larger margin never gives more bits; NaN margins give none.
    m_minMargin = std::numeric_limits<double>::infinity();
    for (float margin : std::as_const(m_margins))
        if (!std::isnan(margin))
            m_minMargin = std::min(m_minMargin, double(margin));

    if (model.m_zero || model.m_dmt)
        return;
    for (float margin : std::as_const(m_margins))
        m_thresholds.push_back(pamThreshold(model.m_K, margin, options.codingGain));
    m_start.assign(m_margins.size(), 0);
    const size_t candidates = model.m_candidates.size();
    m_noiseDb.resize(candidates);
    m_stamp.assign(candidates, -1);
    m_snr.assign(candidates, 0);
    m_exact.assign(candidates, 0);
    m_nextDb = model.binNextLoss(m, nextNorm);
}

void RateSweep::evaluate(float length, float *rates)
{
    if (m_model.m_zero) {
        std::fill(rates, rates + m_margins.size(), 0.0f);
        return;
    }
    if (m_model.m_dmt) {
        const bool vectored = bool(m_options.vectoring);
        if (m_model.m_sectioned)
            vectored ? evaluateDmt<true, true>(length, rates) : evaluateDmt<true, false>(length, rates);
        else
            vectored ? evaluateDmt<false, true>(length, rates) : evaluateDmt<false, false>(length, rates);
    } else
        evaluatePam(length, rates);
}

// The stronger of a vectored tone's two crosstalk powers alone gives an SNR; the weaker one, at
// least 10 dB below, lowers it by at most WeakerShareBits. Where the bits at every margin are the
// same at both ends of that range they are the tone's bits, and the weaker power's pow is spared.
// False (nothing added) when they are not, or the powers are too close for it to pay.
inline bool RateSweep::addBoundedBits(float W, const LineRateModel::Tone &t, float groupExcess,
                                      float alienExcess, float *rates)
{
    constexpr double Apart = 10.0; // dB; closer, the range is too wide to decide often enough
    constexpr double Moderate = 1000.0; // dB; beyond, a float step exceeds the room left
    const double d = std::fabs(double(groupExcess) - double(alienExcess));
    if (!(d >= Apart && d < Negligible))
        return false;
    const float high = toneSnr(W, t.add, power(std::max(groupExcess, alienExcess)), t.own);
    if (!(std::fabs(double(high)) < Moderate && std::fabs(double(W)) < Moderate))
        return false;
    // The budget at the lower end is at most `share` below the one at `high`, and bits never
    // decrease with the budget: equal bits at both budgets pin the bits in between.
    const double share = WeakerShareBits[size_t(int(d))];
    const double gain = double(m_options.codingGain);
    const int n = m_margins.size();
    const float *margins = m_margins.constData();
    for (int j = 0; j < n; ++j) {
        const double budget = bitBudget(high, double(margins[j]), gain);
        m_bits[size_t(j)] = budgetBits(budget, t.cap);
        if (budgetBits(budget - share, t.cap) != m_bits[size_t(j)])
            return false;
    }
    for (int j = 0; j < n; ++j)
        rates[j] = float(double(rates[j]) + 4.0 * double(m_bits[size_t(j)]));
    return true;
}

// Unswitched on the sections and on vectoring: this is the tightest loop of a run.
template <bool Sectioned, bool Vectored>
void RateSweep::evaluateDmt(float length, float *rates)
{
    const int n = m_margins.size();
    std::fill(rates, rates + n, 0.0f);
    const float sweptKm = m_model.sweptKm(length);
    const FextPoint fext(m_m, m_elfextNorm, length, m_options);
    const double gain = double(m_options.codingGain);
    const float *margins = m_margins.constData();
    const std::vector<LineRateModel::Tone> &tones = m_model.m_tones;
    const double *sectionLoss = m_model.m_toneSectionLoss.data();
    for (size_t i = 0; i < tones.size(); ++i) {
        const LineRateModel::Tone &t = tones[i];
        if (t.cap <= 0) {
            // Bits are clamped at zero first, then capped: the cap decides alone.
            for (int j = 0; j < n; ++j)
                rates[j] = float(double(rates[j]) + 4.0 * double(t.cap));
            continue;
        }
        const float Af = loopLossOf<Sectioned>(t.a, sectionLoss[i], sweptKm);
        const float Wf = float(double(t.S) - double(Af));
        // Crosstalk only adds noise: the SNR without it bounds the bits from above.
        const float snrBound = float(double(Wf) - double(t.noiseDb));
        if (!(bitBudget(snrBound, m_minMargin, gain) >= 1.0))
            continue;
        // Crosstalk too weak to change the noise sum leaves the bound as it is; with vectoring,
        // both powers under the limit are still too weak together.
        const float excess = fext.groupExcess(Wf, t.positive, t.lgRatio);
        const float alienExcess = Vectored ? fext.alienExcess(Wf, t.positive, t.lgRatio) : 0.0f;
        float snr = snrBound;
        if (!(double(excess) <= t.fextLimit && (!Vectored || double(alienExcess) <= t.fextLimit))) {
            if constexpr (Vectored) {
                if (addBoundedBits(Wf, t, excess, alienExcess, rates))
                    continue;
                snr = toneSnr(Wf, t.add, vectoredPower(excess, alienExcess), t.own);
            } else {
                snr = toneSnr(Wf, t.add, power(excess), t.own);
            }
        }
        for (int j = 0; j < n; ++j)
            rates[j] = float(double(rates[j]) + 4.0 * double(dmtBits(snr, double(margins[j]), gain, t.cap)));
    }
}

const std::vector<float> &RateSweep::binNoiseDb(int candidate)
{
    std::vector<float> &cached = m_noiseDb[size_t(candidate)];
    if (!cached.empty())
        return cached;
    const LineRateModel::Candidate &c = m_model.m_candidates[size_t(candidate)];
    const bool keep = m_cached + c.bins <= NoiseCacheFloats;
    std::vector<float> &out = keep ? cached : m_scratch;
    out.resize(size_t(c.bins));
    for (size_t i = 0; i < size_t(c.bins); ++i)
        out[i] = binNoiseLevel(c.G, m_nextDb[i], m_model.m_binAdd[i], m_model.m_floor);
    if (keep)
        m_cached += c.bins;
    return out;
}

// Whether the candidate's SNR exceeds `threshold` at `length`. The noise sum only grows bin by
// bin, so once its partial SNR is not above the threshold the candidate has failed; that bound
// is kept for the other margins of this length.
bool RateSweep::candidatePasses(int candidate, float length, double threshold)
{
    const size_t ci = size_t(candidate);
    if (m_stamp[ci] == m_lengthIndex) {
        if (m_exact[ci] || !(double(m_snr[ci]) > threshold))
            return double(m_snr[ci]) > threshold;
    }
    const LineRateModel::Candidate &c = m_model.m_candidates[ci];
    const std::vector<float> &noiseDb = binNoiseDb(candidate);
    const float sweptKm = m_model.sweptKm(length);
    const float *a = m_model.m_binA.data();
    const double *sectionLoss = m_model.m_binSectionLoss.data();
    float pnoise = 0;
    m_stamp[ci] = m_lengthIndex;
    for (int i = 0; i < c.bins; ++i) {
        const float Af = m_model.loopLoss(a[i], sectionLoss[i], sweptKm);
        const float s = float(double(noiseDb[size_t(i)]) + double(Af));
        pnoise = float(double(pnoise) + 1000.0 * double(power(s)));
        if ((i + 1) % BoundCheckInterval == 0 && i + 1 < c.bins) {
            const float bound = float(double(c.signalDb) - double(tenLog10(floored(pnoise))));
            if (!(double(bound) > threshold)) {
                m_snr[ci] = bound;
                m_exact[ci] = 0;
                return false;
            }
        }
    }
    m_snr[ci] = float(double(c.signalDb) - double(tenLog10(floored(pnoise))));
    m_exact[ci] = 1;
    return double(m_snr[ci]) > threshold;
}

void RateSweep::evaluatePam(float length, float *rates)
{
    const int n = m_margins.size();
    const int candidates = int(m_model.m_candidates.size());
    // A candidate that failed at a shorter length fails here too when no attenuation is negative.
    const bool resume = m_haveLast && m_model.m_attenuationNonNegative && length >= m_lastLength;
    ++m_lengthIndex;
    for (int j = 0; j < n; ++j) {
        int c = resume ? m_start[size_t(j)] : 0;
        while (c < candidates && !candidatePasses(c, length, m_thresholds[size_t(j)])) {
            if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
                std::fill(rates, rates + n, 0.0f);
                return;
            }
            ++c;
        }
        m_start[size_t(j)] = c;
        rates[j] = c < candidates ? m_model.m_candidates[size_t(c)].rate : 0.0f;
    }
    m_lastLength = length;
    m_haveLast = true;
}
