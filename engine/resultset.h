#pragma once

#include <QVector>

// One cable length of the sweep and the rate of every curve there.
struct ResultRow {
    ResultRow() = default;
    ResultRow(float length, const QVector<float> &rates, const QVector<int> &loops = {})
        : length(length), rates(rates), loops(loops)
    {
    }

    float length = 0;     // m; the loss in dB on a loss axis
    QVector<float> rates; // kbit/s, one per curve, in curve order
    // On a loss axis, each curve's loop length (m) at this loss, NoLoop where no loop has it
    // (its rate is then 0 and means nothing). Empty on a length axis: every curve has its loop.
    QVector<int> loops;
    static constexpr int NoLoop = -1;
    bool hasLoop(int curve) const { return loops.value(curve, 0) != NoLoop; }
    bool operator==(const ResultRow &o) const
    {
        return length == o.length && rates == o.rates && loops == o.loops;
    }
};

using ResultSet = QVector<ResultRow>;
