// Renders the application icon's SVG into PNG files of the sizes the hicolor theme wants.
// Usage: render_icon <icon.svg> <size> <out.png> [<size> <out.png> ...]

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream error(stderr);
    if (arguments.size() < 4 || arguments.size() % 2 != 0) {
        error << "usage: render_icon <icon.svg> <size> <out.png> [<size> <out.png> ...]\n";
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        error << "render_icon: cannot read " << arguments.at(1) << '\n';
        return 1;
    }
    for (int index = 2; index + 1 < arguments.size(); index += 2) {
        bool isNumber = false;
        const int size = arguments.at(index).toInt(&isNumber);
        if (!isNumber || size <= 0) {
            error << "render_icon: not a size: " << arguments.at(index) << '\n';
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        if (!image.save(arguments.at(index + 1), "PNG")) {
            error << "render_icon: cannot write " << arguments.at(index + 1) << '\n';
            return 1;
        }
    }
    return 0;
}
