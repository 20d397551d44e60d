#pragma once

// Part of a test run with the permissions of an ordinary user, for files that are there but
// may not be read. As root the effective user becomes nobody while the object lives (root stays
// the saved user and comes back); an ordinary user is already what is needed. Paths the test
// uses must be reachable for nobody (a QTemporaryDir is private to its owner: open it up).

#include <QFile>
#include <QString>

#include <sys/types.h>
#include <unistd.h>

class OrdinaryUser
{
public:
    OrdinaryUser()
    {
        if (::geteuid() == 0)
            m_switched = ::setegid(Nobody) == 0 && ::seteuid(Nobody) == 0;
    }
    ~OrdinaryUser()
    {
        if (m_switched) {
            if (::seteuid(0) != 0 || ::setegid(0) != 0)
                qFatal("cannot return to root");
        }
    }
    OrdinaryUser(const OrdinaryUser &) = delete;
    OrdinaryUser &operator=(const OrdinaryUser &) = delete;

    // False when permissions would not apply (still root).
    bool active() const { return ::geteuid() != 0; }

    // Lets nobody reach (not write) a directory a test made as root.
    static bool openUp(const QString &directory)
    {
        return QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                    | QFile::ReadGroup | QFile::ExeGroup
                                                    | QFile::ReadOther | QFile::ExeOther);
    }

private:
    static constexpr uid_t Nobody = 65534;
    bool m_switched = false;
};
