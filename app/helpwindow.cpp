#include "app/helpwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>

HelpWindow::HelpWindow(const QString &indexPath, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_index(QUrl::fromLocalFile(indexPath))
{
    setObjectName(QStringLiteral("helpWindow"));

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    // Web addresses go to the desktop; the help's own pages stay here.
    m_browser->setOpenExternalLinks(true);
    // QTextBrowser reads a <link> style sheet only when it says type="text/css", which the
    // pages need not: give it the help's style sheet for every page.
    QFile css(QFileInfo(indexPath).dir().filePath(QStringLiteral("style.css")));
    if (css.open(QIODevice::ReadOnly))
        m_browser->document()->setDefaultStyleSheet(QString::fromUtf8(css.readAll()));
    setCentralWidget(m_browser);

    QToolBar *bar = addToolBar(tr("Навигация"));
    bar->setObjectName(QStringLiteral("helpToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_contentsAct = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("Содержание"));
    m_contentsAct->setObjectName(QStringLiteral("contentsAct"));
    m_contentsAct->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    m_backAct = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Назад"));
    m_backAct->setObjectName(QStringLiteral("backAct"));
    m_backAct->setShortcut(QKeySequence::Back);
    m_backAct->setEnabled(false);
    m_forwardAct = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("Вперёд"));
    m_forwardAct->setObjectName(QStringLiteral("forwardAct"));
    m_forwardAct->setShortcut(QKeySequence::Forward);
    m_forwardAct->setEnabled(false);

    auto *closeAct = new QAction(this);
    closeAct->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(closeAct);

    connect(m_contentsAct, &QAction::triggered, this, &HelpWindow::showContents);
    connect(m_backAct, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forwardAct, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(closeAct, &QAction::triggered, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_backAct, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forwardAct, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::updateTitle);

    m_browser->setSource(m_index);
    updateTitle();
    resize(780, 640);
}

void HelpWindow::showContents()
{
    // Through setSource rather than home(): the contents page joins the history, so "Назад"
    // returns to the page the user came from.
    m_browser->setSource(m_index);
}

void HelpWindow::updateTitle()
{
    const QString help = tr("Справка Kolvane");
    const QString page = m_browser->documentTitle();
    setWindowTitle(page.isEmpty() || page == help ? help : page + QStringLiteral(" — ") + help);
}
