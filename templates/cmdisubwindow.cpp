#include "templates/cmdisubwindow.h"

#include "templates/templateeditorpane.h"
#include "templates/templatestablewidget.h"
#include "widgets/savedialog.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QUndoStack>

CMdiSubWindow::CMdiSubWindow(QWidget *parent)
    : QMdiSubWindow(parent)
{
}

TemplatesTableWidget *CMdiSubWindow::table() const
{
    if (const auto *pane = qobject_cast<TemplateEditorPane *>(widget()))
        return pane->table();
    return qobject_cast<TemplatesTableWidget *>(widget());
}

bool CMdiSubWindow::resolveUnsavedChanges()
{
    TemplatesTableWidget *editor = table();
    if (!editor)
        return true;
    editor->commitPendingEdit();
    if (!editor->isModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Kol_vane"),
        tr("Документ %1 изменён.\nХотите сохранить ваши изменения?")
            .arg(editor->filePath(), 0, QLatin1Char(' ')),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    switch (answer) {
    case QMessageBox::Yes: {
        if (!editor->validateFirstColumn()) {
            QMessageBox box;
            box.setText(tr("Неправильно введены данные"));
            box.exec();
            return false;
        }
        QString error;
        if (!editor->saveToFile(&error)) {
            showNotSaved(this, editor->filePath(), error);
            return false;
        }
        return true;
    }
    case QMessageBox::No:
        // Back to the file; without one (never saved, deleted since) the edits go all the same.
        if (!editor->loadFromFile()) {
            editor->clearContents();
            editor->undoStack()->clear();
        }
        editor->setModified(false);
        return true;
    default:
        return false;
    }
}

void CMdiSubWindow::closeEvent(QCloseEvent *event)
{
    // Editors live as long as the main window; closing only hides them.
    event->ignore();
    if (resolveUnsavedChanges())
        hide();
}
