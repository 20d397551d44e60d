#pragma once

// Building and reading template files independently of the code under test.

#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QVector>
#include <QtEndian>
#include <QtTest>

#include <cstring>

struct RawCell {
    qint16 row;
    qint16 column;
    double value;
};

// 12 bytes a cell: row and column as big-endian 16-bit, the value as a big-endian double.
inline QByteArray cellBytes(const QVector<RawCell> &cells)
{
    QByteArray bytes;
    for (const RawCell &cell : cells) {
        char buffer[12];
        qToBigEndian<qint16>(cell.row, buffer);
        qToBigEndian<qint16>(cell.column, buffer + 2);
        quint64 bits;
        std::memcpy(&bits, &cell.value, sizeof bits);
        qToBigEndian<quint64>(bits, buffer + 4);
        bytes.append(buffer, sizeof buffer);
    }
    return bytes;
}

// Cells of `rows` complete rows with distinct float values, row by row.
inline QVector<RawCell> fullRows(int rows, int columns)
{
    QVector<RawCell> cells;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            cells.append({qint16(r), qint16(c), double(float(r * 10 + c + 0.25 * c))});
    return cells;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// Opens a cell's editor with F2 and replaces its text, leaving the editor open: typed but not
// yet confirmed, as when the user goes straight to a command.
inline void beginTypingIntoCell(QTableWidget *table, int row, int column, const QString &text,
                                QLineEdit **opened = nullptr)
{
    table->setCurrentCell(row, column);
    QTest::keyClick(table, Qt::Key_F2);
    QLineEdit *editor = nullptr;
    // A committed editor is only deleted later: take the one that is open now.
    const QList<QLineEdit *> editors = table->viewport()->findChildren<QLineEdit *>();
    for (QLineEdit *candidate : editors)
        if (candidate->isVisible())
            editor = candidate;
    QVERIFY2(editor, "no cell editor opened");
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClicks(editor, text);
    if (opened)
        *opened = editor;
}

// Types into a cell the way a user does: F2, replace the text, Return.
inline void typeIntoCell(QTableWidget *table, int row, int column, const QString &text)
{
    QLineEdit *editor = nullptr;
    beginTypingIntoCell(table, row, column, text, &editor);
    if (!editor)
        return;
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits a Return through a queued call.
    QCoreApplication::processEvents();
}
