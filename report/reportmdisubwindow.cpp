#include "report/reportmdisubwindow.h"

#include <QCloseEvent>

ReportMdiSubWindow::ReportMdiSubWindow(QWidget *parent)
    : QMdiSubWindow(parent)
{
}

void ReportMdiSubWindow::closeEvent(QCloseEvent *event)
{
    hide();
    event->ignore();
}
