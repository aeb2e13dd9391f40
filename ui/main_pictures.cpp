#include "ui/main_pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace corvane::ui {

namespace {

// Paints on a transparent square, in a 16-unit coordinate system.
template <typename F>
QPixmap Draw(int size, F&& paint) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    paint(p);
    p.end();
    return QPixmap::fromImage(image);
}

const QColor kOutline(40, 40, 40);

void SearchGlass(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(190, 225, 250));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.setPen(QPen(QColor(120, 80, 30), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
}

void Exit(QPainter& p) {
    // A door, and an arrow leaving through it.
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(150, 95, 45));
    p.drawRect(QRectF(1.5, 1.5, 7, 13));
    p.setBrush(QColor(240, 200, 80));
    p.drawEllipse(QRectF(6, 8, 1.6, 1.6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 150, 50));
    p.drawPolygon(QPolygonF({QPointF(9, 6.5), QPointF(12, 6.5), QPointF(12, 4), QPointF(15.5, 8),
                             QPointF(12, 12), QPointF(12, 9.5), QPointF(9, 9.5)}));
}

void Save(QPainter& p) {
    // A diskette.
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(40, 80, 170));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 9, 6));
    p.setBrush(QColor(190, 190, 190));
    p.drawRect(QRectF(4.5, 10, 7, 4.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 80, 170));
    p.drawRect(QRectF(9, 11, 1.6, 2.6));
}

void Open(QPainter& p) {
    // An open folder.
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(230, 180, 60));
    p.drawPolygon(QPolygonF({QPointF(1.5, 3), QPointF(6, 3), QPointF(7.5, 4.5), QPointF(13, 4.5),
                             QPointF(13, 13.5), QPointF(1.5, 13.5)}));
    p.setBrush(QColor(250, 215, 110));
    p.drawPolygon(
        QPolygonF({QPointF(3.5, 7), QPointF(15.5, 7), QPointF(13, 13.5), QPointF(1.5, 13.5)}));
}

void Contents(QPainter& p) {
    // A help book.
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(160, 30, 40));
    p.drawRect(QRectF(2.5, 1.5, 11, 13));
    p.setBrush(QColor(245, 245, 235));
    p.drawRect(QRectF(4.5, 12, 9, 2.5));
    p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath q;
    q.moveTo(6.3, 5.2);
    q.cubicTo(6.3, 2.8, 10.5, 2.8, 10.5, 5.0);
    q.cubicTo(10.5, 6.6, 8.4, 6.6, 8.4, 8.6);
    p.drawPath(q);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7.6, 9.4, 1.6, 1.6));
}

void Homepage(QPainter& p) {
    // A globe.
    p.setPen(QPen(QColor(20, 60, 120), 1));
    p.setBrush(QColor(70, 140, 220));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 170, 70));
    p.drawEllipse(QRectF(3.5, 4, 4.5, 3.5));
    p.drawEllipse(QRectF(8, 8, 4.5, 4));
    p.setPen(QPen(QColor(255, 255, 255, 170), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
}

void About(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 120), 1));
    p.setBrush(QColor(50, 110, 200));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.6, 2, 2));
    p.drawRect(QRectF(7, 6.6, 2, 6));
}

}  // namespace

QPixmap MenuPicture(int index) {
    switch (index) {
        case kSearchPicture:
            return Draw(kMenuPictureSize, SearchGlass);
        case kExitPicture:
            return Draw(kMenuPictureSize, Exit);
        case kSavePicture:
            return Draw(kMenuPictureSize, Save);
        case kOpenPicture:
            return Draw(kMenuPictureSize, Open);
        case kContentsPicture:
            return Draw(kMenuPictureSize, Contents);
        case kHomepagePicture:
            return Draw(kMenuPictureSize, Homepage);
        case kAboutPicture:
            return Draw(kMenuPictureSize, About);
        default:
            return QPixmap();
    }
}

std::vector<QIcon> MenuPictures() {
    std::vector<QIcon> icons;
    for (int i = 0; i < kMenuPictureCount; ++i) {
        icons.emplace_back(MenuPicture(i));
    }
    return icons;
}

QPixmap StartPicture() {
    return Draw(kButtonPictureSize, [](QPainter& p) {
        p.setPen(QPen(QColor(20, 100, 30), 1));
        p.setBrush(QColor(50, 170, 60));
        p.drawPolygon(
            QPolygonF({QPointF(1.5, 5.5), QPointF(8, 5.5), QPointF(8, 1.5), QPointF(14.5, 8),
                       QPointF(8, 14.5), QPointF(8, 10.5), QPointF(1.5, 10.5)}));
    });
}

QPixmap StopPicture() {
    return Draw(kButtonPictureSize, [](QPainter& p) {
        QPolygonF octagon;
        for (const auto& [x, y] : {std::pair{5.0, 1.0},
                                   {11.0, 1.0},
                                   {15.0, 5.0},
                                   {15.0, 11.0},
                                   {11.0, 15.0},
                                   {5.0, 15.0},
                                   {1.0, 11.0},
                                   {1.0, 5.0}}) {
            octagon << QPointF(x, y);
        }
        p.setPen(QPen(QColor(120, 10, 10), 1));
        p.setBrush(QColor(210, 35, 35));
        p.drawPolygon(octagon);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 7, 8, 2));
    });
}

QImage ProgramIconImage(int size) {
    // resources/corvane.svg, drawn in its 64-unit coordinates.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient face(0, 4, 0, 60);
    face.setColorAt(0, QColor(0x2f, 0x78, 0xc4));
    face.setColorAt(1, QColor(0x1d, 0x4e, 0x89));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 36, 9, 16));
    p.drawRect(QRectF(27.5, 26, 9, 26));
    p.setBrush(QColor(0xf2, 0xb6, 0x32));
    p.drawRect(QRectF(41, 14, 9, 38));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(11, 53), QPointF(53, 53));
    p.end();
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    }
    return icon;
}

}  // namespace corvane::ui
