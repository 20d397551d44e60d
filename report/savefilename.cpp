#include "report/savefilename.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

QString completeSaveName(QWidget *parent, const QString &chosen, const QString &extension)
{
    if (chosen.isEmpty() || chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    const QString path = chosen + extension;
    if (QFileInfo::exists(path)
        && QMessageBox::question(parent, QCoreApplication::translate("SaveFile", "Kolvane"),
                                 QCoreApplication::translate("SaveFile", "Файл %1 уже существует.\nЗаменить его?")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return QString();
    return path;
}
