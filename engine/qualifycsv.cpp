#include "engine/qualifycsv.h"

#include <QIODevice>
#include <QTextStream>

#include <cstring>

namespace {

// Output goes out in blocks of about this size, and after every chunk of loops.
constexpr qsizetype OutputBlock = 1 << 20;

// A margin's place among the texts kept: Below, Above, then the searched range; -1 outside it.
int marginIndex(const MarginAtRate &margin)
{
    switch (margin.kind) {
    case MarginAtRate::Below: return 0;
    case MarginAtRate::Above: return 1;
    case MarginAtRate::Value: break;
    }
    if (margin.tenths < LowestMarginTenths || margin.tenths > HighestMarginTenths)
        return -1;
    return 2 + margin.tenths - LowestMarginTenths;
}

// "-12", "+3.5", "-0,25": a spreadsheet reads these as numbers, never as formulas.
bool isNumber(QByteArrayView text)
{
    qsizetype i = text.startsWith('+') || text.startsWith('-') ? 1 : 0;
    qsizetype digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c >= '0' && c <= '9')
            ++digits;
        else if ((c == '.' || c == ',') && !point)
            point = true;
        else
            return false;
    }
    return digits > 0;
}

} // namespace

QualifyWriter::QualifyWriter(const QualifySettings &settings)
    : m_settings(settings), m_margins(HighestMarginTenths - LowestMarginTenths + 3)
{
    m_header = headers(settings).join(QLatin1Char(';')).toUtf8() + ";\n";
}

QStringList QualifyWriter::headers(const QualifySettings &settings)
{
    QStringList out{QStringLiteral("id")};
    const bool targets = !settings.targets.isEmpty();
    for (const QString &line : settings.conditions.lineTypes) {
        out << QStringLiteral("R,кбит/с %1").arg(line);
        if (targets)
            out << QStringLiteral("SNR Margin,дБ %1").arg(line) << QStringLiteral("Годна %1").arg(line);
    }
    out << QStringLiteral("Ошибка");
    return out;
}

QByteArray QualifyWriter::header() const
{
    return m_header;
}

QByteArray QualifyWriter::rateText(float rate)
{
    quint32 bits;
    std::memcpy(&bits, &rate, sizeof bits);
    auto it = m_rates.constFind(bits);
    if (it != m_rates.constEnd())
        return *it;
    if (m_rates.size() > 65536)
        m_rates.clear();
    // Exactly as the result table's CSV writes a float.
    QByteArray out;
    QTextStream stream(&out);
    stream << rate;
    stream.flush();
    m_rates.insert(bits, out);
    return out;
}

QByteArray QualifyWriter::marginField(const MarginAtRate &margin)
{
    const int index = marginIndex(margin);
    if (index < 0)
        return marginText(margin).toUtf8();
    QByteArray &cached = m_margins[index];
    if (cached.isEmpty())
        cached = marginText(margin).toUtf8();
    return cached;
}

bool QualifyWriter::qualifies(int service, float rate) const
{
    return service < m_settings.targets.size() && carriesTarget(rate, m_settings.targets.at(service));
}

QByteArray QualifyWriter::verdictText(bool qualifies)
{
    return qualifies ? QByteArrayLiteral("да") : QByteArrayLiteral("нет");
}

QByteArray QualifyWriter::problemField(const QString &reason)
{
    // A reason may quote a name as the loop line wrote it: its control characters go, as in ids.
    QString text = reason;
    for (QChar &c : text) {
        if (c == QLatin1Char(';'))
            c = QLatin1Char(',');
        else if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    return textField(text.toUtf8());
}

QByteArray QualifyWriter::textField(QByteArrayView text)
{
    const char first = text.isEmpty() ? '\0' : text.front();
    if ((first != '=' && first != '+' && first != '-' && first != '@') || isNumber(text))
        return text.toByteArray();
    return '\'' + text.toByteArray();
}

void QualifyWriter::append(QByteArray &out, const QualifiedLoop &loop, const ServiceResult *results,
                           const LoopProblem *problem)
{
    if (problem)
        appendRefused(out, loop.id, problem->russian);
    else
        appendLoop(out, loop.id, results);
}

void QualifyWriter::appendRefused(QByteArray &out, QByteArrayView id, const QString &reason) const
{
    out += textField(id);
    out += ';';
    const int services = m_settings.services();
    const bool targets = !m_settings.targets.isEmpty();
    for (int s = 0; s < services; ++s)
        out += targets ? ";;;" : ";";
    out += problemField(reason);
    out += ";\n";
}

void QualifyWriter::appendLoop(QByteArray &out, QByteArrayView id, const ServiceResult *results)
{
    out += textField(id);
    out += ';';
    const int services = m_settings.services();
    const bool targets = !m_settings.targets.isEmpty();
    for (int s = 0; s < services; ++s) {
        const ServiceResult &r = results[s];
        out += rateText(r.rate);
        out += ';';
        if (targets) {
            out += marginField(r.margin);
            out += ';';
            out += verdictText(qualifies(s, r.rate));
            out += ';';
        }
    }
    out += ";\n";
}

bool streamQualification(PlantQualifier &qualifier, QIODevice &input, QIODevice &out,
                         QualifyStreamOutcome *outcome, const QualifyOptions &options,
                         const std::function<void(const QualifyChunk &)> &chunkDone)
{
    *outcome = QualifyStreamOutcome();
    QualifyWriter writer(qualifier.settings());
    const int services = qualifier.services();
    QByteArray block = writer.header();
    const auto put = [&] {
        if (out.write(block) != block.size()) {
            outcome->writeFailed = true;
            return false;
        }
        block.clear();
        return true;
    };
    const bool ran = qualifier.run(
        input,
        [&](const QualifyChunk &chunk) {
            for (qsizetype i = 0; i < chunk.loops.size(); ++i) {
                const QualifiedLoop &loop = chunk.loops.at(i);
                const LoopProblem *problem = loop.problem >= 0 ? &chunk.problems.at(loop.problem) : nullptr;
                writer.append(block, loop, chunk.results.constData() + i * services, problem);
                if (block.size() >= OutputBlock && !put())
                    return false;
            }
            outcome->loops += chunk.loops.size();
            outcome->refused += chunk.problems.size();
            if (!put())
                return false;
            if (chunkDone)
                chunkDone(chunk);
            return true;
        },
        &outcome->error, options);
    return ran && put();
}
