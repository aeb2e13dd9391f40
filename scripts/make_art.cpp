// Draws Corvane's pictures and writes them as JPEG files:
//   ui/resources/banner.jpg   490 x 55   the main window's banner
//   ui/resources/product.jpg  121 x 146  the About box's picture
// and a few small JPEG seeds for the decoder's fuzz target. Built and run by
// scripts/make_art.sh; the outputs are committed, so this only needs running
// again when the art changes.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

const QColor kNight(20, 33, 61);
const QColor kTeal(34, 120, 134);
const QColor kGlow(120, 214, 205);

bool Write(const QImage& image, const QString& path, int quality, bool progressive = false) {
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) {
        std::fprintf(stderr, "make_art: %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

// A perched raven facing right, drawn in a 100 x 100 box.
QPainterPath Raven() {
    QPainterPath bird;
    bird.moveTo(70, 18);                   // crown
    bird.cubicTo(78, 16, 84, 20, 86, 25);  // forehead
    bird.lineTo(99, 29);                   // beak tip
    bird.lineTo(86, 33);                   // under the beak
    bird.cubicTo(84, 42, 80, 48, 78, 54);  // throat
    bird.cubicTo(76, 66, 66, 76, 54, 80);  // breast
    bird.lineTo(44, 84);                   // belly
    bird.lineTo(18, 99);                   // tail, lower edge
    bird.lineTo(10, 94);                   // tail end
    bird.lineTo(30, 76);                   // tail, upper edge
    bird.cubicTo(34, 60, 46, 44, 58, 36);  // back
    bird.cubicTo(60, 28, 62, 20, 70, 18);  // nape
    bird.closeSubpath();
    return bird;
}

QPainterPath Wing() {
    QPainterPath wing;
    wing.moveTo(60, 42);
    wing.cubicTo(70, 48, 70, 62, 56, 74);
    wing.lineTo(26, 88);
    wing.cubicTo(36, 70, 46, 54, 60, 42);
    wing.closeSubpath();
    return wing;
}

// Nodes joined by thin links: the picture's nod to what the program measures.
void LinkWeb(QPainter& p, const QRectF& area, int seed, double scale) {
    const int n = 9;
    QPointF pts[n];
    unsigned s = static_cast<unsigned>(seed);
    auto next = [&s]() {
        s = s * 1103515245u + 12345u;
        return static_cast<double>((s >> 8) & 0xffff) / 65535.0;
    };
    for (QPointF& pt : pts) {
        pt = QPointF(area.left() + next() * area.width(), area.top() + next() * area.height());
    }
    QPen link(QColor(kGlow.red(), kGlow.green(), kGlow.blue(), 90), 1.0 * scale);
    p.setPen(link);
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (QLineF(pts[i], pts[j]).length() < area.width() * 0.45) {
                p.drawLine(pts[i], pts[j]);
            }
        }
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < n; ++i) {
        p.setBrush(QColor(kGlow.red(), kGlow.green(), kGlow.blue(), i % 3 == 0 ? 220 : 140));
        const double r = (i % 3 == 0 ? 2.6 : 1.7) * scale;
        p.drawEllipse(pts[i], r, r);
    }
}

QImage Banner() {
    QImage img(490, 55, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 490, 55);
    bg.setColorAt(0, kNight);
    bg.setColorAt(1, kTeal);
    p.fillRect(img.rect(), bg);
    LinkWeb(p, QRectF(262, 4, 222, 47), 7, 1.0);

    // Badge: the raven against the moon, as on the product picture.
    QRadialGradient moon(QPointF(28, 27), 23);
    moon.setColorAt(0, QColor(245, 240, 215));
    moon.setColorAt(0.85, QColor(230, 222, 190));
    moon.setColorAt(1, QColor(230, 222, 190, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(moon);
    p.drawEllipse(QPointF(28, 27), 23, 23);
    p.save();
    p.translate(7, 7);
    p.scale(0.40, 0.40);
    p.setBrush(QColor(6, 9, 18));
    p.drawPath(Raven());
    p.setBrush(QColor(36, 50, 82));
    p.drawPath(Wing());
    p.restore();

    QFont name(QStringLiteral("Liberation Sans"));
    name.setPixelSize(27);
    name.setBold(true);
    p.setFont(name);
    p.setPen(Qt::white);
    p.drawText(QPointF(58, 31), QStringLiteral("Corvane"));
    QFont tag(QStringLiteral("Liberation Sans"));
    tag.setPixelSize(11);
    p.setFont(tag);
    p.setPen(QColor(200, 232, 236));
    p.drawText(QPointF(60, 46), QStringLiteral("link survey for web-site owners"));
    return img;
}

QImage Product() {
    QImage img(121, 146, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 146);
    bg.setColorAt(0, kTeal);
    bg.setColorAt(1, kNight);
    p.fillRect(img.rect(), bg);
    LinkWeb(p, QRectF(6, 8, 109, 80), 11, 1.2);

    QRadialGradient moon(QPointF(78, 30), 22);
    moon.setColorAt(0, QColor(245, 240, 215));
    moon.setColorAt(0.8, QColor(230, 222, 190));
    moon.setColorAt(1, QColor(230, 222, 190, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(moon);
    p.drawEllipse(QPointF(78, 30), 22, 22);

    // Branch, then the raven on it.
    QPen branch(QColor(10, 14, 26), 4, Qt::SolidLine, Qt::RoundCap);
    p.setPen(branch);
    p.drawLine(QPointF(-4, 104), QPointF(118, 92));
    p.setPen(Qt::NoPen);
    p.save();
    p.translate(14, 24);
    p.scale(0.82, 0.82);
    p.setBrush(QColor(6, 9, 18));
    p.drawPath(Raven());
    p.setBrush(QColor(36, 50, 82));
    p.drawPath(Wing());
    p.setBrush(QColor(230, 240, 240));
    p.drawEllipse(QPointF(80, 25), 1.8, 1.8);  // eye
    p.restore();

    QFont name(QStringLiteral("Liberation Sans"));
    name.setPixelSize(21);
    name.setBold(true);
    p.setFont(name);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 108, 121, 24), Qt::AlignCenter, QStringLiteral("Corvane"));
    QFont tag(QStringLiteral("Liberation Sans"));
    tag.setPixelSize(9);
    p.setFont(tag);
    p.setPen(QColor(190, 225, 230));
    p.drawText(QRectF(0, 130, 121, 12), Qt::AlignCenter, QStringLiteral("link survey"));
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RESOURCE_DIR SEED_DIR\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QDir res(QString::fromLocal8Bit(argv[1]));
    const QDir seeds(QString::fromLocal8Bit(argv[2]));
    bool ok = Write(Banner(), res.filePath(QStringLiteral("banner.jpg")), 90) &&
              Write(Product(), res.filePath(QStringLiteral("product.jpg")), 92);

    // Small seeds: baseline colour, progressive colour, grey.
    const QImage small = Product().scaled(24, 29, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ok = ok && Write(small, seeds.filePath(QStringLiteral("baseline.jpg")), 75) &&
         Write(small, seeds.filePath(QStringLiteral("progressive.jpg")), 75, true) &&
         Write(small.convertToFormat(QImage::Format_Grayscale8),
               seeds.filePath(QStringLiteral("grey.jpg")), 60);
    return ok ? 0 : 1;
}
