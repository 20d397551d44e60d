#include "templates/templateeditorpane.h"
#include "templates/templatestablewidget.h"
#include "drawing/templateplot.h"

#include "pixels.h"
#include "templatetestutil.h"

#include <QHeaderView>
#include <QTemporaryDir>
#include <QtTest>

class tst_TemplateEditorPane : public QObject
{
    Q_OBJECT

private slots:
    void plotFollowsTheCells();
};

// Counts the paints of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void tst_TemplateEditorPane::plotFollowsTheCells()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.att"));
    QVERIFY(writeBytes(file, cellBytes({{0, 0, 0}, {0, 1, 0}, {1, 0, 1000}, {1, 1, 20}, {2, 0, 2000}, {2, 1, 40}})));
    auto *table = new TemplatesTableWidget;
    table->setTemplateKind(CableAttenuation);
    table->setFilePath(file);
    QVERIFY(table->loadFromFile());
    TemplateEditorPane pane(table);
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QWidget *plot = pane.plot();
    QVERIFY(plot);
    QCOMPARE(pane.windowTitle(), file);
    // Every column in view beside the plot.
    QVERIFY(table->horizontalHeader()->sectionViewportPosition(1) + table->columnWidth(1)
            <= table->viewport()->width());

    PaintCounter counter;
    plot->installEventFilter(&counter);
    typeIntoCell(table, 1, 1, QStringLiteral("30,5"));
    QTRY_VERIFY(counter.paints > 0);
    QCOMPARE(pane.windowTitle(), file + " *");
    const QImage image = plot->grab().toImage();
    const TemplatePlotValues values =
        templatePlotValues(CableAttenuation, {{0, 0}, {1000, 30.5}, {2000, 40}}, table->currentRow());
    const TemplateChart chart = settleTemplateChart(values, plot->rect(), QFontMetrics(plot->font()));
    QVERIFY(around(image, {chart.xAt(500), chart.leftAt(15.25)}, TemplatePlotColors::Attenuation, 1) > 0);
    QCOMPARE(around(image, {chart.xAt(500), chart.leftAt(10)}, TemplatePlotColors::Attenuation, 2), 0);

    // A PAM line type's one row does not depend on frequency: no plot.
    auto *pam = new TemplatesTableWidget;
    pam->setTemplateKind(LineTypePam);
    QVERIFY(!TemplateEditorPane(pam).plot());
}

QTEST_MAIN(tst_TemplateEditorPane)
#include "tst_templateeditorpane.moc"
