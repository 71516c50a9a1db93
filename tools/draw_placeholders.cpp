// Draws the two placeholder pictures of the donation window: a clearly fake code-like pattern, marked
// as an illustration, in the sizes the window expects.
// Usage: draw_placeholders <output directory>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

void drawPlaceholder(const QString &path, int width, const QColor &accent, const QString &title, quint32 seed)
{
    QImage image(width, 340, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawRoundedRect(QRectF(0, 0, width, 340), 10, 10);

    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 12, width, 30), Qt::AlignCenter, title);

    const int cell = 8;
    const int modules = 21;
    const int side = cell * modules;
    const QRect code((width - side) / 2, 60, side, side);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawRect(code.adjusted(-10, -10, 10, 10));
    QRandomGenerator random(seed);
    painter.setBrush(QColor(40, 40, 40));
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            if (random.bounded(2))
                painter.drawRect(code.x() + x * cell, code.y() + y * cell, cell, cell);
        }
    }
    // corner marks, so that it reads as a code at a glance
    for (const QPoint corner : {QPoint(0, 0), QPoint(modules - 7, 0), QPoint(0, modules - 7)}) {
        const QRect outer(code.x() + corner.x() * cell, code.y() + corner.y() * cell, 7 * cell, 7 * cell);
        painter.setBrush(QColor(40, 40, 40));
        painter.drawRect(outer);
        painter.setBrush(Qt::white);
        painter.drawRect(outer.adjusted(cell, cell, -cell, -cell));
        painter.setBrush(QColor(40, 40, 40));
        painter.drawRect(outer.adjusted(2 * cell, 2 * cell, -2 * cell, -2 * cell));
    }

    // a large stamp across the pattern: nobody should try to scan this
    painter.save();
    painter.translate(code.center());
    painter.rotate(-30);
    font.setPixelSize(40);
    painter.setFont(font);
    painter.setPen(QColor(220, 30, 30, 210));
    painter.drawText(QRect(-110, -30, 220, 60), Qt::AlignCenter, QStringLiteral("示意图"));
    painter.restore();

    font.setPixelSize(15);
    font.setBold(false);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 262, width, 24), Qt::AlignCenter, QStringLiteral("示意图 · 非真实收款码"));
    painter.drawText(QRect(0, 288, width, 24), Qt::AlignCenter, QStringLiteral("Zabo 占位图片"));
    painter.end();
    image.save(path, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QDir output(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    drawPlaceholder(output.filePath(QStringLiteral("donation-code-1.png")), 224, QColor(0, 150, 60),
                    QStringLiteral("收款码 A"), 1);
    drawPlaceholder(output.filePath(QStringLiteral("donation-code-2.png")), 246, QColor(20, 110, 200),
                    QStringLiteral("收款码 B"), 2);
    return 0;
}
