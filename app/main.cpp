#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "engine/messages.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kolvane"));
    installQtTranslation(app);
    setMessageLanguage(MessageLanguage::Russian);
    // An export into a FIFO whose reader has gone reports a broken pipe instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);

    MainWindow window;
    window.show();
    return app.exec();
}
