#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Opens the user's help: the compiled help file in the working directory with the desktop's
// viewer, or, where the file or a viewer for it is missing, the same help as HTML pages
// after asking. The help is never silently not shown.
class HelpLauncher
{
public:
    HelpLauncher();

    // The help file, relative to the working directory.
    static QString helpFileName() { return QStringLiteral("help.chm"); }

    // Whether the desktop has a program for compiled HTML help.
    std::function<bool()> hasChmViewer;
    // Where the HTML help's index.html may be, most specific first.
    QStringList htmlIndexCandidates;

    // The HTML help's index page, or "" when none of the candidates exists.
    QString htmlIndex() const;

    void open(QWidget *parent) const;

    // The desktop's default handler for compiled HTML help, as xdg-mime reports it.
    static bool desktopHasChmViewer();
    // Next to the program in a build tree, and the installed share/kolvane/help.
    static QStringList defaultHtmlIndexCandidates();

private:
    void offerHtml(QWidget *parent, const QString &reason) const;
};
