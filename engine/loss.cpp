#include "engine/loss.h"

#include "engine/checks.h"
#include "engine/messages.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>

double lossValue(int tenths)
{
    return double(tenths) / 10.0;
}

QString lossText(int tenths)
{
    // From the whole tenths: no float ever rounds the digit.
    const qint64 magnitude = std::abs(qint64(tenths));
    QString text = (tenths < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10);
    if (magnitude % 10 != 0)
        text += QLatin1Char('.') + QString::number(magnitude % 10);
    return text;
}

QString lossCaption(int referenceFrequency)
{
    return QStringLiteral("A,дБ@%1кГц").arg(referenceFrequency);
}

QVector<int> LossGrid::points() const
{
    QVector<int> out;
    if (step < 1)
        return out;
    for (qint64 t = from; t <= to; t += step)
        out << int(t);
    return out;
}

LossGrid lossGrid(const CalcSettings &settings)
{
    return {settings.lossFrom, settings.lossTo, settings.lossStep};
}

int rowLossTenths(float rowLength)
{
    return int(std::lround(double(rowLength) * 10.0));
}

QString axisCaption(const CalcSettings &settings)
{
    return settings.axis == SweepAxis::Loss ? lossCaption(settings.lossFrequency) : QStringLiteral("L,м");
}

LossConversion::LossConversion(const CableTemplate &swept, const QVector<LoopSection> &sections,
                               int referenceFrequency)
    : m_frequency(referenceFrequency)
{
    m_rows = hasCompleteRow(swept);
    for (const LoopSection &s : sections) {
        m_rows = m_rows && hasCompleteRow(s.cable);
        m_sectionsLength += s.length;
    }
    if (!m_rows)
        return;
    const float f = float(referenceFrequency);
    m_aRef = cableAttenuation(swept, f);
    m_sectionsLoss = ::sectionsLoss(sections, f);
}

std::optional<int> LossConversion::length(double loss, QString *why) const
{
    const auto none = [why](const QString &reason) -> std::optional<int> {
        fail(why, reason);
        return std::nullopt;
    };
    const QString dB = QString::number(loss, 'g', 6);
    if (!m_rows)
        return none(localized("No loop has a loss of %1 dB: a cable of the loop has no complete row",
                              "Нет линии с затуханием %1 дБ: в шаблоне кабеля линии нет ни одной полной строки")
                        .arg(dB));
    if (!(m_aRef > 0))
        return none(localized("No loop has a loss of %1 dB: the cable's attenuation at %2 kHz is %3 dB/km",
                              "Нет линии с затуханием %1 дБ: затухание кабеля на частоте %2 кГц равно %3 дБ/км")
                        .arg(dB, QString::number(m_frequency), QString::number(double(m_aRef), 'g', 6)));
    if (!(loss >= m_sectionsLoss))
        return none(localized("No loop has a loss of %1 dB: the sections alone lose %2 dB at %3 kHz",
                              "Нет линии с затуханием %1 дБ: одни участки дают %2 дБ на частоте %3 кГц")
                        .arg(dB, QString::number(m_sectionsLoss, 'g', 6), QString::number(m_frequency)));
    // Rounded to the nearest metre, halves away from zero.
    const double swept = std::round((loss - m_sectionsLoss) / double(m_aRef) * 1000.0);
    const double total = double(m_sectionsLength) + swept;
    if (!(total <= double(CalcInput::Length.max)))
        return none(localized("No loop has a loss of %1 dB: it would be %2 m long, above %3 m",
                              "Нет линии с затуханием %1 дБ: её длина была бы %2 м, больше %3 м")
                        .arg(dB, QString::number(total, 'f', 0), QString::number(CalcInput::Length.max)));
    return int(total);
}

bool checkLossRun(const CalcSettings &settings, const QString &workdir, QString *error)
{
    // On a loss axis the record's lengths play no part.
    CalcSettings record = settings;
    record.axis = SweepAxis::Loss;
    return checkRun(record, workdir, error);
}

namespace {

// Each model's loop length at every point of the grid, below 0 where it has none.
QVector<QVector<float>> loopLengths(const CurveSet &set, const QVector<int> &points, int referenceFrequency)
{
    QVector<QVector<float>> out(set.modelCount());
    for (int i = 0; i < set.modelCount(); ++i) {
        const LossConversion conversion(set.sweptCable(i), set.sections(), referenceFrequency);
        for (int t : points) {
            const std::optional<int> length = conversion.length(lossValue(t));
            out[i] << (length ? float(*length) : -1.0f);
        }
    }
    return out;
}

bool cancelled(const TargetProgress &progress)
{
    return progress.cancel && progress.cancel->load(std::memory_order_relaxed);
}

void report(const TargetProgress &progress, qsizetype done, qsizetype total)
{
    if (progress.step && total > 0)
        progress.step(int(100 * done / total));
}

} // namespace

std::optional<SweepResult> sweepLosses(const CalcSettings &settings, const CurveSet &set, const LossGrid &grid,
                                       int referenceFrequency, const SweepProgress &progress)
{
    const QVector<int> points = grid.points();
    QVector<float> axis;
    for (int t : points)
        axis << float(lossValue(t));
    const QVector<QVector<float>> lengths = loopLengths(set, points, referenceFrequency);
    std::optional<SweepResult> result = sweepCurves(
        settings, set, axis, lengths, [&grid](int k) { return gridProgress(grid.from, grid.to, grid.step, k); },
        progress);
    if (!result)
        return std::nullopt;
    for (int k = 0; k < result->rows.size(); ++k) {
        ResultRow &row = result->rows[k];
        for (const CurveSet::Curve &c : set.curves()) {
            const float length = lengths[c.model][k];
            row.loops << (length >= 0 ? int(length) : ResultRow::NoLoop);
        }
    }
    return result;
}

std::optional<SweepResult> runLossSweep(const CalcSettings &settings, const QString &workdir, const LossGrid &grid,
                                        int referenceFrequency, QString *error, const SweepProgress &progress,
                                        std::optional<CurveSet> *loaded)
{
    if (!checkLossRun(settings, workdir, error))
        return std::nullopt;
    if (grid.points().isEmpty()) {
        fail(error, localized("The losses from %1 to %2 dB in steps of %3 dB make no point",
                              "Затухания от %1 до %2 дБ с шагом %3 дБ не дают ни одной точки")
                        .arg(lossText(grid.from), lossText(grid.to), lossText(grid.step)));
        return std::nullopt;
    }
    const std::optional<CurveSet> set = CurveSet::load(settings, workdir, error);
    if (!set)
        return std::nullopt;
    if (loaded)
        *loaded = set;
    std::optional<SweepResult> result = sweepLosses(settings, *set, grid, referenceFrequency, progress);
    if (!result)
        fail(error, cancelledMessage());
    return result;
}

QString lossReachText(const LossReach &reach)
{
    switch (reach.kind) {
    case Reach::None:
        return QStringLiteral("-");
    case Reach::Length:
        return lossText(reach.tenths);
    case Reach::Beyond:
        return QLatin1Char('>') + lossText(reach.tenths);
    }
    return {};
}

std::optional<LossReachTable> computeLossReachTable(const CurveSet &set, const QVector<int> &targets,
                                                    const LossGrid &grid, int referenceFrequency,
                                                    const TargetProgress &progress)
{
    LossReachTable table;
    table.targets = targets;
    table.curves = set.names();
    table.grid = grid;
    table.referenceFrequency = referenceFrequency;
    const QVector<CurveSet::Curve> &curves = set.curves();
    table.reaches = QVector<QVector<LossReach>>(targets.size(), QVector<LossReach>(curves.size()));
    const QVector<int> points = grid.points();
    for (int j = 0; j < curves.size(); ++j) {
        report(progress, j, curves.size());
        const CurveSet::Curve &c = curves.at(j);
        const LossConversion conversion(set.sweptCable(c.model), set.sections(), referenceFrequency);
        // The loop lengths grow with the loss: the sweep goes the fast way up.
        RateSweep sweep(set.model(c.model), c.m, c.elfextNorm, c.nextNorm, {c.margin}, set.options());
        sweep.setCancelFlag(progress.cancel);
        std::optional<int> lastLoop; // tenths of the last point that has a loop
        QVector<bool> settled(targets.size(), false);
        int open = targets.size();
        for (int k = 0; k < points.size() && open > 0; ++k) {
            if (cancelled(progress))
                return std::nullopt;
            const std::optional<int> length = conversion.length(lossValue(points[k]));
            if (!length)
                continue;
            float rate = 0;
            sweep.evaluate(float(*length), &rate);
            if (cancelled(progress))
                return std::nullopt; // the rate means nothing then
            for (int t = 0; t < targets.size(); ++t) {
                if (settled[t] || double(rate) >= double(targets[t]))
                    continue;
                settled[t] = true;
                --open;
                table.reaches[t][j] = lastLoop ? LossReach{Reach::Length, *lastLoop} : LossReach{};
            }
            lastLoop = points[k];
        }
        for (int t = 0; t < targets.size(); ++t)
            if (!settled[t])
                table.reaches[t][j] = lastLoop ? LossReach{Reach::Beyond, *lastLoop} : LossReach{};
    }
    if (cancelled(progress))
        return std::nullopt;
    return table;
}

std::optional<LossMarginTable> computeLossMarginTable(const CurveSet &set, int target, const LossGrid &grid,
                                                      int referenceFrequency, const TargetProgress &progress)
{
    LossMarginTable table;
    table.target = target;
    table.curves = set.names();
    table.losses = grid.points();
    table.referenceFrequency = referenceFrequency;
    const QVector<CurveSet::Curve> &curves = set.curves();
    table.margins = QVector<QVector<std::optional<MarginAtRate>>>(
        table.losses.size(), QVector<std::optional<MarginAtRate>>(curves.size()));
    const QVector<QVector<float>> lengths = loopLengths(set, table.losses, referenceFrequency);
    for (int j = 0; j < curves.size(); ++j) {
        if (cancelled(progress))
            return std::nullopt;
        report(progress, j, curves.size());
        const CurveSet::Curve &c = curves.at(j);
        // A family of margins asks every curve the same question: the first one answers.
        int same = 0;
        while (same < j && !curves.at(same).sameButMargin(c))
            ++same;
        if (same < j) {
            for (int k = 0; k < table.losses.size(); ++k)
                table.margins[k][j] = table.margins[k][same];
            continue;
        }
        QVector<float> loops; // ascending with the loss
        for (float length : lengths[c.model])
            if (length >= 0)
                loops << length;
        const std::optional<QVector<MarginAtRate>> margins = marginsAtRate(
            set.model(c.model), c.m, c.elfextNorm, c.nextNorm, target, loops, progress.cancel, set.options());
        if (!margins)
            return std::nullopt;
        int next = 0;
        for (int k = 0; k < table.losses.size(); ++k)
            if (lengths[c.model][k] >= 0)
                table.margins[k][j] = margins->at(next++);
    }
    if (cancelled(progress))
        return std::nullopt;
    return table;
}

std::optional<LossTargetTables> computeLossTargetTables(const CalcSettings &settings, const CurveSet &set,
                                                        const TargetProgress &progress)
{
    if (settings.targetRates.isEmpty())
        return std::nullopt;
    // As the length run splits its work: the reach walk first, the margin searches the larger share.
    const auto part = [&progress](int from, int to) {
        TargetProgress p = progress;
        if (progress.step)
            p.step = [&progress, from, to](int value) { progress.step(from + value * (to - from) / 100); };
        return p;
    };
    LossGrid reachGrid = lossGrid(settings);
    reachGrid.step = RunLossReachStep;
    std::optional<LossReachTable> reach = computeLossReachTable(set, settings.targetRates, reachGrid,
                                                                settings.lossFrequency, part(0, 30));
    if (!reach)
        return std::nullopt;
    std::optional<LossMarginTable> margin = computeLossMarginTable(set, settings.targetRates.first(), lossGrid(settings),
                                                                   settings.lossFrequency, part(30, 100));
    if (!margin)
        return std::nullopt;
    return LossTargetTables{std::move(*reach), std::move(*margin)};
}

void writeLossReachCsv(QTextStream &out, const LossReachTable &table)
{
    const QString caption = lossCaption(table.referenceFrequency);
    out << QStringLiteral("R,кбит/с;");
    for (const QString &curve : table.curves)
        out << targetHeaderField(caption, curve) << ';';
    out << '\n';
    for (int t = 0; t < table.targets.size(); ++t) {
        out << table.targets.at(t) << ';';
        for (const LossReach &reach : table.reaches.at(t))
            out << lossReachText(reach) << ';';
        out << '\n';
    }
}

void writeLossMarginCsv(QTextStream &out, const LossMarginTable &table)
{
    out << lossCaption(table.referenceFrequency) << ';';
    for (const QString &curve : table.curves)
        out << targetHeaderField(QStringLiteral("SNR Margin,дБ"), curve) << ';';
    out << '\n';
    for (int k = 0; k < table.losses.size(); ++k) {
        out << lossText(table.losses.at(k)) << ';';
        for (const std::optional<MarginAtRate> &margin : table.margins.at(k))
            out << (margin ? marginText(*margin) : QStringLiteral("-")) << ';';
        out << '\n';
    }
}

ContentWriter lossReachCsvContent(const LossReachTable &table)
{
    return textContent([table](QTextStream &out) { writeLossReachCsv(out, table); });
}

ContentWriter lossMarginCsvContent(const LossMarginTable &table)
{
    return textContent([table](QTextStream &out) { writeLossMarginCsv(out, table); });
}
