// Takes the help's pictures from the program itself: kolvane-helppictures WORKSPACE OUTPUT_DIR
// (run under the offscreen platform; WORKSPACE is the sample workspace). It writes
//   spectrum-dmt.png   the spectrum window of ADSL2+ at 3 km on the 0.4 mm cable.
#include "engine/linespectrum.h"
#include "engine/messages.h"
#include "engine/workspace.h"
#include "report/spectrumwindow.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "helppictures: " << message << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: kolvane-helppictures WORKSPACE OUTPUT_DIR"));
    const QString workspace = args.at(1);
    const QDir output(args.at(2));
    if (!output.exists() && !QDir().mkpath(output.path()))
        return fail(QStringLiteral("cannot create %1").arg(output.path()));
    setMessageLanguage(MessageLanguage::Russian);

    // The untouched dialog's conditions, with the line and the cable of the picture.
    CalcSettings settings = defaultCalcSettings(workspace);
    settings.cableTypes = {QStringLiteral("PE-0.40mm-26AWG")};
    settings.lineTypes = {QStringLiteral("ADSL2+_DS.DMT")};
    settings.cableLengthFrom = 1000;
    settings.cableLengthTo = 5000;
    settings.cableLengthStep = 1000;
    QString error;
    const std::optional<LineSpectrum> spectrum = traceCurve(settings, workspace, 0, 3000, &error);
    if (!spectrum)
        return fail(error);

    QMdiArea area;
    area.resize(880, 700);
    auto *window = new SpectrumWindow(*spectrum, spectrum->trace.rate);
    area.addSubWindow(window);
    window->resize(860, 680);
    area.show();
    window->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();

    const QString path = output.filePath(QStringLiteral("spectrum-dmt.png"));
    if (!window->grab().toImage().convertToFormat(QImage::Format_RGB32).save(path, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(path));
    QTextStream(stdout) << "wrote " << QDir::toNativeSeparators(path) << Qt::endl;
    return 0;
}
