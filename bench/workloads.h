#pragma once

// Realistic templates for timing: a 0.4 mm PE cable, a 512-tone downstream DMT line type and
// two symmetric PAM line types, over lengths 0 … 30000 m in 10 m steps.

#include "engine/lineratemodel.h"
#include "engine/templatefile.h"

#include <QVector>

namespace workload {

inline CableTemplate thinCable()
{
    static const float table[][2] = {
        {1, 1.83f},      {2, 2.56f},      {5, 3.95f},      {10, 5.39f},     {20, 7.10f},
        {30, 8.14f},     {50, 9.35f},     {80, 10.32f},    {100, 10.77f},   {138, 11.50f},
        {150, 11.72f},   {200, 12.63f},   {276, 14.02f},   {300, 14.46f},   {400, 16.26f},
        {500, 17.98f},   {600, 19.61f},   {800, 22.64f},   {1000, 25.40f},  {1104, 26.75f},
        {1500, 31.45f},  {2000, 36.64f},  {2208, 38.62f},  {3000, 45.44f},  {3750, 51.12f},
        {4000, 52.89f},  {5000, 59.47f},  {5200, 60.71f},  {6000, 65.43f},  {8000, 76.00f},
        {8500, 78.43f},  {10000, 85.31f}, {12000, 93.73f}, {15000, 105.14f}, {17664, 114.34f},
        {20000, 121.85f}, {25000, 136.57f}, {30000, 149.88f}};
    CableTemplate t;
    for (const auto &row : table) {
        t.rows << t.count++;
        t.F << row[0];
        t.a << row[1];
    }
    return t;
}

inline NoiseTemplate whiteNoise()
{
    NoiseTemplate t;
    t.count = 2;
    t.rows = {0, 1};
    t.F = {1, 30000};
    t.N = {-140, -140};
    return t;
}

// Downstream band from tone 33 to tone 511 with a PSD step down above 1104 kHz, 512 tones wide.
inline LineTypeTemplate wideDmt()
{
    LineTypeTemplate t;
    t.kind = LineTypeDmt;
    t.F = {0, 138, 142.3125f, 1104, 1108.3125f, 2203.6875f};
    t.S = {-90, -90, -40, -40, -47, -52};
    t.Kmax = {0, 0, 15, 15, 15, 15};
    t.N = {-140, -140, -140, -140, -140, -140};
    t.count = t.F.size();
    for (int i = 0; i < t.count; ++i)
        t.rows << i;
    return t;
}

inline LineTypeTemplate symmetricPam(int bitsPerSymbol)
{
    LineTypeTemplate t;
    t.kind = LineTypePam;
    t.count = 1;
    t.rows << 0;
    t.K << bitsPerSymbol;
    t.P << 13.5f;
    t.Rmin << 192;
    t.Rmax << 5696;
    t.N << -140;
    return t;
}

inline QVector<float> lengths(int step = 10)
{
    QVector<float> out;
    for (int L = 0; L <= 30000; L += step)
        out << float(L);
    return out;
}

inline QVector<float> tenMargins()
{
    return {0, 1, 2, 3, 4, 5, 6, 8, 10, 12};
}

inline QVector<int> loads()
{
    return {1, 2, 4, 8};
}

// A binder vectored from a cabinet: 25 dB of cancellation, `aliens` lines outside the group.
inline ModelOptions vectoredBinder(int aliens)
{
    ModelOptions o;
    o.vectoring = 25;
    o.alienDisturbers = aliens;
    return o;
}

} // namespace workload
