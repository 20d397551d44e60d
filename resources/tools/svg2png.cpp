// Renders one SVG icon source into a square PNG: svg2png INPUT.svg OUTPUT.png [SIZE]
// SIZE defaults to 32. The PNG is written only when the whole rendering succeeded.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

static int fail(const QString &message)
{
    QTextStream(stderr) << "svg2png: " << message << Qt::endl;
    return 1;
}

int main(int argc, char *argv[])
{
    // Text in the badges needs the font database, hence a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4)
        return fail(QStringLiteral("usage: svg2png INPUT.svg OUTPUT.png [SIZE]"));

    int size = 32;
    if (args.size() == 4) {
        bool ok = false;
        size = args.at(3).toInt(&ok);
        if (!ok || size < 1 || size > 4096)
            return fail(QStringLiteral("bad size '%1'").arg(args.at(3)));
    }

    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(args.at(1)));

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }

    QSaveFile file(args.at(2));
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(args.at(2), file.errorString()));
    if (!image.convertToFormat(QImage::Format_ARGB32).save(&file, "PNG") || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(args.at(2), file.errorString()));
    return 0;
}
