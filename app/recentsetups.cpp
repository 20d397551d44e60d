#include "app/recentsetups.h"

#include "app/usersettings.h"

#include <QFileInfo>

namespace {

const QString Key = QStringLiteral("recentSetups");

} // namespace

QStringList RecentSetups::paths()
{
    return userSettings().value(Key).toStringList().mid(0, Size);
}

void RecentSetups::add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = paths();
    list.removeAll(absolute);
    list.prepend(absolute);
    userSettings().setValue(Key, list.mid(0, Size));
}

void RecentSetups::remove(const QString &path)
{
    QStringList list = paths();
    list.removeAll(QFileInfo(path).absoluteFilePath());
    userSettings().setValue(Key, list);
}
