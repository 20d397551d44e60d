#pragma once

#include "engine/qualify.h"

#include <QString>
#include <QWidget>

#include <memory>

class QLabel;
class QTableView;

// The result of a plant qualification: a summary line (loops, qualified per service, refused) and
// one table row per loop in input order, refused loops highlighted with their reason. Exports as
// CSV with the bytes kolvane-calc qualify prints; Ctrl+C copies the selection.
class QualifyWindow : public QWidget
{
    Q_OBJECT

public:
    QualifyWindow(std::shared_ptr<const QualifyTable> table, const QString &loopsFile,
                  QWidget *parent = nullptr);
    ~QualifyWindow() override;

    const QualifyTable &table() const { return *m_table; }
    QString summary() const;
    QString loopsFile() const { return m_loopsFile; }
    // The background of a refused loop's row.
    static QColor refusedColor();

    // Writes the CSV to `path` (a FIFO nobody reads is given up at once). False with *error.
    bool exportCsv(const QString &path, QString *error) const;

public slots:
    // Asks for the file and writes it; a failure is said in a message box.
    void exportToCsv();

signals:
    void exported(const QString &path);

private:
    std::shared_ptr<const QualifyTable> m_table;
    QString m_loopsFile;
    QLabel *m_summary = nullptr;
    QTableView *m_view = nullptr;
};
