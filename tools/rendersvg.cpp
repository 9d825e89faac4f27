// rendersvg: turns one of our SVG drawings into the PNG or ICO file the
// program's resources hold, so that only the drawing lives in the tree.
//
// Usage: rendersvg INPUT.svg OUTPUT.(png|ico) SIZE
// SIZE is WIDTHxHEIGHT or a single number for a square. The format follows
// the output's suffix; Qt's ICO writer stores one image per file.
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool parseSize(const QString &sText, QSize &rSize) {
    const QStringList lParts = sText.split('x');
    bool bOkW = false, bOkH = false;
    const int iW = lParts.value(0).toInt(&bOkW);
    const int iH = lParts.size() > 1 ? lParts.value(1).toInt(&bOkH) : iW;
    if (lParts.size() == 1)
        bOkH = bOkW;
    if (!bOkW || !bOkH || iW < 1 || iH < 1 || iW > 4096 || iH > 4096 || lParts.size() > 2)
        return false;
    rSize = QSize(iW, iH);
    return true;
}

QImage render(QSvgRenderer &rSvg, const QSize &size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    rSvg.render(&painter);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char **argv) {
    // Rendering needs no display; the offscreen platform keeps this usable on
    // build machines without one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList lArgs = app.arguments();
    if (lArgs.size() != 4) {
        std::fprintf(stderr, "usage: rendersvg INPUT.svg OUTPUT.(png|ico) SIZE\n");
        return 2;
    }
    QSvgRenderer svg(lArgs[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "rendersvg: cannot read %s\n", qPrintable(lArgs[1]));
        return 1;
    }
    QSize size;
    if (!parseSize(lArgs[3], size)) {
        std::fprintf(stderr, "rendersvg: bad size %s\n", qPrintable(lArgs[3]));
        return 2;
    }
    const QString sOut = lArgs[2];
    QImageWriter writer(sOut, sOut.endsWith(".ico") ? "ico" : "png");
    const bool bOk = writer.write(render(svg, size));
    if (!bOk) {
        std::fprintf(stderr, "rendersvg: cannot write %s: %s\n", qPrintable(sOut),
                     qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
