#pragma once

#include <QString>
#include <QVector>
#include <Qt>

class QWidget;

// A kind of file a save dialog offers: its filter ("Файлы pdf(*.pdf)") and the extension a
// name gets when it ends in none of the offered ones (".pdf").
struct SaveFormat {
    QString filter;
    QString extension;
    // Template kinds are told apart by the exact case of their extension (".DMT").
    Qt::CaseSensitivity extensionCase = Qt::CaseInsensitive;
};

// Asks where to save, the same way for every file the GUI writes. The dialog opens at
// `proposed` (a file name or a directory) with the formats' filters. A chosen name that ends in
// none of their extensions gets the extension of the chosen filter: names hold dots ("ТПП 0.4",
// "SNR Margin=1.5дБ"), so the dialog cannot tell that it is missing. A file that the completed
// name would replace is asked about, since the dialog asked about the name as typed.
// "" when the user cancels or declines; *format receives the index of the chosen format.
QString askSaveFileName(QWidget *parent, const QString &caption, const QString &proposed,
                        const QVector<SaveFormat> &formats, int *format = nullptr);

// The one message that a file could not be written: names the file and the reason.
void showNotSaved(QWidget *parent, const QString &path, const QString &error);
