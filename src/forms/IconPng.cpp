// Converts one of the program's XPM pictures into a PNG file: IconPng INPUT.xpm OUTPUT.png
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pontrel_icon_png INPUT.xpm OUTPUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot convert %s to %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
