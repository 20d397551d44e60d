#pragma once

// Template records built in memory for model tests: every row complete, in file order.

#include "engine/templatefile.h"

#include <QVector>

namespace {

inline CableTemplate cable(const QVector<float> &F, const QVector<float> &a)
{
    CableTemplate t;
    t.count = F.size();
    t.F = F;
    t.a = a;
    for (int i = 0; i < t.count; ++i)
        t.rows << i;
    return t;
}

inline NoiseTemplate noise(const QVector<float> &F, const QVector<float> &N)
{
    NoiseTemplate t;
    t.count = F.size();
    t.F = F;
    t.N = N;
    for (int i = 0; i < t.count; ++i)
        t.rows << i;
    return t;
}

inline LineTypeTemplate dmt(const QVector<float> &F, const QVector<float> &S, const QVector<float> &Kmax,
                     const QVector<float> &N)
{
    LineTypeTemplate t;
    t.kind = LineTypeDmt;
    t.count = F.size();
    t.F = F;
    t.S = S;
    t.Kmax = Kmax;
    t.N = N;
    for (int i = 0; i < t.count; ++i)
        t.rows << i;
    return t;
}

inline LineTypeTemplate pam(int K, float P, float Rmin, float Rmax, float N)
{
    LineTypeTemplate t;
    t.kind = LineTypePam;
    t.count = 1;
    t.rows << 0;
    t.K << K;
    t.P << P;
    t.Rmin << Rmin;
    t.Rmax << Rmax;
    t.N << N;
    return t;
}

const CableTemplate flatCable = cable({1, 30000}, {0, 0});
const CableTemplate realCable = cable({1, 100, 1104, 2208}, {1.83f, 10.77f, 26.75f, 38.62f});
const NoiseTemplate noNoise;

} // namespace
