// Renders an SVG icon to square PNGs of the given sizes, for icon themes
// that want bitmaps beside the scalable icon:
//   render_icon INPUT.svg OUTPUT_DIR SIZE...
// writes OUTPUT_DIR/<SIZE>x<SIZE>/apps/<name of INPUT>.png for each size.
// It paints into an image only, so it needs no display and no application
// object.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

namespace {

constexpr int kMaxSize = 1024;

bool RenderOne(QSvgRenderer& renderer, int size, const QString& path) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icon INPUT.svg OUTPUT_DIR SIZE...\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer renderer(input);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render_icon: %s is not a readable SVG\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(input).completeBaseName() + QStringLiteral(".png");
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > kMaxSize) {
            std::fprintf(stderr, "render_icon: size %s is not 1 to %d\n", argv[i], kMaxSize);
            return 2;
        }
        const QString side = QString::number(size);
        const QString path = outputDir + QStringLiteral("/") + side + QStringLiteral("x") + side +
                             QStringLiteral("/apps/") + name;
        if (!RenderOne(renderer, size, path)) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
