#include "resources/iconnames.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QtTest>
#ifdef KOLVANE_HAVE_SVG
#include <QSvgRenderer>
#endif

class tst_Resources : public QObject
{
    Q_OBJECT
private slots:
    void usedIconsAreCompiledIn_data();
    void usedIconsAreCompiledIn();
    void everyIconIsAVisible32x32Image_data();
    void everyIconIsAVisible32x32Image();
    void committedPngMatchesItsSvg_data();
    void committedPngMatchesItsSvg();
};

static void addIconRows()
{
    QTest::addColumn<QString>("name");
    const QStringList names = compiledIconNames();
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name;
}

void tst_Resources::usedIconsAreCompiledIn_data()
{
    QTest::addColumn<QString>("path");
    // The main window, its dialogs and the result windows load these by path.
    const char *used[] = {"new", "save", "add", "remove", "calculate", "options", "xls", "pdf",
                          "png", "jpg", "graph", "table", "main",
                          "open", "cut", "icon", "checkbox", "checkbox_checked"};
    for (const char *name : used)
        QTest::newRow(name) << QStringLiteral(":/images/%1.png").arg(QLatin1String(name));
}

void tst_Resources::usedIconsAreCompiledIn()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path));
}

void tst_Resources::everyIconIsAVisible32x32Image_data()
{
    addIconRows();
}

void tst_Resources::everyIconIsAVisible32x32Image()
{
    QFETCH(QString, name);
    const QImage image(QStringLiteral(":/images/%1.png").arg(name));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(image.hasAlphaChannel());

    // A blank or fully opaque square would mean a broken rendering, not an icon.
    int opaque = 0;
    int transparent = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            opaque += alpha > 200;
            transparent += alpha == 0;
        }
    }
    QVERIFY2(opaque > 60, qPrintable(QString::number(opaque)));
    QVERIFY2(transparent > 0, "no transparent pixel: the background was painted");
}

void tst_Resources::committedPngMatchesItsSvg_data()
{
    addIconRows();
}

void tst_Resources::committedPngMatchesItsSvg()
{
#ifndef KOLVANE_HAVE_SVG
    QSKIP("QtSvg not available");
#else
    QFETCH(QString, name);
    QSvgRenderer renderer(QStringLiteral(KOLVANE_SOURCE_DIR "/resources/icons/%1.svg").arg(name));
    QVERIFY(renderer.isValid());
    QImage rendered(32, 32, QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    {
        QPainter painter(&rendered);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, 32, 32));
    }
    rendered = rendered.convertToFormat(QImage::Format_ARGB32);
    const QImage committed =
        QImage(QStringLiteral(":/images/%1.png").arg(name)).convertToFormat(QImage::Format_ARGB32);

    // Glyph rasterisation may differ slightly between font versions; a changed shape does not.
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb a = rendered.pixel(x, y);
            const QRgb b = committed.pixel(x, y);
            const int delta = qMax(qMax(qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b))),
                                   qMax(qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))));
            differing += delta > 48;
        }
    }
    QVERIFY2(differing <= 16,
             qPrintable(QStringLiteral("%1 pixels differ: run the 'icons' target").arg(differing)));
#endif
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
