#include "widgets/savedialog.h"

#include "engine/translate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

KOLVANE_TR_CONTEXT("SaveFile")

} // namespace

QString askSaveFileName(QWidget *parent, const QString &caption, const QString &proposed,
                        const QVector<SaveFormat> &formats, int *format)
{
    QStringList filters;
    for (const SaveFormat &f : formats)
        filters << f.filter;
    // Choosing a filter in the dialog replaces what follows the last dot of the proposed name:
    // with one filter there is nothing to choose, and the name must stay as proposed.
    QString filter = filters.value(0);
    const QString chosen = QFileDialog::getSaveFileName(parent, caption, proposed, filters.join(QStringLiteral(";;")),
                                                        formats.size() > 1 ? &filter : nullptr);
    if (chosen.isEmpty())
        return QString();
    const int index = std::max(0, int(filters.indexOf(filter)));
    if (format)
        *format = index;
    for (const SaveFormat &f : formats) {
        if (chosen.endsWith(f.extension, f.extensionCase))
            return chosen;
    }
    if (formats.isEmpty())
        return chosen;
    const QString path = chosen + formats.at(index).extension;
    if (QFileInfo::exists(path)
        && QMessageBox::question(parent, tr("Kolvane"),
                                 tr("Файл %1 уже существует.\nЗаменить его?").arg(QDir::toNativeSeparators(path)),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return QString();
    return path;
}

void showNotSaved(QWidget *parent, const QString &path, const QString &error)
{
    QMessageBox::warning(parent, tr("Kolvane"),
                         tr("Не удалось сохранить файл %1:\n%2").arg(QDir::toNativeSeparators(path), error));
}
