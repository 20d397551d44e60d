#include "app/mainwindow.h"
#include "report/spectrumwindow.h"

#include "appfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>

#include <cstring>

namespace {

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

QList<SpectrumWindow *> spectrumWindows(const QMdiArea *area)
{
    QList<SpectrumWindow *> out;
    for (QMdiSubWindow *w : area->subWindowList())
        if (auto *s = qobject_cast<SpectrumWindow *>(w))
            out << s;
    return out;
}

// The open cell editor of the table, if any.
QLineEdit *editor(const QTableView *table)
{
    for (QLineEdit *edit : table->viewport()->findChildren<QLineEdit *>())
        if (edit->isVisible())
            return edit;
    return nullptr;
}

} // namespace

class tst_Spectrum : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensFromTheContextMenu_data();
    void opensFromTheContextMenu();
    void opensOnDoubleClick_data();
    void opensOnDoubleClick();
    void onlyResultCells();
    void oneWindowPerCell();
    void changedTemplatesAreNoted();

private:
    QTableView *table() const { return m_app->child<QTableView>("resultTable"); }
    QMdiArea *area() const { return m_app->child<QMdiArea>("resultsArea"); }
    // Right-clicks the cell and chooses "Спектр линии…" in the menu that opens.
    bool chooseFromMenu(int row, int column);
    void doubleClick(int row, int column);

    std::unique_ptr<AppFixture> m_app;
};

void tst_Spectrum::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_Spectrum::cleanup()
{
    m_app.reset();
}

bool tst_Spectrum::chooseFromMenu(int row, int column)
{
    QTableView *t = table();
    t->scrollTo(t->model()->index(row, column));
    const QPoint at = t->visualRect(t->model()->index(row, column)).center();
    bool chosen = false;
    // The menu runs its own event loop; it is answered from inside.
    QTimer::singleShot(0, this, [&chosen] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *a : menu->actions()) {
            if (a->text() == QStringLiteral("Спектр линии…") && a->isEnabled()) {
                chosen = true;
                menu->close();
                a->trigger();
                return;
            }
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, t->viewport()->mapToGlobal(at));
    QApplication::sendEvent(t->viewport(), &event);
    return chosen;
}

void tst_Spectrum::doubleClick(int row, int column)
{
    QTableView *t = table();
    t->scrollTo(t->model()->index(row, column));
    // As a user's: a click, then the second press that makes it a double-click.
    const QPoint at = t->visualRect(t->model()->index(row, column)).center();
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
}

void tst_Spectrum::opensFromTheContextMenu_data()
{
    QTest::addColumn<QStringList>("lineTypes");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("dmt");
    QTest::newRow("ADSL2+") << QStringList{"ADSL2+_DS.DMT"} << 1 << QStringLiteral("Kolvane - Спектр: m=1, L=3000 м")
                            << true;
    QTest::newRow("SHDSL in a family")
        << QStringList{"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"} << 2
        << QStringLiteral("Kolvane - Спектр: SHDSL_PAM16.PAM, L=3000 м") << false;
}

void tst_Spectrum::opensFromTheContextMenu()
{
    QFETCH(QStringList, lineTypes);
    QFETCH(int, column);
    QFETCH(QString, title);
    QFETCH(bool, dmt);
    m_app->calculate(chooseLineTypes(lineTypes));
    QCOMPARE(m_app->answerer->unexpected(), 0);

    // Row 2 is 3000 m.
    QVERIFY(chooseFromMenu(2, column));
    const QList<SpectrumWindow *> shown = spectrumWindows(area());
    QCOMPARE(shown.size(), 1);
    SpectrumWindow *w = shown.first();
    QCOMPARE(w->windowTitle(), title);
    QVERIFY(w->isVisible());
    QCOMPARE(area()->activeSubWindow(), w);
    QCOMPARE(w->spectrum().dmt, dmt);
    QCOMPARE(w->spectrum().lineType, lineTypes.at(column - 1));
    // The window takes the cell apart: its rate is the table's, to the bit.
    const float rate = m_app->window->resultSet().at(2).rates.at(column - 1);
    QCOMPARE(bits(w->spectrum().trace.rate), bits(rate));
    QVERIFY(!w->note()->isVisible());
    QVERIFY(dmt ? !w->spectrum().trace.tones.isEmpty() : !w->spectrum().trace.candidates.isEmpty());
    QCOMPARE(m_app->answerer->unexpected(), 0);
}

void tst_Spectrum::opensOnDoubleClick_data()
{
    QTest::addColumn<QString>("lineType");
    QTest::newRow("DMT") << QStringLiteral("VDSL2-8b_DS.DMT");
    QTest::newRow("PAM") << QStringLiteral("SHDSL_PAM32.PAM");
}

void tst_Spectrum::opensOnDoubleClick()
{
    QFETCH(QString, lineType);
    m_app->calculate(chooseLineTypes({lineType}));
    doubleClick(0, 1);
    const QList<SpectrumWindow *> shown = spectrumWindows(area());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first()->windowTitle(), QStringLiteral("Kolvane - Спектр: m=1, L=1000 м"));
    QCOMPARE(bits(shown.first()->spectrum().trace.rate), bits(m_app->window->resultSet().at(0).rates.at(0)));
    // The double-click opened no editor on the cell.
    QVERIFY(!editor(table()));
}

void tst_Spectrum::onlyResultCells()
{
    // Before any run there is nothing to take apart, nor after one in the lengths' column; the
    // cells show the run's numbers and open no editor.
    m_app->window->showResult();
    QVERIFY(!chooseFromMenu(0, 1));
    doubleClick(0, 1);
    QVERIFY(spectrumWindows(area()).isEmpty());
    QVERIFY(!editor(table()));

    m_app->calculate();
    QVERIFY(!chooseFromMenu(1, 0));
    doubleClick(1, 0);
    QVERIFY(spectrumWindows(area()).isEmpty());
    QVERIFY(!editor(table()));
    QCOMPARE(m_app->answerer->unexpected(), 0);
}

void tst_Spectrum::oneWindowPerCell()
{
    m_app->calculate();
    doubleClick(4, 1);
    doubleClick(4, 1);
    QVERIFY(chooseFromMenu(4, 1));
    QCOMPARE(spectrumWindows(area()).size(), 1);
    doubleClick(5, 1);
    QCOMPARE(spectrumWindows(area()).size(), 2);
    QCOMPARE(area()->activeSubWindow()->windowTitle(), QStringLiteral("Kolvane - Спектр: m=1, L=6000 м"));

    // A closed window goes away; opening the cell again gives a new one.
    SpectrumWindow *first = spectrumWindows(area()).first();
    QPointer<SpectrumWindow> guard(first);
    first->close();
    QTRY_VERIFY(guard.isNull());
    QCOMPARE(spectrumWindows(area()).size(), 1);
    doubleClick(4, 1);
    QCOMPARE(spectrumWindows(area()).size(), 2);
}

void tst_Spectrum::changedTemplatesAreNoted()
{
    m_app->calculate();
    // The user edits the line type after the run: the window says its numbers are today's.
    QFile line(m_app->path(QStringLiteral("xDSL/ADSL2+_DS.DMT")));
    QVERIFY(line.remove());
    QVERIFY(QFile::copy(m_app->path(QStringLiteral("xDSL/ADSL_DS.DMT")), line.fileName()));
    doubleClick(0, 1);
    const QList<SpectrumWindow *> shown = spectrumWindows(area());
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first()->note()->isVisible());
    QVERIFY(shown.first()->note()->text().contains(QStringLiteral("Шаблоны изменились после расчёта")));

    // A template that is gone refuses the window with a message.
    QVERIFY(line.remove());
    m_app->answerer->pushButton(QMessageBox::Ok);
    doubleClick(1, 1);
    QCOMPARE(spectrumWindows(area()).size(), 1);
    QCOMPARE(m_app->answerer->pending(), 0);
    QVERIFY2(m_app->answerer->texts().value(0).contains(QStringLiteral("Спектр линии не построен")),
             qPrintable(m_app->answerer->texts().join('|')));
}

QTEST_MAIN(tst_Spectrum)
#include "tst_spectrum.moc"
