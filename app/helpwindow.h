#pragma once

#include <QMainWindow>
#include <QUrl>

class QAction;
class QTextBrowser;

// The HTML help in a window of the program itself, for systems where the desktop has no viewer
// for it: the pages in a QTextBrowser with contents, back and forward.
class HelpWindow : public QMainWindow
{
    Q_OBJECT
public:
    // `indexPath` is the help's index.html; links, images and the style sheet are found from it.
    explicit HelpWindow(const QString &indexPath, QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }
    QUrl indexUrl() const { return m_index; }

public slots:
    void showContents();

private:
    void updateTitle();

    QUrl m_index;
    QTextBrowser *m_browser = nullptr;
    QAction *m_contentsAct = nullptr;
    QAction *m_backAct = nullptr;
    QAction *m_forwardAct = nullptr;
};
