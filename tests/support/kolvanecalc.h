#pragma once

// kolvane-calc as a user runs it: the built program (KOLVANE_CALC) through QProcess, and the
// files it reads and writes.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace test {

struct Run {
    int code = -1; // -1: it did not finish normally
    QByteArray out;
    QByteArray err;
};

inline Run finished(QProcess &p)
{
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline Run calc(const QStringList &args, const QString &cwd = QString(), const QString &stdoutFile = QString())
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.start(QStringLiteral(KOLVANE_CALC), args);
    return finished(p);
}

// With `input` on its standard input.
inline Run calc(const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.start(QStringLiteral(KOLVANE_CALC), args);
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    return finished(p);
}

inline QByteArray fileContents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace test
