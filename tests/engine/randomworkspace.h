#pragma once

// Random workspaces for the tests that hold the model against the step-by-step reference or a
// brute force.

#include "engine/lineratemodel.h"
#include "referencemodel.h"

#include <QRandomGenerator>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace test {

struct Randomiser {
    QRandomGenerator rng;
    explicit Randomiser(quint32 seed) : rng(seed) {}

    double uniform(double lo, double hi) { return lo + (hi - lo) * rng.generateDouble(); }
    int integer(int lo, int hi) { return lo + int(rng.bounded(quint32(hi - lo + 1))); }
    // Half the values on a coarse grid: ties and exact boundaries are where roundings matter.
    float value(double lo, double hi)
    {
        const double v = uniform(lo, hi);
        return rng.bounded(2) ? float(std::round(v * 4) / 4) : float(v);
    }

    QVector<float> ascending(int n, double lo, double hi)
    {
        QVector<float> xs;
        for (int i = 0; i < n; ++i)
            xs << value(lo, hi);
        std::sort(xs.begin(), xs.end());
        return xs;
    }

    CableTemplate cable(bool negativeAllowed)
    {
        CableTemplate t;
        t.count = integer(1, 30);
        t.F = ascending(t.count, 0, 3000);
        for (int i = 0; i < t.count; ++i) {
            t.a << value(negativeAllowed ? -2 : 0, 60);
            t.rows << i;
        }
        std::sort(t.a.begin(), t.a.end());
        return t;
    }

    NoiseTemplate noise()
    {
        NoiseTemplate t;
        t.count = integer(0, 12);
        t.F = ascending(t.count, 0, 3000);
        for (int i = 0; i < t.count; ++i) {
            t.N << value(-165, -110);
            t.rows << i;
        }
        return t;
    }

    LineTypeTemplate dmt()
    {
        LineTypeTemplate t;
        t.kind = LineTypeDmt;
        t.count = integer(2, 20);
        t.F = ascending(t.count, -20, 2300);
        for (int i = 0; i < t.count; ++i) {
            t.S << value(-60, -30);
            t.Kmax << (rng.bounded(5) == 0 ? 0.0f : value(-1, 15));
            t.N << value(-160, -120);
            t.rows << i;
        }
        return t;
    }

    LineTypeTemplate pam()
    {
        LineTypeTemplate t;
        t.kind = LineTypePam;
        t.count = 1;
        t.rows << 0;
        t.K << integer(1, 4);
        t.P << value(5, 16);
        const float rmin = value(0, 600);
        t.Rmin << rmin;
        t.Rmax << float(rmin + (rng.bounded(2) ? 64 * integer(-1, 30) : uniform(-40, 1800)));
        t.N << value(-150, -100);
        return t;
    }

    // Coding gain in tenths of a dB (now and then none), vectoring two times in three with up
    // to m - 1 aliens, now and then more than the load has.
    ModelOptions options(int m)
    {
        ModelOptions o;
        if (rng.bounded(4) != 0)
            o.codingGain = float(double(integer(0, 100)) / 10.0);
        if (rng.bounded(3) != 0) {
            o.vectoring = rng.bounded(5) == 0 ? 0 : integer(1, 60);
            o.alienDisturbers = rng.bounded(6) == 0 ? integer(0, m + 1) : integer(0, std::max(0, m - 1));
        }
        return o;
    }

    // Zero to three fixed sections half the time, now and then one whose cable has no row.
    QVector<LoopSection> sections(bool negativeAllowed, bool allowEmpty = false)
    {
        QVector<LoopSection> out;
        const int n = rng.bounded(2) ? integer(1, 3) : 0;
        for (int i = 0; i < n; ++i) {
            LoopSection s;
            s.cable = allowEmpty && rng.bounded(10) == 0 ? CableTemplate() : cable(negativeAllowed);
            s.length = rng.bounded(3) == 0 ? integer(1, 5) : integer(1, 2000);
            out << s;
        }
        return out;
    }
};

inline QVector<reference::Section> referenceSections(const QVector<LoopSection> &sections)
{
    QVector<reference::Section> out;
    for (const LoopSection &s : sections)
        out << reference::Section{s.cable, s.length};
    return out;
}

inline int totalLength(const QVector<LoopSection> &sections)
{
    int total = 0;
    for (const LoopSection &s : sections)
        total += s.length;
    return total;
}

} // namespace test
