#include "templates/templatemanager.h"

#include "engine/checks.h"
#include "engine/messages.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"
#include "templates/cmdisubwindow.h"
#include "templates/newfiledialog.h"
#include "templates/templateeditorpane.h"
#include "templates/templatestablewidget.h"
#include "widgets/savedialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMessageBox>
#include <QTreeWidget>

#include <cerrno>

TemplateManager::TemplateManager(QMdiArea *templatesArea, QTreeWidget *tree,
                                 QTreeWidgetItem *cableRoot, QTreeWidgetItem *lineTypeRoot,
                                 QTreeWidgetItem *noiseRoot, QWidget *dialogParent, QObject *parent)
    : QObject(parent)
    , m_area(templatesArea)
    , m_tree(tree)
    , m_cableRoot(cableRoot)
    , m_lineTypeRoot(lineTypeRoot)
    , m_noiseRoot(noiseRoot)
    , m_dialogParent(dialogParent)
{
}

TemplateManager::~TemplateManager()
{
    qDeleteAll(m_editors);
}

void TemplateManager::refreshTemplateTree()
{
    const QList<QPair<QTreeWidgetItem *, QString>> branches = {
        {m_cableRoot, templateDirectory(CableAttenuation)},
        {m_lineTypeRoot, templateDirectory(LineTypeDmt)},
        {m_noiseRoot, templateDirectory(AdditiveNoise)},
    };
    for (const auto &branch : branches) {
        qDeleteAll(branch.first->takeChildren());
        const QStringList entries = listTemplateEntries(branch.second);
        for (const QString &entry : entries) {
            // A control character in a file name is shown as its picture, so the entry stays one
            // line; the item keeps the name as it is for opening the file.
            auto *item = new QTreeWidgetItem(branch.first, QStringList(visibleText(entry)));
            item->setData(0, Qt::UserRole, entry);
        }
    }
}

std::optional<TemplateKind> TemplateManager::kindFromFileName(const QString &fileName)
{
    for (TemplateKind kind : {CableAttenuation, LineTypeDmt, LineTypePam, AdditiveNoise}) {
        if (fileName.contains(templateExtension(kind)))
            return kind;
    }
    return std::nullopt;
}

TemplatesTableWidget *TemplateManager::openTemplateEditor(TemplateKind kind, const QString &fileName,
                                                          bool *created)
{
    const QString path = templateDirectory(kind) + QLatin1Char('/') + fileName;
    if (created)
        *created = false;
    for (TemplateEditorEntry *entry : std::as_const(m_editors)) {
        if (entry->path == path) {
            entry->window->show();
            m_area->setActiveSubWindow(entry->window);
            return entry->table;
        }
    }
    auto *table = new TemplatesTableWidget;
    table->setTemplateKind(kind);
    table->setFilePath(path);
    auto *window = new CMdiSubWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWidget(new TemplateEditorPane(table));
    m_area->addSubWindow(window);
    window->setWindowTitle(table->windowTitle());
    window->setWindowIcon(QIcon(QStringLiteral(":/images/table.png")));
    window->show();
    m_area->setActiveSubWindow(window);
    m_editors.append(new TemplateEditorEntry{path, window, table});
    if (created)
        *created = true;
    return table;
}

bool TemplateManager::cableFileSelected(QTreeWidgetItem *item, int)
{
    if (!item || !item->parent())
        return false;
    const QString name = item->data(0, Qt::UserRole).toString();
    const std::optional<TemplateKind> kind = kindFromFileName(name);
    if (!kind)
        return false;
    bool created = false;
    TemplatesTableWidget *table = openTemplateEditor(*kind, name, &created);
    QString error;
    if (created && !table->loadFromFile(&error)) {
        // A file gone since the listing leaves the new editor empty, ready to be typed and
        // saved. One that is there but cannot be shown (no permission, a FIFO, too many rows)
        // gets no editor: saving an empty one would overwrite it.
        if (pathLookupError(table->filePath()) != ENOENT) {
            discardEditor(table);
            showError(tr("Не удалось открыть шаблон.\n%1").arg(error));
            return false;
        }
    }
    emit templateShown();
    return true;
}

void TemplateManager::discardEditor(TemplatesTableWidget *table)
{
    for (int i = 0; i < m_editors.size(); ++i) {
        TemplateEditorEntry *entry = m_editors.at(i);
        if (entry->table != table)
            continue;
        m_editors.removeAt(i);
        m_area->removeSubWindow(entry->window);
        delete entry->window;
        delete entry;
        return;
    }
}

TemplateEditorEntry *TemplateManager::activeEditor() const
{
    // currentSubWindow(): the main window's own menus and tool bars take the activation away
    // from the MDI area for a moment, but not the current editor.
    const QMdiSubWindow *current = m_area->currentSubWindow();
    if (!current || current->isHidden())
        return nullptr;
    for (TemplateEditorEntry *entry : m_editors) {
        if (entry->window == current)
            return entry;
    }
    return nullptr;
}

void TemplateManager::showError(const QString &text)
{
    QMessageBox::warning(m_dialogParent, tr("Kolvane"), text);
}

void TemplateManager::save()
{
    TemplateEditorEntry *entry = activeEditor();
    if (!entry)
        return;
    QString error;
    if (!entry->table->saveToFile(&error))
        showNotSaved(m_dialogParent, entry->path, error);
}

bool TemplateManager::saveEditorAs(TemplateEditorEntry *entry, const QString &path, QString *error)
{
    QString target = path;
    const QString relative = QDir::current().relativeFilePath(path);
    if (!relative.startsWith(QLatin1String("..")) && !QDir::isAbsolutePath(relative))
        target = QDir::cleanPath(relative);
    for (const TemplateEditorEntry *other : std::as_const(m_editors)) {
        if (other != entry && other->path == target)
            return fail(error, tr("Шаблон %1 уже открыт в другом окне").arg(target));
    }
    entry->table->commitPendingEdit();
    if (!entry->table->writeToFile(target, error))
        return false;
    entry->path = target;
    entry->table->setFilePath(target);
    entry->table->setModified(false);
    refreshTemplateTree();
    return true;
}

void TemplateManager::saveAs()
{
    TemplateEditorEntry *entry = activeEditor();
    if (!entry)
        return;
    const QString extension = templateExtension(entry->table->templateKind());
    // The tree tells templates apart by the extension; a name without it could not be reopened.
    const QString path = askSaveFileName(m_dialogParent, tr("Сохранить как"), QStringLiteral("."),
                                         {{tr("файлы (*%1)").arg(extension), extension, Qt::CaseSensitive}});
    if (path.isEmpty())
        return;
    QString error;
    if (!saveEditorAs(entry, path, &error))
        showNotSaved(m_dialogParent, path, error);
}

void TemplateManager::insertLine()
{
    if (TemplateEditorEntry *entry = activeEditor())
        entry->table->insertLine();
}

void TemplateManager::deleteLine()
{
    if (TemplateEditorEntry *entry = activeEditor())
        entry->table->deleteLine();
}

TemplatesTableWidget *TemplateManager::createTemplate(TemplateKind kind, const QString &name)
{
    if (name.trimmed().isEmpty()) {
        showError(tr("Не задано имя файла"));
        return nullptr;
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        showError(tr("Имя файла \"%1\" не должно содержать разделителей пути").arg(name));
        return nullptr;
    }
    // The tree and the calculation dialog do not list hidden files: the template would be lost
    // from view as soon as its window is closed.
    if (name.startsWith(QLatin1Char('.'))) {
        showError(tr("Имя файла \"%1\" не должно начинаться с точки: такой файл скрыт и не "
                     "появится в дереве шаблонов").arg(name));
        return nullptr;
    }
    // What is left of the name rule: no control character, which would split the name in lists.
    QString problem;
    if (!checkTemplateName(kind, name, &problem)) {
        showError(problem);
        return nullptr;
    }
    const QString fileName = name + templateExtension(kind);
    const QString directory = templateDirectory(kind);
    const QString path = directory + QLatin1Char('/') + fileName;
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            m_dialogParent, tr("Kolvane"),
            tr("Файл %1 уже существует.\nЗаменить его новым шаблоном из одной нулевой строки?")
                .arg(path),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return nullptr;
    }
    // A fresh working directory has no template directories yet.
    QDir().mkpath(directory);
    QVector<TemplateCell> cells;
    for (int c = 0; c < templateColumnCount(kind); ++c)
        cells.append({0, qint16(c), 0.0});
    QString error;
    if (!writeTemplateCells(path, cells, &error, PipeReader::DontWait)) {
        showError(tr("Не удалось создать файл %1:\n%2").arg(path, error));
        return nullptr;
    }
    TemplatesTableWidget *table = openTemplateEditor(kind, fileName);
    // Also replaces the edits of an editor already open on this path: the user agreed above.
    if (!table->loadFromFile(&error))
        showError(tr("Не удалось открыть шаблон.\n%1").arg(error));
    refreshTemplateTree();
    return table;
}

void TemplateManager::newFile()
{
    NewFileDialog dialog(m_dialogParent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    createTemplate(TemplateKind(dialog.fileType()), dialog.fileName());
}

bool TemplateManager::closeAllEditors()
{
    for (TemplateEditorEntry *entry : std::as_const(m_editors)) {
        entry->table->commitPendingEdit();
        if (!entry->table->isModified())
            continue;
        entry->window->show();
        m_area->setActiveSubWindow(entry->window);
        if (!entry->window->resolveUnsavedChanges())
            return false;
        entry->window->hide();
    }
    return true;
}
