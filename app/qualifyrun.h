#pragma once

#include "engine/calcsettings.h"
#include "engine/qualifycsv.h"
#include "engine/qualifytable.h"
#include "report/qualifywindow.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QMdiArea;
class QWidget;

// A qualification run from the GUI.
struct QualifyOutcome {
    std::shared_ptr<QualifyTable> table; // shown in a window: null when it failed or was cancelled
    QualifyStreamOutcome written;        // written to a file: the loops and refused loops
    bool cancelled = false;
    QString error;                       // why it failed, in Russian
    QStringList warnings;                // templates without a usable row
};

// Qualifies the loop records in `loopsFile` on a worker thread behind a progress dialog with a
// working "Отмена" (the run stops within a fraction of a second and leaves nothing behind).
QualifyOutcome runQualification(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                const QString &workdir = QString());

// The same, written to the CSV file `target` as it goes, as kolvane-calc writes it; a file already
// there stays as it was unless the whole text was written.
QualifyOutcome writeQualification(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                  const QString &target, const QString &workdir = QString());

// "Файл" → "Проверка линий…": asks for the loop records and the services (preset from the
// calculation dialog's choice `preset`), runs them and opens the result window in `area`; true
// when it did. A file of more than `windowLoops` loops is offered to be written straight to a
// CSV file instead. `status` gets the lines for the status bar (the summary or the warnings,
// later the window's exports).
bool qualifyLoops(QWidget *parent, QMdiArea *area, const CalcSettings &preset,
                  const std::function<void(const QString &)> &status, qint64 windowLoops = QualifyWindow::PageRows);
