#pragma once

// Answers the modal dialogs that the code under test opens, in order, from a polling timer
// (the timer runs inside their nested event loops). A dialog that appears with no answer left
// is rejected and counted, so that an unexpected question fails the test instead of hanging it.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest>

#include <functional>

class ModalAnswerer : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;

    ModalAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start(10);
    }

    void push(const Action &action) { m_actions.append(action); }

    // Clicks the given button of the next message box and records its text.
    void pushButton(QMessageBox::StandardButton button)
    {
        push([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box) {
                m_wrongKind++;
                static_cast<QDialog *>(w)->reject();
                return;
            }
            m_texts.append(box->text());
            QAbstractButton *b = box->button(button);
            if (b)
                b->click();
            else
                box->reject();
        });
    }

    // Escape on the next message box.
    void pushEscape()
    {
        push([this](QWidget *w) {
            if (auto *box = qobject_cast<QMessageBox *>(w))
                m_texts.append(box->text());
            QTest::keyClick(w, Qt::Key_Escape);
        });
    }

    // What a save dialog showed the user.
    struct FileDialogSeen {
        QString title;
        QStringList filters;
        QString proposedName; // the file name in the name field
    };

    // Answers the next file dialog with `path`, or cancels it when `path` is empty.
    void pushSaveFile(const QString &path, FileDialogSeen *seen = nullptr)
    {
        push([this, path, seen](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog) {
                m_wrongKind++;
                static_cast<QDialog *>(w)->reject();
                return;
            }
            if (seen) {
                seen->title = dialog->windowTitle();
                seen->filters = dialog->nameFilters();
                seen->proposedName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            }
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            typeFileName(dialog, path);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept() checks the name as OK does
        });
    }

    // Answers the next file dialog with `path` as it stands: a path the dialog could not choose
    // itself (in a missing directory, a device), no question about replacing it.
    void pushSaveFileAsIs(const QString &path)
    {
        push([this, path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog) {
                m_wrongKind++;
                static_cast<QDialog *>(w)->reject();
                return;
            }
            dialog->setFileMode(QFileDialog::AnyFile);
            dialog->setOption(QFileDialog::DontConfirmOverwrite);
            typeFileName(dialog, path);
            static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
        });
    }

    // Types a name into a file dialog's name field. (selectFile() leaves the field alone once it
    // has the focus, which a shown dialog gets at a moment of its own.)
    static void typeFileName(QFileDialog *dialog, const QString &path)
    {
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        else
            dialog->selectFile(path);
    }

    int pending() const { return m_actions.size(); }
    int unexpected() const { return m_unexpected; }
    int wrongKind() const { return m_wrongKind; }
    QStringList texts() const { return m_texts; }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w->property("answered").toBool() || !w->isVisible())
            return;
        // A long job's progress is no question; it goes by itself.
        if (qobject_cast<QProgressDialog *>(w))
            return;
        w->setProperty("answered", true);
        // A dialog that is kept and shown again (exec() once more) is answered again.
        if (auto *dialog = qobject_cast<QDialog *>(w))
            connect(dialog, &QDialog::finished, dialog, [dialog] { dialog->setProperty("answered", false); },
                    Qt::SingleShotConnection);
        if (m_actions.isEmpty()) {
            m_unexpected++;
            if (auto *box = qobject_cast<QMessageBox *>(w))
                m_texts.append(box->text());
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
            return;
        }
        const Action action = m_actions.takeFirst();
        action(w);
    }

    QTimer m_timer;
    QList<Action> m_actions;
    QStringList m_texts;
    int m_unexpected = 0;
    int m_wrongKind = 0;
};
