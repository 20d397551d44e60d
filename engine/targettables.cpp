#include "engine/targettables.h"

#include "engine/checks.h"
#include "engine/messages.h"

#include <QTextStream>

namespace {

bool cancelled(const TargetProgress &progress)
{
    return progress.cancel && progress.cancel->load(std::memory_order_relaxed);
}

// Reports done / total of the work as 0..100 within [low, high].
void report(const TargetProgress &progress, qsizetype done, qsizetype total, int low = 0, int high = 100)
{
    if (progress.step && total > 0)
        progress.step(low + int(qint64(high - low) * done / total));
}

// Two curves that differ in nothing but their margin have the same margin at a rate.
bool sameConditions(const CurveSet::Curve &a, const CurveSet::Curve &b)
{
    return a.model == b.model && a.m == b.m && a.elfextNorm == b.elfextNorm && a.nextNorm == b.nextNorm;
}

QStringList curveNames(const CurveSet &set)
{
    QStringList names;
    for (const CurveSet::Curve &curve : set.curves())
        names << curve.name;
    return names;
}

// A header field as the rate table's CSV writes its labels: one line, single blanks.
QString headerField(const QString &quantity, const QString &curve)
{
    return (quantity + QLatin1Char(' ') + curve).simplified();
}

std::optional<ReachTable> reachTableIn(const CurveSet &set, const QVector<int> &targets, int from, int to, int step,
                                       const TargetProgress &progress, int low, int high)
{
    ReachTable table;
    table.targets = targets;
    table.curves = curveNames(set);
    table.from = from;
    table.to = to;
    table.step = step;
    const QVector<CurveSet::Curve> &curves = set.curves();
    table.reaches = QVector<QVector<Reach>>(targets.size(), QVector<Reach>(curves.size()));
    for (int j = 0; j < curves.size(); ++j) {
        if (cancelled(progress))
            return std::nullopt;
        report(progress, j, curves.size(), low, high);
        const CurveSet::Curve &c = curves.at(j);
        // All targets in one walk: the grid is swept once per curve.
        const std::optional<QVector<Reach>> reaches = reachAtRates(
            set.model(c.model), c.m, c.elfextNorm, c.nextNorm, c.margin, targets, from, to, step, progress.cancel);
        if (!reaches)
            return std::nullopt;
        for (int t = 0; t < targets.size(); ++t)
            table.reaches[t][j] = reaches->at(t);
    }
    if (cancelled(progress))
        return std::nullopt;
    return table;
}

std::optional<MarginTable> marginTableIn(const CurveSet &set, int target, const QVector<float> &lengths,
                                         const TargetProgress &progress, int low, int high)
{
    MarginTable table;
    table.target = target;
    table.curves = curveNames(set);
    table.lengths = lengths;
    const QVector<CurveSet::Curve> &curves = set.curves();
    table.margins = QVector<QVector<MarginAtRate>>(lengths.size(), QVector<MarginAtRate>(curves.size()));
    for (int j = 0; j < curves.size(); ++j) {
        if (cancelled(progress))
            return std::nullopt;
        report(progress, j, curves.size(), low, high);
        const CurveSet::Curve &c = curves.at(j);
        int same = 0;
        while (same < j && !sameConditions(curves.at(same), c))
            ++same;
        if (same < j) {
            // A family of margins: every curve asks the same question.
            for (int k = 0; k < lengths.size(); ++k)
                table.margins[k][j] = table.margins[k][same];
            continue;
        }
        const std::optional<QVector<MarginAtRate>> margins =
            marginsAtRate(set.model(c.model), c.m, c.elfextNorm, c.nextNorm, target, lengths, progress.cancel);
        if (!margins)
            return std::nullopt;
        for (int k = 0; k < lengths.size(); ++k)
            table.margins[k][j] = margins->at(k);
    }
    if (cancelled(progress))
        return std::nullopt;
    return table;
}

} // namespace

std::optional<ReachTable> computeReachTable(const CurveSet &set, const QVector<int> &targets, int from, int to,
                                            int step, const TargetProgress &progress)
{
    return reachTableIn(set, targets, from, to, step, progress, 0, 100);
}

std::optional<MarginTable> computeMarginTable(const CurveSet &set, int target, const QVector<float> &lengths,
                                              const TargetProgress &progress)
{
    return marginTableIn(set, target, lengths, progress, 0, 100);
}

QVector<float> runLengths(const CalcSettings &settings)
{
    QVector<float> lengths;
    if (settings.cableLengthStep < 1)
        return lengths;
    for (qint64 L = settings.cableLengthFrom; L <= settings.cableLengthTo; L += settings.cableLengthStep)
        lengths << float(L);
    return lengths;
}

std::optional<TargetTables> computeTargetTables(const CalcSettings &settings, const CurveSet &set,
                                                const TargetProgress &progress)
{
    if (settings.targetRates.isEmpty())
        return std::nullopt;
    TargetTables tables;
    // The reach walk stops at the first length that falls short; the margin takes every length
    // and a search per length, the larger share as a rule.
    std::optional<ReachTable> reach = reachTableIn(set, settings.targetRates, settings.cableLengthFrom,
                                                   settings.cableLengthTo, RunReachStep, progress, 0, 30);
    if (!reach)
        return std::nullopt;
    std::optional<MarginTable> margin =
        marginTableIn(set, settings.targetRates.first(), runLengths(settings), progress, 30, 100);
    if (!margin)
        return std::nullopt;
    tables.reach = std::move(*reach);
    tables.margin = std::move(*margin);
    return tables;
}

std::optional<TargetTables> runTargetTables(const CalcSettings &settings, const QString &workdir, QString *error,
                                            const TargetProgress &progress)
{
    if (settings.targetRates.isEmpty()) {
        fail(error, localized("No target rate given", "Целевые скорости не заданы"));
        return std::nullopt;
    }
    const std::optional<CurveSet> set = CurveSet::load(settings, workdir, error);
    if (!set)
        return std::nullopt;
    std::optional<TargetTables> tables = computeTargetTables(settings, *set, progress);
    if (!tables)
        fail(error, localized("The calculation was cancelled", "Расчёт отменён"));
    return tables;
}

void writeReachCsv(QTextStream &out, const ReachTable &table)
{
    out << QStringLiteral("R,кбит/с;");
    for (const QString &curve : table.curves)
        out << headerField(QStringLiteral("L,м"), curve) << ';';
    out << '\n';
    for (int t = 0; t < table.targets.size(); ++t) {
        out << table.targets.at(t) << ';';
        for (const Reach &reach : table.reaches.at(t))
            out << reachText(reach) << ';';
        out << '\n';
    }
}

void writeMarginCsv(QTextStream &out, const MarginTable &table)
{
    out << QStringLiteral("L,м;");
    for (const QString &curve : table.curves)
        out << headerField(QStringLiteral("SNR Margin,дБ"), curve) << ';';
    out << '\n';
    for (int k = 0; k < table.lengths.size(); ++k) {
        // The length as the rate table writes it.
        out << table.lengths.at(k) << ';';
        for (const MarginAtRate &margin : table.margins.at(k))
            out << marginText(margin) << ';';
        out << '\n';
    }
}

ContentWriter reachCsvContent(const ReachTable &table)
{
    return textContent([table](QTextStream &out) { writeReachCsv(out, table); });
}

ContentWriter marginCsvContent(const MarginTable &table)
{
    return textContent([table](QTextStream &out) { writeMarginCsv(out, table); });
}
