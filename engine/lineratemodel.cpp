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

int dmtBits(float snr, double margin, int cap)
{
    int b = truncToInt(((double(snr) - SnrGap) - margin) / BitSnr);
    if (b < 0)
        b = 0;
    if (b > cap)
        b = cap;
    return b;
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

// The largest crosstalk level (dB) that, added to the noise sum add + own, leaves the float
// result unchanged: the double sum must stay below the midpoint to the next float. Generous
// margins cover the rounding of the partial sums and of the power itself; -inf disables it.
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

int toneBits(float snr, float snrMargin, int cap)
{
    return dmtBits(snr, double(snrMargin), cap);
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
    auto attenuation = [&](float f) {
        return interpolate(f, cableRows, cable.F.data(), cable.a.data());
    };
    if (cableRows < 1)
        return;
    // Each section's loss is rounded to float as a one-cable loss is, then the losses are summed
    // in double in loop order.
    std::vector<float> sectionKm;
    for (const LoopSection &s : sections) {
        if (tableRows(s.cable) < 1)
            return;
        sectionKm.push_back(float(double(s.length) / 1000.0));
        m_sectionLength += double(s.length);
    }
    m_sectioned = !sections.isEmpty();
    auto sectionLoss = [&](float f) {
        double sum = 0;
        for (int i = 0; i < sections.size(); ++i) {
            const CableTemplate &c = sections[i].cable;
            const float A = float(double(interpolate(f, tableRows(c), c.F.data(), c.a.data()))
                                  * double(sectionKm[size_t(i)]));
            sum = i == 0 ? double(A) : sum + double(A);
        }
        return sum;
    };

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
    const double disturbers = 6.0 * std::log10(double(m - 1));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = float(double(nextNorm) - disturbers - 15.0 * double(m_binLg[i]));
    return out;
}

float LineRateModel::fextLoss(float elfextNorm, int m, float f, float length) const
{
    if (m <= 1 || !(f > 0) || !(length > 0))
        return NoCrosstalk;
    const float lg = logRatio(f, m_elfextFrequency);
    return float(double(elfextNorm) - 6.0 * std::log10(double(m - 1)) - 20.0 * double(lg)
                 - 10.0 * std::log10(double(length) / 1000.0));
}

float LineRateModel::nextLoss(float nextNorm, int m, float f) const
{
    if (m <= 1 || !(f > 0))
        return NoCrosstalk;
    const float lg = logRatio(f, m_nextFrequency);
    return float(double(nextNorm) - 6.0 * std::log10(double(m - 1)) - 15.0 * double(lg));
}

float LineRateModel::rate(int m, float elfextNorm, float nextNorm, float snrMargin,
                          float length) const
{
    RateSweep sweep(*this, m, elfextNorm, nextNorm, {snrMargin});
    float r = 0;
    sweep.evaluate(length, &r);
    return r;
}

LineTrace LineRateModel::trace(int m, float elfextNorm, float nextNorm, float snrMargin,
                               float length) const
{
    // The same steps as the sweep without its shortcuts: every value is worked out.
    LineTrace out;
    if (m_zero)
        return out;
    const float km = sweptKm(length);
    if (m_dmt) {
        const bool crosstalk = m > 1 && length > 0;
        const double normTerm = crosstalk ? double(elfextNorm) - 6.0 * std::log10(double(m - 1)) : 0;
        const double lengthTerm = crosstalk ? 10.0 * std::log10(double(length) / 1000.0) : 0;
        float R = 0;
        out.tones.reserve(int(m_tones.size()));
        for (size_t i = 0; i < m_tones.size(); ++i) {
            const Tone &t = m_tones[i];
            ToneTrace r;
            r.f = m_toneF[i];
            r.S = t.S;
            r.A = loopLoss(t.a, m_toneSectionLoss[i], km);
            r.W = float(double(t.S) - double(r.A));
            const float Xf = crosstalk && t.positive
                                 ? float((normTerm - 20.0 * double(t.lgRatio)) - lengthTerm)
                                 : NoCrosstalk;
            const float fext = power(float(double(r.W) - double(Xf)));
            r.U = tenLog10(floored(float((double(t.add) + double(fext)) + double(t.own))));
            r.snr = float(double(r.W) - double(r.U));
            r.cap = t.cap;
            r.bits = dmtBits(r.snr, double(snrMargin), t.cap);
            R = float(double(R) + 4.0 * double(r.bits));
            out.tones << r;
        }
        out.rate = R;
        return out;
    }

    const double threshold = double(m_K) * BitSnr + (double(snrMargin) + SnrGap);
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
                     const QVector<float> &margins)
    : m_model(model), m_m(m), m_elfextNorm(elfextNorm), m_nextNorm(nextNorm), m_margins(margins)
{
    // A larger margin never gives more bits; NaN margins give none.
    m_minMargin = std::numeric_limits<double>::infinity();
    for (float margin : std::as_const(m_margins))
        if (!std::isnan(margin))
            m_minMargin = std::min(m_minMargin, double(margin));

    if (model.m_zero || model.m_dmt)
        return;
    for (float margin : std::as_const(m_margins))
        m_thresholds.push_back(double(model.m_K) * BitSnr + (double(margin) + SnrGap));
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
    if (m_model.m_dmt)
        m_model.m_sectioned ? evaluateDmt<true>(length, rates) : evaluateDmt<false>(length, rates);
    else
        evaluatePam(length, rates);
}

// Unswitched on the sections: this is the tightest loop of a run.
template <bool Sectioned>
void RateSweep::evaluateDmt(float length, float *rates)
{
    const int n = m_margins.size();
    std::fill(rates, rates + n, 0.0f);
    const float sweptKm = m_model.sweptKm(length);
    const bool crosstalk = m_m > 1 && length > 0;
    const double normTerm = crosstalk ? double(m_elfextNorm) - 6.0 * std::log10(double(m_m - 1)) : 0;
    const double lengthTerm = crosstalk ? 10.0 * std::log10(double(length) / 1000.0) : 0;
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
        if (!(((double(snrBound) - SnrGap) - m_minMargin) / BitSnr >= 1.0))
            continue;
        const float Xf = crosstalk && t.positive
                             ? float((normTerm - 20.0 * double(t.lgRatio)) - lengthTerm)
                             : NoCrosstalk;
        const float excess = float(double(Wf) - double(Xf));
        float snr = snrBound;
        if (!(double(excess) <= t.fextLimit)) {
            const float fext = power(excess);
            const float Uf = floored(float((double(t.add) + double(fext)) + double(t.own)));
            snr = float(double(Wf) - double(tenLog10(Uf)));
        }
        for (int j = 0; j < n; ++j)
            rates[j] = float(double(rates[j])
                             + 4.0 * double(dmtBits(snr, double(m_margins[j]), t.cap)));
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
