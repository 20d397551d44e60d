#include "engine/linespectrum.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/curveset.h"
#include "engine/messages.h"
#include "engine/sweep.h"

#include <QTextStream>

std::optional<LineSpectrum> traceCurve(const CalcSettings &settings, const QString &workdir, int curve,
                                       int length, QString *error)
{
    const auto refuse = [error](const QString &message) -> std::optional<LineSpectrum> {
        fail(error, message);
        return std::nullopt;
    };
    if (!CalcInput::validate(settings, CalcInput::Checks::Run, runFieldName, error))
        return std::nullopt;
    if (!CalcInput::Length.contains(length))
        return refuse(localized("The length %1 m is outside %2..%3 m", "Длина %1 м вне диапазона %2..%3 м")
                          .arg(QString::number(length), QString::number(CalcInput::Length.min),
                               QString::number(CalcInput::Length.max)));
    // Shorter than its fixed sections, the loop cannot be built.
    const qint64 sections = CalcInput::sectionsTotal(settings.sections);
    if (length < sections)
        return refuse(localized("The length %1 m is below the sections' total of %2 m",
                                "Длина %1 м меньше суммы длин участков (%2 м)")
                          .arg(QString::number(length), QString::number(sections)));

    const std::optional<CurveSet> set = CurveSet::load(settings, workdir, error);
    if (!set)
        return std::nullopt;
    if (curve < 0 || curve >= set->curves().size())
        return refuse(localized("There is no curve %1; the record has %2",
                                "Кривой %1 нет; в расчёте их %2")
                          .arg(QString::number(curve + 1), QString::number(set->curves().size())));

    const CurveSet::Curve &c = set->curves().at(curve);
    const LineRateModel &model = set->model(c.model);
    LineSpectrum out;
    out.curve = c.name;
    out.lineType = set->family() == CurveSet::Family::LineTypes ? settings.lineTypes.at(curve)
                                                                : settings.lineTypes.first();
    out.cable = set->family() == CurveSet::Family::Cables ? settings.cableTypes.at(curve)
                                                          : settings.cableTypes.first();
    out.sections = CalcInput::sectionsSummary(settings.sections);
    out.noise = settings.noiseTemplate;
    out.m = c.m;
    out.elfextNorm = c.elfextNorm;
    out.nextNorm = c.nextNorm;
    out.margin = c.margin;
    out.length = length;
    out.dmt = model.isDmt();
    out.trace = model.trace(c.m, c.elfextNorm, c.nextNorm, c.margin, float(length));
    out.warnings = set->warnings();
    if (out.dmt)
        out.measuredSnr = Measured::linkedSnr(workdir, out.cable);
    return out;
}

QStringList traceColumns(bool dmt, bool measured)
{
    if (dmt) {
        QStringList columns{QStringLiteral("F,кГц"), QStringLiteral("S,дБм/Гц"), QStringLiteral("A,дБ"),
                            QStringLiteral("U,дБм/Гц"), QStringLiteral("SNR,дБ"), QStringLiteral("b")};
        if (measured)
            columns << QStringLiteral("SNRизм,дБ");
        return columns;
    }
    return {QStringLiteral("R,кбит/с"), QStringLiteral("fN,кГц"), QStringLiteral("SNR,дБ"),
            QStringLiteral("T,дБ")};
}

int loadedTones(const LineTrace &trace)
{
    int n = 0;
    for (const ToneTrace &t : trace.tones)
        n += t.bits > 0;
    return n;
}

void writeTraceCsv(QTextStream &out, const LineTrace &trace, bool dmt, const Measured::Series *measured)
{
    measured = dmt ? measured : nullptr;
    for (const QString &caption : traceColumns(dmt, measured))
        out << caption << ';';
    out << '\n';
    if (dmt) {
        for (const ToneTrace &t : trace.tones) {
            out << t.f << ';' << t.S << ';' << t.A << ';' << t.U << ';' << t.snr << ';' << t.bits << ';';
            if (measured) {
                if (const std::optional<double> snr = measured->valueAtFrequency(t.f))
                    out << *snr;
                out << ';';
            }
            out << '\n';
        }
        return;
    }
    for (const CandidateTrace &c : trace.candidates)
        out << c.rate << ';' << c.bandEdge << ';' << c.snr << ';' << c.threshold << ";\n";
}

ContentWriter traceCsvContent(const LineTrace &trace, bool dmt, const Measured::Series *measured)
{
    std::optional<Measured::Series> kept;
    if (measured)
        kept = *measured;
    return textContent([trace, dmt, kept](QTextStream &out) { writeTraceCsv(out, trace, dmt, kept ? &*kept : nullptr); });
}
