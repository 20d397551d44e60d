#include "report/reportmdisubwindow.h"

#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QtTest>

class tst_ReportMdiSubWindow : public QObject
{
    Q_OBJECT
private slots:
    void closingHidesAndKeepsTheWindow();
};

void tst_ReportMdiSubWindow::closingHidesAndKeepsTheWindow()
{
    QMdiArea area;
    auto *window = new ReportMdiSubWindow(&area);
    QPointer<QLabel> content = new QLabel(QStringLiteral("graph"));
    window->setWidget(content);
    area.addSubWindow(window);
    area.show();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QPointer<ReportMdiSubWindow> alive = window;

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive);
    QVERIFY(content);
    QVERIFY(!window->isVisible());
    QVERIFY(area.subWindowList().contains(window));

    window->show();
    QVERIFY(window->isVisible());
    QCOMPARE(window->widget(), content.data());
}

QTEST_MAIN(tst_ReportMdiSubWindow)
#include "tst_reportmdisubwindow.moc"
