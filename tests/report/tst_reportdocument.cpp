// The report read back from its PDF with the poppler tools: pages and their boxes, the text
// layer, and the first page rendered.

#include "graphsource.h"

#include "drawing/reportdocument.h"

#include "engine/messages.h"
#include "report/reportprint.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QDateTime stamp(QDate(2012, 2, 26), QTime(12, 0, 0));

// Falling curves over 0 ... `to` m; the rates have fractions, as a run's do.
GraphSource fallingRun(int to, int step, int curves = 3)
{
    GraphSource source = flatRun({0.f}, 0);
    CalcSettings &calc = source.run.calc;
    calc.lineTypes = {QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("ADSL_DS.DMT"), QStringLiteral("VDSL2-8b_DS.DMT")};
    calc.cableTypes = {QStringLiteral("ТПП-0.4")};
    calc.cableLengthTo = to;
    calc.cableLengthStep = step;
    source.run.rows.clear();
    float top = 0;
    for (int length = 0; length <= to; length += step) {
        ResultRow row{float(length), {}};
        for (int i = 0; i < curves; ++i)
            row.rates << float(24000.0 * std::exp(-length / 3000.0) / (1.0 + 0.37 * i) + 0.25 * i);
        top = std::max(top, row.rates.first());
        source.run.rows.append(row);
    }
    calc.maxRate = int(top);
    return source;
}

const QStringList header{QStringLiteral("L,м"), QStringLiteral("R,кбит/с\nADSL2+_DS.DMT"),
                         QStringLiteral("R,кбит/с\nADSL_DS.DMT"), QStringLiteral("R,кбит/с\nVDSL2-8b_DS.DMT")};

ReportContent content(int to = 12000, int step = 100, const QVector<ReportTable> &extra = {})
{
    return reportContent(fallingRun(to, step), header, extra, stamp);
}

// A family of `curves` SNR margins, as wide a table as a run gives.
ReportContent wideContent(int curves)
{
    QStringList labels{QStringLiteral("L,м")};
    for (int i = 0; i < curves; ++i)
        labels << QStringLiteral("R,кбит/с\nSNR Margin=%1дБ").arg(i);
    return reportContent(fallingRun(12000, 100, curves), labels, {}, stamp);
}

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

struct PageBox {
    double width = 0, height = 0;
};

// Page sizes in points, from pdfinfo.
QVector<PageBox> pageBoxes(const QString &pdf)
{
    const QString info = run(tool("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                               QStringLiteral("9999"), pdf});
    QVector<PageBox> boxes;
    const QRegularExpression size(QStringLiteral("Page +\\d+ size:\\s+([0-9.]+) x ([0-9.]+) pts"));
    for (auto it = size.globalMatch(info); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        boxes.append({m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return boxes;
}

QString pageText(const QString &pdf, int page, bool layout = false)
{
    QStringList arguments{QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page)};
    if (layout)
        arguments << QStringLiteral("-layout");
    arguments << pdf << QStringLiteral("-");
    return run(tool("pdftotext"), arguments);
}

struct Word {
    QRectF box;
    QString text;
};

QVector<Word> pageWords(const QString &pdf, int page)
{
    const QString xml = run(tool("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                                QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    QVector<Word> words;
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    for (auto it = word.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.append({QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                             QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                      m.captured(5)});
    }
    return words;
}

// The table rows a page's text layer holds: lines that start with a length, split at blanks.
QVector<QStringList> numberLines(const QString &text)
{
    QVector<QStringList> lines;
    const QRegularExpression leadingNumber(QStringLiteral("^\\s*\\d+\\s"));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (leadingNumber.match(line).hasMatch())
            lines.append(line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts));
    }
    return lines;
}

#define REQUIRE_POPPLER()                                                                              \
    do {                                                                                               \
        if (tool("pdfinfo").isEmpty() || tool("pdftotext").isEmpty() || tool("pdftoppm").isEmpty())    \
            QSKIP("pdfinfo, pdftotext and pdftoppm (poppler-utils) are not installed");                \
    } while (false)

} // namespace

class tst_ReportDocument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void pagesAndBoxes_data();
    void pagesAndBoxes();
    void everyRateInTheTextLayer_data();
    void everyRateInTheTextLayer();
    void headerAndPageNumberOnEveryPage();
    void numbersAreRightAligned();
    void graphFillsTheFirstPage();
    void fontsAreEmbedded();
    void extraTablesFollowTheResults();
    void printedPageRange();
    void title_data();
    void title();
    void failedWriteKeepsNothing_data();
    void failedWriteKeepsNothing();
    void replacesAnEarlierFile();

private:
    QString write(const ReportContent &content, const ReportPageSetup &setup = {});
    QTemporaryDir m_dir;
    int m_count = 0;
};

void tst_ReportDocument::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString tst_ReportDocument::write(const ReportContent &content, const ReportPageSetup &setup)
{
    const QString path = m_dir.filePath(QStringLiteral("report%1.pdf").arg(++m_count));
    QString error;
    if (!writeReportPdf(content, path, setup, &error)) {
        qWarning("%s", qPrintable(error));
        return QString();
    }
    return path;
}

void tst_ReportDocument::pagesAndBoxes_data()
{
    QTest::addColumn<int>("to");
    QTest::addColumn<QPageSize::PageSizeId>("paper");
    QTest::addColumn<QPageLayout::Orientation>("tables");
    QTest::addColumn<int>("leastPages");
    QTest::newRow("A4, a long table over several pages") << 12000 << QPageSize::A4 << QPageLayout::Portrait << 4;
    QTest::newRow("A4, a short table on one page") << 2000 << QPageSize::A4 << QPageLayout::Portrait << 2;
    QTest::newRow("Letter, as a print dialog may choose") << 12000 << QPageSize::Letter << QPageLayout::Portrait << 4;
    QTest::newRow("table pages in landscape") << 12000 << QPageSize::A4 << QPageLayout::Landscape << 4;
}

void tst_ReportDocument::pagesAndBoxes()
{
    REQUIRE_POPPLER();
    QFETCH(int, to);
    QFETCH(QPageSize::PageSizeId, paper);
    QFETCH(QPageLayout::Orientation, tables);
    QFETCH(int, leastPages);

    ReportPageSetup setup;
    setup.pageSize = QPageSize(paper);
    setup.tablesOrientation = tables;
    const ReportContent report = content(to);
    const QString pdf = write(report, setup);
    QVERIFY(!pdf.isEmpty());

    const QVector<PageBox> boxes = pageBoxes(pdf);
    QVERIFY(boxes.size() >= leastPages);
    QCOMPARE(boxes.size(), reportPageCount(report, setup, 600));
    const QSizeF paperSize = setup.pageSize.size(QPageSize::Point);
    const double shortSide = std::min(paperSize.width(), paperSize.height());
    const double longSide = std::max(paperSize.width(), paperSize.height());
    // The graph page lies on its long side; the table pages stand as the set-up says.
    QVERIFY2(std::abs(boxes.first().width - longSide) < 1 && std::abs(boxes.first().height - shortSide) < 1,
             qPrintable(QStringLiteral("%1 x %2").arg(boxes.first().width).arg(boxes.first().height)));
    for (int i = 1; i < boxes.size(); ++i) {
        const bool portrait = boxes.at(i).height > boxes.at(i).width;
        QCOMPARE(portrait, tables == QPageLayout::Portrait);
        QVERIFY(std::abs(std::max(boxes.at(i).width, boxes.at(i).height) - longSide) < 1);
    }
}

void tst_ReportDocument::everyRateInTheTextLayer_data()
{
    QTest::addColumn<int>("curves");
    QTest::newRow("three curves") << 3;
    QTest::newRow("fourteen curves: a smaller font") << 14;
}

void tst_ReportDocument::everyRateInTheTextLayer()
{
    REQUIRE_POPPLER();
    QFETCH(int, curves);
    const ReportContent report = curves == 3 ? content() : wideContent(curves);
    const QString pdf = write(report);
    QVERIFY(!pdf.isEmpty());
    const int pages = pageBoxes(pdf).size();
    QVERIFY(pages >= 3);

    QVector<QStringList> found;
    for (int page = 2; page <= pages; ++page)
        found += numberLines(pageText(pdf, page, true));
    // Every row in order, every rate as the table shows it; the page numbers are not rows.
    QCOMPARE(found.size(), report.results.rows.size());
    for (int r = 0; r < found.size(); ++r)
        QCOMPARE(found.at(r), report.results.rows.at(r));
    QCOMPARE(report.results.rows.at(1).mid(0, 4), (QStringList{"100", "23213.2", "16944.2", "13341.4"}));
}

void tst_ReportDocument::headerAndPageNumberOnEveryPage()
{
    REQUIRE_POPPLER();
    const QString pdf = write(content());
    QVERIFY(!pdf.isEmpty());
    const int pages = pageBoxes(pdf).size();
    QVERIFY(pages >= 3);
    for (int page = 1; page <= pages; ++page) {
        const QString text = pageText(pdf, page);
        QVERIFY2(text.contains(QStringLiteral("стр. %1 из %2").arg(page).arg(pages)), qPrintable(text.right(200)));
        if (page == 1)
            continue;
        QVERIFY2(text.contains(QStringLiteral("Таблица скорости")), qPrintable(QString::number(page)));
        QVERIFY2(text.contains(QStringLiteral("L,м")), qPrintable(QString::number(page)));
        for (const char *label : {"ADSL2+_DS.DMT", "ADSL_DS.DMT", "VDSL2-8b_DS.DMT"})
            QVERIFY2(text.contains(QLatin1String(label)), qPrintable(QStringLiteral("page %1 lacks %2").arg(page).arg(label)));
        QCOMPARE(text.count(QStringLiteral("R,кбит/с")), 3);
        QCOMPARE(text.contains(QStringLiteral("(продолжение)")), page > 2);
    }
}

// Lengths and rates end at their column's right edge, whatever their width.
void tst_ReportDocument::numbersAreRightAligned()
{
    REQUIRE_POPPLER();
    const ReportContent report = content(3000, 100);
    const QString pdf = write(report);
    QVERIFY(!pdf.isEmpty());
    const QVector<Word> words = pageWords(pdf, 2);
    for (int column = 0; column < 4; ++column) {
        QVector<double> rightEdges, leftEdges;
        for (const QStringList &row : report.results.rows) {
            // Each cell text is unique enough in its column to be found by its row's length.
            const QString lengthText = row.first();
            double rowTop = -1;
            for (const Word &w : words) {
                if (w.text == lengthText && w.box.left() < 100) {
                    rowTop = w.box.top();
                    break;
                }
            }
            QVERIFY2(rowTop >= 0, qPrintable(lengthText));
            for (const Word &w : words) {
                if (w.text == row.at(column) && std::abs(w.box.top() - rowTop) < 1) {
                    rightEdges << w.box.right();
                    leftEdges << w.box.left();
                }
            }
        }
        QVERIFY(rightEdges.size() >= report.results.rows.size());
        const auto [low, high] = std::minmax_element(rightEdges.begin(), rightEdges.end());
        QVERIFY2(*high - *low < 0.6, qPrintable(QStringLiteral("column %1: right edges %2 ... %3")
                                                    .arg(column).arg(*low).arg(*high)));
        const auto [first, last] = std::minmax_element(leftEdges.begin(), leftEdges.end());
        QVERIFY2(*last - *first > 2, qPrintable(QStringLiteral("column %1: all texts start together").arg(column)));
    }
}

// Rendered without anti-aliasing, the plot's frame is a run of dark pixels; its length is the
// graph's size on the page.
void tst_ReportDocument::graphFillsTheFirstPage()
{
    REQUIRE_POPPLER();
    const QString pdf = write(content());
    QVERIFY(!pdf.isEmpty());
    const QString prefix = m_dir.filePath(QStringLiteral("first"));
    QProcess render;
    render.start(tool("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("50"),
                                    QStringLiteral("-aa"), QStringLiteral("no"), QStringLiteral("-aaVector"),
                                    QStringLiteral("no"), QStringLiteral("-f"), QStringLiteral("1"),
                                    QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                    prefix});
    QVERIFY(render.waitForFinished(60000));
    QCOMPARE(render.exitCode(), 0);
    const QImage page = QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!page.isNull());
    QVERIFY(page.width() > page.height());

    const auto dark = [&](int x, int y) { return QColor(page.pixel(x, y)).lightness() < 100; };
    int longestRow = 0, longestColumn = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0, run = 0; x < page.width(); ++x) {
            run = dark(x, y) ? run + 1 : 0;
            longestRow = std::max(longestRow, run);
        }
    }
    for (int x = 0; x < page.width(); ++x) {
        for (int y = 0, run = 0; y < page.height(); ++y) {
            run = dark(x, y) ? run + 1 : 0;
            longestColumn = std::max(longestColumn, run);
        }
    }
    QVERIFY2(longestRow > page.width() * 0.75, qPrintable(QStringLiteral("%1 of %2").arg(longestRow).arg(page.width())));
    QVERIFY2(longestColumn > page.height() * 0.65,
             qPrintable(QStringLiteral("%1 of %2").arg(longestColumn).arg(page.height())));

    // Vector text on the page: the title and the whole conditions block.
    const QString text = pageText(pdf, 1, true);
    for (const QString &expected : {QStringLiteral("Скорость линий ADSL2+_DS, ADSL_DS, VDSL2-8b_DS"),
                                    QStringLiteral("кабель ТПП-0.4"), QStringLiteral("26.02.2012"),
                                    QStringLiteral("Кабель=ТПП-0.4"), QStringLiteral("ELFEXT 1км F=300кГц"),
                                    QStringLiteral("xDSL=VDSL2-8b_DS ---c---"), QStringLiteral("Помехи=N1")})
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + text));
}

void tst_ReportDocument::fontsAreEmbedded()
{
    const QString pdffonts = tool("pdffonts");
    if (pdffonts.isEmpty())
        QSKIP("pdffonts (poppler-utils) is not installed");
    const QString pdf = write(content(2000));
    QVERIFY(!pdf.isEmpty());
    const QStringList lines = run(pdffonts, {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() > 2, qPrintable(lines.join(QLatin1Char('\n'))));
    // name type encoding emb sub uni object ID: "emb" is the fourth column from the end.
    for (const QString &line : lines.mid(2)) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVERIFY2(fields.size() >= 7 && fields.at(fields.size() - 5) == QLatin1String("yes"), qPrintable(line));
        QCOMPARE(fields.at(fields.size() - 3), QStringLiteral("yes")); // Cyrillic maps back to text
    }
}

void tst_ReportDocument::extraTablesFollowTheResults()
{
    REQUIRE_POPPLER();
    ReportTable reach{QStringLiteral("Досягаемость, м"), {QStringLiteral("R,кбит/с"), QStringLiteral("ADSL2+_DS.DMT"),
                                                          QStringLiteral("ADSL_DS.DMT")},
                      {}};
    reach.rows = {{"1024", "5400", ">12000"}, {"8192", "1300", "-"}, {"16000", "-", "-"}};
    ReportTable margin{QStringLiteral("Запас при 8192 кбит/с, дБ"), {QStringLiteral("L,м"), QStringLiteral("запас")}, {}};
    for (int length = 0; length <= 4000; length += 50)
        margin.rows.append({QString::number(length), QString::number(30 - length / 200.0, 'f', 1)});
    const ReportContent report = content(6000, 100, {reach, margin});
    const QString pdf = write(report);
    QVERIFY(!pdf.isEmpty());
    const int pages = pageBoxes(pdf).size();

    QString all;
    int reachPage = 0;
    for (int page = 2; page <= pages; ++page) {
        const QString text = pageText(pdf, page, true);
        if (!reachPage && text.contains(QStringLiteral("Досягаемость, м")))
            reachPage = page;
        all += text;
    }
    QVERIFY(reachPage >= 2);
    const qsizetype results = all.indexOf(QStringLiteral("Таблица скорости"));
    const qsizetype reachAt = all.indexOf(QStringLiteral("Досягаемость, м"));
    const qsizetype marginAt = all.indexOf(QStringLiteral("Запас при 8192 кбит/с, дБ"));
    QVERIFY(results >= 0 && results < reachAt && reachAt < marginAt);
    // Results first, then each table's rows in order, cells intact.
    QVector<QStringList> expected = report.results.rows;
    expected += reach.rows;
    expected += margin.rows;
    QVector<QStringList> found = numberLines(all);
    QCOMPARE(found.size(), expected.size());
    for (int r = 0; r < found.size(); ++r)
        QCOMPARE(found.at(r), expected.at(r));
    // The margin table runs onto a further page: its header goes with it.
    const QString last = pageText(pdf, pages);
    QVERIFY2(last.contains(QStringLiteral("Запас при 8192 кбит/с, дБ (продолжение)")), qPrintable(last));
    QVERIFY(last.contains(QStringLiteral("запас")));
}

// A print dialog's page range: only those pages, numbered as in the whole report.
void tst_ReportDocument::printedPageRange()
{
    REQUIRE_POPPLER();
    const ReportContent report = content();
    QPrinter printer(QPrinter::HighResolution);
    const QString path = m_dir.filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setPageRanges(QPageRanges::fromString(QStringLiteral("2-3")));
    QString error;
    QVERIFY2(printReport(printer, report, &error), qPrintable(error));

    const int total = reportPageCount(report, ReportPageSetup(), printer.resolution());
    QVERIFY(total >= 4);
    const QVector<PageBox> boxes = pageBoxes(path);
    QCOMPARE(boxes.size(), 2);
    for (const PageBox &box : boxes)
        QVERIFY(box.height > box.width);
    QVERIFY(pageText(path, 1).contains(QStringLiteral("стр. 2 из %1").arg(total)));
    QVERIFY(pageText(path, 2).contains(QStringLiteral("стр. 3 из %1").arg(total)));

    printer.setPageRanges(QPageRanges::fromString(QStringLiteral("40-41")));
    QVERIFY(!printReport(printer, report, &error));
    QVERIFY2(error.contains(QStringLiteral("нет страниц")), qPrintable(error));
}

void tst_ReportDocument::title_data()
{
    QTest::addColumn<QStringList>("lineTypes");
    QTest::addColumn<QStringList>("cables");
    QTest::addColumn<QVector<int>>("loads");
    QTest::addColumn<bool>("withSection");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one of each") << QStringList{"ADSL2+_DS.DMT"} << QStringList{"ТПП-0.4"} << QVector<int>{1} << false
                                 << "Скорость линий ADSL2+_DS; кабель ТПП-0.4; загрузка m=1; 26.02.2012";
    QTest::newRow("a family of loads, a dotted name")
        << QStringList{"SHDSL.v2.PAM"} << QStringList{"K1"} << QVector<int>{1, 5, 10} << false
        << "Скорость линий SHDSL.v2; кабель K1; загрузка m=1, 5, 10; 26.02.2012";
    QTest::newRow("a section in front") << QStringList{"L1.DMT", "L2.DMT"} << QStringList{"K1"} << QVector<int>{2}
                                        << true
                                        << "Скорость линий L1, L2; кабель K2 (300 м) + K1; загрузка m=2; 26.02.2012";
}

void tst_ReportDocument::title()
{
    QFETCH(QStringList, lineTypes);
    QFETCH(QStringList, cables);
    QFETCH(QVector<int>, loads);
    QFETCH(bool, withSection);
    QFETCH(QString, expected);
    CalcSettings calc;
    calc.lineTypes = lineTypes;
    calc.cableTypes = cables;
    calc.xDSL_points = loads;
    if (withSection)
        calc.sections = {CableSection{QStringLiteral("K2"), 300}};
    QCOMPARE(reportTitle(calc, stamp.date()), expected);
}

void tst_ReportDocument::failedWriteKeepsNothing_data()
{
    QTest::addColumn<QString>("relative"); // "" = no name at all
    QTest::newRow("no name") << "";
    QTest::newRow("missing directory") << "missing/report.pdf";
    QTest::newRow("a file where the directory should be") << "blocker/report.pdf";
}

void tst_ReportDocument::failedWriteKeepsNothing()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = relative.isEmpty() ? QString() : dir.filePath(relative);
    // As the program sets it at start: the user is told in Russian.
    setMessageLanguage(MessageLanguage::Russian);
    QString error;
    const bool written = writeReportPdf(content(2000), path, ReportPageSetup(), &error);
    setMessageLanguage(MessageLanguage::English);
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(QRegularExpression(QStringLiteral("[а-яА-Я]"))), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("blocker")});
}

void tst_ReportDocument::replacesAnEarlierFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    QString error;
    QVERIFY2(writeReportPdf(content(2000), path, ReportPageSetup(), &error), qPrintable(error));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray pdf = written.readAll();
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    QVERIFY(!pdf.contains(QByteArray(1000, 'x')));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("report.pdf")});
}

QTEST_MAIN(tst_ReportDocument)
#include "tst_reportdocument.moc"
