#pragma once

#include <QVector>

// One cable length of the sweep and the rate of every curve there.
struct ResultRow {
    float length = 0;     // m
    QVector<float> rates; // kbit/s, one per curve, in curve order
    bool operator==(const ResultRow &o) const { return length == o.length && rates == o.rates; }
};

using ResultSet = QVector<ResultRow>;
