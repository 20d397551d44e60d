#include "engine/qualifytable.h"

#include "engine/qualifycsv.h"

#include <QIODevice>

#include <algorithm>
#include <limits>

namespace {

// The (plan, length) index that finds a repeated answer is emptied beyond this many: a plant
// whose loops share little still keeps one answer per loop, not an index as well.
constexpr qsizetype MaxAnswerKeys = 1 << 20;
constexpr qsizetype MaxProblemKeys = 1 << 16;
constexpr qint16 MarginBelow = std::numeric_limits<qint16>::min();
constexpr qint16 MarginAbove = std::numeric_limits<qint16>::max();
constexpr qsizetype WriteBlock = 1 << 20;

void putNumber(QByteArray &out, quint32 value)
{
    while (value >= 0x80) {
        out += char(0x80 | (value & 0x7F));
        value >>= 7;
    }
    out += char(value);
}

quint32 takeNumber(const char *&p)
{
    quint32 value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*p++);
        value |= quint32(byte & 0x7F) << shift;
        if (byte < 0x80)
            return value;
    }
}

// Decodes one string of a block after `current`, the one before it.
void decodeNext(const char *&p, bool first, QByteArray &current)
{
    const quint32 shared = first ? 0 : takeNumber(p);
    const quint32 rest = takeNumber(p);
    current.resize(shared);
    current.append(p, rest);
    p += rest;
}

qint16 marginCode(const MarginAtRate &margin)
{
    switch (margin.kind) {
    case MarginAtRate::Below: return MarginBelow;
    case MarginAtRate::Above: return MarginAbove;
    case MarginAtRate::Value: break;
    }
    return qint16(margin.tenths);
}

MarginAtRate marginOf(qint16 code)
{
    if (code == MarginBelow)
        return {MarginAtRate::Below, 0};
    if (code == MarginAbove)
        return {MarginAtRate::Above, 0};
    return {MarginAtRate::Value, code};
}

QString planKey(const LoopPlan &plan)
{
    QString key = plan.cable;
    for (const CableSection &s : plan.sections)
        key += QChar(0x1F) + s.cable + QChar(0x1E) + QString::number(s.length);
    return key;
}

} // namespace

void PackedStrings::append(QByteArrayView text)
{
    if (m_count % Block == 0) {
        m_blocks.append(m_data.size());
        putNumber(m_data, quint32(text.size()));
    } else {
        const qsizetype most = std::min(text.size(), m_last.size());
        qsizetype shared = 0;
        while (shared < most && text.at(shared) == m_last.at(shared))
            ++shared;
        putNumber(m_data, quint32(shared));
        putNumber(m_data, quint32(text.size() - shared));
        text = text.sliced(shared);
        m_last.resize(shared);
    }
    m_data.append(text.data(), text.size());
    if (m_count % Block == 0)
        m_last.resize(0);
    m_last.append(text.data(), text.size());
    ++m_count;
}

QByteArray PackedStrings::at(qint64 index) const
{
    const char *p = m_data.constData() + m_blocks.at(index / Block);
    QByteArray current;
    for (int i = 0; i <= index % Block; ++i)
        decodeNext(p, i == 0, current);
    return current;
}

void PackedStrings::forEach(qint64 from, const std::function<void(qint64, QByteArrayView)> &visit) const
{
    QByteArray current;
    for (qint64 block = from / Block; block < m_blocks.size(); ++block) {
        const char *p = m_data.constData() + m_blocks.at(block);
        const qint64 first = block * Block;
        for (qint64 i = first; i < std::min(first + Block, m_count); ++i) {
            decodeNext(p, i == first, current);
            if (i >= from)
                visit(i, current);
        }
    }
}

void PackedStrings::squeeze()
{
    m_data.squeeze();
    m_blocks.squeeze();
}

QualifyTable::QualifyTable(const QualifySettings &settings)
    : m_settings(settings), m_qualified(settings.targets.isEmpty() ? 0 : settings.services(), 0)
{
}

int QualifyTable::answerFor(int plan, int length, int loss, const ServiceResult *results)
{
    // A loss (when given) is shown beside the length it converted to: part of the answer.
    const quint64 key = quint64(plan) << 32 | quint64(loss + 1) << 16 | quint64(length);
    const auto known = m_answerOf.constFind(key);
    if (known != m_answerOf.constEnd())
        return *known;
    if (m_answerOf.size() >= MaxAnswerKeys)
        m_answerOf.clear();
    const int S = services();
    const int answer = m_answerPlan.size();
    m_answerPlan.append(plan);
    m_answerLength.append(quint16(length));
    m_answerLoss.append(quint16(loss + 1));
    for (int s = 0; s < S; ++s) {
        m_rates.append(results[s].rate);
        if (!m_settings.targets.isEmpty())
            m_margins.append(marginCode(results[s].margin));
    }
    m_answerOf.insert(key, answer);
    return answer;
}

void QualifyTable::append(const QualifyChunk &chunk)
{
    QVector<int> plans(chunk.plans.size());
    for (int i = 0; i < chunk.plans.size(); ++i) {
        const QString key = planKey(chunk.plans.at(i));
        auto it = m_planOf.constFind(key);
        if (it == m_planOf.constEnd()) {
            it = m_planOf.insert(key, m_plans.size());
            m_plans.append(chunk.plans.at(i));
        }
        plans[i] = *it;
    }
    const int S = services();
    for (qsizetype i = 0; i < chunk.loops.size(); ++i) {
        const QualifiedLoop &loop = chunk.loops.at(i);
        m_ids.append(loop.id);
        if (loop.problem >= 0) {
            const QString &reason = chunk.problems.at(loop.problem).russian;
            auto it = m_problemOf.constFind(reason);
            if (it == m_problemOf.constEnd()) {
                if (m_problemOf.size() >= MaxProblemKeys)
                    m_problemOf.clear();
                it = m_problemOf.insert(reason, int(m_problems.size()));
                m_problems.append(reason.toUtf8());
            }
            m_entries.append(-1 - *it);
            ++m_refused;
            continue;
        }
        const ServiceResult *results = chunk.results.constData() + i * S;
        m_entries.append(answerFor(plans.at(loop.plan), loop.length, loop.loss, results));
        for (int s = 0; s < m_qualified.size(); ++s)
            if (carriesTarget(results[s].rate, m_settings.targets.at(s)))
                ++m_qualified[s];
    }
}

void QualifyTable::finish()
{
    m_answerOf = {};
    m_planOf = {};
    m_problemOf = {};
    m_entries.squeeze();
    m_ids.squeeze();
    m_answerPlan.squeeze();
    m_answerLength.squeeze();
    m_answerLoss.squeeze();
    m_rates.squeeze();
    m_margins.squeeze();
    m_problems.squeeze();
}

bool QualifyTable::fails(qint64 loop) const
{
    const qint32 entry = m_entries.at(loop);
    if (entry < 0)
        return true;
    const int S = services();
    for (int s = 0; s < m_qualified.size(); ++s)
        if (!carriesTarget(m_rates.at(qint64(entry) * S + s), m_settings.targets.at(s)))
            return true;
    return false;
}

QString QualifyTable::problem(qint64 loop) const
{
    const int index = problemIndex(loop);
    return index < 0 ? QString() : QString::fromUtf8(m_problems.at(index));
}

int QualifyTable::problemIndex(qint64 loop) const
{
    const qint32 entry = m_entries.at(loop);
    return entry < 0 ? -1 - entry : -1;
}

int QualifyTable::planIndex(qint64 loop) const
{
    const qint32 entry = m_entries.at(loop);
    return entry < 0 ? -1 : m_answerPlan.at(entry);
}

int QualifyTable::length(qint64 loop) const
{
    const qint32 entry = m_entries.at(loop);
    return entry < 0 ? -1 : m_answerLength.at(entry);
}

int QualifyTable::loss(qint64 loop) const
{
    const qint32 entry = m_entries.at(loop);
    return entry < 0 ? -1 : int(m_answerLoss.at(entry)) - 1;
}

ServiceResult QualifyTable::result(qint64 loop, int service) const
{
    const qint32 entry = m_entries.at(loop);
    if (entry < 0)
        return {};
    const qint64 at = qint64(entry) * services() + service;
    ServiceResult r;
    r.rate = m_rates.at(at);
    if (!m_margins.isEmpty())
        r.margin = marginOf(m_margins.at(at));
    return r;
}

bool writeQualifyTable(QIODevice &out, const QualifyTable &table)
{
    QualifyWriter writer(table.settings());
    QByteArray block = writer.header();
    bool written = true;
    const auto put = [&out, &block, &written] {
        written = written && out.write(block) == block.size();
        block.clear();
        return written;
    };
    const int S = table.services();
    QVector<ServiceResult> results(S);
    table.ids().forEach(0, [&](qint64 loop, QByteArrayView id) {
        if (!written)
            return;
        if (table.isRefused(loop)) {
            writer.appendRefused(block, id, table.problem(loop));
        } else {
            for (int s = 0; s < S; ++s)
                results[s] = table.result(loop, s);
            writer.appendLoop(block, id, results.constData());
        }
        if (block.size() >= WriteBlock)
            put();
    });
    return put();
}
