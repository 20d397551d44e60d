#pragma once

// A main window working in a temporary copy of the sample workspace, and the steps a user takes
// in the calculation dialog.

#include "app/mainwindow.h"
#include "engine/messages.h"
#include "input/propertiesdialog.h"
#include "workspacelauncher.h"

#include "modalanswerer.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

inline QString sampleWorkspace()
{
    return QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
}

// A cell, a row and the column headers of a table as its window shows them.
inline QString cellText(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

inline QStringList rowTexts(const QTableView *table, int row)
{
    const QAbstractItemModel *model = table->model();
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << model->index(row, c).data().toString();
    return texts;
}

inline QStringList headerTexts(const QTableView *table)
{
    const QAbstractItemModel *model = table->model();
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << model->headerData(c, Qt::Horizontal).toString();
    return texts;
}

// What the user sets in the calculation dialog before pressing "Вычислить".
using DialogSetup = std::function<void(PropertiesDialog *)>;

template <typename T>
T *dialogChild(PropertiesDialog *dialog, const QString &name)
{
    T *child = dialog->findChild<T *>(name);
    if (!child)
        qWarning("no %s in the calculation dialog", qPrintable(name));
    return child;
}

// Chooses how many values a family has (its count box) and, for value families, the values.
inline DialogSetup chooseFamily(const QString &countBox, int count, const QString &slotPrefix = QString(),
                                const QVector<int> &values = {})
{
    return [=](PropertiesDialog *dialog) {
        if (auto *box = dialogChild<QComboBox>(dialog, countBox))
            box->setCurrentIndex(count - 1);
        for (int i = 0; i < values.size(); ++i) {
            if (auto *spin = dialogChild<QSpinBox>(dialog, slotPrefix + QString::number(i)))
                spin->setValue(values.at(i));
        }
    };
}

// Chooses the templates of a template family by name, in slot order.
inline DialogSetup chooseTemplates(const QString &countBox, const QString &slotPrefix, const QStringList &names)
{
    return [=](PropertiesDialog *dialog) {
        if (auto *box = dialogChild<QComboBox>(dialog, countBox))
            box->setCurrentIndex(names.size() - 1);
        for (int i = 0; i < names.size(); ++i) {
            if (auto *combo = dialogChild<QComboBox>(dialog, slotPrefix + QString::number(i))) {
                const int index = combo->findText(names.at(i));
                if (index < 0)
                    qWarning("no template %s offered", qPrintable(names.at(i)));
                combo->setCurrentIndex(index);
            }
        }
    };
}

inline DialogSetup chooseLineTypes(const QStringList &names)
{
    return chooseTemplates(QStringLiteral("lineTypeCountBox"), QStringLiteral("lineTypeBoxes"), names);
}

inline DialogSetup chooseCables(const QStringList &names)
{
    return chooseTemplates(QStringLiteral("cableTypeCountBox"), QStringLiteral("cableTypeBoxes"), names);
}

inline DialogSetup chooseLengths(int from, int to, int step)
{
    return [=](PropertiesDialog *dialog) {
        // "to" first, so that "from" never has to pass it on the way.
        dialogChild<QSpinBox>(dialog, QStringLiteral("cableLengthStepBox"))->setValue(step);
        dialogChild<QSpinBox>(dialog, QStringLiteral("cableLengthToBox"))->setValue(to);
        dialogChild<QSpinBox>(dialog, QStringLiteral("cableLengthFromBox"))->setValue(from);
    };
}

struct AppFixture {
    QTemporaryDir dir;
    QString workspace = dir.filePath(QStringLiteral("workspace")); // the working directory
    QString previousCurrent = QDir::currentPath();
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<MainWindow> window;

    // A copy of the sample workspace as the working directory, then the main window.
    bool start()
    {
        // The tests close the window; a quit posted for that would end a later nested event loop.
        QApplication::setQuitOnLastWindowClosed(false);
        if (!dir.isValid() || !copyDirectoryTree(sampleWorkspace(), workspace, nullptr))
            return false;
        // The window keeps its place and the recent setups in the user's settings: not the real ones.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
        if (!QDir::setCurrent(workspace))
            return false;
        answerer = std::make_unique<ModalAnswerer>();
        // As the program's start sets it: the engine's messages in Russian.
        setMessageLanguage(MessageLanguage::Russian);
        window = std::make_unique<MainWindow>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        // Shortcuts act in the active window only.
        QApplication::setActiveWindow(window.get());
        return QApplication::activeWindow() == window.get();
    }

    ~AppFixture()
    {
        window.reset();
        answerer.reset();
        QDir::setCurrent(previousCurrent);
    }

    QString path(const QString &relative) const { return QDir(workspace).filePath(relative); }

    // Answers the calculation dialog: applies the setup, then "Вычислить" (or "Отмена").
    void answerCalculationDialog(const DialogSetup &setup = {}, bool accept = true)
    {
        answerer->push([setup, accept](QWidget *w) {
            auto *dialog = qobject_cast<PropertiesDialog *>(w);
            QVERIFY2(dialog, "the calculation dialog did not open");
            if (setup)
                setup(dialog);
            const char *button = accept ? "calculateButton" : "cancelButton";
            QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
        });
    }

    // "Ввод исходных данных" with the given choices, through its tool bar action.
    void calculate(const DialogSetup &setup = {})
    {
        answerCalculationDialog(setup);
        window->showPropertiesDialog();
    }

    // A shortcut as the user types it in the main window, active again after any dialog.
    void press(const QKeySequence &keys)
    {
        QApplication::setActiveWindow(window.get());
        QTest::keySequence(window.get(), keys);
    }

    template <typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
};
