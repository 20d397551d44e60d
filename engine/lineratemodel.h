#pragma once

#include "engine/templatefile.h"

#include <QVector>

#include <atomic>
#include <optional>
#include <vector>

// Piecewise linear over xs (expected ascending), clamped at both ends; count >= 1 rows.
float interpolate(float x, int count, const float *xs, const float *ys);

// Bits one DMT tone carries at this SNR, margin and coding gain (dB): truncated toward zero,
// clamped at zero, then capped (a negative cap subtracts).
int toneBits(float snr, float snrMargin, int cap, float codingGain = 0);

// What the classic model leaves out: the coding gain of the line's code, and vectoring, which
// cancels the far-end crosstalk within the vectored group down to a residual. The defaults give
// the classic model's results to the bit.
struct ModelOptions {
    float codingGain = 0;         // dB: a DMT tone's SNR budget grows by it, a PAM threshold drops
    std::optional<int> vectoring; // cancellation depth, dB; none: no vectoring
    int alienDisturbers = 0;      // disturbers of the load outside the vectored group
    bool operator==(const ModelOptions &o) const
    {
        return codingGain == o.codingGain && vectoring == o.vectoring && alienDisturbers == o.alienDisturbers;
    }
    bool operator!=(const ModelOptions &o) const { return !(*this == o); }
};

// Attenuation of a cable at f (kHz), dB/km, over its complete rows; the cable needs one.
float cableAttenuation(const CableTemplate &cable, float f);
// Whether the cable has a complete row, without which it has no attenuation.
bool hasCompleteRow(const CableTemplate &cable);

// A fixed length of another cable in front of the swept cable (exchange side first).
struct LoopSection {
    CableTemplate cable;
    int length = 0; // m, whole metres >= 1
};

// Loss of the fixed sections at f (kHz), dB: each section's loss rounded to float as a one-cable
// loss is (the km value too), the losses summed in double in loop order. Each section's cable
// needs a complete row.
double sectionsLoss(const QVector<LoopSection> &sections, float f);

// One DMT tone as the model evaluates it.
struct ToneTrace {
    float f = 0;   // kHz
    float S = 0;   // transmit PSD, dBm/Hz
    float A = 0;   // loss of the whole loop, dB
    float W = 0;   // received PSD, dBm/Hz
    float U = 0;   // noise level 10·log10(Uf), dBm/Hz
    float snr = 0; // dB
    int cap = 0;   // Kmax truncated
    int bits = 0;  // after the clamp at zero and the cap
};

// One PAM candidate rate as the search tries it.
struct CandidateTrace {
    float rate = 0;       // kbit/s
    float bandEdge = 0;   // fN, kHz
    float snr = 0;        // dB; 0 when the band edge is not above 5 kHz
    double threshold = 0; // dB; the candidate passes when its SNR is strictly above it
};

// One evaluation step by step: every tone in tone order (DMT), or every candidate from Rmax down
// to the first that passes, all of them when none does (PAM). Both empty when no rate is possible
// (a template without a usable row, K < 1, an empty rate range or band).
struct LineTrace {
    QVector<ToneTrace> tones;
    QVector<CandidateTrace> candidates;
    float rate = 0; // kbit/s, what LineRateModel::rate gives
};

// The physics of one curve: a cable, a line type (DMT or PAM), additive noise and the two
// crosstalk norm frequencies (kHz). Everything that does not depend on the load, the norms,
// the margin or the length is worked out once here; the templates are not referenced afterwards.
// An empty cable table, a DMT table of fewer than two rows or a PAM table without a row gives
// rate 0; an empty noise table adds no noise. Values are expected validated (finite, bounded).
// Fixed sections lie in front of the swept cable: a length handed to the model is then the whole
// loop's, and the swept cable gets what the sections leave. A section without a row gives rate 0.
class LineRateModel
{
public:
    LineRateModel(const CableTemplate &cable, const LineTypeTemplate &lineType,
                  const NoiseTemplate &noise, float nextNormFrequency, float elfextNormFrequency,
                  const QVector<LoopSection> &sections = {});

    // FEXT coupling loss in dB: norm in dB at the ELFEXT norm frequency, f in kHz, length in m.
    float fextLoss(float elfextNorm, int m, float f, float length) const;
    // NEXT coupling loss in dB: norm in dB at the NEXT norm frequency, f in kHz.
    float nextLoss(float nextNorm, int m, float f) const;
    // Achievable rate in kbit/s for load m, norms and margin in dB, length in m; 0 when none.
    float rate(int m, float elfextNorm, float nextNorm, float snrMargin, float length,
               const ModelOptions &options = {}) const;
    // The same evaluation with every tone's or candidate's values; its rate equals rate().
    LineTrace trace(int m, float elfextNorm, float nextNorm, float snrMargin, float length,
                    const ModelOptions &options = {}) const;

    bool isDmt() const { return m_dmt; }

private:
    friend class RateSweep;

    // km of the swept cable for a loop of `length` m.
    float sweptKm(float length) const;
    // Loss of the whole loop: the sections' sum at this frequency, then the swept cable's share.
    float loopLoss(float a, double sectionLoss, float sweptKm) const;
    // NEXT loss of each PAM bin for this load and norm, as nextLoss gives it.
    std::vector<float> binNextLoss(int m, float nextNorm) const;

    struct Tone {
        float S = 0;        // transmit PSD, dBm/Hz
        float a = 0;        // swept cable attenuation, dB/km
        float lgRatio = 0;  // log10(f / ELFEXT norm frequency), rounded as the FEXT loss does
        bool positive = false;
        int cap = 0;        // Kmax truncated
        float add = 0;      // additive noise, mW/Hz
        float own = 0;      // the system's own noise, mW/Hz
        float noiseDb = 0;  // 10·log10 of the noise sum without crosstalk
        double fextLimit = 0; // crosstalk at or below this (dB) cannot change the noise sum
    };
    struct Candidate {
        float rate = 0;     // kbit/s
        float fN = 0;       // band edge, kHz
        float G = 0;        // flat transmit PSD, dBm/Hz
        int bins = 0;       // 1-kHz bins from 5 kHz below the band edge
        float signalDb = 0; // 10·log10 of the signal sum
    };

    float m_nextFrequency = 0;
    float m_elfextFrequency = 0;
    bool m_zero = true; // no rate possible whatever the conditions
    bool m_dmt = false;
    bool m_sectioned = false;
    double m_sectionLength = 0; // m, the fixed sections together

    std::vector<Tone> m_tones;
    // Apart from the tones, which the sweep reads in its tightest loop.
    std::vector<float> m_toneF;               // kHz
    std::vector<double> m_toneSectionLoss;    // the fixed sections' losses summed, dB

    int m_K = 0;
    float m_floor = 0;              // the PAM system's own noise, mW/Hz
    std::vector<Candidate> m_candidates;
    std::vector<float> m_binA;      // swept cable attenuation at 5, 6, ... kHz
    std::vector<double> m_binSectionLoss; // the fixed sections' losses summed there, dB
    std::vector<float> m_binAdd;    // additive noise there, mW/Hz
    std::vector<float> m_binLg;     // log10(f / NEXT norm frequency), rounded
    bool m_attenuationNonNegative = false; // swept cable: a longer loop never raises an SNR then
};

// One curve evaluated at successive lengths, for one or several margins (a margin family shares
// every spectrum). Results are bit-identical to LineRateModel::rate; non-decreasing lengths let
// a PAM search start where the previous length stopped. The model must outlive the sweep.
class RateSweep
{
public:
    RateSweep(const LineRateModel &model, int m, float elfextNorm, float nextNorm,
              const QVector<float> &margins, const ModelOptions &options = {});
    // Writes one rate (kbit/s) per margin, in margin order.
    void evaluate(float length, float *rates);
    // Watched between the candidates of a PAM search, which can take seconds for one length:
    // once true, evaluate() returns at once with rates that mean nothing, and the sweep is
    // to be abandoned. Null (the default) never cancels.
    void setCancelFlag(const std::atomic_bool *cancel) { m_cancel = cancel; }

private:
    template <bool Sectioned, bool Vectored>
    void evaluateDmt(float length, float *rates);
    void evaluatePam(float length, float *rates);
    bool addBoundedBits(float W, const LineRateModel::Tone &t, float groupExcess, float alienExcess,
                        float *rates);
    const std::vector<float> &binNoiseDb(int candidate);
    bool candidatePasses(int candidate, float length, double threshold);

    const LineRateModel &m_model;
    int m_m;
    float m_elfextNorm;
    float m_nextNorm;
    QVector<float> m_margins;
    ModelOptions m_options;
    double m_minMargin;
    std::vector<int> m_bits; // per margin, of one tone

    // PAM state
    std::vector<double> m_thresholds;
    std::vector<int> m_start;            // per margin: first candidate not known to fail
    float m_lastLength = 0;
    bool m_haveLast = false;
    std::vector<float> m_nextDb;         // NEXT loss per bin for this load and norm
    std::vector<std::vector<float>> m_noiseDb; // per candidate, filled on first use
    std::vector<float> m_scratch;
    long long m_cached = 0;
    std::vector<int> m_stamp;            // per candidate: length index of the cached SNR
    std::vector<float> m_snr;            // its value, exact or an upper bound
    std::vector<char> m_exact;
    int m_lengthIndex = 0;
    const std::atomic_bool *m_cancel = nullptr;
};
