#pragma once

#include "engine/templatekind.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class CMdiSubWindow;
class QMdiArea;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class TemplatesTableWidget;

// One editor window ever opened; kept until the manager goes (closing only hides the window).
struct TemplateEditorEntry {
    QString path; // equal to the table's filePath
    CMdiSubWindow *window = nullptr;
    TemplatesTableWidget *table = nullptr;
};

// The template side of the main window: the tree's listing, the editor windows in the templates
// MDI area and the commands that act on the active editor. Paths are relative to the current
// working directory ("Cable/x.att"). The main window keeps ownership of the widgets it hands over.
class TemplateManager : public QObject
{
    Q_OBJECT
public:
    TemplateManager(QMdiArea *templatesArea, QTreeWidget *tree, QTreeWidgetItem *cableRoot,
                    QTreeWidgetItem *lineTypeRoot, QTreeWidgetItem *noiseRoot,
                    QWidget *dialogParent, QObject *parent = nullptr);
    ~TemplateManager() override;

    // Relists "Cable", "xDSL" and "AddNoise" under the three top items; editors are not touched.
    void refreshTemplateTree();

    // The editor of directory(kind) + "/" + fileName: shows and activates the existing one, or
    // creates an empty one (the caller fills it). *created tells which.
    TemplatesTableWidget *openTemplateEditor(TemplateKind kind, const QString &fileName,
                                             bool *created = nullptr);

    // ".att", ".DMT", ".PAM", ".add" searched in that order anywhere in the name, case-sensitive.
    static std::optional<TemplateKind> kindFromFileName(const QString &fileName);

    // A double-click in the tree: opens (and for a new editor loads) the entry's template.
    // An existing editor is only shown, so unsaved edits in it survive. False for an item
    // without a template kind (a top item, a name without a marker): nothing happens then.
    // False, with a message and no editor, for a file that exists but cannot be loaded.
    bool cableFileSelected(QTreeWidgetItem *item, int column);

    // The editor whose window is the templates area's current sub-window, or null.
    TemplateEditorEntry *activeEditor() const;
    const QList<TemplateEditorEntry *> &editors() const { return m_editors; }

    // Writes the editor's table to `path` (made relative to the working directory when inside
    // it); the editor then belongs to that path and its title follows. Refused when another
    // editor holds that path. On failure the editor keeps its path and its modified state.
    bool saveEditorAs(TemplateEditorEntry *entry, const QString &path, QString *error);

    // Writes a template of one zero row as directory(kind)/name + extension, opens it and
    // relists the tree. Refuses an empty name, one with a path separator and one that starts
    // with a dot (a hidden file), asks before an existing file is replaced, and reports a file
    // that cannot be written; null then.
    TemplatesTableWidget *createTemplate(TemplateKind kind, const QString &name);

    // The main window's close: the close question for every editor with unsaved changes, in
    // order of opening. False as soon as one is cancelled or cannot be saved: keep running.
    bool closeAllEditors();

public slots:
    void save();
    void saveAs();
    void insertLine();
    void deleteLine();
    void newFile();

signals:
    // A double-click opened or showed an editor; the main window switches to the templates tab.
    void templateShown();

private:
    void showError(const QString &text);
    // Removes an editor that was just created and never shown a file.
    void discardEditor(TemplatesTableWidget *table);

    QMdiArea *m_area;
    QTreeWidget *m_tree;
    QTreeWidgetItem *m_cableRoot;
    QTreeWidgetItem *m_lineTypeRoot;
    QTreeWidgetItem *m_noiseRoot;
    QWidget *m_dialogParent;
    QList<TemplateEditorEntry *> m_editors;
};
