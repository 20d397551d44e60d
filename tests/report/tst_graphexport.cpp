#include "graphfixture.h"

#include "report/export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Signature of each written format, to tell a fresh export from what was there before.
QByteArray signature(const QString &format)
{
    if (format == QLatin1String("PNG"))
        return QByteArray("\x89PNG");
    if (format == QLatin1String("JPG"))
        return QByteArray("\xFF\xD8\xFF");
    return QByteArray("%PDF-");
}

bool exportAs(const QString &format, GraphWidget *graph, const QString &path, QString *error)
{
    if (format == QLatin1String("PDF"))
        return exportGraphPdf(graph, path, error);
    return exportGraphImage(graph, path, format.toLatin1().constData(), error);
}

} // namespace

class tst_GraphExport : public QObject
{
    Q_OBJECT
private slots:
    void proposedName_data();
    void proposedName();
    void proposedNameWithSections_data();
    void proposedNameWithSections();
    void imageHasWidgetSizeAndCurveColours_data();
    void imageHasWidgetSizeAndCurveColours();
    void replacesExistingFile_data();
    void replacesExistingFile();
    void newFileGetsUsualPermissions_data();
    void newFileGetsUsualPermissions();
    void failuresAreReported_data();
    void failuresAreReported();
    void pdfIsALandscapePageFilledByTheGraph();

private:
    static void addFormats()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("PNG") << "PNG";
        QTest::newRow("JPG") << "JPG";
        QTest::newRow("PDF") << "PDF";
    }
};

void tst_GraphExport::proposedName_data()
{
    QTest::addColumn<QStringList>("lineTypes");
    QTest::addColumn<QString>("cableText");
    QTest::addColumn<QString>("loadText");
    QTest::addColumn<QString>("marginText");
    QTest::addColumn<QString>("noise");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one DMT line type")
        << QStringList{"L1.DMT"} << "K1" << "1" << "0 дБ" << "N1"
        << "K1_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L1_SNR_Margin=0 дБ_N1";
    QTest::newRow("DMT and PAM: both norms, both types")
        << QStringList{"A.DMT", "B.PAM"} << "K1" << "1" << "0 дБ" << "N1"
        << "K1_M=4_m=1_ELFEXT=10дБ(300кГц)_NEXT=12дБ(200кГц)_Тип_линии_xDSL=A, B_SNR_Margin=0 дБ_N1";
    QTest::newRow("PAM only: NEXT alone")
        << QStringList{"B.PAM"} << "K1" << "1" << "0 дБ" << "N1"
        << "K1_M=4_m=1_NEXT=12дБ(200кГц)_Тип_линии_xDSL=B_SNR_Margin=0 дБ_N1";
    QTest::newRow("neither kind: read as PAM, as the calculation reads it")
        << QStringList{"notes.txt"} << "K1" << "1" << "0 дБ" << "N1"
        << "K1_M=4_m=1_NEXT=12дБ(200кГц)_Тип_линии_xDSL=notes_SNR_Margin=0 дБ_N1";
    QTest::newRow("both extensions: DMT, as the calculation reads it")
        << QStringList{"A.DMT.PAM"} << "K1" << "1" << "0 дБ" << "N1"
        << "K1_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=A_SNR_Margin=0 дБ_N1";
    QTest::newRow("family of loads and edited margin")
        << QStringList{"L1.DMT"} << "K1" << "1,3,4" << "15дБ" << "N1"
        << "K1_M=4_m=1,3,4_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L1_SNR_Margin=15дБ_N1";
    QTest::newRow("percent signs in names are kept")
        << QStringList{"L%1.DMT"} << "K%2, K%3" << "1" << "0 дБ" << "N%7"
        << "K%2, K%3_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L%1_SNR_Margin=0 дБ_N%7";
}

void tst_GraphExport::proposedName()
{
    QFETCH(QStringList, lineTypes);
    QFETCH(QString, cableText);
    QFETCH(QString, loadText);
    QFETCH(QString, marginText);
    QFETCH(QString, noise);
    QFETCH(QString, expected);

    CalcSettings settings;
    settings.cableTypesText = cableText;
    settings.cableCapacity = 4;
    settings.xDSL_pointsText = loadText;
    settings.norm_ELFEXT_Text = QStringLiteral("10дБ(300кГц)");
    settings.norm_NEXT_Text = QStringLiteral("12дБ(200кГц)");
    settings.lineTypes = lineTypes;
    settings.SNRMarginText = marginText;
    settings.noiseTemplate = noise;
    QCOMPARE(defaultExportName(settings), expected);
}

void tst_GraphExport::proposedNameWithSections_data()
{
    QTest::addColumn<QStringList>("sections"); // "cable:length"
    QTest::addColumn<QString>("expected");

    QTest::newRow("no sections: as ever")
        << QStringList{} << "K1, K2_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L1_SNR_Margin=0 дБ_N1";
    QTest::newRow("one section after the cables")
        << QStringList{"PE-0.50mm-24AWG:500"}
        << "K1, K2_Участки=PE-0.50mm-24AWG 500м_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L1_SNR_Margin=0 дБ_N1";
    QTest::newRow("two sections in loop order, percent signs kept")
        << QStringList{"T%1:1200", "D%2:300"}
        << "K1, K2_Участки=T%1 1200м + D%2 300м_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=L1_SNR_Margin=0 дБ_N1";
}

void tst_GraphExport::proposedNameWithSections()
{
    QFETCH(QStringList, sections);
    QFETCH(QString, expected);

    CalcSettings settings;
    settings.cableTypesText = QStringLiteral("K1, K2");
    settings.cableCapacity = 4;
    settings.xDSL_pointsText = QStringLiteral("1");
    settings.norm_ELFEXT_Text = QStringLiteral("10дБ(300кГц)");
    settings.lineTypes = {QStringLiteral("L1.DMT")};
    settings.SNRMarginText = QStringLiteral("0 дБ");
    settings.noiseTemplate = QStringLiteral("N1");
    for (const QString &section : sections)
        settings.sections.append({section.section(QLatin1Char(':'), 0, 0), section.section(QLatin1Char(':'), 1).toInt()});
    QCOMPARE(defaultExportName(settings), expected);
}

void tst_GraphExport::imageHasWidgetSizeAndCurveColours_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("PNG at 800 x 600") << "PNG" << QSize(800, 600);
    QTest::newRow("PNG after a resize") << "PNG" << QSize(640, 520);
    QTest::newRow("JPG after a resize") << "JPG" << QSize(700, 480);
}

void tst_GraphExport::imageHasWidgetSizeAndCurveColours()
{
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    GraphFixture f;
    f.graph.resize(size);
    const QVector<float> rates{18000.f, 12000.f, 6000.f};
    f.setFlatCurves(rates);
    f.calc.maxRate = 22000;
    f.settings.markVisible = false;
    f.settings.lineWidth = 5; // wide enough for JPG's halved colour resolution
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);

    const QString path = dir.filePath(QStringLiteral("graph.") + format.toLower());
    QString error;
    QVERIFY2(exportAs(format, &f.graph, path, &error), qPrintable(error));
    const QImage image(path);
    QCOMPARE(image.size(), size);
    // JPG smears colours: accept a pixel within a small distance of the curve's colour.
    for (int curve = 0; curve < rates.size(); ++curve) {
        const QColor colour = GraphWidget::curveColor(curve);
        const int y = f.rateY(rates.at(curve));
        int matching = 0;
        for (int x = f.graph.plotArea().left(); x < f.graph.plotArea().right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            matching += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                < (format == QLatin1String("JPG") ? 90 : 1);
        }
        QVERIFY2(matching > f.graph.plotArea().width() / 2, qPrintable(QStringLiteral("curve %1").arg(curve)));
    }
}

void tst_GraphExport::replacesExistingFile_data()
{
    addFormats();
}

// The save dialog has already asked whether to replace the file: the export must do it.
void tst_GraphExport::replacesExistingFile()
{
    QFETCH(QString, format);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    GraphFixture f;
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);

    const QString path = dir.filePath(QStringLiteral("graph.") + format.toLower());
    QVERIFY(writeFile(path, "an earlier export"));
    QString error;
    QVERIFY2(exportAs(format, &f.graph, path, &error), qPrintable(error));
    const QByteArray written = readAll(path);
    QVERIFY(written.startsWith(signature(format)));
    if (format == QLatin1String("PDF"))
        QVERIFY(written.trimmed().endsWith("%%EOF"));
    // Nothing is left behind beside the target.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
}

void tst_GraphExport::newFileGetsUsualPermissions_data()
{
    addFormats();
}

// Reports are shared: a new export is as readable as any file the user creates there.
void tst_GraphExport::newFileGetsUsualPermissions()
{
    QFETCH(QString, format);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    GraphFixture f;
    f.setFlatCurves({10000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);

    const QString plain = dir.filePath(QStringLiteral("plain.txt"));
    QVERIFY(writeFile(plain, "x"));
    const QString path = dir.filePath(QStringLiteral("graph.") + format.toLower());
    QString error;
    QVERIFY2(exportAs(format, &f.graph, path, &error), qPrintable(error));
    QCOMPARE(QFileInfo(path).permissions(), QFileInfo(plain).permissions());
}

void tst_GraphExport::failuresAreReported_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("withResult");
    QTest::addColumn<bool>("missingDirectory");
    for (const char *format : {"PNG", "JPG", "PDF"}) {
        QTest::addRow("%s before any result", format) << format << false << false;
        QTest::addRow("%s into a missing directory", format) << format << true << true;
    }
}

void tst_GraphExport::failuresAreReported()
{
    QFETCH(QString, format);
    QFETCH(bool, withResult);
    QFETCH(bool, missingDirectory);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    GraphFixture f;
    f.setFlatCurves({10000.f});
    if (withResult)
        f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);

    // Root may write into read-only directories; a directory that does not exist stops anyone.
    const QString path = dir.filePath(missingDirectory ? QStringLiteral("missing/graph.") + format.toLower()
                                                       : QStringLiteral("graph.") + format.toLower());
    QString error;
    QVERIFY(!exportAs(format, &f.graph, path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

// One landscape page, the graph filling it inside the margins whatever the window's size: the
// axis names stand at the plot's top left and bottom right corners.
void tst_GraphExport::pdfIsALandscapePageFilledByTheGraph()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    GraphFixture f;
    f.graph.resize(600, 1500);
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    const QString path = dir.filePath(QStringLiteral("graph.pdf"));
    QString error;
    QVERIFY2(exportGraphPdf(&f.graph, path, &error), qPrintable(error));

    QProcess text;
    text.start(pdftotext, {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString boxes = QString::fromUtf8(text.readAllStandardOutput());
    QCOMPARE(boxes.count(QStringLiteral("<page ")), 1);
    const QRegularExpressionMatch page =
        QRegularExpression(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\"")).match(boxes);
    QVERIFY2(page.hasMatch(), qPrintable(boxes));
    const QRectF paper(0, 0, page.captured(1).toDouble(), page.captured(2).toDouble());
    QVERIFY2(paper.width() > paper.height(), qPrintable(page.captured(0)));
    const double margin = 15 / 25.4 * 72; // pt
    const QRectF inner = paper.adjusted(margin, margin, -margin, -margin);
    QMap<QString, QRectF> names;
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    for (auto it = word.globalMatch(boxes); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        names[m.captured(5)] = QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    const QRectF rate = names.value(QStringLiteral("R,кбит/с")), length = names.value(QStringLiteral("L,м"));
    QVERIFY2(inner.contains(rate) && inner.contains(length), qPrintable(QStringList(names.keys()).join(QLatin1Char(' '))));
    QVERIFY2(rate.top() - inner.top() < 30 && rate.left() - inner.left() < 60, qPrintable(QString::number(rate.top())));
    QVERIFY2(inner.right() - length.right() < 30 && inner.bottom() - length.bottom() < 30,
             qPrintable(QString::number(length.right())));
}

QTEST_MAIN(tst_GraphExport)
#include "tst_graphexport.moc"
