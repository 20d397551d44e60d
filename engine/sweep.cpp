#include "engine/sweep.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/lineratemodel.h"
#include "engine/messages.h"
#include "engine/templatefile.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QDir>

#include <climits>
#include <cmath>
#include <memory>

namespace {

// Beyond these a float tone, bin or rate counter stops advancing and a loop never ends.
constexpr double MaxFrequency = 1000000.0; // kHz
constexpr double MaxRate = 100000.0;       // kbit/s

struct Column {
    const QVector<float> *values;
    int caption;              // index into the kind's captions
    double bound;             // largest magnitude allowed, 0 = any finite value
    bool nonNegative = false; // a count of bits: below 0 it would subtract from the rate
};

// The message names the file, the row as the editor numbers it and the column caption, all in
// one arg(): a '%' in a file name must not be taken for a placeholder.
bool badValue(const QString &path, TemplateKind kind, int row, int caption, const QString &reason,
              QString *error)
{
    return fail(error, localized("Bad template %1: row %2, column \"%3\": %4",
                                 "Неверный шаблон %1: строка %2, столбец «%3»: %4")
                           .arg(QDir::toNativeSeparators(path), QString::number(row + 1),
                                templateColumnCaptions(kind).value(caption), reason));
}

QString notFinite()
{
    return localized("the value is not a finite number", "значение не является конечным числом");
}

// Every value the model uses must be finite and inside its bounds.
bool checkColumns(const QString &path, TemplateKind kind, const QVector<int> &rows, int count,
                  const QVector<Column> &columns, QString *error)
{
    for (int i = 0; i < count; ++i) {
        for (const Column &c : columns) {
            const float v = c.values->at(i);
            QString reason;
            if (!std::isfinite(v))
                reason = notFinite();
            else if (c.bound > 0 && std::fabs(double(v)) > c.bound)
                reason = localized("%1 exceeds %2 in magnitude", "%1 превышает %2 по модулю")
                             .arg(QString::number(double(v), 'g', 9), QString::number(c.bound, 'f', 0));
            else if (c.nonNegative && v < 0)
                reason = localized("the value %1 is negative", "значение %1 отрицательно")
                             .arg(QString::number(double(v), 'g', 9));
            if (!reason.isEmpty())
                return badValue(path, kind, rows.value(i, i), c.caption, reason, error);
        }
    }
    return true;
}

bool readCable(const QString &workdir, const QString &name, CableTemplate &t, QString *error)
{
    const QString path = workspacePath(workdir, cableTemplatePath(name));
    if (!readTwoColumnTemplate(path, t, error))
        return false;
    return checkColumns(path, CableAttenuation, t.rows, t.count,
                        {{&t.F, 0, MaxFrequency}, {&t.a, 1, 0}}, error);
}

bool readNoise(const QString &workdir, const QString &name, NoiseTemplate &t, QString *error)
{
    t = NoiseTemplate();
    if (name.isEmpty())
        return true; // no noise template chosen: no additive noise
    const QString path = workspacePath(workdir, noiseTemplatePath(name));
    if (!readTwoColumnTemplate(path, t, error))
        return false;
    return checkColumns(path, AdditiveNoise, t.rows, t.count,
                        {{&t.F, 0, MaxFrequency}, {&t.N, 1, 0}}, error);
}

bool readLineType(const QString &workdir, const QString &name, LineTypeTemplate &t,
                  QString *error)
{
    const QString path = workspacePath(workdir, lineTypeTemplatePath(name));
    if (lineTypeKind(name) == LineTypeDmt) {
        if (!readDmtTemplate(path, t, error))
            return false;
        return checkColumns(path, LineTypeDmt, t.rows, t.count,
                            {{&t.F, 0, MaxFrequency}, {&t.S, 1, 0}, {&t.Kmax, 2, 0, true}, {&t.N, 3, 0}},
                            error);
    }
    if (!readPamTemplate(path, t, error))
        return false;
    // Only the first row enters the model. Its K is held truncated, where NaN would read as 0.
    if (t.count > 0 && !t.Kread.isEmpty() && !std::isfinite(t.Kread.first()))
        return badValue(path, LineTypePam, t.rows.value(0), 0, notFinite(), error);
    return checkColumns(path, LineTypePam, t.rows, std::min(t.count, 1),
                        {{&t.P, 1, 0}, {&t.Rmin, 2, MaxRate}, {&t.Rmax, 3, MaxRate}, {&t.N, 4, 0}},
                        error);
}

enum class Family { None, LineTypes, Cables, Loads, Elfext, Next, Margins };

QString sweepFieldName(CalcInput::Field field)
{
    using CalcInput::Field;
    switch (field) {
    case Field::Cables: return localized("cable", "кабель");
    case Field::LineTypes: return localized("line type", "тип линии");
    case Field::Noise: return localized("noise", "помехи");
    case Field::Capacity: return localized("capacity", "емкость");
    case Field::Loads: return localized("load", "загрузка");
    case Field::Elfext: return QStringLiteral("ELFEXT");
    case Field::ElfextFrequency: return localized("ELFEXT frequency", "частота ELFEXT");
    case Field::Next: return QStringLiteral("NEXT");
    case Field::NextFrequency: return localized("NEXT frequency", "частота NEXT");
    case Field::LengthFrom: return localized("first length", "начальная длина");
    case Field::LengthTo: return localized("last length", "конечная длина");
    case Field::LengthStep: return localized("length step", "шаг длины");
    case Field::Margins: return QStringLiteral("SNR margin");
    case Field::Sections: return localized("cable sections", "участки кабеля");
    case Field::TargetRates: return localized("target rates", "целевые скорости");
    }
    return QString();
}

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

// A template that gives the model nothing to work with: the run goes on with rate 0 for it
// (or no noise), but the user is told.
class EmptyTemplates
{
public:
    void check(const QString &relative, int rows, int needed, bool noise)
    {
        if (rows >= needed || m_seen.contains(relative))
            return;
        m_seen << relative;
        if (noise)
            m_warnings << localized("%1 has no complete row; it adds no noise",
                                    "В шаблоне %1 нет ни одной полной строки; помехи не добавляются")
                              .arg(relative);
        else if (rows == 0)
            m_warnings << localized("%1 has no complete row; its rates are 0",
                                    "В шаблоне %1 нет ни одной полной строки; его скорости равны 0")
                              .arg(relative);
        else
            m_warnings << localized("%1 has only one complete row, a DMT template needs two; its rates are 0",
                                    "В шаблоне %1 только одна полная строка, а шаблону DMT нужны две; "
                                    "его скорости равны 0")
                              .arg(relative);
    }
    QStringList warnings() const { return m_warnings; }

private:
    QStringList m_seen;
    QStringList m_warnings;
};

QString rateLabel(const QString &value)
{
    return QStringLiteral("R,кбит/с\n") + value;
}

} // namespace

std::optional<SweepResult> runSweep(const CalcSettings &settings, const QString &workdir,
                                    QString *error, const SweepProgress &progress)
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
    if (!CalcInput::validate(settings, CalcInput::Checks::Run, sweepFieldName, error))
        return std::nullopt;

    Family family = Family::None;
    if (settings.lineTypes.size() > 1)
        family = Family::LineTypes;
    else if (settings.cableTypes.size() > 1)
        family = Family::Cables;
    else if (settings.xDSL_points.size() > 1)
        family = Family::Loads;
    else if (settings.Norm_ELFEXT_points.size() > 1)
        family = Family::Elfext;
    else if (settings.Norm_NEXT_points.size() > 1)
        family = Family::Next;
    else if (settings.SNRMargin_points.size() > 1)
        family = Family::Margins;

    // Every template is read and checked before anything is computed.
    QVector<CableTemplate> cables(family == Family::Cables ? settings.cableTypes.size() : 1);
    for (int j = 0; j < cables.size(); ++j)
        if (!readCable(workdir, settings.cableTypes.at(j), cables[j], error))
            return std::nullopt;
    QVector<LineTypeTemplate> lines(family == Family::LineTypes ? settings.lineTypes.size() : 1);
    for (int j = 0; j < lines.size(); ++j)
        if (!readLineType(workdir, settings.lineTypes.at(j), lines[j], error))
            return std::nullopt;
    NoiseTemplate noise;
    if (!readNoise(workdir, settings.noiseTemplate, noise, error))
        return std::nullopt;

    EmptyTemplates empty;
    for (int j = 0; j < cables.size(); ++j)
        empty.check(QStringLiteral("Cable/%1.att").arg(settings.cableTypes.at(j)), cables[j].count, 1, false);
    for (int j = 0; j < lines.size(); ++j)
        empty.check(QStringLiteral("xDSL/%1").arg(settings.lineTypes.at(j)), lines[j].count,
                    lines[j].kind == LineTypeDmt ? 2 : 1, false);
    if (!settings.noiseTemplate.isEmpty())
        empty.check(QStringLiteral("AddNoise/%1.add").arg(settings.noiseTemplate), noise.count, 1, true);

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

    const int m0 = settings.xDSL_points.first();
    const float E0 = settings.Norm_ELFEXT_points.first();
    const float X0 = settings.Norm_NEXT_points.first();
    const float margin0 = settings.SNRMargin_points.first();
    const float fX = settings.norm_NEXT_frequency;
    const float fE = settings.norm_ELFEXT_frequency;

    SweepResult result;
    result.warnings = empty.warnings();
    int curves = 1;
    QVector<QVector<float>> rates; // per curve, per length

    if (family == Family::LineTypes || family == Family::Cables) {
        curves = family == Family::LineTypes ? lines.size() : cables.size();
        for (int j = 0; j < curves; ++j) {
            const QString name = family == Family::LineTypes ? settings.lineTypes.at(j)
                                                             : settings.cableTypes.at(j);
            if (progress.begin)
                progress.begin(name);
            const LineRateModel model(family == Family::Cables ? cables[j] : cables[0],
                                      family == Family::LineTypes ? lines[j] : lines[0], noise, fX,
                                      fE);
            RateSweep sweep(model, m0, E0, X0, {margin0});
            sweep.setCancelFlag(progress.cancel);
            QVector<float> curve(lengths.size());
            for (int k = 0; k < lengths.size(); ++k) {
                if (cancelled())
                    return refuseCancelled();
                if (progress.step)
                    progress.step(progressValue(k));
                sweep.evaluate(lengths[k], &curve[k]);
            }
            if (cancelled())
                return refuseCancelled();
            rates << curve;
            result.labels << (family == Family::LineTypes
                                  ? rateLabel(name)
                                  : rateLabel(QStringLiteral("кабель %1").arg(name)));
            if (progress.end)
                progress.end();
        }
    } else {
        if (progress.begin)
            progress.begin(settings.cableTypes.first());
        const LineRateModel model(cables[0], lines[0], noise, fX, fE);
        std::vector<std::unique_ptr<RateSweep>> sweeps;
        switch (family) {
        case Family::Loads:
            for (int m : settings.xDSL_points) {
                sweeps.push_back(std::make_unique<RateSweep>(model, m, E0, X0, QVector<float>{margin0}));
                result.labels << rateLabel(QStringLiteral("m=%1").arg(m));
            }
            break;
        case Family::Elfext:
            for (float E : settings.Norm_ELFEXT_points) {
                sweeps.push_back(std::make_unique<RateSweep>(model, m0, E, X0, QVector<float>{margin0}));
                result.labels << rateLabel(QStringLiteral("ELFEXT=%1дБ").arg(double(E), 0, 'g', -1));
            }
            break;
        case Family::Next:
            for (float X : settings.Norm_NEXT_points) {
                sweeps.push_back(std::make_unique<RateSweep>(model, m0, E0, X, QVector<float>{margin0}));
                result.labels << rateLabel(QStringLiteral("NEXT=%1дБ").arg(double(X), 0, 'g', -1));
            }
            break;
        case Family::Margins:
            // One sweep for every margin: they share the spectra and the SNR of each tone.
            sweeps.push_back(std::make_unique<RateSweep>(model, m0, E0, X0, settings.SNRMargin_points));
            for (float margin : settings.SNRMargin_points)
                result.labels << rateLabel(QStringLiteral("SNR Margin=%1дБ").arg(double(margin), 0, 'g', -1));
            break;
        default:
            sweeps.push_back(std::make_unique<RateSweep>(model, m0, E0, X0, QVector<float>{margin0}));
            result.labels << rateLabel(QStringLiteral("m=%1").arg(m0));
            break;
        }
        curves = result.labels.size();
        rates.fill(QVector<float>(lengths.size()), curves);
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
