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

QString runFieldName(CalcInput::Field field)
{
    const CalcInput::Input &in = CalcInput::input(field);
    return localized(in.english, in.russian);
}

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
    const auto cancelled = [&progress] {
        return progress.cancel && progress.cancel->load(std::memory_order_relaxed);
    };
    const auto refuseCancelled = [&] {
        return refuse(localized("The calculation was cancelled", "Расчёт отменён"));
    };
    if (settings.cableTypes.isEmpty())
        return refuse(noTemplateMessage(CableAttenuation, workdir));
    if (settings.lineTypes.isEmpty())
        return refuse(noTemplateMessage(LineTypeDmt, workdir));
    if (!CalcInput::validate(settings, CalcInput::Checks::Run, runFieldName, error))
        return std::nullopt;
    const std::optional<CurveSet> set = CurveSet::load(settings, workdir, error);
    if (!set)
        return std::nullopt;
    if (loaded)
        *loaded = set;
    using Family = CurveSet::Family;
    const Family family = set->family();
    const QVector<CurveSet::Curve> &curveList = set->curves();

    QVector<float> lengths;
    for (qint64 L = settings.cableLengthFrom; L <= settings.cableLengthTo;
         L += settings.cableLengthStep)
        lengths << float(L);
    const int span = settings.cableLengthTo - settings.cableLengthFrom;
    const auto progressValue = [&](int k) {
        if (span == 0)
            return 100;
        return truncToInt(double(settings.cableLengthStep) * 100.0 / double(span) * double(k));
    };

    SweepResult result;
    result.warnings = set->warnings();
    const int curves = curveList.size();
    for (const CurveSet::Curve &curve : curveList)
        result.labels << curve.label;
    QVector<QVector<float>> rates(curves, QVector<float>(lengths.size())); // per curve, per length

    if (family == Family::LineTypes || family == Family::Cables) {
        // One stage per curve, each with a model of its own.
        for (int j = 0; j < curves; ++j) {
            const CurveSet::Curve &c = curveList.at(j);
            if (progress.begin)
                progress.begin(family == Family::LineTypes ? settings.lineTypes.at(j) : settings.cableTypes.at(j));
            RateSweep sweep(set->model(c.model), c.m, c.elfextNorm, c.nextNorm, {c.margin});
            sweep.setCancelFlag(progress.cancel);
            for (int k = 0; k < lengths.size(); ++k) {
                if (cancelled())
                    return refuseCancelled();
                if (progress.step)
                    progress.step(progressValue(k));
                sweep.evaluate(lengths[k], &rates[j][k]);
            }
            if (cancelled())
                return refuseCancelled();
            if (progress.end)
                progress.end();
        }
    } else {
        if (progress.begin)
            progress.begin(settings.cableTypes.first());
        const LineRateModel &model = set->model(0);
        std::vector<std::unique_ptr<RateSweep>> sweeps;
        if (family == Family::Margins) {
            // One sweep for every margin: they share the spectra and the SNR of each tone.
            const CurveSet::Curve &c = curveList.first();
            sweeps.push_back(std::make_unique<RateSweep>(model, c.m, c.elfextNorm, c.nextNorm,
                                                         settings.SNRMargin_points));
        } else {
            for (const CurveSet::Curve &c : curveList)
                sweeps.push_back(std::make_unique<RateSweep>(model, c.m, c.elfextNorm, c.nextNorm,
                                                             QVector<float>{c.margin}));
        }
        for (const auto &sweep : sweeps)
            sweep->setCancelFlag(progress.cancel);
        QVector<float> point(curves);
        for (int k = 0; k < lengths.size(); ++k) {
            if (cancelled())
                return refuseCancelled();
            if (progress.step)
                progress.step(progressValue(k));
            float *out = point.data();
            for (const auto &sweep : sweeps) {
                sweep->evaluate(lengths[k], out);
                out += family == Family::Margins ? curves : 1;
            }
            for (int j = 0; j < curves; ++j)
                rates[j][k] = point[j];
        }
        if (cancelled())
            return refuseCancelled();
        if (progress.end)
            progress.end();
    }

    result.rows.reserve(lengths.size());
    for (int k = 0; k < lengths.size(); ++k) {
        ResultRow row;
        row.length = lengths[k];
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
