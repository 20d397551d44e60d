#pragma once

// Answers the modal dialogs that the code under test opens, in order, from a polling timer
// (the timer runs inside their nested event loops). A dialog that appears with no answer left
// is rejected and counted, so that an unexpected question fails the test instead of hanging it.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
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
        w->setProperty("answered", true);
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
