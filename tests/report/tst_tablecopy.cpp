#include "report/tablecopy.h"

#include <QAction>
#include <QClipboard>
#include <QMimeData>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

// Two curves over three lengths, as the result table shows them.
std::unique_ptr<QTableWidget> resultTable()
{
    auto table = std::make_unique<QTableWidget>(3, 3);
    table->setHorizontalHeaderLabels({"L,м", "R,кбит/с\nm=1", "R,кбит/с\nm=2"});
    const char *cells[3][3] = {{"1000", "12345.7", "11020.4"}, {"2000", "9876.54", "8790"}, {"3000", "0", "-"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(QString::fromUtf8(cells[r][c])));
    return table;
}

void select(QTableWidget *table, int top, int left, int bottom, int right)
{
    table->setRangeSelected(QTableWidgetSelectionRange(top, left, bottom, right), true);
}

} // namespace

class tst_TableCopy : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void html();
    void shortcutCopies();
};

void tst_TableCopy::text_data()
{
    QTest::addColumn<QList<QList<int>>>("ranges"); // top, left, bottom, right
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing selected: the whole table")
        << QList<QList<int>>{}
        << "L,м\tR,кбит/с m=1\tR,кбит/с m=2\n1000\t12345.7\t11020.4\n2000\t9876.54\t8790\n3000\t0\t-\n";
    QTest::newRow("one block") << QList<QList<int>>{{1, 1, 2, 2}}
                               << "R,кбит/с m=1\tR,кбит/с m=2\n9876.54\t8790\n0\t-\n";
    QTest::newRow("two cells apart keep their columns")
        << QList<QList<int>>{{0, 0, 0, 0}, {2, 2, 2, 2}}
        << "L,м\tR,кбит/с m=2\n1000\t\n\t-\n";
}

void tst_TableCopy::text()
{
    QFETCH(QList<QList<int>>, ranges);
    QFETCH(QString, expected);
    auto table = resultTable();
    for (const QList<int> &r : ranges)
        select(table.get(), r[0], r[1], r[2], r[3]);
    const std::unique_ptr<QMimeData> data(tableMimeData(table.get()));
    QCOMPARE(data->text(), expected);
}

void tst_TableCopy::html()
{
    auto table = resultTable();
    table->item(0, 1)->setText(QStringLiteral("<5 & >2"));
    const std::unique_ptr<QMimeData> data(tableMimeData(table.get()));
    const QString html = data->html();
    QVERIFY2(html.contains(QStringLiteral("<th>R,кбит/с<br>m=1</th>")), qPrintable(html));
    QVERIFY2(html.contains(QStringLiteral("<td align=\"right\">9876.54</td>")), qPrintable(html));
    QVERIFY2(html.contains(QStringLiteral("<td>&lt;5 &amp; &gt;2</td>")), qPrintable(html));
    QCOMPARE(html.count(QStringLiteral("<tr>")), 4);
}

void tst_TableCopy::shortcutCopies()
{
    auto table = resultTable();
    QAction *copy = addCopyAction(table.get());
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    QVERIFY(table->actions().contains(copy));
    table->show();
    QVERIFY(QTest::qWaitForWindowExposed(table.get()));
    QApplication::clipboard()->clear();
    select(table.get(), 0, 1, 0, 1);
    table->setFocus();
    QTest::keyClick(table.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("R,кбит/с m=1\n12345.7\n"));
}

QTEST_MAIN(tst_TableCopy)
#include "tst_tablecopy.moc"
