// Turns the readable sample sources into binary template files.
//
//   kolvane-mktemplates SOURCES OUTPUT
//
// SOURCES holds Cable/, xDSL/ and AddNoise/ with one text file per template, named after the
// template file it becomes plus ".csv" (Cable/PE-0.40mm-26AWG.att.csv -> Cable/PE-0.40mm-26AWG.att).
// Each non-empty line that does not start with '#' is one table row, its cells separated by ';'.
// Values pass through single precision, as the template editor stores them, so a file written
// here reads back in the editor exactly as the source shows it.

#include "engine/templatefile.h"
#include "engine/templatekind.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

void complain(const QString &message)
{
    std::fprintf(stderr, "kolvane-mktemplates: %s\n", qPrintable(message));
}

std::optional<TemplateKind> kindOf(const QString &directory, const QString &target)
{
    const TemplateKind kinds[] = {CableAttenuation, LineTypeDmt, LineTypePam, AdditiveNoise};
    for (TemplateKind kind : kinds) {
        if (templateDirectory(kind) == directory && target.endsWith(templateExtension(kind)))
            return kind;
    }
    return std::nullopt;
}

bool parseSource(const QString &path, int columns, QVector<TemplateCell> *cells)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        complain(QStringLiteral("%1: %2").arg(path, file.errorString()));
        return false;
    }
    QTextStream in(&file);
    int lineNumber = 0;
    qint16 row = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() != columns) {
            complain(QStringLiteral("%1:%2: %3 values, expected %4")
                         .arg(path).arg(lineNumber).arg(fields.size()).arg(columns));
            return false;
        }
        if (row == 32767) {
            complain(QStringLiteral("%1:%2: too many rows").arg(path).arg(lineNumber));
            return false;
        }
        for (int column = 0; column < columns; ++column) {
            bool ok = false;
            const double value = fields.at(column).trimmed().toDouble(&ok);
            const float narrowed = float(value);
            if (!ok || !std::isfinite(narrowed)) {
                complain(QStringLiteral("%1:%2: \"%3\" is not a number")
                             .arg(path).arg(lineNumber).arg(fields.at(column).trimmed()));
                return false;
            }
            cells->append({row, qint16(column), double(narrowed)});
        }
        ++row;
    }
    return true;
}

bool convertDirectory(const QDir &sources, const QDir &output, const QString &directory)
{
    const QDir from(sources.filePath(directory));
    if (!from.exists())
        return true;
    if (!output.mkpath(directory)) {
        complain(QStringLiteral("%1: cannot create the directory").arg(output.filePath(directory)));
        return false;
    }
    const QDir to(output.filePath(directory));
    const QStringList names = from.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    bool ok = true;
    for (const QString &name : names) {
        const QString target = name.chopped(4);
        const std::optional<TemplateKind> kind = kindOf(directory, target);
        if (!kind) {
            complain(QStringLiteral("%1: no template kind has this extension in %2")
                         .arg(from.filePath(name), directory));
            ok = false;
            continue;
        }
        QVector<TemplateCell> cells;
        if (!parseSource(from.filePath(name), templateColumnCount(*kind), &cells)) {
            ok = false;
            continue;
        }
        QString error;
        if (!writeTemplateCells(to.filePath(target), cells, &error)) {
            complain(QStringLiteral("%1: %2").arg(to.filePath(target), error));
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: kolvane-mktemplates SOURCES OUTPUT\n");
        return 2;
    }
    const QDir sources(args.at(1));
    if (!sources.exists()) {
        complain(QStringLiteral("%1: no such directory").arg(args.at(1)));
        return 2;
    }
    QDir output(args.at(2));
    if (!output.exists() && !QDir().mkpath(args.at(2))) {
        complain(QStringLiteral("%1: cannot create the directory").arg(args.at(2)));
        return 1;
    }
    bool ok = true;
    for (const QString &directory : {QStringLiteral("Cable"), QStringLiteral("xDSL"),
                                     QStringLiteral("AddNoise")})
        ok = convertDirectory(sources, output, directory) && ok;
    return ok ? 0 : 1;
}
