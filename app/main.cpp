#include "app/mainwindow.h"
#include "app/qttranslation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kolvane"));
    installQtTranslation(app);

    MainWindow window;
    window.show();
    return app.exec();
}
