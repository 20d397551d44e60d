#include "engine/curveset.h"

#include "engine/checks.h"
#include "engine/messages.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QDir>

#include <cmath>

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

} // namespace

bool loadCableTemplate(const QString &workdir, const QString &name, CableTemplate &record, QString *error)
{
    return readCable(workdir, name, record, error);
}

bool loadLineTypeTemplate(const QString &workdir, const QString &fileName, LineTypeTemplate &record,
                          QString *error)
{
    return readLineType(workdir, fileName, record, error);
}

bool loadNoiseTemplate(const QString &workdir, const QString &name, NoiseTemplate &record, QString *error)
{
    return readNoise(workdir, name, record, error);
}

void EmptyTemplates::check(const QString &relative, int rows, int needed, bool noise)
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

void EmptyTemplates::check(const CableTemplate &record, const QString &name)
{
    check(cableTemplatePath(name), record.count, 1, false);
}

void EmptyTemplates::check(const LineTypeTemplate &record, const QString &fileName)
{
    const QString relative = lineTypeTemplatePath(fileName);
    check(relative, record.count, record.kind == LineTypeDmt ? 2 : 1, false);
    if (record.kind != LineTypePam || record.count < 1 || m_seen.contains(relative))
        return;
    // A PAM row the search can do nothing with: no bits per symbol, or no rate to try.
    QString problem;
    if (record.K.value(0) < 1)
        problem = localized("%1 has K below 1 bit per symbol; its rates are 0",
                            "В шаблоне %1 K меньше 1 бита на символ; его скорости равны 0");
    else if (!(double(record.Rmax.value(0)) > double(record.Rmin.value(0)) - 32.0))
        problem = localized("%1 has Rmax below Rmin, no rate to try; its rates are 0",
                            "В шаблоне %1 Rmax меньше Rmin, пробовать нечего; его скорости равны 0");
    if (!problem.isEmpty()) {
        m_seen << relative;
        m_warnings << problem.arg(relative);
    }
}

void EmptyTemplates::check(const NoiseTemplate &record, const QString &name)
{
    if (!name.isEmpty())
        check(noiseTemplatePath(name), record.count, 1, true);
}

QString rateLabel(const QString &value)
{
    return QStringLiteral("R,кбит/с\n") + value;
}

QStringList CurveSet::names() const
{
    QStringList out;
    for (const Curve &curve : m_curves)
        out << curve.name;
    return out;
}

ModelOptions modelOptions(const CalcSettings &settings)
{
    ModelOptions options;
    options.codingGain = settings.codingGain;
    options.vectoring = settings.vectoring;
    options.alienDisturbers = settings.alienDisturbers;
    return options;
}

std::optional<CurveSet> CurveSet::load(const CalcSettings &settings, const QString &workdir, QString *error)
{
    CurveSet set;
    Family &family = set.m_family;
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
    EmptyTemplates empty;
    QVector<CableTemplate> cables(family == Family::Cables ? settings.cableTypes.size() : 1);
    for (int j = 0; j < cables.size(); ++j) {
        if (!readCable(workdir, settings.cableTypes.at(j), cables[j], error))
            return std::nullopt;
        empty.check(cables[j], settings.cableTypes.at(j));
    }
    QVector<LoopSection> sections;
    for (const CableSection &section : settings.sections) {
        LoopSection loop;
        loop.length = section.length;
        if (!readCable(workdir, section.cable, loop.cable, error))
            return std::nullopt;
        empty.check(loop.cable, section.cable);
        sections << loop;
    }
    QVector<LineTypeTemplate> lines(family == Family::LineTypes ? settings.lineTypes.size() : 1);
    for (int j = 0; j < lines.size(); ++j) {
        if (!readLineType(workdir, settings.lineTypes.at(j), lines[j], error))
            return std::nullopt;
        empty.check(lines[j], settings.lineTypes.at(j));
    }
    NoiseTemplate noise;
    if (!readNoise(workdir, settings.noiseTemplate, noise, error))
        return std::nullopt;
    empty.check(noise, settings.noiseTemplate);
    set.m_warnings = empty.warnings();
    set.m_sections = sections;
    set.m_options = modelOptions(settings);

    const float fX = settings.norm_NEXT_frequency;
    const float fE = settings.norm_ELFEXT_frequency;
    Curve base;
    base.m = settings.xDSL_points.first();
    base.elfextNorm = settings.Norm_ELFEXT_points.first();
    base.nextNorm = settings.Norm_NEXT_points.first();
    base.margin = settings.SNRMargin_points.first();
    const auto add = [&set](Curve curve, const QString &name) {
        curve.name = name;
        curve.label = rateLabel(name);
        set.m_curves << curve;
    };
    const auto number = [](float v) { return QStringLiteral("%1").arg(double(v), 0, 'g', -1); };

    if (family == Family::LineTypes || family == Family::Cables) {
        const int count = family == Family::LineTypes ? lines.size() : cables.size();
        for (int j = 0; j < count; ++j) {
            const CableTemplate &cable = family == Family::Cables ? cables[j] : cables[0];
            set.m_models.push_back(std::make_shared<const LineRateModel>(
                cable, family == Family::LineTypes ? lines[j] : lines[0], noise, fX, fE, sections));
            set.m_cables << cable;
            Curve curve = base;
            curve.model = j;
            add(curve, family == Family::LineTypes ? settings.lineTypes.at(j)
                                                   : QStringLiteral("кабель %1").arg(settings.cableTypes.at(j)));
        }
        return set;
    }
    set.m_models.push_back(std::make_shared<const LineRateModel>(cables[0], lines[0], noise, fX, fE, sections));
    set.m_cables << cables[0];
    switch (family) {
    case Family::Loads:
        for (int m : settings.xDSL_points) {
            Curve curve = base;
            curve.m = m;
            add(curve, QStringLiteral("m=%1").arg(m));
        }
        break;
    case Family::Elfext:
        for (float E : settings.Norm_ELFEXT_points) {
            Curve curve = base;
            curve.elfextNorm = E;
            add(curve, QStringLiteral("ELFEXT=%1дБ").arg(number(E)));
        }
        break;
    case Family::Next:
        for (float X : settings.Norm_NEXT_points) {
            Curve curve = base;
            curve.nextNorm = X;
            add(curve, QStringLiteral("NEXT=%1дБ").arg(number(X)));
        }
        break;
    case Family::Margins:
        for (float margin : settings.SNRMargin_points) {
            Curve curve = base;
            curve.margin = margin;
            add(curve, QStringLiteral("SNR Margin=%1дБ").arg(number(margin)));
        }
        break;
    default:
        add(base, QStringLiteral("m=%1").arg(base.m));
        break;
    }
    return set;
}
