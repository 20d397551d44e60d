#include "report/spectrumlauncher.h"

#include "engine/linespectrum.h"
#include "engine/loss.h"
#include "report/spectrumwindow.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTableView>

SpectrumLauncher::SpectrumLauncher(QTableView *table, QMdiArea *area, RunSource run, QObject *parent)
    : QObject(parent), m_table(table), m_area(area), m_run(std::move(run))
{
    m_action = new QAction(tr("Спектр линии…"), table);
    m_action->setObjectName(QStringLiteral("lineSpectrumAct"));
    m_action->setStatusTip(tr("Биты, SNR, сигнал и шум по тонам для выбранной ячейки таблицы"));
    m_action->setEnabled(false);
    connect(m_action, &QAction::triggered, this, &SpectrumLauncher::openCurrent);
    table->addAction(m_action);
    // The viewport gets the mouse's events, the table the keyboard's context menu.
    table->viewport()->installEventFilter(this);
    table->installEventFilter(this);
    if (QItemSelectionModel *selection = table->selectionModel())
        connect(selection, &QItemSelectionModel::currentChanged, this, &SpectrumLauncher::updateAction);
}

int SpectrumLauncher::curveAt(int row, int column) const
{
    const Run run = m_run ? m_run() : Run();
    if (!run.calc || !run.rows || row < 0 || row >= run.rows->size())
        return -1;
    const int curve = column - 1;
    // A loss without a loop has no spectrum.
    const ResultRow &cells = run.rows->at(row);
    return curve >= 0 && curve < cells.rates.size() && cells.hasLoop(curve) ? curve : -1;
}

void SpectrumLauncher::updateAction()
{
    const QModelIndex current = m_table->currentIndex();
    m_action->setEnabled(current.isValid() && curveAt(current.row(), current.column()) >= 0);
}

void SpectrumLauncher::openCurrent()
{
    const QModelIndex current = m_table->currentIndex();
    if (current.isValid())
        open(current.row(), current.column());
}

bool SpectrumLauncher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        const auto *menu = static_cast<QContextMenuEvent *>(event);
        // The menu is about the cell under the mouse, whatever was current before.
        if (watched == m_table->viewport() && menu->reason() == QContextMenuEvent::Mouse) {
            const QModelIndex at = m_table->indexAt(menu->pos());
            if (at.isValid() && m_table->selectionModel())
                m_table->selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
        }
        updateAction();
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == m_table->viewport()) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex at = m_table->indexAt(mouse->position().toPoint());
        // A result cell opens its spectrum.
        if (mouse->button() == Qt::LeftButton && at.isValid() && curveAt(at.row(), at.column()) >= 0) {
            open(at.row(), at.column());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

SpectrumWindow *SpectrumLauncher::open(int row, int column)
{
    const int curve = curveAt(row, column);
    if (curve < 0)
        return nullptr;
    const Run run = m_run();
    const ResultRow &result = run.rows->at(row);
    // The sweep's lengths are whole metres; over losses each curve has its own loop length.
    const bool loss = run.calc->axis == SweepAxis::Loss;
    const int length = loss ? result.loops.at(curve) : int(result.length);
    const int lossTenths = loss ? rowLossTenths(result.length) : -1;

    const QList<QMdiSubWindow *> open = m_area->subWindowList();
    for (QMdiSubWindow *w : open) {
        auto *shown = qobject_cast<SpectrumWindow *>(w);
        if (shown && shown->shows(*run.calc, curve, length, lossTenths)) {
            shown->showNormal();
            m_area->setActiveSubWindow(shown);
            return shown;
        }
    }

    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The GUI's runs read the templates from the working directory.
    const std::optional<LineSpectrum> spectrum =
        loss ? traceCurveAtLoss(*run.calc, QString(), curve, lossTenths, run.calc->lossFrequency, &error)
             : traceCurve(*run.calc, QString(), curve, length, &error);
    QGuiApplication::restoreOverrideCursor();
    if (!spectrum) {
        QMessageBox::warning(m_table->window(), tr("Kolvane"), tr("Спектр линии не построен.\n%1").arg(error));
        return nullptr;
    }
    auto *window = new SpectrumWindow(*spectrum, result.rates.at(curve));
    window->setOrigin(*run.calc, curve, lossTenths);
    m_area->addSubWindow(window);
    // Never larger than the area: a window cut off at its edge hides the legend and the table.
    window->resize(window->size().boundedTo(m_area->viewport()->size()));
    window->show();
    m_area->setActiveSubWindow(window);
    return window;
}
