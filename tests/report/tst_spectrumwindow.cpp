#include "report/spectrumwindow.h"

#include "modalanswerer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// A DMT spectrum with loaded and unloaded tones and values that need rounding in the CSV.
LineSpectrum dmtSpectrum()
{
    LineSpectrum s;
    s.curve = QStringLiteral("SNR Margin=1.5дБ");
    s.lineType = QStringLiteral("ADSL2+_DS.DMT");
    s.cable = QStringLiteral("PE-0.40mm-26AWG");
    s.length = 3000;
    s.dmt = true;
    for (int i = 0; i < 300; ++i) {
        ToneTrace t;
        t.f = float(25.875 + 4.3125 * i);
        t.S = -40;
        t.A = float(10 + i * 0.123456789);
        t.W = float(double(t.S) - double(t.A));
        t.U = -140.123456f;
        t.snr = float(double(t.W) - double(t.U));
        t.cap = 15;
        t.bits = std::clamp(int((t.snr - 9.75) / 3.0103), 0, 15);
        s.trace.tones << t;
        s.trace.rate = float(double(s.trace.rate) + 4.0 * t.bits);
    }
    return s;
}

LineSpectrum pamSpectrum()
{
    LineSpectrum s;
    s.curve = QStringLiteral("m=1");
    s.lineType = QStringLiteral("SHDSL_PAM16.PAM");
    s.cable = QStringLiteral("PE-0.40mm-26AWG");
    s.length = 4000;
    s.dmt = false;
    for (int k = 0; k < 4; ++k)
        s.trace.candidates << CandidateTrace{float(2304 - 64 * k), 385.5f - 10.67f * k, float(15 + 1.3 * k), 18.7809};
    s.trace.rate = 2112;
    return s;
}

QByteArray csvOf(const LineSpectrum &s)
{
    QByteArray bytes;
    QTextStream out(&bytes);
    writeTraceCsv(out, s.trace, s.dmt);
    out.flush();
    return bytes;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QAction *action(QWidget *w, const QString &name)
{
    for (QAction *a : w->actions())
        if (a->objectName() == name)
            return a;
    return nullptr;
}

} // namespace

class tst_SpectrumWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsChartAndTable_data();
    void showsChartAndTable();
    void noteWhenTheTableDisagrees();
    void csvRoundTrip_data();
    void csvRoundTrip();
    void pngExport();
    void pdfExport();
    void refusedSaves_data();
    void refusedSaves();
    void saveThroughTheDialog_data();
    void saveThroughTheDialog();
    void copyTheNumbers();
    void contextMenus();

private:
    QTemporaryDir m_dir;
};

void tst_SpectrumWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void tst_SpectrumWindow::showsChartAndTable_data()
{
    QTest::addColumn<bool>("dmt");
    QTest::newRow("DMT") << true;
    QTest::newRow("PAM") << false;
}

void tst_SpectrumWindow::showsChartAndTable()
{
    QFETCH(bool, dmt);
    const LineSpectrum s = dmt ? dmtSpectrum() : pamSpectrum();
    SpectrumWindow window(s, s.trace.rate);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Kolvane - Спектр: %1, L=%2 м").arg(s.curve).arg(s.length));
    QVERIFY(!window.note()->isVisible());

    const QAbstractItemModel *model = window.table()->model();
    QCOMPARE(model->rowCount(), dmt ? s.trace.tones.size() : s.trace.candidates.size());
    QCOMPARE(model->columnCount(), dmt ? 6 : 4);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), dmt ? QStringLiteral("F,кГц") : QStringLiteral("R,кбит/с"));
    // The cells say what the CSV says.
    const QList<QByteArray> lines = csvOf(s).split('\n');
    for (int row : {0, 1, int(model->rowCount()) - 1}) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(row, c)).toString();
        QCOMPARE(cells.join(QLatin1Char(';')) + QLatin1Char(';'), QString::fromUtf8(lines.at(row + 1)));
    }

    // What the widget shows is the picture of the values.
    const QImage shown = window.chart()->grab().toImage();
    const SpectrumChart &chart = window.chart()->shownChart();
    QVERIFY(chart.plot.isValid());
    QCOMPARE(chart.dmt, dmt);
    const qreal ratio = shown.devicePixelRatio();
    if (dmt) {
        const ToneTrace &t = s.trace.tones[10];
        const QPoint at = (QPointF(chart.xAt(t.f), chart.bitsAt(t.bits / 2.0)) * ratio).toPoint();
        QCOMPARE(QColor(shown.pixel(at)), SpectrumColors::Bits);
    }
}

void tst_SpectrumWindow::noteWhenTheTableDisagrees()
{
    const LineSpectrum s = dmtSpectrum();
    SpectrumWindow window(s, float(s.trace.rate + 4));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.note()->isVisible());
    QVERIFY2(window.note()->text().contains(QStringLiteral("Шаблоны изменились после расчёта")), qPrintable(window.note()->text()));

    LineSpectrum warned = s;
    warned.warnings << QStringLiteral("В шаблоне AddNoise/x.add нет ни одной полной строки; помехи не добавляются");
    SpectrumWindow second(warned, warned.trace.rate);
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QCOMPARE(second.note()->text(), warned.warnings.first());
}

void tst_SpectrumWindow::csvRoundTrip_data()
{
    QTest::addColumn<bool>("dmt");
    QTest::newRow("DMT") << true;
    QTest::newRow("PAM") << false;
}

void tst_SpectrumWindow::csvRoundTrip()
{
    QFETCH(bool, dmt);
    const LineSpectrum s = dmt ? dmtSpectrum() : pamSpectrum();
    SpectrumWindow window(s);
    const QString path = m_dir.filePath(dmt ? QStringLiteral("dmt.csv") : QStringLiteral("pam.csv"));
    QString error;
    QVERIFY2(window.saveTo(path, &error), qPrintable(error));
    const QByteArray bytes = contents(path);
    QCOMPARE(bytes, csvOf(s));

    // Read back, the numbers are the trace's to the CSV's six digits.
    QList<QByteArray> lines = bytes.split('\n');
    QVERIFY(lines.takeLast().isEmpty());
    QCOMPARE(lines.size() - 1, dmt ? s.trace.tones.size() : s.trace.candidates.size());
    int bitsSum = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines.at(i).split(';');
        QCOMPARE(f.size(), dmt ? 7 : 5);
        QVERIFY(f.last().isEmpty());
        if (dmt) {
            const ToneTrace &t = s.trace.tones.at(i - 1);
            QVERIFY(std::fabs(f.at(0).toDouble() - t.f) <= 1e-5 * std::fabs(t.f));
            QVERIFY(std::fabs(f.at(2).toDouble() - t.A) <= 1e-5 * std::fabs(t.A));
            QCOMPARE(f.at(5).toInt(), t.bits);
            bitsSum += f.at(5).toInt();
        } else {
            const CandidateTrace &c = s.trace.candidates.at(i - 1);
            QCOMPARE(f.at(0).toFloat(), c.rate);
            QVERIFY(std::fabs(f.at(2).toDouble() - c.snr) <= 1e-5 * std::fabs(c.snr));
            QCOMPARE(f.at(3), QByteArray("18.7809"));
        }
    }
    if (dmt)
        QCOMPARE(float(4 * bitsSum), s.trace.rate);
}

void tst_SpectrumWindow::pngExport()
{
    const LineSpectrum s = dmtSpectrum();
    SpectrumWindow window(s);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString path = m_dir.filePath(QStringLiteral("chart.png"));
    QString error;
    QVERIFY2(window.saveTo(path, &error), qPrintable(error));
    QImage image;
    QVERIFY(image.load(path, "PNG"));
    // At the size on screen, the same picture drawn from the values.
    QCOMPARE(image.size(), window.chart()->size());
    QImage probe(image.size(), QImage::Format_RGB32);
    QPainter painter(&probe);
    const SpectrumChart chart = settleSpectrumChart(s, probe.rect(), painter.fontMetrics());
    const ToneTrace &t = s.trace.tones[10];
    QCOMPARE(QColor(image.pixel(QPointF(chart.xAt(t.f), chart.bitsAt(t.bits / 2.0)).toPoint())), SpectrumColors::Bits);
    QCOMPARE(QColor(image.pixel(chart.plot.center().x(), chart.plot.top())), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(0, image.height() / 2)), QColor(Qt::white));
}

void tst_SpectrumWindow::pdfExport()
{
    SpectrumWindow window(pamSpectrum());
    const QString path = m_dir.filePath(QStringLiteral("chart.pdf"));
    QString error;
    QVERIFY2(window.saveTo(path, &error), qPrintable(error));
    const QByteArray pdf = contents(path);
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.size() > 2000);

    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed: the document's pages are not checked");
    QProcess info;
    info.start(pdfinfo, {path});
    QVERIFY(info.waitForFinished(30000));
    QCOMPARE(info.exitCode(), 0);
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(out));
    // A4 landscape: 842 x 595 pt.
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("Page size:\\s+84[12](\\.\\d+)? x 595(\\.\\d+)? pts"))), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Kolvane - Спектр: m=1, L=4000 м")), qPrintable(out));
}

void tst_SpectrumWindow::refusedSaves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown extension") << QStringLiteral("chart.svg") << QStringLiteral("chart.svg");
    QTest::newRow("no extension") << QStringLiteral("chart") << QStringLiteral(".png, .pdf и .csv");
    QTest::newRow("below a regular file") << QStringLiteral("blocker/chart.csv") << QString();
    QTest::newRow("png below a regular file") << QStringLiteral("blocker/chart.png") << QString();
    QTest::newRow("pdf below a regular file") << QStringLiteral("blocker/chart.pdf") << QString();
}

void tst_SpectrumWindow::refusedSaves()
{
    QFETCH(QString, name);
    QFETCH(QString, mentions);
    {
        QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("keep");
    }
    SpectrumWindow window(dmtSpectrum());
    QString error;
    QVERIFY(!window.saveTo(m_dir.filePath(name), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(mentions), qPrintable(error));
    QCOMPARE(contents(m_dir.filePath(QStringLiteral("blocker"))), QByteArray("keep"));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(name)));
}

void tst_SpectrumWindow::saveThroughTheDialog_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("the first filter's extension added") << QStringLiteral("typed") << QStringLiteral("typed.png");
    QTest::newRow("a name with dots") << QStringLiteral("SNR Margin=1.5дБ") << QStringLiteral("SNR Margin=1.5дБ.png");
    QTest::newRow("CSV by its extension") << QStringLiteral("numbers.csv") << QStringLiteral("numbers.csv");
    QTest::newRow("PDF by its extension") << QStringLiteral("page.PDF") << QStringLiteral("page.PDF");
}

void tst_SpectrumWindow::saveThroughTheDialog()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const LineSpectrum s = dmtSpectrum();
    SpectrumWindow window(s);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ModalAnswerer answerer;
    ModalAnswerer::FileDialogSeen seen;
    answerer.pushSaveFile(m_dir.filePath(typed), &seen);
    action(window.chart(), QStringLiteral("saveSpectrumAct"))->trigger();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(seen.title, QStringLiteral("Сохранить спектр линии"));
    QCOMPARE(seen.filters.size(), 3);
    QCOMPARE(seen.proposedName, QStringLiteral("Спектр_SNR_Margin=1.5дБ_L=3000м.png"));
    const QString path = m_dir.filePath(written);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const QByteArray bytes = contents(path);
    if (written.endsWith(QLatin1String(".csv")))
        QCOMPARE(bytes, csvOf(s));
    else if (written.endsWith(QLatin1String(".PDF")))
        QVERIFY(bytes.startsWith("%PDF-"));
    else
        QVERIFY(bytes.startsWith("\x89PNG"));
}

void tst_SpectrumWindow::copyTheNumbers()
{
    const LineSpectrum s = pamSpectrum();
    SpectrumWindow window(s);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    if (QApplication::activeWindow() != &window)
        QSKIP("the platform does not activate windows: shortcuts cannot reach the table");
    QApplication::clipboard()->clear();
    // Ctrl+C with the focus on the chart copies the whole table.
    QTest::mouseClick(window.chart(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), window.chart());
    QTest::keySequence(window.chart(), QKeySequence::Copy);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), s.trace.candidates.size() + 1);
    QCOMPARE(lines.first(), QStringLiteral("R,кбит/с\tfN,кГц\tSNR,дБ\tT,дБ"));
    QCOMPARE(lines.at(1), QStringLiteral("2304\t385.5\t15\t18.7809"));
}

void tst_SpectrumWindow::contextMenus()
{
    SpectrumWindow window(dmtSpectrum());
    for (QWidget *w : {static_cast<QWidget *>(window.chart()), static_cast<QWidget *>(window.table())}) {
        QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
        QAction *save = action(w, QStringLiteral("saveSpectrumAct"));
        QVERIFY(save);
        QCOMPARE(save->text(), QStringLiteral("Сохранить…"));
        QAction *copy = action(w, QStringLiteral("copyTableAct"));
        QVERIFY(copy);
        QCOMPARE(copy->shortcut(), QKeySequence(QKeySequence::Copy));
    }
}

QTEST_MAIN(tst_SpectrumWindow)
#include "tst_spectrumwindow.moc"
