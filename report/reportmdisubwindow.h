#pragma once

#include <QMdiSubWindow>

class QCloseEvent;

// Frame of the result table and the graph. Closing only hides the window: the main window
// keeps both for its whole life and every calculation shows them again.
class ReportMdiSubWindow : public QMdiSubWindow
{
    Q_OBJECT
public:
    explicit ReportMdiSubWindow(QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
};
