// mkdemo OUTPUT.bmp
//
// Draws the main window's background picture for a demo working folder: a
// calm gradient with the service's name, 870 by 550 pixels, saved as a
// 24-bit Windows bitmap.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdemo OUTPUT.bmp\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const int w = 870, h = 550;
    QImage img(w, h, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(18, 52, 96));
    sky.setColorAt(0.6, QColor(44, 110, 150));
    sky.setColorAt(1.0, QColor(196, 222, 232));
    p.fillRect(img.rect(), sky);

    // Three soft hills along the bottom.
    const QColor hills[] = {QColor(70, 130, 120, 150), QColor(50, 110, 95, 180),
                            QColor(34, 86, 74, 220)};
    for (int i = 0; i < 3; ++i) {
        QPainterPath path;
        const int base = h - 150 + i * 45;
        path.moveTo(0, h);
        path.lineTo(0, base);
        path.cubicTo(w * 0.25, base - 70 + i * 20, w * 0.55, base + 60, w, base - 30 - i * 10);
        path.lineTo(w, h);
        path.closeSubpath();
        p.fillPath(path, hills[i]);
    }

    QFont title("DejaVu Sans", 40, QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(255, 255, 255, 230));
    p.drawText(QRect(0, 120, w, 70), Qt::AlignHCenter | Qt::AlignVCenter, "Fennimarch");
    QFont sub("DejaVu Sans", 14);
    p.setFont(sub);
    p.setPen(QColor(230, 240, 250, 210));
    p.drawText(QRect(0, 190, w, 30), Qt::AlignHCenter | Qt::AlignVCenter,
               "Aldercourt - Norvane  bank-transfer file exchange");
    p.end();

    if (!img.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "mkdemo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
