#pragma once

// A small file system with no byte left, for writes that must fail for want of space. Mounting
// needs root: elsewhere available() is false and the test skips with why().

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

class FullDisk
{
public:
    FullDisk()
    {
        if (::geteuid() != 0) {
            m_why = QStringLiteral("mounting a small file system needs root");
            return;
        }
        if (!m_dir.isValid()
            || QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  QStringLiteral("size=256k,mode=0755"), QStringLiteral("kolvane-test"),
                                  m_dir.path()})
                   != 0) {
            m_why = QStringLiteral("mount -t tmpfs failed");
            return;
        }
        m_mounted = true;
    }

    ~FullDisk()
    {
        if (m_mounted
            && QProcess::execute(QStringLiteral("umount"), {m_dir.path()}) != 0)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }

    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool available() const { return m_mounted; }
    QString why() const { return m_why; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    // Takes the space that is left with a file of its own, down to the last byte.
    bool fill()
    {
        QFile filler(filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
        return true;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};
