#pragma once

#include "engine/plantqualifier.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

// Strings kept front-coded in blocks of 16: a block's first string whole, each further one as the
// length it shares with the one before and the rest. A plant's ids run in sequence ("ЗР-01-002",
// "ЗР-01-003"), so each takes a few bytes.
class PackedStrings
{
public:
    void append(QByteArrayView text);
    qint64 size() const { return m_count; }
    QByteArray at(qint64 index) const;
    // Calls `visit` for every string from `from` on, in order, each block decoded once.
    void forEach(qint64 from, const std::function<void(qint64 index, QByteArrayView text)> &visit) const;
    void squeeze();

private:
    static constexpr int Block = 16;
    QByteArray m_data;
    QVector<qint64> m_blocks; // where each block starts in m_data
    QByteArray m_last;
    qint64 m_count = 0;
};

// A whole qualification kept for the window, a few bytes per loop whatever the plant's size: the
// ids packed in input order, and per loop one number, the index of its answer (a plan, a length
// and each service's result, kept once for every loop that shares them) or of its reason of
// refusal (each text kept once).
class QualifyTable
{
public:
    explicit QualifyTable(const QualifySettings &settings = {});

    void append(const QualifyChunk &chunk);
    // Frees what only appending needs.
    void finish();

    const QualifySettings &settings() const { return m_settings; }
    int services() const { return m_settings.services(); }
    qint64 loops() const { return m_entries.size(); }
    qint64 refused() const { return m_refused; }
    // Loops whose rate carries the service's target; 0 without targets.
    qint64 qualified(int service) const { return m_qualified.value(service); }

    QByteArray id(qint64 loop) const { return m_ids.at(loop); }
    const PackedStrings &ids() const { return m_ids; }
    bool isRefused(qint64 loop) const { return m_entries.at(loop) < 0; }
    // Refused or short of some service's target.
    bool fails(qint64 loop) const;
    // The reason of a refused loop, in Russian; "" when computed.
    QString problem(qint64 loop) const;
    // Refused loops: an index among the distinct reasons; -1 when computed.
    int problemIndex(qint64 loop) const;
    // Computed loops: an index into plan(); -1 when refused.
    int planIndex(qint64 loop) const;
    const LoopPlan &plan(int index) const { return m_plans.at(index); }
    int plans() const { return m_plans.size(); }
    // m; -1 when refused.
    int length(qint64 loop) const;
    // Tenths of a dB for a loop its record gave by its loss; -1 otherwise.
    int loss(qint64 loop) const;
    ServiceResult result(qint64 loop, int service) const;

private:
    int answerFor(int plan, int length, int loss, const ServiceResult *results);

    QualifySettings m_settings;
    QVector<qint32> m_entries; // per loop: an answer, or -1 - the index of its reason
    PackedStrings m_ids;
    // Answers.
    QVector<qint32> m_answerPlan;
    QVector<quint16> m_answerLength;
    QVector<quint16> m_answerLoss; // tenths of a dB + 1; 0 for a length given
    QVector<float> m_rates;    // services per answer
    QVector<qint16> m_margins; // services per answer, with targets
    QHash<quint64, qint32> m_answerOf; // (plan, loss, length) while appending; emptied when it grows large
    // Plans and reasons.
    QVector<LoopPlan> m_plans;
    QHash<QString, int> m_planOf;
    PackedStrings m_problems;
    QHash<QString, int> m_problemOf;
    qint64 m_refused = 0;
    QVector<qint64> m_qualified;
};

// The whole table as QualifyWriter writes it, in input order and large blocks. False when a write
// fails.
bool writeQualifyTable(QIODevice &out, const QualifyTable &table);
