// Turns one of the program's XPM pictures into a file for the desktop's icon theme:
//   pontrel_icon_png INPUT.xpm OUTPUT.png [SIZE]   a PNG, enlarged to SIZE x SIZE
//   pontrel_icon_png INPUT.xpm OUTPUT.svg          a scalable picture of the same pixels
// The pictures are pixel art, so they are enlarged without smoothing, which keeps edges sharp.
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {

// One rectangle per run of same-coloured pixels in a row; transparent pixels are left out.
bool saveSvg(const QImage& image, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << image.width() << "\" height=\""
        << image.height() << "\" viewBox=\"0 0 " << image.width() << ' ' << image.height()
        << "\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < image.height(); ++y) {
        int x = 0;
        while (x < image.width()) {
            const QRgb colour = image.pixel(x, y);
            int end = x + 1;
            while (end < image.width() && image.pixel(end, y) == colour) ++end;
            if (qAlpha(colour) != 0)
                out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << end - x
                    << "\" height=\"1\" fill=\"" << QColor(colour).name() << "\"/>\n";
            x = end;
        }
    }
    out << "</svg>\n";
    out.flush();
    return file.error() == QFileDevice::NoError;
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc == 4 ? std::atoi(argv[3]) : 0;
    if ((argc != 3 && argc != 4) || size < 0) {
        std::fprintf(stderr, "usage: pontrel_icon_png INPUT.xpm OUTPUT.png [SIZE] | INPUT.xpm OUTPUT.svg\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QImage image(QString::fromLocal8Bit(argv[1]));
    const QString output = QString::fromLocal8Bit(argv[2]);
    bool saved = false;
    if (!image.isNull()) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        if (output.endsWith(".svg")) {
            saved = saveSvg(image, output);
        } else {
            if (size > 0) image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            saved = image.save(output, "PNG");
        }
    }
    if (!saved) {
        std::fprintf(stderr, "cannot convert %s to %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
