#pragma once

#include "engine/templatefile.h"
#include "engine/templatekind.h"

#include <QString>
#include <QTableWidget>
#include <QVariant>

class QUndoStack;

// The table of one template file: one cell per stored (row, column, value) record, a modified
// mark " *" in the window title while the table differs from its file. Typing, pasting and the
// row commands are steps of an undo history; undoing back to the saved state clears the mark.
class TemplatesTableWidget : public QTableWidget
{
    Q_OBJECT
public:
    explicit TemplatesTableWidget(QWidget *parent = nullptr);

    // Column count and header captions of the kind.
    void setTemplateKind(TemplateKind kind);
    TemplateKind templateKind() const { return m_kind; }
    static QStringList columnCaptions(TemplateKind kind);

    // Path relative to the working directory, e.g. "Cable/x.att"; the title follows it.
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString &path);

    bool isModified() const { return m_modified; }
    // True: the table differs from its file, whatever the history says. False: it equals the
    // file, and this is the state that undoing or redoing back to clears the mark at.
    void setModified(bool value);

    // The most rows a template may need to be opened: beyond it the table would eat the memory.
    static constexpr int MaxRows = 10000;

    // Replaces the table's contents by the file's cells; the table grows to the rows they fill.
    // Cells with a negative row or a column the kind lacks are not shown but kept for saving.
    // False (table unchanged) when the file cannot be read, is no regular file or needs more
    // than MaxRows rows; *error names the file. Leaves the table unmodified, its history empty.
    bool loadFromFile(QString *error = nullptr);
    // Writes every non-empty cell (an open cell editor's text included), row by row, with the
    // file's hidden cells, atomically. Refuses (writing nothing) when a cell is not a number;
    // false with the reason in *error (without the path), and the table stays modified.
    bool saveToFile(QString *error = nullptr);
    // Same, to another file; filePath and the modified state are left alone.
    bool writeToFile(const QString &path, QString *error = nullptr) const;
    // Column 0 filled in every row, not negative, not decreasing downwards.
    bool validateFirstColumn() const;
    // Takes over the text of a cell editor that is still open (typed but not yet confirmed):
    // the user sees it in the table, so saving and the close question must count it.
    void commitPendingEdit();

    // The cell's number, NaN for an empty cell or text that is not a number.
    double cellValue(int row, int column) const;

    // One step of the history: the cell gets `text` (empty: no value) unless it has it already.
    void setCellText(int row, int column, const QString &text);
    // Inserts a row of "0" cells below the current row (at the top without one).
    void insertLine();
    // Removes the current row unless it is the only one.
    void deleteLine();

    // The selected cells (the current one without a selection) as spreadsheets copy them: the
    // rows and columns they span, tab-separated, every row ended by "\n"; unselected cells of
    // that span and empty cells are empty fields.
    QString selectionText() const;
    // Pastes a spreadsheet block (tab-separated cells, rows by line breaks, decimal point or
    // comma) with its top left at the current cell, adding rows as needed, as one step of the
    // history, and selects it. Cells are taken as given; those that are not numbers show as
    // refused. False, changing nothing, when the block is empty, wider than the columns from
    // the current one on, or would take the table beyond MaxRows; *error says which.
    bool pasteText(const QString &text, QString *error = nullptr);

    QUndoStack *undoStack() const { return m_undo; }
    // Wide enough for every column without scrolling sideways.
    QSize sizeHint() const override;

public slots:
    void changeRowCount(QTableWidgetItem *item);
    // The clipboard commands of the context menu and of Ctrl+C / Ctrl+V.
    void copy();
    void paste();

private:
    friend class TemplateRowsCommand;
    // One cell as the history keeps it: no item, or its text and the file's own value.
    struct Cell {
        bool present = false;
        QString text;
        QVariant stored;
    };
    using Row = QVector<Cell>;
    QVector<Row> rowsAt(int first, int count) const;
    // Rows first .. first + count - 1 become `rows` (as many as it holds), as one history step.
    void replaceRows(int first, int count, const QVector<Row> &rows, const QString &what);
    // The same without the history, for the steps to apply and undo.
    void spliceRows(int first, int count, const QVector<Row> &rows);
    void showModified(bool value);
    void addEditActions();

    TemplateKind m_kind = CableAttenuation;
    bool m_modified = false;
    QString m_filePath;
    QVector<TemplateCell> m_hiddenCells; // read from the file, not shown, written back
    QUndoStack *m_undo;
};
