#include "engine/sweep.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/curveset.h"
#include "engine/lineratemodel.h"
#include "engine/messages.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QDir>

#include <memory>

namespace {

// "No cable template: directory Cable is empty", or why it cannot be read.
QString noTemplateMessage(TemplateKind kind, const QString &workdir)
{
    const QString directory = workspacePath(workdir, templateDirectory(kind));
    const QString shown = QDir::toNativeSeparators(directory);
    const QString problem = listingProblem(directory);
    const bool cable = kind == CableAttenuation;
    if (!problem.isEmpty())
        return (cable ? localized("No cable template: cannot read directory %1: %2",
                                  "Нет шаблона кабеля: не удаётся прочитать каталог %1: %2")
                      : localized("No line type template: cannot read directory %1: %2",
                                  "Нет шаблона типа линии: не удаётся прочитать каталог %1: %2"))
            .arg(shown, problem);
    return (cable ? localized("No cable template: directory %1 is empty",
                              "Нет шаблона кабеля: каталог %1 пуст")
                  : localized("No line type template: directory %1 is empty",
                              "Нет шаблона типа линии: каталог %1 пуст"))
        .arg(shown);
}

} // namespace

std::optional<SweepResult> runSweep(const CalcSettings &settings, const QString &workdir,
                                    QString *error, const SweepProgress &progress, std::optional<CurveSet> *loaded)
{
    const auto refuse = [error](const QString &message) -> std::optional<SweepResult> {
        fail(error, message);
        return std::nullopt;
    };
    if (!checkRun(settings, workdir, error))
        return std::nullopt;
    const std::optional<CurveSet> set = CurveSet::load(settings, workdir, error);
    if (!set)
        return std::nullopt;
    if (loaded)
        *loaded = set;

    QVector<float> lengths;
    for (qint64 L = settings.cableLengthFrom; L <= settings.cableLengthTo;
         L += settings.cableLengthStep)
        lengths << float(L);
    const auto progressValue = [&](int k) {
        return gridProgress(settings.cableLengthFrom, settings.cableLengthTo, settings.cableLengthStep, k);
    };
    std::optional<SweepResult> result = sweepCurves(settings, *set, lengths,
                                                    QVector<QVector<float>>(set->modelCount(), lengths),
                                                    progressValue, progress);
    if (!result)
        return refuse(cancelledMessage());
    return result;
}

bool checkRun(const CalcSettings &settings, const QString &workdir, QString *error)
{
    if (settings.cableTypes.isEmpty())
        return fail(error, noTemplateMessage(CableAttenuation, workdir));
    if (settings.lineTypes.isEmpty())
        return fail(error, noTemplateMessage(LineTypeDmt, workdir));
    return CalcInput::validate(settings, CalcInput::Checks::Run, runFieldName, error);
}

int gridProgress(int from, int to, int step, int point)
{
    const int span = to - from;
    if (span == 0)
        return 100;
    return truncToInt(double(step) * 100.0 / double(span) * double(point));
}

QString cancelledMessage()
{
    return localized("The calculation was cancelled", "Расчёт отменён");
}

std::optional<SweepResult> sweepCurves(const CalcSettings &settings, const CurveSet &set,
                                       const QVector<float> &axis, const QVector<QVector<float>> &lengths,
                                       const std::function<int(int point)> &progressValue,
                                       const SweepProgress &progress)
{
    const auto cancelled = [&progress] {
        return progress.cancel && progress.cancel->load(std::memory_order_relaxed);
    };
    using Family = CurveSet::Family;
    const Family family = set.family();
    const QVector<CurveSet::Curve> &curveList = set.curves();
    const int points = axis.size();

    SweepResult result;
    result.warnings = set.warnings();
    const int curves = curveList.size();
    for (const CurveSet::Curve &curve : curveList)
        result.labels << curve.label;
    QVector<QVector<float>> rates(curves, QVector<float>(points)); // per curve, per point
    // A point without a loop keeps its rate of 0.
    const auto evaluate = [](RateSweep &sweep, float length, float *out, int count) {
        if (length >= 0)
            sweep.evaluate(length, out);
        else
            std::fill(out, out + count, 0.0f);
    };

    if (family == Family::LineTypes || family == Family::Cables) {
        // One stage per curve, each with a model of its own.
        for (int j = 0; j < curves; ++j) {
            const CurveSet::Curve &c = curveList.at(j);
            if (progress.begin)
                progress.begin(family == Family::LineTypes ? settings.lineTypes.at(j) : settings.cableTypes.at(j));
            RateSweep sweep(set.model(c.model), c.m, c.elfextNorm, c.nextNorm, {c.margin}, set.options());
            sweep.setCancelFlag(progress.cancel);
            for (int k = 0; k < points; ++k) {
                if (cancelled())
                    return std::nullopt;
                if (progress.step)
                    progress.step(progressValue(k));
                evaluate(sweep, lengths[c.model][k], &rates[j][k], 1);
            }
            if (cancelled())
                return std::nullopt;
            if (progress.end)
                progress.end();
        }
    } else {
        if (progress.begin)
            progress.begin(settings.cableTypes.first());
        const LineRateModel &model = set.model(0);
        std::vector<std::unique_ptr<RateSweep>> sweeps;
        if (family == Family::Margins) {
            // One sweep for every margin: they share the spectra and the SNR of each tone.
            const CurveSet::Curve &c = curveList.first();
            sweeps.push_back(std::make_unique<RateSweep>(model, c.m, c.elfextNorm, c.nextNorm,
                                                         settings.SNRMargin_points, set.options()));
        } else {
            for (const CurveSet::Curve &c : curveList)
                sweeps.push_back(std::make_unique<RateSweep>(model, c.m, c.elfextNorm, c.nextNorm,
                                                             QVector<float>{c.margin}, set.options()));
        }
        for (const auto &sweep : sweeps)
            sweep->setCancelFlag(progress.cancel);
        QVector<float> point(curves);
        for (int k = 0; k < points; ++k) {
            if (cancelled())
                return std::nullopt;
            if (progress.step)
                progress.step(progressValue(k));
            float *out = point.data();
            const int width = family == Family::Margins ? curves : 1;
            for (const auto &sweep : sweeps) {
                evaluate(*sweep, lengths[0][k], out, width);
                out += width;
            }
            for (int j = 0; j < curves; ++j)
                rates[j][k] = point[j];
        }
        if (cancelled())
            return std::nullopt;
        if (progress.end)
            progress.end();
    }

    result.rows.reserve(points);
    for (int k = 0; k < points; ++k) {
        ResultRow row;
        row.length = axis[k];
        for (int j = 0; j < curves; ++j) {
            const float r = rates[j][k];
            row.rates << r;
            if (result.maxRate < r)
                result.maxRate = truncToInt(r);
        }
        result.rows << row;
    }
    return result;
}
