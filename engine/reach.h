#pragma once

#include "engine/lineratemodel.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <optional>

// The planner's two questions on one curve: how far a target rate reaches, and how much SNR
// margin a loop keeps at a target rate.

// How far one target rate reaches on a length grid.
struct Reach {
    enum Kind {
        None,   // the first grid length already falls short
        Length, // `length` is the last grid length before the first one that falls short
        Beyond, // every grid length carries it; `length` is the last grid length
    };
    Kind kind = None;
    int length = 0; // m
    bool operator==(const Reach &o) const { return kind == o.kind && length == o.length; }
};

// The margin range a margin at a target rate is searched in, tenths of a dB, both ends included.
constexpr int LowestMarginTenths = -100;
constexpr int HighestMarginTenths = 300;

// The pass test of reach, margin and qualification: a line at `rate` kbit/s carries `target`.
inline bool carriesTarget(float rate, int target)
{
    return double(rate) >= double(target);
}

// The largest margin k / 10 dB, k in LowestMarginTenths..HighestMarginTenths, at which a length
// still carries a target rate.
struct MarginAtRate {
    enum Kind {
        Below, // not even -10 dB carries it
        Value, // `tenths` is k
        Above, // 30 dB still carries it
    };
    Kind kind = Below;
    int tenths = 0;
    bool operator==(const MarginAtRate &o) const { return kind == o.kind && tenths == o.tenths; }
};

// Reach of each target rate (kbit/s, strictly increasing) for one curve over the lengths from,
// from + step, ... <= to (m): the walk stops at the first length whose rate is below the
// smallest target. An empty grid (step < 1 or from > to) reaches nothing. nullopt when *cancel
// was set; it is read between lengths.
std::optional<QVector<Reach>> reachAtRates(const LineRateModel &model, int m, float elfextNorm,
                                           float nextNorm, float snrMargin,
                                           const QVector<int> &targets, int from, int to, int step,
                                           const std::atomic_bool *cancel = nullptr);

// Margin at which one curve still carries `target` kbit/s, at each of the lengths (m; a run's
// ascending lengths are the fast case). nullopt when *cancel was set; it is read between lengths.
std::optional<QVector<MarginAtRate>> marginsAtRate(const LineRateModel &model, int m,
                                                   float elfextNorm, float nextNorm, int target,
                                                   const QVector<float> &lengths,
                                                   const std::atomic_bool *cancel = nullptr);
MarginAtRate marginAtRate(const LineRateModel &model, int m, float elfextNorm, float nextNorm,
                          int target, float length);

// The margin handed to the model for k tenths of a dB.
float marginFromTenths(int tenths);

// "-", "1234", ">30000".
QString reachText(const Reach &reach);
// "6.3", "-0.3", "0.0", "<-10.0", ">30.0".
QString marginText(const MarginAtRate &margin);
