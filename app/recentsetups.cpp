#include "app/recentsetups.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString Key = QStringLiteral("recentSetups");

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kolvane"), QStringLiteral("kolvane"));
}

} // namespace

QStringList RecentSetups::paths()
{
    return store().value(Key).toStringList().mid(0, Size);
}

void RecentSetups::add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = paths();
    list.removeAll(absolute);
    list.prepend(absolute);
    store().setValue(Key, list.mid(0, Size));
}

void RecentSetups::remove(const QString &path)
{
    QStringList list = paths();
    list.removeAll(QFileInfo(path).absoluteFilePath());
    store().setValue(Key, list);
}
