// Peak memory of a plant qualification shown in its window: generates a loop-records file of
// N loops (3,000,000 unless given), qualifies it for ADSL2+ (8 Mbit/s) and SHDSL PAM16 (2 Mbit/s)
// into the window's table, opens the window, sorts it by id and by length, and prints the peak
// resident memory with the time each step took. `--file` instead streams the CSV to a file, as
// the GUI offers for a large plant.
//
//   kolvane-qualify-memory [N] [--file]

#include "engine/curveset.h"
#include "engine/plantqualifier.h"
#include "engine/qualifycsv.h"
#include "engine/qualifytable.h"
#include "engine/workspace.h"
#include "report/qualifywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

// kB, from the kernel's own account of this process.
long statusValue(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    return -1;
}

void report(const char *step, const QElapsedTimer &timer)
{
    std::printf("%-28s %8.1f s   resident %7.1f MB   peak %7.1f MB\n", step, double(timer.elapsed()) / 1000.0,
                double(statusValue("VmRSS:")) / 1024.0, double(statusValue("VmHWM:")) / 1024.0);
    std::fflush(stdout);
}

// A plant as an operator's export lists it: exchanges, cabinets and pairs in order, three cables,
// a third of the loops behind a trunk section of their cabinet's.
bool writePlant(const QString &path, qint64 loops)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const char *const cables[] = {"PE-0.40mm-26AWG", "PE-0.50mm-24AWG", "PE-0.64mm-22AWG"};
    QRandomGenerator rng(2024);
    QByteArray block = "id;кабель;длина,м;участки\n";
    for (qint64 i = 0; i < loops; ++i) {
        const qint64 cabinet = i / 400;
        block += "ЗР-" + QByteArray::number(cabinet / 100).rightJustified(3, '0') + '-'
                 + QByteArray::number(cabinet % 100).rightJustified(2, '0') + '-'
                 + QByteArray::number(i % 400).rightJustified(3, '0') + ';' + cables[rng.bounded(3)] + ';';
        const int length = int(rng.bounded(6001));
        block += QByteArray::number(length);
        if (cabinet % 3 == 0 && length > 1500)
            block += ";PE-0.64mm-22AWG:" + QByteArray::number(1000 + cabinet % 7 * 50);
        block += '\n';
        if (block.size() > (1 << 20)) {
            if (out.write(block) != block.size())
                return false;
            block.clear();
        }
    }
    return out.write(block) == block.size();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool toFile = args.contains(QStringLiteral("--file"));
    qint64 loops = 3000000;
    for (const QString &a : args)
        if (a.toLongLong() > 0)
            loops = a.toLongLong();

    QTemporaryDir dir;
    const QString plant = dir.filePath(QStringLiteral("plant.csv"));
    QElapsedTimer timer;
    timer.start();
    if (!dir.isValid() || !writePlant(plant, loops)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(plant));
        return 1;
    }
    std::printf("%lld loops, %.1f MB of loop records\n", static_cast<long long>(loops),
                double(QFile(plant).size()) / 1048576.0);
    report("started", timer);

    QualifySettings settings;
    settings.conditions = defaultCalcSettings(Samples);
    settings.conditions.lineTypes = {QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("SHDSL_PAM16.PAM")};
    settings.conditions.noiseTemplate = QStringLiteral("AWGN-140");
    settings.conditions.cableCapacity = 50;
    settings.conditions.xDSL_points = {10};
    settings.conditions.Norm_ELFEXT_points = {56};
    settings.conditions.Norm_NEXT_points = {58};
    settings.conditions.SNRMargin_points = {6};
    settings.targets = {8000, 2048};
    QString error;
    const std::unique_ptr<PlantQualifier> qualifier = PlantQualifier::create(settings, Samples, &error);
    QFile input(plant);
    if (!qualifier || !input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    timer.restart();
    if (toFile) {
        QFile out(dir.filePath(QStringLiteral("qualified.csv")));
        QualifyStreamOutcome outcome;
        if (!out.open(QIODevice::WriteOnly) || !streamQualification(*qualifier, input, out, &outcome)) {
            std::fprintf(stderr, "%s\n", qPrintable(outcome.error));
            return 1;
        }
        report("qualified into a file", timer);
        return 0;
    }
    auto table = std::make_shared<QualifyTable>(settings);
    if (!qualifier->run(input, [&](const QualifyChunk &chunk) { table->append(chunk); return true; }, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    table->finish();
    report("qualified into the table", timer);

    timer.restart();
    QualifyWindow window(table, plant);
    window.resize(1200, 700);
    window.show();
    QApplication::processEvents();
    report("window shown", timer);
    auto *view = window.findChild<QTableView *>(QStringLiteral("qualifyTable"));
    timer.restart();
    view->sortByColumn(0, Qt::DescendingOrder);
    QApplication::processEvents();
    report("sorted by id", timer);
    timer.restart();
    view->sortByColumn(2, Qt::AscendingOrder);
    QApplication::processEvents();
    report("sorted by length", timer);
    return 0;
}
