#pragma once

#include "engine/qualifytable.h"

#include <QString>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QTableView;
class QualifyTableModel;

// The result of a plant qualification: a summary line (loops, qualified per service, refused) and
// one table row per loop, in input order until sorted by a column: the id, the loop's cable,
// length and sections, the services' values and the reason of a refusal (such rows highlighted).
// Filters show only the refused or failing loops, or one cable's; beyond `pageRows` loops they are
// shown a page at a time. Exports as CSV with the bytes kolvane-calc qualify prints, whatever is
// shown; Ctrl+C copies the selection.
class QualifyWindow : public QWidget
{
    Q_OBJECT

public:
    // What a window shows at a time, and what the program offers to write to a file instead.
    static constexpr int PageRows = 1000000;

    QualifyWindow(std::shared_ptr<const QualifyTable> table, const QString &loopsFile,
                  QWidget *parent = nullptr, int pageRows = PageRows);
    ~QualifyWindow() override;

    const QualifyTable &table() const { return *m_table; }
    QString summary() const;
    QString loopsFile() const { return m_loopsFile; }
    // The background of a refused loop's row.
    static QColor refusedColor();

    // Asks where to save the qualification of `loopsFile` as CSV; "" when the user declines.
    static QString askCsvPath(QWidget *parent, const QString &loopsFile);
    // Writes the CSV to `path` (a FIFO nobody reads is given up at once). False with *error.
    bool exportCsv(const QString &path, QString *error) const;

public slots:
    // Asks for the file and writes it; a failure is said in a message box.
    void exportToCsv();

signals:
    void exported(const QString &path);

private:
    void applyFilter();
    void turnPage(int pages);
    void showPaging();

    std::shared_ptr<const QualifyTable> m_table;
    QString m_loopsFile;
    QLabel *m_summary = nullptr;
    QComboBox *m_show = nullptr;
    QComboBox *m_cable = nullptr;
    QLabel *m_shown = nullptr;
    QWidget *m_paging = nullptr;
    QLabel *m_page = nullptr;
    QTableView *m_view = nullptr;
    QualifyTableModel *m_model = nullptr;
};
