// Build-time tool: renders one SVG source to a PNG of the given pixel size, so the window
// gets real raster files (name.png and name@2x.png) that stay sharp on high-DPI screens.
// An optional colour pair swaps one colour of the source first, which gives the hover and
// pressed variants of a button from the same drawing.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

static int fail(const QString& message)
{
    std::fprintf(stderr, "render-drawable: %s\n", qPrintable(message));
    return 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 4 && args.size() != 6)
        return fail(QStringLiteral("usage: render-drawable <in.svg> <out.png> <width> <height> [#from #to]"));
    bool okW = false;
    bool okH = false;
    const int width = args.at(2).toInt(&okW);
    const int height = args.at(3).toInt(&okH);
    if (!okW || !okH || width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return fail(QStringLiteral("bad size %1 x %2").arg(args.at(2), args.at(3)));

    QFile in(args.at(0));
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString()));
    QByteArray svg = in.readAll();
    if (args.size() == 6) {
        const QByteArray from = args.at(4).toLatin1();
        if (!svg.contains(from))
            return fail(QStringLiteral("%1 does not use the colour %2").arg(in.fileName(), args.at(4)));
        svg.replace(from, args.at(5).toLatin1());
    }

    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return fail(QStringLiteral("%1 is not a valid SVG").arg(in.fileName()));
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter);
    }
    if (!image.save(args.at(1), "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(args.at(1)));
    return 0;
}
