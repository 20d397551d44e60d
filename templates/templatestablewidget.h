#pragma once

#include "engine/templatefile.h"
#include "engine/templatekind.h"

#include <QString>
#include <QTableWidget>

// The table of one template file: one cell per stored (row, column, value) record, a modified
// mark " *" in the window title while the table differs from its file.
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
    void setModified(bool value);

    // The most rows a template may need to be opened: beyond it the table would eat the memory.
    static constexpr int MaxRows = 10000;

    // Replaces the table's contents by the file's cells; the table grows to the rows they fill.
    // Cells with a negative row or a column the kind lacks are not shown but kept for saving.
    // False (table unchanged) when the file cannot be read, is no regular file or needs more
    // than MaxRows rows; *error names the file. Leaves the table unmodified.
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

    // Inserts a row of "0" cells below the current row (at the top without one).
    void insertLine();
    // Removes the current row unless it is the only one.
    void deleteLine();

public slots:
    void changeRowCount(QTableWidgetItem *item);

private:
    TemplateKind m_kind = CableAttenuation;
    bool m_modified = false;
    QString m_filePath;
    QVector<TemplateCell> m_hiddenCells; // read from the file, not shown, written back
};
