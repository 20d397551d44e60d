#pragma once

// Template records written as the workspace's files, so that a test can hand an in-memory
// workspace (random or made by hand) to code that reads templates from disk.

#include "engine/templatefile.h"

#include <QDir>
#include <QFileInfo>
#include <QVector>

namespace test {

inline bool writeRows(const QString &path, const QVector<QVector<double>> &rows)
{
    QVector<TemplateCell> cells;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            cells.append({qint16(r), qint16(c), rows[r][c]});
    return QDir().mkpath(QFileInfo(path).path()) && writeTemplateCells(path, cells);
}

// Under `workspace`: Cable/<name>.att, AddNoise/<name>.add, xDSL/<file>.
inline bool writeCable(const QString &workspace, const QString &name, const CableTemplate &t)
{
    QVector<QVector<double>> rows;
    for (int i = 0; i < t.count; ++i)
        rows << QVector<double>{t.F[i], t.a[i]};
    return writeRows(QDir(workspace).filePath(QStringLiteral("Cable/%1.att").arg(name)), rows);
}

inline bool writeNoise(const QString &workspace, const QString &name, const NoiseTemplate &t)
{
    QVector<QVector<double>> rows;
    for (int i = 0; i < t.count; ++i)
        rows << QVector<double>{t.F[i], t.N[i]};
    return writeRows(QDir(workspace).filePath(QStringLiteral("AddNoise/%1.add").arg(name)), rows);
}

inline bool writeLineType(const QString &workspace, const QString &fileName, const LineTypeTemplate &t)
{
    QVector<QVector<double>> rows;
    for (int i = 0; i < t.count; ++i) {
        if (t.kind == LineTypeDmt)
            rows << QVector<double>{t.F[i], t.S[i], t.Kmax[i], t.N[i]};
        else
            rows << QVector<double>{double(t.K[i]), t.P[i], t.Rmin[i], t.Rmax[i], t.N[i]};
    }
    return writeRows(QDir(workspace).filePath(QStringLiteral("xDSL/%1").arg(fileName)), rows);
}

} // namespace test
