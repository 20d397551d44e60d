#pragma once

#include <QString>
#include <QStringList>

// The setup files last opened or saved, newest first, kept between sessions in the user's settings.
class RecentSetups
{
public:
    static constexpr int Size = 5;

    static QStringList paths();
    // Moves `path` (made absolute) to the front; the oldest beyond Size go.
    static void add(const QString &path);
    static void remove(const QString &path);
};
