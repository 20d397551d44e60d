#pragma once

// A step-by-step evaluation of the line-rate model, kept deliberately plain: no precomputation,
// every interpolation and power worked out where the formula uses it. The production model must
// match it to the bit. It shares only the template records and the bounded truncation with
// the engine.

#include "engine/checks.h"
#include "engine/templatefile.h"

#include <climits>
#include <cmath>
#include <optional>

namespace reference {

inline float interpolate(float x, int count, const float *xs, const float *ys)
{
    if (!(x > xs[0]))
        return ys[0];
    if (x > xs[count - 1])
        return ys[count - 1];
    for (int i = 1; i < count; ++i) {
        if (xs[i - 1] < x && x <= xs[i]) {
            const double t = double(ys[i - 1])
                + (double(x) - double(xs[i - 1])) * (double(ys[i]) - double(ys[i - 1]))
                    / (double(xs[i]) - double(xs[i - 1]));
            return float(t);
        }
    }
    return ys[0];
}

// A fixed cable section in front of the swept cable.
struct Section {
    CableTemplate cable;
    int length; // m
};

// What one evaluation went through, recorded where the steps compute it.
struct ToneStep {
    float f, S, A, W, U, snr;
    int bits;
};
struct CandidateStep {
    float R, fN, snr;
    double T;
};
struct Trace {
    QVector<ToneStep> tones;
    QVector<CandidateStep> candidates;
};

struct Model {
    const CableTemplate &cable;
    const LineTypeTemplate &line;
    const NoiseTemplate &noise;
    float fX; // NEXT norm frequency
    float fE; // ELFEXT norm frequency
    QVector<Section> sections = {}; // in loop order; L is the whole loop's length
    float G = 0;                    // coding gain, dB
    std::optional<int> D = {};      // vectoring depth, dB; none = no vectoring
    int N = 0;                      // alien disturbers, with vectoring

    // Cable loss at f for a loop of L metres: each section's loss rounded to float, then the
    // swept cable's share of what the sections leave, all summed in double in loop order.
    float loss(float f, float L) const
    {
        const float a = interpolate(f, cable.count, cable.F.data(), cable.a.data());
        if (sections.isEmpty())
            return float(double(a) * double(float(double(L) / 1000.0)));
        double total = 0;
        double sum = 0;
        for (int i = 0; i < sections.size(); ++i) {
            const Section &s = sections[i];
            const float ai = interpolate(f, s.cable.count, s.cable.F.data(), s.cable.a.data());
            const float Ai = float(double(ai) * double(float(double(s.length) / 1000.0)));
            sum = i == 0 ? double(Ai) : sum + double(Ai);
            total += double(s.length);
        }
        const float Lv = float(double(L) - total);
        const float Av = float(double(a) * double(float(double(Lv) / 1000.0)));
        return float(sum + double(Av));
    }

    float fextLoss(float E, int m, float f, float L) const
    {
        if (m <= 1 || !(f > 0) || !(L > 0))
            return 200.0f;
        const float ratio = float(double(f) / double(fE));
        const float lg = float(std::log10(double(ratio)));
        return float(double(E) - 6.0 * std::log10(double(m - 1)) - 20.0 * double(lg)
                     - 10.0 * std::log10(double(L) / 1000.0));
    }

    float nextLoss(float X, int m, float f) const
    {
        if (m <= 1 || !(f > 0))
            return 200.0f;
        const float ratio = float(double(f) / double(fX));
        const float lg = float(std::log10(double(ratio)));
        return float(double(X) - 6.0 * std::log10(double(m - 1)) - 15.0 * double(lg));
    }

    float additive(float f) const
    {
        if (noise.count < 1)
            return 0.0f;
        const float db = interpolate(f, noise.count, noise.F.data(), noise.N.data());
        return float(std::pow(10.0, double(db) / 10.0));
    }

    float rate(int m, float E, float X, float margin, float L, Trace *trace = nullptr) const
    {
        if (cable.count < 1)
            return 0;
        for (const Section &s : sections)
            if (s.cable.count < 1)
                return 0;
        return line.kind == LineTypeDmt ? dmt(m, E, margin, L, trace) : pam(m, X, margin, L, trace);
    }

    float dmt(int m, float E, float margin, float L, Trace *trace) const
    {
        const int n = line.count;
        if (n < 2)
            return 0;
        const float fEnd = float(double(line.F[n - 1]) + 2.15625);
        float f = line.F[0];
        float R = 0;
        if (!(f < fEnd))
            return 0;
        do {
            const float Sf = interpolate(f, n, line.F.data(), line.S.data());
            const float Af = loss(f, L);
            const float Wf = float(double(Sf) - double(Af));
            float fext;
            if (!D) {
                const float Xf = fextLoss(E, m, f, L);
                const float d = float(double(Wf) - double(Xf));
                fext = float(std::pow(10.0, double(d) / 10.0));
            } else {
                const float Xv = float(double(fextLoss(E, m - N, f, L)) + double(*D));
                const float Xa = fextLoss(E, N + 1, f, L);
                const float dv = float(double(Wf) - double(Xv));
                const float da = float(double(Wf) - double(Xa));
                const float pv = float(std::pow(10.0, double(dv) / 10.0));
                const float pa = float(std::pow(10.0, double(da) / 10.0));
                fext = float(double(pv) + double(pa));
            }
            const float add = additive(f);
            const float own = float(std::pow(
                10.0, double(interpolate(f, n, line.F.data(), line.N.data())) / 10.0));
            float Uf = float(double(add) + double(fext) + double(own));
            if (Uf < 1e-20)
                Uf = float(1e-20);
            const int cap = truncToInt(interpolate(f, n, line.F.data(), line.Kmax.data()));
            const float lg = float(std::log10(double(Uf)));
            const float tenLg = float(10.0 * double(lg));
            const float snr = float(double(Wf) - double(tenLg));
            int b = truncToInt(((double(snr) - 9.75 - double(margin)) + double(G)) / double(3.0103f));
            if (b < 0)
                b = 0;
            if (b > cap)
                b = cap;
            R = float(double(R) + 4.0 * double(b));
            if (trace)
                trace->tones << ToneStep{f, Sf, Af, Wf, tenLg, snr, b};
            f = float(double(f) + 4.3125);
        } while (f < fEnd);
        return R;
    }

    float pam(int m, float X, float margin, float L, Trace *trace) const
    {
        if (line.count < 1)
            return 0;
        const int K = line.K[0];
        if (K < 1)
            return 0;
        float R = line.Rmax[0];
        const float Rlow = float(double(line.Rmin[0]) - 32.0);
        if (!(R > Rlow))
            return 0;
        const double T = (double(K) * double(3.0103f) + (double(margin) + 9.75)) - double(G);
        do {
            const float q = float((double(R) + 8.0) / double(K));
            const float fN = float(double(q) * 0.5 + 0.5);
            float Psig = 0;
            float Pnoise = 0;
            if (fN > 5) {
                const float width = float((double(fN) - 5.0) * 1000.0);
                const float lw = float(std::log10(double(width)));
                const float G = float(double(line.P[0]) - 10.0 * double(lw));
                const float floorN = float(std::pow(10.0, double(line.N[0]) / 10.0));
                for (float f = 5; f < fN; f = f + 1) {
                    const float Af = loss(f, L);
                    const float Yf = nextLoss(X, m, f);
                    const float add = additive(f);
                    const float gy = float(double(G) - double(Yf));
                    const float next = float(std::pow(10.0, double(gy) / 10.0));
                    float Uf = float(double(next) + double(add) + double(floorN));
                    if (Uf < 1e-20)
                        Uf = float(1e-20);
                    const float ps = float(std::pow(10.0, double(G) / 10.0));
                    Psig = float(double(Psig) + 1000.0 * double(ps));
                    const float lu = float(std::log10(double(Uf)));
                    const float tlu = float(10.0 * double(lu));
                    const float s = float(double(tlu) + double(Af));
                    const float pn = float(std::pow(10.0, double(s) / 10.0));
                    Pnoise = float(double(Pnoise) + 1000.0 * double(pn));
                }
            }
            if (Psig < 1e-20)
                Psig = float(1e-20);
            if (Pnoise < 1e-20)
                Pnoise = float(1e-20);
            const float ls = float(std::log10(double(Psig)));
            const float ts = float(10.0 * double(ls));
            const float ln = float(std::log10(double(Pnoise)));
            const float tn = float(10.0 * double(ln));
            const float snr = float(double(ts) - double(tn));
            if (trace)
                trace->candidates << CandidateStep{R, fN, snr, T};
            if (double(snr) > T)
                return R;
            R = float(double(R) - 64.0);
        } while (R > Rlow);
        return 0;
    }
};

// A loop of loss A dB at fRef kHz converted to its length, the sections in front of the cable:
// aRef the cable's attenuation there, S the sections' losses summed, the cable's share of what
// is left to the nearest metre. None where no loop has that loss.
inline std::optional<int> loopLength(const CableTemplate &cable, const QVector<Section> &sections, int fRef,
                                     double A)
{
    if (cable.count < 1)
        return std::nullopt;
    const float f = float(fRef);
    const float aRef = interpolate(f, cable.count, cable.F.data(), cable.a.data());
    double S = 0;
    int total = 0;
    for (const Section &s : sections) {
        if (s.cable.count < 1)
            return std::nullopt;
        const float a = interpolate(f, s.cable.count, s.cable.F.data(), s.cable.a.data());
        const float km = float(double(s.length) / 1000.0);
        S = S + double(float(double(a) * double(km)));
        total += s.length;
    }
    if (!(aRef > 0) || A < S)
        return std::nullopt;
    const double x = std::round((A - S) / double(aRef) * 1000.0);
    if (double(total) + x > 30000)
        return std::nullopt;
    return total + int(x);
}

} // namespace reference
