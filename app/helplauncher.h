#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class HelpWindow;
class QUrl;
class QWidget;

// Opens the user's help: the compiled help file in the working directory with the desktop's
// viewer, or, where the file or a viewer for it is missing, the same help as HTML pages: in the
// desktop's browser after asking, or, where there is none, in a window of the program itself.
// The help is never silently not shown.
class HelpLauncher
{
public:
    HelpLauncher();

    // The help file, relative to the working directory.
    static QString helpFileName() { return QStringLiteral("help.chm"); }

    // Whether the desktop has a program for compiled HTML help.
    std::function<bool()> hasChmViewer;
    // Whether the desktop has a program for HTML pages.
    std::function<bool()> hasHtmlViewer;
    // Hands a file to the desktop; false when it could not.
    std::function<bool(const QUrl &)> openUrl;
    // Where the HTML help's index.html may be, most specific first.
    QStringList htmlIndexCandidates;

    // The HTML help's index page, or "" when none of the candidates exists.
    QString htmlIndex() const;

    void open(QWidget *parent);

    // The help window of the program while it is open, else null.
    HelpWindow *window() const;

    // The desktop's default handlers for compiled HTML help and for HTML, as xdg-mime reports them.
    static bool desktopHasChmViewer();
    static bool desktopHasHtmlViewer();
    // Next to the program in a build tree, and the installed share/kolvane/help.
    static QStringList defaultHtmlIndexCandidates();

private:
    void offerHtml(QWidget *parent, const QString &reason);
    void showInWindow(QWidget *parent, const QString &index);

    QPointer<HelpWindow> m_window;
};
