// Image and PDF exports drawn from values, with no graph widget anywhere.

#include "graphsource.h"

#include "report/export.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_GraphExportValues : public QObject
{
    Q_OBJECT
private slots:
    void imagesHaveTheGivenSizeAndCurves_data();
    void imagesHaveTheGivenSizeAndCurves();
    void pdfIsWritten();
    void emptySizeIsRefused();
};

void tst_GraphExportValues::imagesHaveTheGivenSizeAndCurves_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("tolerance"); // JPG smears colours
    QTest::newRow("PNG") << "PNG" << QSize(720, 540) << 0;
    QTest::newRow("JPG") << "JPG" << QSize(610, 470) << 90;
}

void tst_GraphExportValues::imagesHaveTheGivenSizeAndCurves()
{
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QFETCH(int, tolerance);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QVector<float> rates{18000.f, 9000.f};
    GraphSource source = flatRun(rates, 22000);
    source.settings.lineWidth = 5;
    const QString path = dir.filePath(QStringLiteral("graph.") + format.toLower());
    QString error;
    QVERIFY2(exportGraphImage(source, size, path, format.toLatin1().constData(), &error), qPrintable(error));

    const QImage image(path);
    QCOMPARE(image.size(), size);
    const QRect plot = graphPlotRect(QRect(QPoint(0, 0), size));
    GraphSettings axes;
    axes.lengthMax = 8000;
    axes.rateMax = 22000;
    for (int curve = 0; curve < rates.size(); ++curve) {
        const QColor colour = graphCurveColor(curve);
        const int y = int(graphPoint(plot, axes, 0.f, rates.at(curve)).y());
        int matching = 0;
        for (int x = plot.left(); x <= plot.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            matching += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                <= tolerance;
        }
        QVERIFY2(matching > plot.width() / 2, qPrintable(QStringLiteral("curve %1").arg(curve)));
    }
}

void tst_GraphExportValues::pdfIsWritten()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("graph.pdf"));
    QString error;
    QVERIFY2(exportGraphPdf(flatRun({10000.f}, 22000), path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
}

void tst_GraphExportValues::emptySizeIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("graph.png"));
    QString error;
    QVERIFY(!exportGraphImage(flatRun({10000.f}, 22000), QSize(0, 500), path, "PNG", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(tst_GraphExportValues)
#include "tst_graphexportvalues.moc"
