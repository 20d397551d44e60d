#pragma once

#include <QMdiSubWindow>

class TemplatesTableWidget;

// Editor window of one template. Closing never destroys it: it is hidden once its table holds
// no unsaved changes, after asking what to do with them.
class CMdiSubWindow : public QMdiSubWindow
{
public:
    explicit CMdiSubWindow(QWidget *parent = nullptr);

    TemplatesTableWidget *table() const;

    // The close question for unsaved changes. True when the window may go: nothing to save,
    // saved (Yes), or changes dropped and the file reloaded (No). False on Cancel, on invalid
    // column 0 data and on a failed save, each of which leaves the editor open and modified.
    bool resolveUnsavedChanges();

protected:
    void closeEvent(QCloseEvent *event) override;
};
