#include "app/helplauncher.h"
#include "app/helpwindow.h"

#include "modalanswerer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextCursor>
#include <QtTest>

#include <memory>

class tst_HelpWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void launcherChoice_data();
    void launcherChoice();
    void secondOpenShowsTheSameWindow();
    void builtHelpShowsWithItsPictures();
    void navigation();

private:
    QString path(const QString &relative) const { return QDir(m_dir->path()).filePath(relative); }
    static QAction *action(HelpWindow *window, const char *name)
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousCurrent;
};

void tst_HelpWindow::init()
{
    m_previousCurrent = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // help.chm is looked up in the working directory.
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void tst_HelpWindow::cleanup()
{
    QDir::setCurrent(m_previousCurrent);
    m_dir.reset();
}

void tst_HelpWindow::launcherChoice_data()
{
    QTest::addColumn<bool>("chm");         // help.chm in the working directory
    QTest::addColumn<bool>("html");        // the HTML help installed
    QTest::addColumn<bool>("chmViewer");   // the desktop has a viewer for help.chm
    QTest::addColumn<bool>("htmlViewer");  // ... and a browser
    QTest::addColumn<QString>("refused");  // the suffix the desktop fails to open, "" for none
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: no message expected
    QTest::addColumn<QStringList>("tried"); // files handed to the desktop, in order
    QTest::addColumn<bool>("window");       // the program's own help window shows the index

    QTest::newRow("help.chm in its viewer")
        << true << true << true << true << "" << QMessageBox::NoButton << QStringList{"help.chm"} << false;
    QTest::newRow("no CHM viewer, browser accepted")
        << true << true << false << true << "" << QMessageBox::Yes << QStringList{"index.html"} << false;
    QTest::newRow("no CHM viewer, browser declined")
        << true << true << false << true << "" << QMessageBox::No << QStringList{} << false;
    QTest::newRow("no CHM viewer, no browser")
        << true << true << false << false << "" << QMessageBox::NoButton << QStringList{} << true;
    QTest::newRow("no help.chm, no browser")
        << false << true << true << false << "" << QMessageBox::NoButton << QStringList{} << true;
    QTest::newRow("CHM viewer fails, no browser")
        << true << true << true << false << "chm" << QMessageBox::NoButton << QStringList{"help.chm"} << true;
    QTest::newRow("browser fails")
        << true << true << false << true << "html" << QMessageBox::Yes << QStringList{"index.html"} << true;
    QTest::newRow("no help at all")
        << false << false << false << false << "" << QMessageBox::Ok << QStringList{} << false;
}

void tst_HelpWindow::launcherChoice()
{
    QFETCH(bool, chm);
    QFETCH(bool, html);
    QFETCH(bool, chmViewer);
    QFETCH(bool, htmlViewer);
    QFETCH(QString, refused);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QStringList, tried);
    QFETCH(bool, window);

    if (chm) {
        QFile file(path("help.chm"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ITSF");
    }
    const QString index = path("html/index.html");
    if (html) {
        QVERIFY(QDir().mkpath(path("html")));
        QFile file(index);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><head><title>Справка Kolvane</title></head><body>Содержание</body></html>");
    }

    HelpLauncher launcher;
    launcher.hasChmViewer = [chmViewer] { return chmViewer; };
    launcher.hasHtmlViewer = [htmlViewer] { return htmlViewer; };
    QStringList handed;
    launcher.openUrl = [&handed, refused](const QUrl &url) {
        handed << QFileInfo(url.toLocalFile()).fileName();
        return refused.isEmpty() || !url.toLocalFile().endsWith(refused);
    };
    launcher.htmlIndexCandidates = {path("nowhere/index.html"), index};

    QWidget parent;
    ModalAnswerer answerer;
    if (answer != QMessageBox::NoButton)
        answerer.pushButton(answer);
    launcher.open(&parent);

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(handed, tried);
    if (window) {
        HelpWindow *shown = launcher.window();
        QVERIFY(shown);
        QVERIFY(shown->isVisible());
        QVERIFY(shown->isWindow());
        QCOMPARE(shown->browser()->source(), QUrl::fromLocalFile(index));
        QVERIFY(shown->browser()->toPlainText().contains(QStringLiteral("Содержание")));
        QCOMPARE(shown->windowTitle(), QStringLiteral("Справка Kolvane"));
    } else {
        QVERIFY(!launcher.window());
    }
}

void tst_HelpWindow::secondOpenShowsTheSameWindow()
{
    QVERIFY(QDir().mkpath(path("html")));
    for (const char *name : {"index.html", "page.html"}) {
        QFile file(path(QStringLiteral("html/") + QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body><a href=\"page.html\">page</a></body></html>");
    }
    HelpLauncher launcher;
    launcher.hasChmViewer = [] { return false; };
    launcher.hasHtmlViewer = [] { return false; };
    launcher.htmlIndexCandidates = {path("html/index.html")};
    QWidget parent;

    launcher.open(&parent);
    QPointer<HelpWindow> first = launcher.window();
    QVERIFY(first);
    first->browser()->setSource(QUrl::fromLocalFile(path("html/page.html")));
    // Still open (behind the main window, say): F1 brings it back where the user left it.
    launcher.open(&parent);
    QCOMPARE(launcher.window(), first.data());
    QVERIFY(first->isVisible());
    QCOMPARE(QFileInfo(first->browser()->source().toLocalFile()).fileName(), QStringLiteral("page.html"));

    // Once deleted, F1 opens a new window on the contents.
    first->close();
    QTRY_VERIFY(!first);
    launcher.open(&parent);
    QVERIFY(launcher.window());
    QCOMPARE(launcher.window()->browser()->source(), QUrl::fromLocalFile(path("html/index.html")));
}

void tst_HelpWindow::builtHelpShowsWithItsPictures()
{
    const QString index = QStringLiteral(KOLVANE_HELP_INDEX);
    QVERIFY2(QFileInfo::exists(index), qPrintable(index));
    HelpWindow window(index);
    QCOMPARE(window.windowTitle(), QStringLiteral("Справка Kolvane"));
    QTextBrowser *browser = window.browser();
    QVERIFY(browser->toPlainText().contains(QStringLiteral("Начало работы")));
    // Pictures are found relative to the page, as the pages name them.
    const QVariant picture = browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/main.png")));
    QVERIFY(picture.isValid());
    QVERIFY(!picture.toByteArray().isEmpty());
    // The help's style sheet is in force: headings have their own colour.
    const QTextCursor heading = browser->document()->find(QStringLiteral("Справка Kolvane"));
    QVERIFY(!heading.isNull());
    QVERIFY(heading.charFormat().foreground().style() != Qt::NoBrush);
}

void tst_HelpWindow::navigation()
{
    const QString index = QStringLiteral(KOLVANE_HELP_INDEX);
    HelpWindow window(index);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTextBrowser *browser = window.browser();
    QAction *contents = action(&window, "contentsAct");
    QAction *back = action(&window, "backAct");
    QAction *forward = action(&window, "forwardAct");
    QVERIFY(contents && back && forward);
    QVERIFY(!back->isEnabled());
    QVERIFY(!forward->isEnabled());

    // The first link of the contents, followed from the keyboard.
    browser->setFocus();
    QTest::keyClick(browser, Qt::Key_Tab);
    QTest::keyClick(browser, Qt::Key_Return);
    QCOMPARE(browser->source(), QUrl::fromLocalFile(QFileInfo(index).dir().filePath(QStringLiteral("start.html"))));
    QCOMPARE(window.windowTitle(), QStringLiteral("Начало работы — Справка Kolvane"));
    QVERIFY(back->isEnabled());

    back->trigger();
    QCOMPARE(browser->source(), QUrl::fromLocalFile(index));
    QVERIFY(forward->isEnabled());
    forward->trigger();
    QCOMPARE(QFileInfo(browser->source().toLocalFile()).fileName(), QStringLiteral("start.html"));

    contents->trigger();
    QCOMPARE(browser->source(), QUrl::fromLocalFile(index));
    back->trigger();
    QCOMPARE(QFileInfo(browser->source().toLocalFile()).fileName(), QStringLiteral("start.html"));
}

QTEST_MAIN(tst_HelpWindow)
#include "tst_helpwindow.moc"
